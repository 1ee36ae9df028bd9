#!/usr/bin/env bash
# Measures how often the companion's main thread wakes up and how much CPU the companion uses,
# with the window open on X11 (a private Xvfb display), with the window open on Wayland (Weston
# on that display, through its X11 backend: its headless backend offers no seat, without which
# SDL cannot open a window; skipped when Weston is not installed) and headless: on the idle
# screen, then on the question screen, whose clock ticks once a second. The main thread's
# voluntary context switches count its sleeps that ended (wake-ups); utime+stime of the whole
# process is its CPU time (Weston's is not counted). The companion also listens on a loopback
# WebSocket endpoint that nobody uses.
#   bench/wakeups.sh [BUILD_DIR] [SECONDS] [--modes "x11 wayland headless"] [--out FILE]
#                    [--atspi]
# (defaults: build/test, 60, all three). --out also writes the figures as JSON for
# scripts/bench's table: MODE_idle/wakeups_per_second, MODE_question/cpu_seconds_per_minute...
# --atspi runs it all in a private D-Bus session, where the window joins the accessibility bus
# (at-spi2-core), and measures each window twice more: with the bus, and with a client reading
# its tree and listening to all its events as a screen reader does (bench/atspi-client.py).
set -euo pipefail
cd "$(dirname "$0")/.."
arguments=("$@")
positional=()
wanted="x11 wayland headless"
out=""
atspi=""
while [ $# -gt 0 ]; do
  case "$1" in
    --modes) wanted=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --atspi) atspi=1; shift ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "bench/wakeups.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) positional+=("$1"); shift ;;
  esac
done
# The private session, and nothing of a desktop's: no DISPLAY reaches the bus it starts, and a
# runtime folder of its own keeps its accessibility bus's socket from any other session's.
if [ -n "$atspi" ] && [ -z "${DUNVEL_WAKEUPS_SESSION:-}" ]; then
  runtime=$(mktemp -d)
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u AT_SPI_BUS_ADDRESS DUNVEL_WAKEUPS_SESSION=1 \
    XDG_RUNTIME_DIR="$runtime" dbus-run-session -- bench/wakeups.sh "${arguments[@]}" ||
    status=$?
  rm -rf "$runtime"
  exit $status
fi
build=${positional[0]:-build/test}
seconds=${positional[1]:-60}
watch=$build/tools/watch/dunvel-watch
host=$build/tools/host/dunvel-host
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 640x640x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=:$(head -n 1 "$work/display")

# Weston as the tests run it: a runtime folder and socket of its own, no panel, the pixman
# renderer (no GPU here).
modes=$wanted
if [[ " $modes " == *" wayland "* ]] && command -v weston >/dev/null; then
  mkdir -m 700 "$work/wayland"
  printf '[shell]\npanel-position=none\nlocking=false\n' >"$work/weston.ini"
  XDG_RUNTIME_DIR=$work/wayland DISPLAY=$display WAYLAND_DISPLAY= weston \
    --backend=x11-backend.so --use-pixman --width=600 --height=600 --socket=wl-bench \
    --idle-time=0 --config="$work/weston.ini" >"$work/weston.log" 2>&1 &
  pids+=($!)
  # The shell's globals are there once it launches its own client.
  for _ in $(seq 100); do grep -q "weston-desktop-shell'" "$work/weston.log" && break; sleep 0.1; done
elif [[ " $modes " == *" wayland "* ]]; then
  echo "bench/wakeups.sh: no weston, so nothing is measured on Wayland" >&2
  modes=${modes//wayland/}
fi

ticks=$(getconf CLK_TCK)
switches() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$1/task/$1/status"; }
cputicks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

figures=()
measure() {  # label pid name
  local before_s before_c after_s after_c
  sleep 3  # let the screen settle
  before_s=$(switches "$2"); before_c=$(cputicks "$2")
  sleep "$seconds"
  after_s=$(switches "$2"); after_c=$(cputicks "$2")
  awk -v l="$1" -v s=$((after_s - before_s)) -v c=$((after_c - before_c)) -v t="$ticks" \
      -v d="$seconds" 'BEGIN { printf "%-36s %8d %12.2f %14.0f\n", l, s, s / d, c * 1000 / t }'
  figures+=("$(awk -v n="$3" -v s=$((after_s - before_s)) -v c=$((after_c - before_c)) \
    -v t="$ticks" -v d="$seconds" 'BEGIN {
      printf "{\"name\": \"%s/wakeups_per_second\", \"unit\": \"/s\", \"value\": %.4f}, ", n, s / d
      printf "{\"name\": \"%s/cpu_seconds_per_minute\", \"unit\": \"s/min\", \"value\": %.4f}", n, c / t / d * 60 }')")
}

printf "%-36s %8s %12s %14s\n" "over ${seconds} s" "wake-ups" "wake-ups/s" "CPU time (ms)"
for mode in $modes; do
  link=$work/$mode.sock
  case $mode in
    x11)
      label="window on X11"
      DISPLAY=$display WAYLAND_DISPLAY= "$watch" --link "$link" --listen ws://127.0.0.1:0 \
        >"$work/$mode.log" 2>&1 &
      ;;
    wayland)
      label="window on Wayland"
      DISPLAY= WAYLAND_DISPLAY=wl-bench XDG_RUNTIME_DIR=$work/wayland "$watch" --link "$link" \
        --listen ws://127.0.0.1:0 >"$work/$mode.log" 2>&1 &
      ;;
    *)
      label="headless"
      env -u DISPLAY -u WAYLAND_DISPLAY "$watch" --headless --link "$link" \
        --listen ws://127.0.0.1:0 >"$work/$mode.log" 2>&1 &
      ;;
  esac
  pid=$!
  pids+=("$pid")
  for _ in $(seq 100); do [ -S "$link" ] && break; sleep 0.1; done
  measure "$label, idle screen" "$pid" "${mode}_idle"
  "$host" push examples/question.json --opened-now --link "$link" >/dev/null
  measure "$label, question screen" "$pid" "${mode}_question"
  if [ -n "$atspi" ] && [ "$mode" != headless ]; then
    "$host" push examples/idle.json --link "$link" >/dev/null
    /usr/bin/python3 bench/atspi-client.py "$pid" >"$work/$mode.client.log" 2>&1 &
    client=$!
    pids+=("$client")
    for _ in $(seq 100); do [ -s "$work/$mode.client.log" ] && break; sleep 0.1; done
    sed 's/^/  /' "$work/$mode.client.log"
    measure "$label, idle, AT-SPI client" "$pid" "${mode}_idle_atspi_client"
    "$host" push examples/question.json --opened-now --link "$link" >/dev/null
    measure "$label, question, AT-SPI client" "$pid" "${mode}_question_atspi_client"
    kill "$client"
  fi
  kill "$pid"
  wait "$pid" || true
done
if [ -n "$out" ]; then
  (IFS=,; printf '{"figures": [%s]}\n' "${figures[*]}") >"$out"
fi
