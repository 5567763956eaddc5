#!/usr/bin/env bash
# Without any display, the window program still answers its command line: help and version with
# status 0, a bad option with its usage message and status 2; a run that needs the window says in
# one line that there is no display, status 1 (never Qt's abort).
#   arguments-without-display.sh VARELO_PROGRAM
set -u
program=$1
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
status=0
# arguments separated by '|', expected status, expected number of lines on standard error ('-': any)
while IFS=' ' read -r arguments expected lines; do
    IFS='|' read -r -a argv <<<"$arguments"
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$runtime" \
        "$program" "${argv[@]}" >"$runtime/out" 2>"$runtime/err"
    got=$?
    count=$(wc -l <"$runtime/err")
    if [ "$got" != "$expected" ] || { [ "$lines" != - ] && [ "$count" != "$lines" ]; }; then
        echo "FAIL: varelo $arguments: status $got, $count lines on stderr; expected $expected, $lines"
        cat "$runtime/err"
        status=1
    fi
done <<'CASES'
--help 0 0
--version 0 0
--bogus 2 -
-platform|xcb|--bogus 2 -
--convert 2 -
--convert|/nonexistent 1 1
-style=fusion 1 1
CASES
grep -q "bogus" <(env -u DISPLAY "$program" --bogus 2>&1) || { echo "FAIL: the usage error does not name the option"; status=1; }
exit "$status"
