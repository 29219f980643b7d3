#!/usr/bin/env bash
# Launch benchmark: an application with 256 MiB of executables (a start script and four files of
# 64 MiB) is published to tolvara-server on loopback and launched with TvUpdater; the launch is
# timed from the updater's process start to the moment its main executable runs (the script
# writes a timestamp). In the same run nginx serves the same bytes as one file, fetched by curl in
# one GET and by aria2c with five connections of 1 MiB pieces. Wall, CPU and peak RSS of each come
# from /usr/bin/time -v; the figures are medians of several runs. Then the no-op launch (every
# file current) and the processor time of a download whose parts are all held back.
#
# Environment: BUILD (build folder, default build-bench-launch), SIZE_MIB (default 256),
# RUNS (full launches and fetches, default 5), NOOP_RUNS (default 15).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${BUILD:-$ROOT/build-bench-launch}
SIZE_MIB=${SIZE_MIB:-256}
RUNS=${RUNS:-5}
NOOP_RUNS=${NOOP_RUNS:-15}

# The peers and the timer are needed by this benchmark only.
missing=()
for p in nginx aria2 time curl; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTV_BUILD_BENCH=ON \
  -DTV_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target TvUpdater tolvara-server bench_launch_idle -j2 >/dev/null
UPDATER_BIN=$(find "$BUILD" -name TvUpdater -type f -perm -u+x | head -n1)
SERVER_BIN=$(find "$BUILD" -name tolvara-server -type f -perm -u+x | head -n1)
IDLE_BIN=$(find "$BUILD" -name bench_launch_idle -type f -perm -u+x | head -n1)

W=$(mktemp -d /tmp/tv-bench-launch.XXXXXX)
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$W"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
wait_port() {
  for _ in $(seq 1 500); do (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0; sleep 0.02; done
  echo "nothing listens on port $1" >&2; return 1
}
now_ns() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Wall seconds, CPU seconds and peak RSS (MiB) from a /usr/bin/time -v report.
time_fields() {
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n=split($2,p,":"); w=0; for(i=1;i<=n;i++) w=w*60+p[i] }
    /User time/ { u=$2 } /System time/ { s=$2 } /Maximum resident/ { r=$2/1024 }
    END { printf "%.3f %.3f %.1f\n", w, u+s, r }' "$1"
}

# ---- the application: a start script that notes the time, and SIZE_MIB of binaries
mkdir -p "$W/app" "$W/config" "$W/www" "$W/home/data"
cat >"$W/app/start.sh" <<SCRIPT
#!/bin/sh
date +%s%N > "$W/main-started"
SCRIPT
chmod +x "$W/app/start.sh"
per=$((SIZE_MIB / 4))
for i in 1 2 3 4; do head -c "$((per * 1048576))" /dev/urandom >"$W/app/part$i.bin"; done
printf '[app]\r\nx=1\r\n' >"$W/config/app.ini"
cat "$W/app/start.sh" "$W/app"/part*.bin >"$W/www/blob.bin"
BYTES=$(stat -c %s "$W/www/blob.bin")

"$SERVER_BIN" publish --db "$W/store.db" --uid BENCH --name Bench --dir "$W/app" \
  --main start.sh --config "$W/config" >/dev/null 2>&1
SPORT=$(free_port)
"$SERVER_BIN" serve --db "$W/store.db" --listen "127.0.0.1:$SPORT" >"$W/server.log" 2>&1 &
PIDS+=($!)
wait_port "$SPORT"

NPORT=$(free_port)
mkdir -p "$W/nginx/logs"
cat >"$W/nginx.conf" <<CONF
worker_processes 1;
daemon off;
error_log $W/nginx/logs/error.log;
pid $W/nginx/nginx.pid;
$( [ "$(id -u)" -eq 0 ] && echo "user root;" )
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  server { listen 127.0.0.1:$NPORT; root $W/www; }
}
CONF
nginx -c "$W/nginx.conf" -p "$W/nginx" &
PIDS+=($!)
wait_port "$NPORT"

mkdir -p "$W/updater"
cp "$UPDATER_BIN" "$W/updater/TvUpdater"
printf '[Tolvara]\r\nServiceURL=http://127.0.0.1:%s/bin\r\nThinClient=NO\r\n' "$SPORT" \
  >"$W/updater/TvUpdater.config"
export HOME="$W/home" XDG_DATA_HOME="$W/home/data" QT_QPA_PLATFORM=offscreen
APPDIR="$XDG_DATA_HOME/Kestrov/BENCH"

