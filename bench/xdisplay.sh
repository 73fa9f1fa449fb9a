# shellcheck shell=bash
# Sourced by the window benchmarks: an X server (Xvfb) with a window manager (openbox) on it,
# so the window is mapped, decorated and focused as on a desktop and pays for painting over
# xcb as users' windows do. start_display exports DISPLAY and QT_QPA_PLATFORM; stop_display
# ends the two processes it started (the caller's EXIT trap should call it).

# shellcheck source-path=SCRIPTDIR source=../tools/xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tools/xvfb.sh"

XDISPLAY_WM_PID=

start_display() {
    command -v openbox >/dev/null || { echo "openbox is missing (apt-get install openbox)" >&2; return 1; }
    start_xvfb 1280x1024x24 || return 1
    export QT_QPA_PLATFORM=xcb
    openbox >/dev/null 2>&1 &
    XDISPLAY_WM_PID=$!
    sleep 1  # the window manager owns the screen before any window is mapped
}

stop_display() {
    if [ -n "$XDISPLAY_WM_PID" ]; then
        if kill "$XDISPLAY_WM_PID" 2>/dev/null; then wait "$XDISPLAY_WM_PID" 2>/dev/null || true; fi
    fi
    XDISPLAY_WM_PID=
    stop_xvfb
}
