# One run of plexar-sim for CTest; see add_plexar_sim_test in CMakeLists.txt for the variables.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/tmp")
set(console_log "${WORK_DIR}/console.log")
if(FIXTURES)
  string(REPLACE "|" ";" fixtures "${FIXTURES}")
  file(COPY ${fixtures} DESTINATION "${WORK_DIR}")
endif()

# EMULATOR: what runs a Windows program here (Wine), empty for a native one.
set(command ${EMULATOR} "${SIM}" --plugin "${PLUGIN}" --console-log "${console_log}")
if(NOT NO_HOST_DIR)
  list(APPEND command --host-dir "${WORK_DIR}/host")
endif()
if(ARGS)
  string(REPLACE "|" ";" args "${ARGS}")
  list(APPEND command ${args})
endif()

# From the work folder, so that files a scenario names land there; temporary folders go below it.
set(ENV{TMPDIR} "${WORK_DIR}/tmp")
execute_process(
  COMMAND ${command} "${SCENARIO}"
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  TIMEOUT 120)

set(run "plexar-sim ${SCENARIO}\n--- stdout:\n${output}--- stderr:\n${errors}")

if(NOT status STREQUAL "${EXPECT_STATUS}")
  message(FATAL_ERROR "exit status ${status}, expected ${EXPECT_STATUS}\n${run}")
endif()

# Fails unless `text` holds each of the '|'-separated parts of `expected`.
function(expect_contains what text expected)
  string(REPLACE "|" ";" parts "${expected}")
  foreach(part IN LISTS parts)
    string(FIND "${text}" "${part}" found)
    if(found EQUAL -1)
      message(FATAL_ERROR "${what} lacks: ${part}\n--- ${what}:\n${text}\n${run}")
    endif()
  endforeach()
endfunction()

expect_contains(stderr "${errors}" "${EXPECT_STDERR}")
expect_contains(stdout "${output}" "${EXPECT_STDOUT}")

if(NOT EXPECT_STDOUT_LACKS STREQUAL "")
  string(FIND "${output}" "${EXPECT_STDOUT_LACKS}" found)
  if(NOT found EQUAL -1)
    message(FATAL_ERROR "stdout holds: ${EXPECT_STDOUT_LACKS}\n${run}")
  endif()
endif()

if(NOT EXPECT_LAST_LINE STREQUAL "")
  string(REGEX REPLACE "\n$" "" trimmed "${output}")
  string(REGEX MATCH "[^\n]*$" last "${trimmed}")
  string(FIND "${last}" "${EXPECT_LAST_LINE}" found)
  if(NOT found EQUAL 0)
    message(FATAL_ERROR "the last line of stdout is '${last}', expected it to start with '${EXPECT_LAST_LINE}'\n${run}")
  endif()
endif()

if(EXPECT_NO_OUTPUT AND NOT output STREQUAL "")
  message(FATAL_ERROR "expected no output: nothing may be played\n${run}")
endif()
if(EXPECT_QUIET AND NOT (output STREQUAL "" AND errors STREQUAL ""))
  message(FATAL_ERROR "expected to print nothing\n${run}")
endif()

if(NO_HOST_DIR)
  file(GLOB left "${WORK_DIR}/tmp/*")
  if(EMULATOR)
    # Wine's own temporary folders; a Windows program's go to the prefix's temporary folder.
    list(FILTER left EXCLUDE REGEX "/wine-[^/]*$")
  endif()
  if(left)
    message(FATAL_ERROR "the run left ${left} behind\n${run}")
  endif()
endif()

if(EXPECT_SAME_FILES)
  string(REPLACE "|" ";" pairs "${EXPECT_SAME_FILES}")
  foreach(pair IN LISTS pairs)
    string(REPLACE "=" ";" files "${pair}")
    list(GET files 0 written)
    list(GET files 1 expected)
    file(READ "${WORK_DIR}/${written}" written_text)
    file(READ "${expected}" expected_text)
    if(NOT written_text STREQUAL expected_text)
      message(FATAL_ERROR "${written} differs from ${expected}:\n${written_text}\n${run}")
    endif()
  endforeach()
endif()

if(NOT EXPECT_CONSOLE_LOG STREQUAL "")
  file(READ "${console_log}" logged)
  expect_contains("console log" "${logged}" "${EXPECT_CONSOLE_LOG}")
endif()
