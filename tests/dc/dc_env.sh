# Shared by tests/dc/dc_test.sh and scripts/screenshot.sh (sourced, bash):
# a private X server with a window manager, and Double Commander on a
# configuration directory of its own, all under one scratch directory.
#
#   dc_env_init             scratch dir, private HOME/XDG dirs, tool checks
#   dc_start_x W H          Xvfb on a free display (it picks it), openbox
#   dc_seed_config DIR      let Double Commander write its default configuration
#   dc_configure DIR MODULE MANIFEST LEFT RIGHT [OPTIONS..]
#   dc_start DIR [ARGS..]   start it, wait for its main window (DC_PID, DC_WIN)
#   dc_quit                 its own quit key (cm_Exit), wait for the process to end
#   dc_read_panel FILE      what the panel shows of all its files, to FILE
#   dc_env_cleanup          ends what was started here, removes the scratch dir

DC_TESTS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
DC_ROOT=$(cd "$DC_TESTS_DIR/../.." && pwd)

# Time-outs, in tenths of a second.
DC_X_TIMEOUT=${DC_X_TIMEOUT:-100}
DC_WINDOW_TIMEOUT=${DC_WINDOW_TIMEOUT:-300}
DC_EXIT_TIMEOUT=${DC_EXIT_TIMEOUT:-150}
# The key the test binds to cm_CopyFileDetailsToClip.
DC_COPY_KEY=${DC_COPY_KEY:-ctrl+shift+F12}
DC_COPY_KEY_SCF=${DC_COPY_KEY_SCF:-Ctrl+Shift+F12}

DC_PID=""
DC_WIN=""
DC_XVFB_PID=""
DC_WM_PID=""
DC_SCRATCH=""

dc_die() {
  echo "dc: FAIL: $*" >&2
  dc_windows >&2
  exit 1
}

# The names of the visible windows, for a failure report.
dc_windows() {
  [ -n "${DISPLAY:-}" ] || return 0
  local w
  for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
    echo "dc:   window $w: $(xdotool getwindowname "$w" 2>/dev/null)"
  done
  return 0
}

dc_log() { echo "dc: $*" >&2; }

