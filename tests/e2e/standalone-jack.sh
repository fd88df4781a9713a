#!/bin/sh
# Runs the stand-alone program for three seconds on a JACK server of its own (dummy driver) with
# a 110 Hz tone as input and the editor open, and checks that blocks were processed, sound came
# out and the editor was shown.
varnex=$1 shot=$2
command -v jackd >/dev/null || { echo "jackd is not installed"; exit 1; }
server=kv-varnex-test-$$
jackd --no-realtime -n "$server" -d dummy -r 48000 -p 256 >/dev/null 2>&1 &
jack=$!
trap 'kill $jack 2>/dev/null; wait $jack 2>/dev/null' EXIT
sleep 1
rm -f "$shot"
out=$(JACK_DEFAULT_SERVER=$server "$varnex" --backend jack --seconds 3 --tone 110 --screenshot "$shot" 2>&1)
status=$?
echo "$out"
[ $status -eq 0 ] || { echo "varnex failed: $status"; exit 1; }
blocks=$(echo "$out" | sed -n 's/.* \([0-9][0-9]*\) blocks processed, output peak \([0-9.]*\).*/\1/p')
peak=$(echo "$out" | sed -n 's/.*output peak \([0-9.]*\).*/\1/p')
[ -n "$blocks" ] && [ "$blocks" -gt 300 ] || { echo "too few blocks: '$blocks'"; exit 1; }
awk "BEGIN { exit !($peak > 0.05) }" || { echo "no sound out: peak '$peak'"; exit 1; }
[ -s "$shot" ] || { echo "no editor screenshot"; exit 1; }
echo "live: $blocks blocks, peak $peak, editor shown"
