# The two commands of the README: `make run` (the main job) and `make test` (the tests).
PRESET ?= default
BUILD_DIR := build

.PHONY: all deps build run test bench check-asan check-tsan fuzz windows check-windows clean soak

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET)

# Builds only what the demo runs: the plug-in (its data is copied when configuring), plexar-sim
# and qvx-devservice. The tests and benchmarks are built by `make test` (or `make build`).
RUN_TARGETS := Quorvex plexar-sim qvx-devservice
run: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) --target $(RUN_TARGETS)
	bash scripts/demo.sh $(BUILD_DIR)

# The suite, then the same suite under AddressSanitizer + UndefinedBehaviorSanitizer.
test: build
	ctest --preset $(PRESET)
	$(MAKE) --no-print-directory check-asan

# The benchmarks (built by `make test`, run only here); figures in bench/README.md.
bench: build
	$(BUILD_DIR)/bin/quorvex_bench --benchmark_counters_tabular=true

# The suite under AddressSanitizer + UndefinedBehaviorSanitizer, or ThreadSanitizer; any report
# fails the run. Each preset has its own build tree (build-asan/, build-tsan/).
check-asan check-tsan: deps
	cmake --preset $(@:check-%=%) >/dev/null
	cmake --build --preset $(@:check-%=%)
	ctest --preset $(@:check-%=%)

# The libFuzzer targets (tests/fuzz/README.md), FUZZ_SECONDS each, in their own tree (build-fuzz/).
FUZZ_SECONDS ?= 30
fuzz: deps
	bash scripts/fuzz.sh $(FUZZ_SECONDS)

# The Windows build (build-windows/): Quorvex.dll, plexarsdk.dll, plexar-sim.exe and the test
# programs, with mingw-w64 and Dear ImGui from Debian's source package.
windows: deps
	QVX_IMGUI_SOURCE_DIR=$$(bash scripts/fetch-imgui-source.sh) && export QVX_IMGUI_SOURCE_DIR && \
	  cmake --preset windows >/dev/null && cmake --build --preset windows

# The Windows build and its suite under Wine (scripts/check-windows.sh).
check-windows: deps
	bash scripts/check-windows.sh

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-fuzz build-windows

# The soak (tests/soak/soak.sh): SEED (default: a fresh one) and HOURS simulated hours (default
# 24) against a qvx-devservice with random faults; its files stay in build/soak-SEED/.
SEED ?= $(shell od -An -N4 -tu4 /dev/urandom | tr -d ' ')
HOURS ?= 24
soak: build
	BUILD_DIR=$(BUILD_DIR) WORK=$(CURDIR)/$(BUILD_DIR)/soak-$(SEED) bash tests/soak/soak.sh $(SEED) $(HOURS)
