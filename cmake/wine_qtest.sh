#!/bin/sh
# Runs a QtTest program under wine: wine64 program [arguments...]. QtTest's log written to a
# pipe there is lost, so it goes to a file that is shown when the program ends.
wine=$1
program=$2
shift 2
log=$(mktemp "${TMPDIR:-/tmp}/qtest.XXXXXX")
"$wine" "$program" -o "Z:$(printf %s "$log" | tr / '\\'),txt" "$@"
status=$?
cat "$log"
rm -f "$log"
exit $status
