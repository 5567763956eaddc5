#!/usr/bin/env bash
# The window's caption as an X server holds it (WM_NAME and _NET_WM_NAME, what a window manager
# shows) is exactly "Velquor Varelo VERSION ", ending in its blank: Qt must add nothing to it.
# Runs the program on a private Xvfb display. Exit 77 (skipped) without Xvfb or xprop.
#   caption-on-x11.sh VARELO_PROGRAM VERSION
set -u
program=$1
expected="Velquor Varelo $2 "
for tool in Xvfb xdotool xprop; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

runtime=$(mktemp -d)
trap 'kill "$window" "$server" 2>/dev/null; rm -rf "$runtime"' EXIT
# -displayfd: the server picks a free display and tells its number once it is ready
Xvfb -displayfd 3 -screen 0 1024x768x24 3>"$runtime/display" 2>/dev/null &
server=$!
for _ in $(seq 100); do [ -s "$runtime/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$runtime/display")
# Under AddressSanitizer, strict string checks flag libxkbcommon's strndup of a keymap name that
# is not NUL-terminated (legal for strndup), as Qt's X11 plugin loads the keymap: not this
# program's code, so they are off for the window here.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:strict_string_checks=0" XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb \
    "$program" 2>"$runtime/stderr" &
window=$!

id=
for _ in $(seq 100); do
    id=$(xdotool search --name Velquor 2>/dev/null | head -n 1)
    [ -n "$id" ] && break
    sleep 0.1
done
[ -n "$id" ] || { echo "FAIL: no window named Velquor appeared"; cat "$runtime/stderr"; exit 1; }

# The properties may arrive one after the other: give them a moment before judging.
for _ in $(seq 50); do
    [ "$(xdotool getwindowname "$id")" = "$expected" ] \
        && xprop -id "$id" WM_NAME _NET_WM_NAME | grep -c "= \"$expected\"$" | grep -qx 2 && break
    sleep 0.1
done
status=0
name=$(xdotool getwindowname "$id")
if [ "$name" != "$expected" ]; then
    echo "FAIL: xdotool getwindowname gives [$name], expected [$expected]"
    status=1
fi
for property in WM_NAME _NET_WM_NAME; do
    value=$(xprop -id "$id" "$property" | sed -n 's/^[^=]*= "\(.*\)"$/\1/p')
    if [ "$value" != "$expected" ]; then
        echo "FAIL: $property is [$value], expected [$expected]"
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "caption on the X server: [$name]"
exit "$status"
