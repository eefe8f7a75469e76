#!/usr/bin/env bash
# A throwaway MariaDB server for tests and benchmarks, on loopback only.
#
#   mariadb.sh start <dir>   creates <dir>/data (first time), starts mariadbd on a free
#                            127.0.0.1 port, waits until it answers, and writes
#                            <dir>/port, <dir>/socket, <dir>/password and <dir>/pid.
#                            The server has a certificate (<dir>/tls/server-cert.pem, for
#                            127.0.0.1 and localhost) signed by the test CA <dir>/tls/ca.pem;
#                            <dir>/tls/other-ca.pem is a CA that did not sign it. TLS is
#                            offered, never required: a client that asks for none gets none.
#                            The first start also sets the root password and creates
#                            the database "ondrel_test". Starting again over the data
#                            folder of a crashed server reuses its port and password; a
#                            server of <dir> still running is stopped and replaced.
#   mariadb.sh stop <dir>    stops the server and removes its data folder.
set -euo pipefail
# The server runs as whoever runs the tests; Debian keeps mariadbd and mariadb-install-db
# in /usr/sbin, which a normal user's PATH lacks.
PATH=$PATH:/usr/sbin:/usr/local/sbin
user=$(id -un)

action=${1:?start or stop}
dir=${2:?folder of the server}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
data=$dir/data
socket=$dir/sock
# Temporary tables in a folder of this server's own: another MariaDB starting at the
# same moment (a test's, Ondrel's own) shares nothing in /tmp with it.
tmp=$dir/tmp

