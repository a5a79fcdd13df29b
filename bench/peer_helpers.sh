# Shell helpers of the benchmarks that run this server beside nginx: sourced, not run.

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
wait_port() {
    for _ in $(seq 1 400); do
        curl -s -o /dev/null "http://127.0.0.1:$1/" && return 0
        sleep 0.05
    done
    echo "nothing answers on port $1" >&2
    exit 1
}

# Starts nginx in the foreground with one worker, sendfile on and no access log, serving ROOT
# on loopback PORT from scratch folder DIR (EXTRA goes inside its location block); sets
# nginx_pid. Usage: start_nginx DIR PORT ROOT [EXTRA]
start_nginx() {
    local dir=$1 port=$2 root=$3 extra=${4:-}
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
        listen 127.0.0.1:$port;
        root "$root";
        location / { $extra }
    }
}
CONF
    "$nginx_bin" -c "$dir/nginx.conf" -p "$dir" &
    nginx_pid=$!
}