# One launch; prints the milliseconds from process start to the main executable's start.
launch() {
  rm -f "$W/main-started"
  local t0; t0=$(now_ns)
  /usr/bin/time -v -o "$W/time-updater.txt" "$W/updater/TvUpdater" BENCH >/dev/null 2>&1
  for _ in $(seq 1 1000); do [ -s "$W/main-started" ] && break; sleep 0.005; done
  [ -s "$W/main-started" ] || { echo "the main executable did not start" >&2; exit 1; }
  echo $(( ($(cat "$W/main-started") - t0) / 1000000 ))
}

declare -A WALL CPU RSS
record() {  # name file
  read -r w c r < <(time_fields "$2")
  WALL[$1]+="$w "; CPU[$1]+="$c "; RSS[$1]+="$r "
}

# Every measured run starts from the same state: its output gone and the disk quiet.
settle() { sync; sleep 0.3; }
launch_ms=()
for _ in $(seq 1 "$RUNS"); do
  rm -rf "$APPDIR"
  settle
  launch_ms+=("$(launch)")
  record updater "$W/time-updater.txt"
  cmp -s <(cat "$APPDIR/start.sh" "$APPDIR"/part*.bin) "$W/www/blob.bin" ||
    { echo "the launched application differs from the published one" >&2; exit 1; }

  rm -f "$W/curl.out"
  settle
  /usr/bin/time -v -o "$W/time-curl.txt" curl -s -o "$W/curl.out" "http://127.0.0.1:$NPORT/blob.bin"
  record curl "$W/time-curl.txt"
  cmp -s "$W/curl.out" "$W/www/blob.bin" || { echo "curl fetched other bytes" >&2; exit 1; }
  rm -f "$W/curl.out"

  rm -rf "$W/aria"
  settle
  /usr/bin/time -v -o "$W/time-aria.txt" aria2c -x5 -s5 -k1M -q --allow-overwrite=true \
    -d "$W/aria" -o blob.bin "http://127.0.0.1:$NPORT/blob.bin"
  record aria2c "$W/time-aria.txt"
  cmp -s "$W/aria/blob.bin" "$W/www/blob.bin" || { echo "aria2c fetched other bytes" >&2; exit 1; }
  rm -rf "$W/aria"
done

noop_ms=()
for _ in $(seq 1 "$NOOP_RUNS"); do noop_ms+=("$(launch)"); done
record noop "$W/time-updater.txt"

med() { tr ' ' '\n' <<<"$1" | grep -v '^$' | median; }
launch_med=$(printf '%s\n' "${launch_ms[@]}" | median)
noop_med=$(printf '%s\n' "${noop_ms[@]}" | median)

printf '\nLaunch of %d MiB (%d bytes), median of %d runs; load average %s\n' "$SIZE_MIB" "$BYTES" \
  "$RUNS" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-28s %9s %9s %12s\n' "" "wall s" "CPU s" "peak RSS MiB"
for k in updater curl aria2c; do
  printf '%-28s %9s %9s %12s\n' "$k" "$(med "${WALL[$k]}")" "$(med "${CPU[$k]}")" "$(med "${RSS[$k]}")"
done
printf 'TvUpdater start to main executable: %s ms (runs: %s)\n' "$launch_med" "${launch_ms[*]}"
# The launch counts from the updater's start to its main executable's start.
awk -v u="$(awk -v m="$launch_med" 'BEGIN {print m/1000}')" -v c="$(med "${WALL[curl]}")" \
  -v a="$(med "${WALL[aria2c]}")" -v r="$(med "${RSS[updater]}")" 'BEGIN {
    printf "wall ratio to curl:   %.2f (goal <= 1.30) %s\n", u/c, (u/c <= 1.3 ? "met" : "MISSED")
    printf "wall ratio to aria2c: %.2f (goal <= 0.80) %s\n", u/a, (u/a <= 0.8 ? "met" : "MISSED")
    printf "peak RSS of TvUpdater: %.1f MiB (goal <= 64) %s\n", r, (r <= 64 ? "met" : "MISSED")
  }'
printf 'no-op launch: median %s ms of %d (goal <= 150) %s; runs: %s\n' "$noop_med" "$NOOP_RUNS" \
  "$([ "$noop_med" -le 150 ] && echo met || echo MISSED)" "${noop_ms[*]}"
"$IDLE_BIN" 2000
