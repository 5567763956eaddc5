#!/usr/bin/env bash
# Starts or stops the private Xvfb display that the window tests draw on, as a test fixture.
#   x-server.sh start|stop DIRECTORY
# start writes the display's number into DIRECTORY/display once the server is ready (and its
# process into DIRECTORY/pid); without Xvfb it writes nothing, and the tests draw offscreen.
set -u
action=$1
directory=$2
case "$action" in
start)
    rm -rf "$directory" && mkdir -p "$directory"
    if ! command -v Xvfb >/dev/null; then
        echo "Xvfb is not installed: the window tests draw offscreen"
        exit 0
    fi
    # -displayfd: the server picks a free display and tells its number once it is ready
    # (its output away from the test's, so that the test ends while the server runs on)
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$directory/number" </dev/null >/dev/null 2>&1 &
    echo $! >"$directory/pid"
    for _ in $(seq 100); do [ -s "$directory/number" ] && break; sleep 0.1; done
    [ -s "$directory/number" ] || { echo "Xvfb did not start"; exit 1; }
    mv "$directory/number" "$directory/display"
    echo "Xvfb display :$(cat "$directory/display")"
    ;;
stop)
    [ -s "$directory/pid" ] && kill "$(cat "$directory/pid")" 2>/dev/null
    rm -rf "$directory"
    ;;
esac
exit 0
