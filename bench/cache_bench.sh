#!/usr/bin/env bash
# The directory and file cache, measured in one run on loopback:
#   - a 4 KiB file with wrk, 64 kept-alive connections: requests per second of the server with
#     its cache on, with it off, and of nginx (one worker, sendfile on) beside them;
#   - FTP RETR of a 100 MB file: from the cache (the second download) against the server with
#     its cache off after the page cache was dropped (the disk), and against the same with the
#     file in the page cache (warm), median of three with curl;
#   - LIST of a 10,000-entry folder: from the directory cache against building it (cache off),
#     median of five, ratio and absolute times;
#   - memory: a 64 MB capacity and 1,000 distinct 1 MB files fetched once each over HTTP: the
#     server's resident size after, against its size before (target: below 64 MB plus the base).
# The wrk figures are medians of three rounds.
# Usage: bench/cache_bench.sh [BUILD_DIR] (default build). Needs wrk, nginx, curl, python3; run
# as root to drop the page cache (otherwise the disk figure is read from the page cache, and
# says so). CORVANE_BENCH_SECONDS sets each wrk run (10); CORVANE_BENCH_SKIP_WRK=1 leaves the
# wrk part out.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
server_bin="$build/bin/corvane-server"
seconds=${CORVANE_BENCH_SECONDS:-10}
. bench/peer_helpers.sh
require_bench_tools "$server_bin" wrk nginx curl python3

scratch=$(mktemp -d /tmp/corvane-bench-cache-XXXXXX)
chmod 755 "$scratch"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

share="$scratch/share"
mkdir -p "$share/My Downloads/many" "$share/My Downloads/files"
head -c 4096 /dev/urandom >"$share/My Downloads/small.bin"
head -c 100000000 /dev/urandom >"$share/My Downloads/hundred.bin"
python3 - "$share/My Downloads" <<'PY'
import os, sys
root = sys.argv[1]
for i in range(10000):
    open(os.path.join(root, 'many', 'n%05d.txt' % i), 'w').write('x')
block = os.urandom(1 << 20)
for i in range(1000):
    open(os.path.join(root, 'files', 'f%04d.bin' % i), 'wb').write(block[i:] + block[:i])
PY
chmod -R a+rX "$share"

# A server of its own home on the shared folder (drive C), with `extra` settings lines.
start_server() {  # name, extra -> sets port_<name>_ftp, port_<name>_http, pid_<name>
    local name=$1 extra=$2 home="$scratch/home-$1" ftp http
    ftp=$(free_port); http=$(free_port)
    mkdir -p "$home"
    printf '[ServerData]\r\nPort=%s\r\nUserSetServerIP=127.0.0.1\r\nWebServerPort=%s\r\nRunWebServerNextTime=1\r\nWebServerConnections=2000\r\nScreenLoggingEnabled=0\r\nWebServerRoot=C:\\My Downloads\r\n%b\r\n[Drives]\r\nC=%s\r\n' \
        "$ftp" "$http" "$extra" "$share" >"$home/CorvaneServer.ini"
    "$server_bin" --headless --home "$home" >"$scratch/$name.out" 2>&1 &
    pids+=($!)
    eval "pid_$name=$!; ftp_$name=$ftp; http_$name=$http"
    wait_port "$http"
}
start_server on "DirectoryCacheEnabled=1\r\nFileCacheEnabled=1\r\nCacheSize=128"
start_server off "DirectoryCacheEnabled=0\r\nFileCacheEnabled=0"

theirs=$(free_port)
start_nginx "$scratch/nginx" "$theirs" "$share/My Downloads"
pids+=("$nginx_pid")
wait_port "$theirs"

load() { cut -d' ' -f1 /proc/loadavg; }
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
rate() { wrk -t1 -c64 -d"${seconds}s" "$@" 2>&1 | awk '/Requests\/sec/ {print $2}'; }

# ---- 4 KiB over HTTP ----
if [ "${CORVANE_BENCH_SKIP_WRK:-0}" != 1 ]; then
# Three rounds, the three servers one after the other in each, so that the load of the machine
# weighs on all of them alike; the median of each.
curl -s -o /dev/null "http://127.0.0.1:$http_on/small.bin"   # fills the cache
: >"$scratch/rates"
for _ in 1 2 3; do
    echo "on $(rate "http://127.0.0.1:$http_on/small.bin")" >>"$scratch/rates"
    echo "off $(rate "http://127.0.0.1:$http_off/small.bin")" >>"$scratch/rates"
    echo "nginx $(rate "http://127.0.0.1:$theirs/small.bin")" >>"$scratch/rates"