# Polls "$@" every 0.1 s until it succeeds or TENTHS tenths of a second pass.
dc_poll() {
  local tenths=$1
  shift
  local i
  for ((i = 0; i < tenths; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  "$@" >/dev/null 2>&1
}

dc_env_init() {
  local t missing=()
  for t in Xvfb openbox doublecmd xdotool xclip exiftool perl cjpeg cc; do
    command -v "$t" >/dev/null 2>&1 || missing+=("$t")
  done
  [ ${#missing[@]} -eq 0 ] || dc_die "missing ${missing[*]} (bash scripts/setup.sh installs them)"
  DC_SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/veltamo-dc.XXXXXX")
  # Nothing here may read or write the real user's settings: every program
  # started below gets a home and XDG folders inside the scratch dir.
  mkdir -p "$DC_SCRATCH/home" "$DC_SCRATCH/home/.config" "$DC_SCRATCH/home/.cache" \
           "$DC_SCRATCH/home/.local/share" "$DC_SCRATCH/run"
  chmod 700 "$DC_SCRATCH/run"
  export HOME="$DC_SCRATCH/home"
  export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache"
  export XDG_DATA_HOME="$HOME/.local/share" XDG_RUNTIME_DIR="$DC_SCRATCH/run"
  unset DBUS_SESSION_BUS_ADDRESS
  # Dates in UTC, in the C locale's format (see DcExpect.pm), and "." as
  # decimal point, whatever the machine says.
  export TZ=UTC LANG=C.UTF-8 LC_ALL=C.UTF-8
  # Marks Double Commander and every process it starts, so that an exiftool
  # it left behind can be told from anybody else's.
  DC_RUN_MARK="$$-$RANDOM$RANDOM"
  # The detect string as the module gives it, for registering the module as
  # the options dialog does.
  cc -O2 -o "$DC_SCRATCH/detect_string" "$DC_TESTS_DIR/detect_string.c" -ldl \
    || dc_die "cannot build tests/dc/detect_string.c"
}

dc_start_x() {
  local width=$1 height=$2 i
  # Xvfb picks a free display number itself and writes it to the fd.
  Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp -noreset \
    3>"$DC_SCRATCH/display" >"$DC_SCRATCH/xvfb.log" 2>&1 &
  DC_XVFB_PID=$!
  dc_poll "$DC_X_TIMEOUT" grep -q '[0-9]' "$DC_SCRATCH/display" \
    || dc_die "Xvfb did not start: $(tail -3 "$DC_SCRATCH/xvfb.log")"
  export DISPLAY=":$(tr -dc 0-9 < "$DC_SCRATCH/display")"
  dc_poll "$DC_X_TIMEOUT" xdotool getdisplaygeometry || dc_die "display $DISPLAY does not answer"
  # A window manager: without one Double Commander's GTK window spends some
  # 10 s at start waiting for frame extents, and no window can be activated.
  openbox --sm-disable >"$DC_SCRATCH/openbox.log" 2>&1 &
  DC_WM_PID=$!
  # It is up once xdotool stops finding no EWMH support on the display.
  for ((i = 0; i < DC_X_TIMEOUT; i++)); do
    xdotool getactivewindow 2>&1 | grep -q "claims not to support" || break
    kill -0 "$DC_WM_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$DC_WM_PID" 2>/dev/null && [ "$i" -lt "$DC_X_TIMEOUT" ] \
    || dc_die "openbox did not start: $(tail -3 "$DC_SCRATCH/openbox.log")"
  dc_log "X server $DISPLAY (${width}x${height}) with openbox"
}

# Starts Double Commander on configuration DIR; extra arguments are passed on.
# Sets DC_PID and DC_WIN (its main window). Fails the script when no window
# comes; with DC_START_SOFT=1 it returns 1 instead when the process ended
# before showing one (DC_PID is then left for the caller to wait for).
dc_start() {
  local dir=$1
  shift
  VELTAMO_DC_RUN="$DC_RUN_MARK" doublecmd --no-splash "--config-dir=$dir" "$@" \
    >>"$DC_SCRATCH/doublecmd.log" 2>&1 &
  DC_PID=$!
  DC_WIN=""
  local i
  for ((i = 0; i < DC_WINDOW_TIMEOUT; i++)); do
    DC_WIN=$(xdotool search --onlyvisible --pid "$DC_PID" --name '^Double Commander' 2>/dev/null | head -1)
    [ -n "$DC_WIN" ] && break
    if ! dc_alive; then
      [ "${DC_START_SOFT:-}" = 1 ] && return 1
      dc_die "Double Commander ended at start: $(tail -5 "$DC_SCRATCH/doublecmd.log")"
    fi
    sleep 0.1
  done
  [ -n "$DC_WIN" ] || dc_die "no Double Commander window after $((DC_WINDOW_TIMEOUT / 10)) s"
  dc_focus
}

dc_focus() {
  xdotool windowactivate --sync "$DC_WIN" >/dev/null 2>&1 \
    || xdotool windowfocus --sync "$DC_WIN" >/dev/null 2>&1 || true
}

# True while Double Commander's process runs (not ended, not a zombie).
dc_alive() {
  [ -n "$DC_PID" ] || return 1
  local state
  state=$(ps -o stat= -p "$DC_PID" 2>/dev/null)
  [ -n "$state" ] && [ "${state:0:1}" != Z ] && [ "${state:0:1}" != X ]
}

# Closes Double Commander with its own Exit command (its Alt+X key) and
# waits for the process to end. A window that has just appeared may not take
# keys yet, so the key is sent again each second until the process ends.
# Returns its exit status, or 124 when it did not end in DC_EXIT_TIMEOUT.
dc_quit() {
  local i ended=0
  for ((i = 0; i < DC_EXIT_TIMEOUT; i++)); do
    if ((i % 10 == 0)); then
      dc_focus
      xdotool key --clearmodifiers alt+x 2>/dev/null || true
    fi
    sleep 0.1
    if ! dc_alive; then
      ended=1
      break
    fi
  done
  [ $ended -eq 1 ] || return 124
  local status=0
  wait "$DC_PID" 2>/dev/null || status=$?
  DC_PID=""
  return $status
}

# Selects all files (Ctrl+A, cm_MarkMarkAll), copies what the panel shows of
# them (cm_CopyFileDetailsToClip) and writes the clipboard to $1.
dc_read_panel() {
  dc_focus
  xdotool key --clearmodifiers ctrl+a 2>/dev/null
  xdotool key --clearmodifiers "$DC_COPY_KEY" 2>/dev/null
  sleep 0.3
  timeout 5 xclip -o -selection clipboard >"$1" 2>/dev/null || : >"$1"
}

# Lets Double Commander write its own default configuration into DIR.
dc_seed_config() {
  local dir=$1
  mkdir -p "$dir"
  dc_start "$dir" -L "$DC_SCRATCH" -R "$DC_SCRATCH"
  dc_quit || dc_die "Double Commander did not close (status $?) while writing its configuration"
  [ -s "$dir/doublecmd.xml" ] && [ -s "$dir/shortcuts.scf" ] \
    || dc_die "Double Commander wrote no doublecmd.xml / shortcuts.scf in $dir"
}

# Registers MODULE (as Options > Plugins > WDX > Add does), adds a column set
# with the columns of MANIFEST (dc_tool.pl manifest), shows LEFT in the left
# panel with that set (sorted, if the manifest has a sort field), RIGHT in
# the right one, and binds the copy-details key. Further arguments go to
# dc_tool.pl configure (e.g. --widths-from EXPECTED).
dc_configure() {
  local dir=$1 module=$2 manifest=$3 left=$4 right=$5
  shift 5
  local detect
  detect=$("$DC_SCRATCH/detect_string" "$module") || dc_die "cannot read the detect string of $module"
  perl "$DC_TESTS_DIR/dc_tool.pl" configure --dc "$dir" --module "$module" \
    --detect "$detect" --manifest "$manifest" --left "$left" --right "$right" \
    --copy-key "$DC_COPY_KEY_SCF" "$@" \
    || dc_die "cannot write the Double Commander configuration"
}

# Exiftool processes that Double Commander started in this run (they carry
# its VELTAMO_DC_RUN mark, also once their parent is gone), as
# "PID COMMAND" lines.
dc_run_exiftools() {
  local pid comm args
  while read -r pid comm args; do
    case "$comm" in
      exiftool) ;;
      perl) case "$args" in *exiftool*) ;; *) continue ;; esac ;;
      *) continue ;;
    esac
    { tr '\0' '\n' < "/proc/$pid/environ"; } 2>/dev/null \
      | grep -qx "VELTAMO_DC_RUN=$DC_RUN_MARK" || continue
    echo "$pid ${args:0:100}"
  done < <(ps -eo pid=,comm=,args=)
  return 0
}

