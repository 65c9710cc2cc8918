# Shared by the benchmark scripts that start X servers: sourced, not run. The caller sets `pids`
# (an array) and traps EXIT to stop_all.

stop_all() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    pids=()
}

wait_for() { # seconds, command...: true once the command succeeds
    local limit=$(($1 * 10))
    shift
    for ((i = 0; i < limit; i++)); do
        "$@" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
port_listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
display_free() { [ ! -e "/tmp/.X11-unix/X$1" ] && [ ! -e "/tmp/.X$1-lock" ] && ! port_listening $((5900 + $1)); }
free_display() { # first display from $1 with no X server and no VNC port in use
    local n
    for n in $(seq "$1" 199); do
        display_free "$n" && { echo "$n"; return; }
    done
    echo "no free X display" >&2
    exit 1
}

# start_xvnc NAME: a 1280x800 Xvnc on loopback without authentication; sets `vnc` (its display)
# and `server` (its pid). Its log goes to $tmp/xvnc.log.
start_xvnc() {
    vnc=$(free_display 40)
    Xvnc ":$vnc" -geometry 1280x800 -depth 24 -SecurityTypes None -localhost -desktop "$1" \
        -rfbport $((5900 + vnc)) >"$tmp/xvnc.log" 2>&1 &
    server=$!
    pids+=("$server")
    wait_for 10 port_listening $((5900 + vnc)) || { echo "Xvnc did not start (see $tmp/xvnc.log)" >&2; exit 1; }
}