port_is_free() {
    ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Ports are drawn below the kernel's ephemeral range, which outgoing connections
# hold without listening; a bind that still fails is retried on another port.
pick_port() {
    local p low
    low=$(cut -f1 /proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || echo 32768)
    [ "$low" -gt 10100 ] 2>/dev/null || low=32768
    for _ in $(seq 200); do
        p=$((10000 + RANDOM % (low - 10000)))
        if port_is_free "$p"; then
            echo "$p"
            return 0
        fi
    done
    echo "no free loopback port" >&2
    return 1
}

answers() {
    mariadb-admin --no-defaults --socket="$socket" -uroot ${1:+-p"$1"} ping >/dev/null 2>&1
}

# Running, and not a killed process waiting to be reaped.
server_alive() {
    [ -f "$dir/pid" ] || return 1
    local pid
    pid=$(cat "$dir/pid")
    kill -0 "$pid" 2>/dev/null && ! grep -q '^State:.*Z' "/proc/$pid/status" 2>/dev/null
}

# A self-signed CA, the server's certificate signed by it, and a second CA that
# signed nothing of the server's; made once per folder with openssl req.
make_certificates() {
    local tls=$dir/tls
    [ -s "$tls/server-cert.pem" ] && [ -s "$tls/other-ca.pem" ] && return 0
    rm -rf "$tls"
    mkdir -p "$tls"
    (
        cd "$tls"
        openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Ondrel test CA" \
            -keyout ca-key.pem -out ca.pem
        openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Ondrel other CA" \
            -keyout other-ca-key.pem -out other-ca.pem
        openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout server-key.pem -out server.csr
        printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' >san.ext
        openssl x509 -req -in server.csr -CA ca.pem -CAkey ca-key.pem -CAcreateserial -days 3650 \
            -extfile san.ext -out server-cert.pem
    ) >"$dir/tls.log" 2>&1 || { echo "openssl could not make the certificates:" >&2; tail -20 "$dir/tls.log" >&2; return 1; }
}

start() {
    local first=0 password port
    # A server left running by an interrupted run is replaced by a fresh one.
    if server_alive; then
        stop
    fi
    if [ ! -d "$data/mysql" ]; then
        first=1
        rm -rf "$data"
        mkdir -p "$tmp"
        if ! mariadb-install-db --no-defaults --datadir="$data" --tmpdir="$tmp" --user="$user" \
            --auth-root-authentication-method=normal >"$dir/install.log" 2>&1; then
            echo "mariadb-install-db failed; the end of $dir/install.log:" >&2
            tail -20 "$dir/install.log" >&2 || true
            return 1
        fi
    fi
    make_certificates
    if [ -f "$dir/port" ] && [ $first -eq 0 ]; then
        port=$(cat "$dir/port")
    else
        port=$(pick_port)
    fi
    if [ -f "$dir/password" ] && [ $first -eq 0 ]; then
        password=$(cat "$dir/password")
    else
        password="pw-$RANDOM$RANDOM"
    fi
    local attempt launched up
    for attempt in 1 2 3 4 5; do
        rm -f "$socket" "$dir/pid"
        : >"$dir/error.log"
        # Detached from the caller's standard streams, so that CTest does not wait for it.
        mkdir -p "$tmp"
        setsid mariadbd --no-defaults --datadir="$data" --tmpdir="$tmp" --socket="$socket" --port="$port" \
            --bind-address=127.0.0.1 --user="$user" --pid-file="$dir/pid" \
            --log-error="$dir/error.log" --skip-log-bin --innodb-buffer-pool-size=64M \
            --ssl-ca="$dir/tls/ca.pem" --ssl-cert="$dir/tls/server-cert.pem" --ssl-key="$dir/tls/server-key.pem" \
            </dev/null >"$dir/out.log" 2>&1 &
        launched=$!
        up=0
        for _ in $(seq 600); do
            if [ $first -eq 1 ] && answers ""; then up=1; break; fi
            if [ $first -eq 0 ] && answers "$password"; then up=1; break; fi
            if ! kill -0 "$launched" 2>/dev/null; then break; fi
            sleep 0.1
        done
        [ $up -eq 1 ] && break
        kill -9 "$launched" 2>/dev/null || true
        wait "$launched" 2>/dev/null || true
        if grep -q "Address already in use" "$dir/error.log"; then
            echo "port $port taken before mariadbd could bind it (attempt $attempt); another port" >&2
            port=$(pick_port)
            continue
        fi
        echo "mariadbd did not start; the end of $dir/error.log and $dir/out.log:" >&2
        tail -20 "$dir/error.log" >&2 || true
        tail -5 "$dir/out.log" >&2 || true
        return 1
    done
    if [ $up -ne 1 ]; then
        echo "mariadbd did not start after 5 ports; the end of $dir/error.log:" >&2
        tail -20 "$dir/error.log" >&2 || true
        return 1
    fi
    [ -f "$dir/pid" ] || echo "$launched" >"$dir/pid"
    if [ $first -eq 1 ]; then
        mariadb --no-defaults --default-character-set=utf8mb4 --socket="$socket" -uroot <<SQL
ALTER USER 'root'@'localhost' IDENTIFIED BY '$password';
CREATE USER IF NOT EXISTS 'root'@'127.0.0.1';
ALTER USER 'root'@'127.0.0.1' IDENTIFIED BY '$password';
GRANT ALL PRIVILEGES ON *.* TO 'root'@'127.0.0.1' WITH GRANT OPTION;
DROP USER IF EXISTS ''@'localhost', ''@'$(hostname)';
CREATE DATABASE ondrel_test;
SQL
    fi
    answers "$password" || { echo "mariadbd does not answer; the end of $dir/error.log:" >&2; tail -20 "$dir/error.log" >&2; return 1; }
    echo "$port" >"$dir/port"
    echo "$socket" >"$dir/socket"
    printf '%s\n' "$password" >"$dir/password"
    echo "mariadbd running on 127.0.0.1:$port (pid $(cat "$dir/pid"))"
}

stop() {
    if server_alive; then
        local pid
        pid=$(cat "$dir/pid")
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 300); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -rf "$data" "$tmp" "$dir/tls" "$dir/pid" "$dir/port" "$dir/socket" "$dir/password" "$socket"
}

case $action in
start) start ;;
stop) stop ;;
*) echo "usage: $0 start|stop <dir>" >&2; exit 2 ;;
esac
