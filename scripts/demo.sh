#!/usr/bin/env bash
# Shows Tolvara Updater at work: builds TvUpdater and tolvara-server, serves the demo
# application on a loopback port and starts a copy of TvUpdater against it.
#
#   scripts/demo.sh               launch mode: "TvUpdater DEMO" downloads the demo application
#                                 with its progress window and starts it
#   scripts/demo.sh --installer   the installer window with the server's list instead
#   --real-home                   use your real home (desktop entries, ~/.local/share/Kestrov);
#                                 by default everything goes into a temporary home
#   --keep                        keep the temporary folder for a look afterwards
#
# The build goes to build/ (or $TV_BUILD_DIR). Without $DISPLAY the program runs under Xvfb (nobody can click there, so the installer window
# is only shown for a few seconds). Works as root on a fresh Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=launch
real_home=0
keep=0
for arg in "$@"; do
  case "$arg" in
    --installer) mode=installer ;;
    --real-home) real_home=1 ;;
    --keep) keep=1 ;;
    -h | --help)
      sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *)
      echo "demo: unknown option $arg (try --help)" >&2
      exit 2
      ;;
  esac
done

say() { printf 'demo: %s\n' "$*"; }

bash scripts/setup.sh
build_dir=${TV_BUILD_DIR:-build}
say "building TvUpdater and tolvara-server ($build_dir/, RelWithDebInfo)"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --target TvUpdater tolvara-server -j "${TV_JOBS:-$(nproc)}" >/dev/null

updater_bin=$(find "$build_dir/src/app" -maxdepth 1 -type f -name TvUpdater -perm -u+x | head -n1)
server_bin=$(find "$build_dir/server" -maxdepth 1 -type f -name tolvara-server -perm -u+x | head -n1)
[ -n "$updater_bin" ] && [ -n "$server_bin" ] || { say "build produced no TvUpdater or tolvara-server"; exit 1; }
updater_bin=$(realpath "$updater_bin")
server_bin=$(realpath "$server_bin")

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=8091
if port_in_use "$port"; then
  port=""
  for candidate in $(shuf -i 20000-60000 -n 50); do
    if ! port_in_use "$candidate"; then port=$candidate; break; fi
  done
  [ -n "$port" ] || { say "found no free loopback port"; exit 1; }
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvara-demo.XXXXXX")
server_pid=""
cleanup() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    say "demo server stopped"
  fi
  if [ "$keep" = 1 ]; then say "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

"$server_bin" demo --listen "127.0.0.1:$port" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do
  port_in_use "$port" && break
  kill -0 "$server_pid" 2>/dev/null || { say "the demo server did not start:"; cat "$work/server.log"; exit 1; }
  sleep 0.1
done
port_in_use "$port" || { say "the demo server does not answer on port $port"; exit 1; }
say "demo server listening on http://127.0.0.1:$port/bin"

# The updater reads TvUpdater.config beside its executable, so it runs from a copy.
mkdir -p "$work/updater"
cp "$updater_bin" "$work/updater/TvUpdater"
[ -f "$(dirname "$updater_bin")/TvUpdater.png" ] && cp "$(dirname "$updater_bin")/TvUpdater.png" "$work/updater/"
cat >"$work/updater/TvUpdater.config" <<EOF
[Tolvara Updater]
ServiceURL=http://127.0.0.1:$port/bin
ThinClient=NO
EOF

if [ "$real_home" = 0 ]; then
  export HOME="$work/home"
  export XDG_DATA_HOME="$HOME/.local/share"
  export XDG_CONFIG_HOME="$HOME/.config"
  mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$HOME/Desktop"
  echo 'XDG_DESKTOP_DIR="$HOME/Desktop"' >"$XDG_CONFIG_HOME/user-dirs.dirs"
  say "temporary home $HOME (your own files are not touched)"
fi
data_home="${XDG_DATA_HOME:-$HOME/.local/share}"

run_gui() {
  if [ -n "${DISPLAY:-}" ]; then
    "$@"
  else
    say "no DISPLAY: running under Xvfb"
    xvfb-run -a -s "-screen 0 1280x800x24" "$@"
  fi
}

status=0
if [ "$mode" = launch ]; then
  say "starting: TvUpdater DEMO (launch mode)"
  run_gui "$work/updater/TvUpdater" DEMO || status=$?
  app_dir="$data_home/Kestrov/DEMO"
  say "TvUpdater ended with exit code $status"
  if [ -f "$app_dir/DEMO.kvx" ]; then
    say "application folder $app_dir:"
    (cd "$app_dir" && find . -type f | sort | sed 's/^\.\//    /')
  else
    say "no application folder was filled (see the messages above)"
    status=1
  fi
  # The demo application leaves a note when it has started.
  sleep 1
  started=$(find "$app_dir" -maxdepth 1 -type f -name '*started*' 2>/dev/null | head -n1)
  if [ -n "$started" ]; then
    say "the demo application started: $(head -c 200 "$started")"
  fi
else
  if [ -n "${DISPLAY:-}" ]; then
    say "starting: TvUpdater (installer mode); tick DEMO, choose a folder, press Instaliraj"
    "$work/updater/TvUpdater" || status=$?
    say "TvUpdater ended with exit code $status"
    find "$HOME/Desktop" -maxdepth 1 -name '*.desktop' 2>/dev/null | sed 's/^/demo: desktop entry /'
  else
    say "no DISPLAY: showing the installer window under Xvfb for 5 seconds (nobody can click there)"
    xvfb-run -a -s "-screen 0 1280x800x24" timeout 5 "$work/updater/TvUpdater" || status=$?
    if [ "$status" = 124 ]; then
      say "the installer window ran until it was stopped; run with a display to use it"
      status=0
    else
      say "TvUpdater ended by itself with exit code $status"
    fi
  fi
fi
exit "$status"
