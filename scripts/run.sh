#!/usr/bin/env bash
# Builds the server and runs it headless. Given a --home folder that holds no settings yet, it
# first writes a demonstration setting there: FTP on 127.0.0.1:2121 and the web server on
# 127.0.0.1:8080 (HTTPS on 8443 with the home's own certificate), started with the program, so that no privileges are needed; everything else is the server's own first-run setup (the
# "Anonymous" account sharing C:\My Downloads\, which is <home>/drive_c/My Downloads).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target corvane-server

home=""
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
    if [[ "${args[$i]}" == "--home" && $((i + 1)) -lt ${#args[@]} ]]; then home="${args[$((i + 1))]}"; fi
done
if [[ -n "$home" && ! -e "$home/CorvaneServer.ini" ]]; then
    mkdir -p "$home"
    # The settings come to hold passwords (P2P accounts): the owner's only, from the start.
    (umask 077 && printf '[ServerData]\r\nPort=2121\r\nUserSetServerIP=127.0.0.1\r\nWebServerPort=8080\r\nWebServerHttpsPort=8443\r\nRunWebServerNextTime=1\r\n\r\n' >"$home/CorvaneServer.ini")
fi
if [[ -n "$home" ]]; then
    port=$(sed -n 's/^Port=\([0-9]*\).*/\1/p' "$home/CorvaneServer.ini" | head -n1)
    echo "Connect with: lftp -p ${port:-21} 127.0.0.1   (user anonymous, any password)"
    echo "          or: curl ftp://127.0.0.1:${port:-21}/"
    if grep -q '^RunWebServerNextTime=1' "$home/CorvaneServer.ini"; then
        web=$(sed -n 's/^WebServerPort=\([0-9]*\).*/\1/p' "$home/CorvaneServer.ini" | head -n1)
        echo "Open in a browser: http://127.0.0.1:${web:-80}/"
        https=$(sed -n 's/^WebServerHttpsPort=\([0-9]*\).*/\1/p' "$home/CorvaneServer.ini" | head -n1)
        if [[ -n "$https" && "$https" != 0 ]]; then
            echo "              or: https://localhost:$https/   (trust it: see 'Certificates' in the README, or run"
            echo "                  build/bin/corvane-server --home $home tls show)"
        fi
    fi
    echo "Files shared: $home/drive_c/My Downloads. Ctrl-C stops the server and saves its files."
fi
exec build/bin/corvane-server "$@"
