# Shell functions of the headless demos, sourced by them.

# Starts a notification area (trayer) in the background; its pid is in $tray afterwards.
start_notification_area() {
    trayer --edge top --align left --widthtype pixel --width 100 --height 24 --SetDockType true \
        --transparent false >/dev/null 2>&1 &
    tray=$!
    sleep 1
}

# Clicks Zeltix's icon in the notification area until the main window shows, and prints the
# window's id; fails when it does not show.
show_main_window_from_tray() {
    local window=""
    for _ in $(seq 1 25); do
        xdotool mousemove 12 12 click 1 2>/dev/null || true
        sleep 0.4
        window=$(xdotool search --onlyvisible --name '^Zeltix$' 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && break
    done
    if [ -z "$window" ]; then
        echo "Zeltix did not show its main window from the tray icon." >&2
        return 1
    fi
    echo "$window"
}
