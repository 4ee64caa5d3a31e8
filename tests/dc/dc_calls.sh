# Shared by the Double Commander tests that time the host's value calls
# (sourced, bash, after dc_env.sh), through tests/dc/call_recorder.c's log:
#
#   dc_module_path ARG        the module to test: ARG, or with --no-read-ahead
#                             build/linux-noahead built here; prints its full path
#   dc_install_recorder DIR MODULE
#                             the recorder as DIR/Veltamo.wdx in front of MODULE
#                             (DIR/Veltamo-real.wdx), with dist/Config.txt
#   dc_now                    CLOCK_MONOTONIC seconds, as the log's times
#   dc_wait_quiet LOG FROM T  waits until LOG has lines from line FROM on and
#                             has not grown for DC_QUIET s, or T s pass; true
#                             when it went quiet

DC_QUIET=${DC_QUIET:-1.5}

dc_module_path() {
  local arg=$1
  if [ "$arg" = --no-read-ahead ]; then
    cmake -S "$DC_ROOT" -B "$DC_ROOT/build/linux-noahead" -G Ninja -DVELTAMO_SANITIZE=OFF \
      -DVELTAMO_TESTS=OFF -DVELTAMO_READ_AHEAD=OFF >/dev/null \
      && cmake --build "$DC_ROOT/build/linux-noahead" -j "$(nproc)" >/dev/null \
      || dc_die "cannot build build/linux-noahead"
    arg=$DC_ROOT/build/linux-noahead/Veltamo.wdx
  fi
  [ -f "$arg" ] || dc_die "no module at $arg"
  echo "$(cd "$(dirname "$arg")" && pwd)/$(basename "$arg")"
}

dc_install_recorder() {
  local dir=$1 module=$2
  mkdir -p "$dir"
  cc -O2 -Wall -shared -fPIC -o "$dir/Veltamo.wdx" "$DC_TESTS_DIR/call_recorder.c" -ldl \
    || dc_die "cannot build tests/dc/call_recorder.c"
  cp "$module" "$dir/Veltamo-real.wdx"
  cp "$DC_ROOT/dist/Config.txt" "$dir/Config.txt"
}

dc_now() { perl -MTime::HiRes=clock_gettime,CLOCK_MONOTONIC -e 'printf "%.6f\n", clock_gettime(CLOCK_MONOTONIC)'; }

dc_wait_quiet() {
  local log=$1 from=$2 until=$(($(date +%s) + $3)) size=-1 quiet_since lines
  while [ "$(date +%s)" -lt "$until" ] && dc_alive; do
    lines=$(wc -l <"$log")
    if [ "$lines" -ge "$from" ]; then
      if [ "$lines" -ne "$size" ]; then
        size=$lines
        quiet_since=$(dc_now)
      elif perl -e "exit !($(dc_now) - $quiet_since >= $DC_QUIET)"; then
        return 0
      fi
    fi
    sleep 0.2
  done
  return 1
}
