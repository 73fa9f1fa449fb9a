# shellcheck shell=bash
# Sourced by the window benchmarks: an X server (Xvfb) with a window manager (openbox) on it,
# so the window is mapped, decorated and focused as on a desktop and pays for painting over
# xcb as users' windows do. start_display exports DISPLAY and QT_QPA_PLATFORM; stop_display
# ends the two processes it started (the caller's EXIT trap should call it).

XDISPLAY_SERVER_PID=
XDISPLAY_WM_PID=

start_display() {
    local tool
    for tool in Xvfb openbox; do
        command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install xvfb openbox)" >&2; return 1; }
    done
    local number_file
    number_file=$(mktemp)
    # -displayfd: the server picks a free display itself and writes its number when ready.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
    XDISPLAY_SERVER_PID=$!
    local waited=0
    while [ ! -s "$number_file" ] && [ "$waited" -lt 100 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    [ -s "$number_file" ] || { echo "Xvfb did not start" >&2; rm -f "$number_file"; return 1; }
    DISPLAY=":$(tr -d '[:space:]' <"$number_file")"
    export DISPLAY QT_QPA_PLATFORM=xcb
    rm -f "$number_file"
    openbox >/dev/null 2>&1 &
    XDISPLAY_WM_PID=$!
    sleep 1  # the window manager owns the screen before any window is mapped
}

stop_display() {
    local pid
    for pid in $XDISPLAY_WM_PID $XDISPLAY_SERVER_PID; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    XDISPLAY_WM_PID='' XDISPLAY_SERVER_PID=
    return 0
}
