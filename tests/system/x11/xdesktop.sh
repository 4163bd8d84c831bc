# Sourced by the screenshot scripts: a 1280x800 Xvfb with openbox, and a polling wait.
# The sourcing script defines fail() and $work (a temporary folder) first; start_desktop sets
# $xvfb and $wm to the processes it starts, for the script's own clean-up.

# waits up to $2 tenths of a second for the command in $1 to succeed
wait_for() {
    n=0
    until eval "$1"; do
        n=$((n + 1))
        [ $n -lt "$2" ] || return 1
        sleep 0.1
    done
}

start_desktop() {
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    xvfb=$!
    wait_for '[ -s "$work/display" ]' 50 || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$work/display")"
    unset DBUS_SESSION_BUS_ADDRESS  # no StatusNotifier watcher: Qt embeds its icon into trayer
    openbox >/dev/null 2>&1 &
    wm=$!
    wait_for 'xprop -root _NET_WORKAREA 2>/dev/null | grep -q CARDINAL' 100 || fail "openbox did not start"
}
