#!/usr/bin/env bash
# The terminal's whole path on X11 beside xterm's, both under one Xvfb: a
# shell command in each terminal writes a 1 MB stream (plain text, then
# SGR-heavy ANSI) and times its own write. A pseudo-terminal buffers only a
# few KB, so the write ends when the terminal has taken in all but that;
# both paint at most a frame later. Then the CPU each uses while open and
# idle for 5 s. Usage: bench/x11_terminal.sh [path/to/vorlex] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
vorlex=$(realpath "${1:-build-tests/vorlex}")
runs=${2:-3}
for p in Xvfb xterm python3; do command -v $p >/dev/null || { echo "needs $p" >&2; exit 2; }; done
work=$(mktemp -d)
Xvfb :77 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; cat "$work/log" >&2 2>/dev/null; rm -rf "$work"' EXIT
export DISPLAY=:77
for _ in $(seq 100); do [ -S /tmp/.X11-unix/X77 ] && break; sleep 0.1; done
sleep 0.5

python3 - "$work" <<'PY'
import random, sys
d = sys.argv[1]
r = random.Random(1)
plain = []
size = 0
while size < 1 << 20:
    line = ''.join(chr(0x20 + r.randrange(0x5f)) for _ in range(78)) + '\r\n'
    plain.append(line); size += len(line)
open(d + '/plain', 'w').write(''.join(plain))
r = random.Random(2)
sgr = []
size = 0
while size < 1 << 20:
    s = '\033[%d;%dH' % (1 + r.randrange(24), 1 + r.randrange(70))
    for _ in range(6):
        s += '\033[%s%d;%dm' % ('1;' if r.randrange(2) else '0;', 30 + r.randrange(8), 40 + r.randrange(8))
        s += ''.join(chr(ord('a') + r.randrange(26)) for _ in range(4))
    s += '\033[0m\033[K\r\n'
    sgr.append(s); size += len(s)
open(d + '/sgr', 'w').write(''.join(sgr))
PY

# Prints the nanoseconds the stream's write took inside the terminal.
timed() { # stream terminal-command...
    local stream=$1; shift
    rm -f "$work/ns"
    local cmd="s=\$(date +%s%N); cat $work/$stream; e=\$(date +%s%N); echo \$((e - s)) > $work/ns.tmp; mv $work/ns.tmp $work/ns"
    "$@" "$cmd" >/dev/null 2>>"$work/log" &
    local pid=$!
    for _ in $(seq 600); do [ -f "$work/ns" ] && break; sleep 0.1; done
    kill $pid 2>/dev/null; wait $pid 2>/dev/null || true
    [ -f "$work/ns" ] && cat "$work/ns" || echo 0
}
# exec: the background job's pid is the terminal's own.
ours() { exec "$vorlex" term --shell "sh -c '$1'"; }
xterm_() { exec xterm -geometry 88x40 -e sh -c "$1"; }

printf '%-8s %-6s %12s %12s %8s\n' stream run "ours MB/s" "xterm MB/s" ratio
for stream in plain sgr; do
    bytes=$(stat -c %s "$work/$stream")
    for run in $(seq "$runs"); do
        a=$(timed $stream ours); b=$(timed $stream xterm_)
        python3 -c "
a, b, n = $a, $b, $bytes
ra = n / a * 1e3 if a else 0; rb = n / b * 1e3 if b else 0
print('%-8s %-6s %12.2f %12.2f %8s' % ('$stream', '$run', ra, rb, '%.1f' % (ra / rb) if rb else '-'))"
    done
done

# CPU seconds used over 5 s by an open terminal with nothing arriving.
idle() { # terminal-command...
    "$@" "sleep 30" >/dev/null 2>&1 &
    local pid=$!
    sleep 3
    local t0; t0=$(awk '{print $14 + $15}' /proc/$pid/stat)
    sleep 5
    local t1; t1=$(awk '{print $14 + $15}' /proc/$pid/stat)
    kill $pid 2>/dev/null; wait $pid 2>/dev/null || true
    python3 -c "print('%.2f%%' % (($t1 - $t0) / $(getconf CLK_TCK) / 5 * 100))"
}
echo "idle CPU over 5 s: ours $(idle ours), xterm $(idle xterm_)"
