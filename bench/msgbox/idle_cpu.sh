#!/usr/bin/env bash
# CPU time a message box costs while it stays open: runs morvalen-msgdemo on
# a private Xvfb, waits until its first box is up, then reads the process's
# user + system time (/proc/PID/stat) over SECONDS (default 5) of nothing
# happening. A modal loop that spins would use about SECONDS of CPU.
#
# usage: bench/msgbox/idle_cpu.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?usage: idle_cpu.sh BUILD_DIR [SECONDS]}
seconds=${2:-5}
demo="$build/tools/msgdemo/morvalen-msgdemo"
[ -x "$demo" ] || { echo "no $demo: build the morvalen-msgdemo target" >&2; exit 2; }

here=$(cd "$(dirname "$0")/../.." && pwd)
read -r xvfb_pid DISPLAY < <(python3 "$here/scripts/xvfb.py")
export DISPLAY

"$demo" >/dev/null &
pid=$!
trap 'kill $pid 2>/dev/null || true; kill $xvfb_pid 2>/dev/null || true' EXIT

ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)

# Wait for the first box: its window is titled "Box: ok, none".
found=""
for _ in $(seq 1 100); do
  if xdotool search --name "Box: ok, none" >/dev/null 2>&1; then found=1; break; fi
  sleep 0.1
done
[ -n "$found" ] || { echo "the first box did not appear" >&2; exit 1; }
sleep 0.5
before=$(ticks)
sleep "$seconds"
after=$(ticks)
used=$(awk -v a="$after" -v b="$before" -v hz="$hz" 'BEGIN { printf "%.3f", (a - b) / hz }')
share=$(awk -v u="$used" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * u / s }')
echo "box open ${seconds} s: CPU ${used} s (${share}% of one core)"
# The box is still the first one: nothing ended it meanwhile.
xdotool search --name "Box: ok, none" >/dev/null || { echo "the box closed early" >&2; exit 1; }
