# Starts and stops a qvx-devservice on a free port, for the demo and the end-to-end tests.
# Sourced. start_devservice BINARY LOG [FLAG...] sets service_pid and url (the address it
# listens on) or returns 1 after printing the service's output; stop_devservice ends it.

service_pid=""
url=""

start_devservice() {
  local binary="$1" log="$2"
  shift 2
  # Emptied here, not only by the redirection below, which the background child does at its own
  # pace: a log left from an earlier start must not be read as this one's.
  : >"$log"
  url=""
  "$binary" --port 0 "$@" >"$log" 2>&1 &
  service_pid=$!
  for _ in $(seq 1 200); do
    url="$(sed -n '1s/^qvx-devservice listening on //p' "$log")"
    [ -n "$url" ] && return 0
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "qvx-devservice did not start:" >&2
  cat "$log" >&2
  return 1
}

stop_devservice() {
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
    service_pid=""
  fi
}
