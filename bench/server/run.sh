#!/usr/bin/env bash
# Download benchmark of tolvara-server against nginx serving the same file on loopback.
#
# Publishes one file of SIZE_MIB (default 256) MiB, lets CLIENTS (default 5) clients pull it in
# 1 MiB parts through the project's own proxy, and fetches the same file from nginx with curl
# (once whole, once in CLIENTS ranges side by side). Each side runs ROUNDS (default 3) times; the
# best round counts. Prints MiB/s, CPU seconds of each server and the update server's peak RSS.
# Goals: at least 0.8 of nginx's throughput, peak RSS below 64 MiB.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build-bench-server}
size_mib=${SIZE_MIB:-256}
clients=${CLIENTS:-5}
rounds=${ROUNDS:-3}

if ! command -v nginx >/dev/null 2>&1 && [ ! -x /usr/sbin/nginx ]; then
  echo "bench: installing nginx"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends nginx >/dev/null
fi
NGINX=$(command -v nginx || echo /usr/sbin/nginx)

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTV_BUILD_GUI=OFF \
  -DTV_BUILD_TESTS=OFF -DTV_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target tolvara-server server_bench -j2 >/dev/null
server="$build/server/tolvara-server"
client="$build/bench/server/server_bench"

work=$(mktemp -d)
spid=""
cleanup() {
  [ -n "$spid" ] && kill "$spid" 2>/dev/null && wait "$spid" 2>/dev/null || true
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  sleep 0.2
  rm -rf "$work"
}
trap cleanup EXIT

chmod 755 "$work"
mkdir -m 755 "$work/files"
head -c $((size_mib << 20)) /dev/urandom >"$work/files/bench.bin"
chmod 644 "$work/files/bench.bin"
"$server" publish --db "$work/bench.db" --uid BENCH --name Bench --dir "$work/files" >/dev/null 2>&1

free_port() {
  local p
  for p in $(seq "$1" $(($1 + 200))); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then echo "$p"; return; fi
  done
  return 1
}

cpu_of() {  # CPU seconds (user + system) of the given processes
  local total=0 pid t
  for pid in "$@"; do
    t=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    total=$((total + t))
  done
  echo "$total $(getconf CLK_TCK)" | awk '{printf "%.2f", $1 / $2}'
}

# ---- tolvara-server
"$server" serve --db "$work/bench.db" --listen 127.0.0.1:0 >"$work/server.out" 2>&1 &
spid=$!
for _ in $(seq 100); do grep -q "serving" "$work/server.out" && break; sleep 0.05; done
url=$(grep -o 'http://[^ ]*/bin' "$work/server.out")
best_server=0
cpu_before=$(cpu_of "$spid")
for _ in $(seq "$rounds"); do
  line=$("$client" "$url" BENCH "$clients" 1048576)
  echo "  $line" | grep -v MIBPS || true
  mibps=$(echo "$line" | awk '/^MIBPS/ {print $2}')
  best_server=$(echo "$best_server $mibps" | awk '{print ($2 > $1) ? $2 : $1}')
done
cpu_server=$(echo "$(cpu_of "$spid") $cpu_before" | awk '{printf "%.2f", $1 - $2}')
rss_kib=$(awk '/VmHWM/ {print $2}' "/proc/$spid/status")
kill -INT "$spid"
wait "$spid" || true
spid=""

# ---- nginx, same file, same loopback
nport=$(free_port 18600)
cat >"$work/nginx.conf" <<CONF
worker_processes 1;
daemon on;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  types { }
  default_type application/octet-stream;
  client_body_temp_path $work/nginx-body;
  proxy_temp_path $work/nginx-proxy;
  fastcgi_temp_path $work/nginx-fastcgi;
  uwsgi_temp_path $work/nginx-uwsgi;
  scgi_temp_path $work/nginx-scgi;
  server { listen 127.0.0.1:$nport; root $work/files; }
}
CONF
"$NGINX" -c "$work/nginx.conf" -p "$work" 2>/dev/null
for _ in $(seq 100); do [ -s "$work/nginx.pid" ] && break; sleep 0.05; done
sleep 0.2
npids=$(pgrep -P "$(cat "$work/nginx.pid")" | tr '\n' ' ')
ncpu_before=$(cpu_of $(cat "$work/nginx.pid") $npids)
size=$((size_mib << 20))
best_whole=0
best_ranges=0
for _ in $(seq "$rounds"); do
  bps=$(curl -s -o /dev/null -w '%{speed_download}' "http://127.0.0.1:$nport/bench.bin")
  mibps=$(echo "$bps" | awk '{printf "%.1f", $1 / 1048576}')
  best_whole=$(echo "$best_whole $mibps" | awk '{print ($2 > $1) ? $2 : $1}')
  # The same file in CLIENTS ranges at once, as the update clients pull it.
  start=$(date +%s.%N)
  slice=$(((size + clients - 1) / clients))
  for i in $(seq 0 $((clients - 1))); do
    from=$((i * slice))
    to=$(((i + 1) * slice - 1))
    [ "$to" -ge "$size" ] && to=$((size - 1))
    curl -s -o /dev/null -r "$from-$to" "http://127.0.0.1:$nport/bench.bin" &
  done
  wait
  end=$(date +%s.%N)
  mibps=$(echo "$start $end $size_mib" | awk '{printf "%.1f", $3 / ($2 - $1)}')
  best_ranges=$(echo "$best_ranges $mibps" | awk '{print ($2 > $1) ? $2 : $1}')
done
cpu_nginx=$(echo "$(cpu_of $(cat "$work/nginx.pid") $npids) $ncpu_before" | awk '{printf "%.2f", $1 - $2}')

best_nginx=$(echo "$best_whole $best_ranges" | awk '{print ($2 > $1) ? $2 : $1}')
ratio=$(echo "$best_server $best_nginx" | awk '{printf "%.2f", $1 / $2}')
rss_mib=$(echo "$rss_kib" | awk '{printf "%.1f", $1 / 1024}')
echo
echo "file: $size_mib MiB, $clients clients, parts of 1 MiB, best of $rounds rounds"
printf '%-40s %10s MiB/s   CPU %6s s (all rounds)\n' "tolvara-server ($clients proxies)" "$best_server" "$cpu_server"
printf '%-40s %10s MiB/s\n' "nginx, curl whole file" "$best_whole"
printf '%-40s %10s MiB/s   CPU %6s s (all rounds)\n' "nginx, curl in $clients ranges" "$best_ranges" "$cpu_nginx"
echo "throughput ratio to nginx's best: $ratio (goal >= 0.80)"
echo "tolvara-server peak RSS: $rss_mib MiB (goal < 64)"