done
median_of() { awk -v w="$1" '$1 == w {print $2}' "$scratch/rates" | sort -n | sed -n 2p; }
on=$(median_of on)
off=$(median_of off)
ngx=$(median_of nginx)
printf '%-38s cache on %10s  cache off %10s  nginx %10s req/s  on/off %s  on/nginx %s  (load %s)\n' \
    "4 KiB, 64 kept-alive connections" "$on" "$off" "$ngx" "$(ratio "$on" "$off")" "$(ratio "$on" "$ngx")" "$(load)"
fi

# ---- 100 MB over FTP ----
curl_ftp() { curl -s -o /dev/null --happy-eyeballs-timeout-ms 1 -w '%{speed_download} %{time_total}\n' "$1"; }
median() { sort -n | sed -n "$(( ($1 + 1) / 2 ))p"; }
curl_ftp "ftp://127.0.0.1:$ftp_on/hundred.bin" >/dev/null   # fills the cache
# Five rounds, interleaved as for wrk: from the cache; from disk after the page cache was
# dropped; from disk again, now from the page cache (warm). The median of each.
dropped=yes
: >"$scratch/ftp"
for _ in 1 2 3 4 5; do
    echo "cache $(curl_ftp "ftp://127.0.0.1:$ftp_on/hundred.bin")" >>"$scratch/ftp"
    sync
    echo 3 >/proc/sys/vm/drop_caches 2>/dev/null || dropped=no
    echo "disk $(curl_ftp "ftp://127.0.0.1:$ftp_off/hundred.bin")" >>"$scratch/ftp"
    echo "warm $(curl_ftp "ftp://127.0.0.1:$ftp_off/hundred.bin")" >>"$scratch/ftp"
done
[ -w /proc/sys/vm/drop_caches ] || dropped=no
ftp_median() { awk -v w="$1" '$1 == w {print $2, $3}' "$scratch/ftp" | median 5; }
from_cache=$(ftp_median cache)
from_disk=$(ftp_median disk)
from_warm=$(ftp_median warm)
mbs() { echo "$1" | awk '{print $1 / 1000000}'; }
printf '%-38s from the cache %8.0f MB/s  from disk%s %8.0f MB/s  ratio %s\n' "FTP RETR of 100 MB" \
    "$(mbs "$from_cache")" \
    "$([ "$dropped" = yes ] && echo ' (page cache dropped)' || echo ' (page cache NOT dropped)')" \
    "$(mbs "$from_disk")" \
    "$(ratio "$(echo "$from_cache" | cut -d' ' -f1)" "$(echo "$from_disk" | cut -d' ' -f1)")"
printf '%-38s from the cache %8.0f MB/s  from the page cache %8.0f MB/s  ratio %s\n' "FTP RETR of 100 MB, warm disk" \
    "$(mbs "$from_cache")" "$(mbs "$from_warm")" \
    "$(ratio "$(echo "$from_cache" | cut -d' ' -f1)" "$(echo "$from_warm" | cut -d' ' -f1)")"

# ---- LIST of 10,000 entries ----
list_time() { curl -s -o /dev/null --happy-eyeballs-timeout-ms 1 -w '%{time_total}\n' "$1"; }
list_time "ftp://127.0.0.1:$ftp_on/many/" >/dev/null   # fills the directory cache
cached=$(for _ in 1 2 3 4 5; do list_time "ftp://127.0.0.1:$ftp_on/many/"; done | median 5)
built=$(for _ in 1 2 3 4 5; do list_time "ftp://127.0.0.1:$ftp_off/many/"; done | median 5)
printf '%-38s from the cache %7.1f ms  built %7.1f ms  built/cached %s  (whole curl session)\n' \
    "LIST of 10,000 entries" "$(python3 -c "print($cached * 1000)")" "$(python3 -c "print($built * 1000)")" \
    "$(ratio "$built" "$cached")"

# ---- Memory with a 64 MB capacity ----
start_server mem "CacheSize=64"
rss_kib() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
base=$(rss_kib "$pid_mem")
python3 - "$http_mem" <<'PY'
import http.client, sys
conn = http.client.HTTPConnection('127.0.0.1', int(sys.argv[1]), timeout=30)
for i in range(1000):
    conn.request('GET', '/files/f%04d.bin' % i)
    body = conn.getresponse().read()
    assert len(body) == 1 << 20, len(body)
PY
after=$(rss_kib "$pid_mem")
sleep 11   # the log lines of the 1,000 requests wait in memory for the 10 s tick
settled=$(rss_kib "$pid_mem")
printf '%-38s base %8s KiB  after %8s KiB (grown %s)  after the log flush %8s KiB (grown %s)  (capacity 65536 KiB)\n' \
    "1,000 files of 1 MB, 64 MB capacity" "$base" "$after" "$((after - base))" "$settled" "$((settled - base))"
