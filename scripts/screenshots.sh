#!/usr/bin/env bash
# Takes the README's pictures under Xvfb into docs/screenshots/: the installer window with the
# demo list, the launch window during a download, and the message dialog of each type.
# Builds into build/ (or $TV_BUILD_DIR). Works as root on a fresh Debian 12 without a display.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build_dir=${TV_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --target TvUpdater tolvara-server screenshot_driver \
  -j "${TV_JOBS:-$(nproc)}" >/dev/null
updater=$(realpath "$build_dir/src/app/TvUpdater")
server=$(realpath "$build_dir/server/tolvara-server")
driver=$(realpath "$build_dir/tests/app/screenshot_driver")
out=docs/screenshots
mkdir -p "$out"

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvara-shots.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# An X server of our own, so nothing else appears in the pictures.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 1 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$HOME/Desktop"
unset QT_QPA_PLATFORM

# The screen is black apart from the one window shown; trimming the black leaves the window.
shoot() {
  sleep "$2"
  import -window root "$work/shot.png"
  convert "$work/shot.png" -trim +repage "$out/$1.png"
  echo "screenshots: $out/$1.png"
}
run_updater() {  # folder, url, arguments...
  local folder=$1 url=$2
  shift 2
  mkdir -p "$folder"
  cp "$updater" "$folder/TvUpdater"
  printf '[Tolvara Updater]\nServiceURL=%s\nApp_Path=%s\n' "$url" "$HOME/Aplikacije" >"$folder/TvUpdater.config"
  "$folder/TvUpdater" "$@" >/dev/null 2>&1 &
  pids+=($!)
}

# The installer window with the demo server's list.
port=$((20000 + RANDOM % 30000))
"$server" demo --listen "127.0.0.1:$port" >"$work/server.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
run_updater "$work/installer" "http://127.0.0.1:$port/bin"
shoot installer 3
kill "${pids[-1]}"

# The launch window while a download is under way (a server whose parts come slowly).
"$driver" serve-slow >"$work/slow.url" 2>/dev/null &
pids+=($!)
for _ in $(seq 1 50); do [ -s "$work/slow.url" ] && break; sleep 0.1; done
run_updater "$work/launch" "$(head -n1 "$work/slow.url")" DEMO
shoot launch-download 3
kill "${pids[-1]}"

# The message dialog, one picture per type.
for type in 0 1 2 3; do
  "$driver" dialog "$type" >/dev/null 2>&1 &
  pids+=($!)
  shoot "dialog-$type" 2
  kill "${pids[-1]}"
done
