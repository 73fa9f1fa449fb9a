# shellcheck shell=bash
# Sourced: start_xvfb WxHxD starts a virtual X server on a display it picks itself and exports
# DISPLAY; stop_xvfb ends it and waits until it is gone. -displayfd lets the server skip any
# display whose sockets another server holds, including one in another /tmp on the same host,
# which a choice by lock files (xvfb-run -a) cannot see.

XVFB_PID=

start_xvfb() {
    command -v Xvfb >/dev/null || { echo "Xvfb is missing (apt-get install xvfb)" >&2; return 1; }
    local number_file waited=0
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$number_file" >/dev/null 2>&1 </dev/null &
    XVFB_PID=$!
    # The number is written once the server listens.
    while [ ! -s "$number_file" ] && [ "$waited" -lt 100 ] && kill -0 "$XVFB_PID" 2>/dev/null; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if [ ! -s "$number_file" ]; then
        echo "Xvfb did not start" >&2
        rm -f "$number_file"
        stop_xvfb
        return 1
    fi
    DISPLAY=":$(tr -d '[:space:]' <"$number_file")"
    export DISPLAY
    rm -f "$number_file"
}

stop_xvfb() {
    [ -n "$XVFB_PID" ] || return 0
    if kill "$XVFB_PID" 2>/dev/null; then wait "$XVFB_PID" 2>/dev/null || true; fi
    XVFB_PID=
    return 0
}
