#!/usr/bin/env bash
# Server CPU per request, the web server beside nginx (one worker, sendfile on, access log off),
# both serving the same 4 KiB file on loopback: wrk runs against one server at a time while
# `perf stat -e task-clock` counts that server's CPU time; the figure is CPU time over the
# requests wrk completed. Unlike requests per second it depends little on what else the
# machine is doing, so it shows where the time goes on a shared machine.
#   - 64 kept-alive connections;
#   - the same with "Connection: close" on every request.
# Usage: bench/http_cpu_per_request.sh [BUILD_DIR] (default build)
# Needs wrk, nginx (nginx-light), perf (linux-perf), curl and python3; CORVANE_BENCH_SECONDS
# sets each wrk run (10).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/peer_helpers.sh
bench_settings "$@"
require_bench_tools "$server_bin" wrk nginx perf curl python3

bench_scratch cpu

home="$scratch/home"
share="$home/drive_c/My Downloads"
mkdir -p "$share"
head -c 4096 /dev/urandom >"$share/small.bin"
chmod -R a+rX "$home/drive_c"

ftp_port=$(free_port)
ours=$(free_port)
theirs=$(free_port)
start_web_server "$server_bin" "$home" "$ftp_port" "$ours"
start_nginx "$scratch/nginx" "$theirs" "$share"
wait_port "$ours"
wait_port "$theirs"
# nginx's master only starts the worker, which serves.
nginx_worker=$(pgrep -P "$nginx_pid" | head -1)

# Microseconds of CPU per request of process PID while wrk runs with the given arguments.
cpu_per_request() {  # pid, wrk arguments...
    local pid=$1
    shift
    perf stat -x, -e task-clock -p "$pid" -o "$scratch/perf.txt" -- sleep "$((seconds + 1))" &
    local perf_pid=$!
    local requests
    requests=$(wrk -t1 -c64 -d"${seconds}s" "$@" 2>&1 | awk '/requests in/ {print $1}')
    wait "$perf_pid"
    local msec
    msec=$(awk -F, '/task-clock/ {print $1}' "$scratch/perf.txt")
    python3 -c "import sys; print('%.2f %s' % (float(sys.argv[1]) * 1000.0 / int(sys.argv[2]), sys.argv[2]))" \
        "$msec" "$requests"
}
load() { cut -d' ' -f1 /proc/loadavg; }

report() {  # name, wrk arguments...
    local name=$1
    shift
    local a b
    a=$(cpu_per_request "$server_pid" "$@" "http://127.0.0.1:$ours/small.bin")
    b=$(cpu_per_request "$nginx_worker" "$@" "http://127.0.0.1:$theirs/small.bin")
    printf '%-34s corvane %6s us (%s requests)  nginx %6s us (%s requests)  (load %s)\n' "$name" \
        "${a% *}" "${a#* }" "${b% *}" "${b#* }" "$(load)"
}

report "4 KiB, 64 kept-alive connections"
report "4 KiB, Connection: close" -H "Connection: close"
