#!/usr/bin/env bash
# The web server beside nginx (one worker, sendfile on, access log off, autoindex for folder
# pages), both serving the same folder on loopback, measured in the same run:
#   - a 4 KiB file with wrk, 64 connections kept alive: requests per second;
#   - the same with "Connection: close" on every request;
#   - a 1 GiB file with curl: throughput;
#   - a folder page of 1,000 entries with wrk: requests per second (nginx's autoindex beside it);
#   - 1,000 idle connections held: memory per connection (the server's resident size before
#     and after, over 1,000).
# With CORVANE_BENCH_HTTPS=1 the same cases run over HTTPS instead (nginx with "ssl" on the
# server's own certificate, TLS 1.2 and 1.3, session tickets on both); there the "Connection:
# close" case is the rate of new handshakes (wrk resumes no session).
# Usage: bench/http_vs_nginx.sh [BUILD_DIR] (default build; the server is BUILD_DIR/bin/corvane-server)
# Needs wrk, nginx (nginx-light), curl and python3; CORVANE_BENCH_SECONDS sets each wrk run (10),
# CORVANE_BENCH_ROUNDS the turns of each case (3; the medians are compared), CORVANE_BENCH_IPV6=1
# runs both servers on [::1] instead of 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
server_bin="$build/bin/corvane-server"
seconds=${CORVANE_BENCH_SECONDS:-10}
. bench/peer_helpers.sh
require_bench_tools "$server_bin" wrk nginx curl python3

bench_scratch http

home="$scratch/home"
share="$home/drive_c/My Downloads"
mkdir -p "$share/many"
head -c 4096 /dev/urandom >"$share/small.bin"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$share/big.bin"
for i in $(seq 1 1000); do printf 'entry %d\n' "$i" >"$share/many/file-$i.txt"; done
chmod -R a+rX "$home/drive_c"

ftp_port=$(free_port)
ours=$(free_port)
theirs=$(free_port)
https=${CORVANE_BENCH_HTTPS:-0}
scheme=http
if [[ "$https" == 1 ]]; then
    # The plain ports stay up (the idle-memory case uses them); the measured ones are the TLS ones.
    ours_tls=$(free_port)
    theirs_tls=$(free_port)
    start_web_server "$server_bin" "$home" "$ftp_port" "$ours" "$ours_tls"
    wait_port "$ours"
    wait_port "$ours_tls" https
    start_nginx "$scratch/nginx" "$theirs" "$share" "autoindex on;" \
        "listen $bench_host:$theirs_tls ssl; ssl_certificate $home/CorvaneServer.crt; ssl_certificate_key $home/CorvaneServer.key; ssl_protocols TLSv1.2 TLSv1.3;"
    wait_port "$theirs_tls" https
    scheme=https
else
    start_web_server "$server_bin" "$home" "$ftp_port" "$ours"
    start_nginx "$scratch/nginx" "$theirs" "$share" "autoindex on;"
    wait_port "$ours"
fi
wait_port "$theirs"

# Memory per idle connection, first, while the servers are fresh (later runs leave freed heap
# that new connections would reuse): the resident size of each server with 1,000 connections
# held open (each has sent nothing), less its size before, over 1,000.
rss_kib() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
idle_cost() {  # port, pid -> KiB per connection
    local before after
    before=$(rss_kib "$2")
    python3 - "$1" "$2" "$scratch/idle.txt" "$bench_address" <<'PY'
import socket, sys, time
port, pid, out, address = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
import resource
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4096), hard))
held = [socket.create_connection((address, port)) for _ in range(1000)]
time.sleep(1.0)
with open('/proc/%s/status' % pid) as f:
    rss = [l.split()[1] for l in f if l.startswith('VmRSS')][0]
open(out, 'w').write(rss)
for s in held:
    s.close()
PY
    after=$(cat "$scratch/idle.txt")
    python3 -c "import sys; print('%.1f' % ((int(sys.argv[2]) - int(sys.argv[1])) / 1000.0))" "$before" "$after"
}
ulimit -n 4096 2>/dev/null || true
a=$(idle_cost "$ours" "$server_pid")
b=$(idle_cost "$theirs" "$nginx_pid")
printf '%-34s corvane %9s KiB  nginx %9s KiB per connection (target: 16 KiB or less)\n' \
    "1,000 idle connections" "$a" "$b"

# Requests per second of one wrk run.
rate() {
    wrk -t1 -c64 -d"${seconds}s" "$@" 2>&1 | awk '/Requests\/sec/ {print $2}'
}
# MB/s of one 1 GiB download with curl.
download() {
    curl -s --cacert "$home/CorvaneServer.crt" -o /dev/null -w '%{speed_download}\n' "$1" |
        awk '{printf "%.0f", $1 / 1048576}'
}
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
load() { cut -d' ' -f1 /proc/loadavg; }

# Each case runs CORVANE_BENCH_ROUNDS times (3), the two servers taking turns, so that a change
# in the machine's load falls on both; the medians are compared, and each round's ratio is
# shown beside them. Usage: compare NAME UNIT MEASURE ARGS... (MEASURE gets the URL last)
rounds=${CORVANE_BENCH_ROUNDS:-3}
compare() {
    local name=$1 unit=$2 measure=$3 ours_list=() theirs_list=() each=() a b path
    shift 3
    path=${*: -1}
    set -- "${@:1:$#-1}"
    local our_port=$ours their_port=$theirs
    if [[ "$scheme" == https ]]; then our_port=$ours_tls their_port=$theirs_tls; fi
    for _ in $(seq 1 "$rounds"); do
        a=$("$measure" "$@" "$scheme://$bench_host:$our_port$path")
        b=$("$measure" "$@" "$scheme://$bench_host:$their_port$path")
        ours_list+=("$a")
        theirs_list+=("$b")
        each+=("$(ratio "$a" "$b")")
    done
    a=$(median "${ours_list[@]}")
    b=$(median "${theirs_list[@]}")
    printf '%-34s corvane %12s  nginx %12s  ratio %s %s  (rounds %s; load %s)\n' "$name" "$a" "$b" \
        "$(ratio "$a" "$b")" "$unit" "${each[*]}" "$(load)"
}

compare "4 KiB, 64 kept-alive connections" "req/s" rate /small.bin
compare "4 KiB, Connection: close" "req/s" rate -H "Connection: close" /small.bin
compare "1 GiB file with curl" "MB/s" download /big.bin
compare "folder page of 1,000 entries" "req/s" rate /many/
