# Shell helpers of the benchmarks that run this server beside nginx: sourced, not run.

# CORVANE_BENCH_IPV6=1 runs every server on ::1 instead of 127.0.0.1: bench_address is the
# loopback address as settings take it, bench_host as a URL takes it (in brackets for IPv6).
if [ "${CORVANE_BENCH_IPV6:-0}" = 1 ]; then
    bench_address="::1"
    bench_host="[::1]"
else
    bench_address="127.0.0.1"
    bench_host="127.0.0.1"
fi

# Exits with a message unless the server program and each named tool are there.
# Usage: require_bench_tools SERVER_BIN TOOL...
require_bench_tools() {
    local server=$1
    shift
    [ -x "$server" ] || { echo "no $server: build the corvane-server target first" >&2; exit 1; }
    for tool in "$@"; do
        command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "needs $tool" >&2; exit 1; }
    done
}

# A free loopback port, below 32275: the server reads a higher FTP port as 21.
free_port() {
    python3 -c '
import random, socket
while True:
    port = random.randint(20000, 32000)
    s = socket.socket()
    try:
        s.bind(("127.0.0.1", port)); break
    except OSError:
        pass
    finally:
        s.close()
print(port)'
}

# Waits until an HTTP server answers on the port (20 s at most).
wait_port() {  # PORT [SCHEME]; an https probe asks for no certificate check: it only waits
    for _ in $(seq 1 400); do
        curl -sk -o /dev/null "${2:-http}://$bench_host:$1/" && return 0
        sleep 0.05
    done
    echo "nothing answers on port $1" >&2
    exit 1
}

# Starts nginx in the foreground with one worker, sendfile on and no access log, serving ROOT
# on loopback PORT from scratch folder DIR (EXTRA goes inside its location block); sets
# nginx_pid. Usage: start_nginx DIR PORT ROOT [EXTRA] [LISTEN] (LISTEN: more lines of its server block)
start_nginx() {
    local dir=$1 port=$2 root=$3 extra=${4:-} listen=${5:-}
    local nginx_bin
    nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
    mkdir -p "$dir"
    cat >"$dir/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 4096; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 1000000;
    client_body_temp_path $dir/body;
    proxy_temp_path $dir/proxy;
    fastcgi_temp_path $dir/fastcgi;
    uwsgi_temp_path $dir/uwsgi;
    scgi_temp_path $dir/scgi;
    server {
        listen $bench_host:$port;
        $listen
        root "$root";
        location / { $extra }
    }
}
CONF
    "$nginx_bin" -c "$dir/nginx.conf" -p "$dir" &
    nginx_pid=$!
}

# Makes the scratch folder $scratch (readable by nginx's worker) and, when the script exits,
# stops the servers named by $server_pid and $nginx_pid and removes the folder.
# Usage: bench_scratch NAME
bench_scratch() {
    scratch=$(mktemp -d "/tmp/corvane-bench-$1-XXXXXX")
    chmod 755 "$scratch"  # nginx's worker reads the share as another user
    server_pid=""
    nginx_pid=""
    trap bench_cleanup EXIT
}
bench_cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
    rm -rf "$scratch"
}

# Starts the server headless on HOME, its web server on loopback PORT (FTP on FTP_PORT, screen
# log off, 2,000 web connections); sets server_pid. Usage: start_web_server SERVER_BIN HOME FTP_PORT PORT [HTTPS_PORT]
start_web_server() {
    printf '[ServerData]\r\nPort=%s\r\nUserSetServerIP=%s\r\nWebServerPort=%s\r\nRunWebServerNextTime=1\r\nWebServerConnections=2000\r\nScreenLoggingEnabled=0\r\nWebServerHttpsPort=%s\r\n' \
        "$3" "$bench_address" "$4" "${5:-0}" >"$2/CorvaneServer.ini"
    "$1" --headless --home "$2" >"$scratch/server.out" 2>&1 &
    server_pid=$!
}

# The build folder (the first argument, default build), its server program and the seconds of
# each wrk run (CORVANE_BENCH_SECONDS, default 10). Usage: bench_settings "$@"
bench_settings() {
    build=${1:-build}
    server_bin="$build/bin/corvane-server"
    seconds=${CORVANE_BENCH_SECONDS:-10}
}