# Exiftool processes below Double Commander (its children and theirs), as
# PIDs, while it runs.
dc_child_exiftools() {
  [ -n "$DC_PID" ] || return 0
  ps -eo pid=,ppid=,comm= | awk -v root="$DC_PID" '
    { parent[$1] = $2; name[$1] = $3 }
    END {
      for (p in parent) {
        if (p == root || (name[p] != "exiftool" && name[p] != "perl")) continue
        for (q = parent[p]; q != "" && q != 0 && q != 1; q = parent[q])
          if (q == root) { print p; break }
      }
    }'
  return 0
}

dc_env_cleanup() {
  local pid
  for pid in $(dc_run_exiftools | cut -d' ' -f1); do kill -9 "$pid" 2>/dev/null || true; done
  if [ -n "$DC_PID" ]; then kill -9 "$DC_PID" 2>/dev/null || true; fi
  if [ -n "$DC_WM_PID" ]; then kill "$DC_WM_PID" 2>/dev/null || true; fi
  if [ -n "$DC_XVFB_PID" ]; then kill "$DC_XVFB_PID" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  if [ -n "$DC_SCRATCH" ] && [ -z "${DC_KEEP_SCRATCH:-}" ]; then rm -rf "$DC_SCRATCH"; fi
  return 0
}
