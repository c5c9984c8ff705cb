#!/usr/bin/env bash
# Soak: SESSIONS (2000) concurrent sessions across the web proxy, SOCKS and a TCP mapping,
# opened and closed continuously for SECONDS (600: ten minutes), every transfer checked by hash.
# Usage: bench/soak.sh [SECONDS [SESSIONS]]  (or SOAK_SECONDS, SOAK_SESSIONS)
# Prints errors, resident memory and thread count every 30 s, their spread after the first
# minute, then the peak idle memory per session. Targets: no errors; memory and threads flat
# after the first minute; at most 16 KiB per idle session. Runs on loopback; not a test.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib.sh
bench_need_gateway
bench_scratch
SECONDS_=${1:-${SOAK_SECONDS:-600}}
SESSIONS=${2:-${SOAK_SESSIONS:-2000}}
case "$SECONDS_$SESSIONS" in
  *[!0-9]*) echo "usage: bench/soak.sh [SECONDS [SESSIONS]]" >&2; exit 2 ;;
esac
WWW=$(port); SOCKS=$(port); MAP=$(port); ORIGIN=$(port); ECHO=$(port)

export WAYFARER_REGISTRY="$work/registry.db" WAYFARER_WINDIR="$work/windows"
python3 - "$work/config.reg" "$WWW" "$SOCKS" "$MAP" "$ECHO" "$SESSIONS" <<'PY'
import sys
sys.path.insert(0, "tests/integration")
from gateway_process import config_text
out, www, socks, mapped, echo, sessions = sys.argv[1], *map(int, sys.argv[2:])
text = config_text(active={"WWW": www, "Socks": socks},
                   mappings=[dict(name="Echo", port=mapped, host="127.0.0.1", target_port=echo)])
# Room for every concurrent session at each listener.
text = text.replace('"ListenCapacity"=dword:00000010', f'"ListenCapacity"=dword:{sessions:08x}')
text = text.replace('"ListenCapacity"=dword:00000080', f'"ListenCapacity"=dword:{sessions:08x}')
open(out, "w").write(text)
PY
"$BIN/wayfarer-reg" import "$work/config.reg"
env -u DISPLAY -u WAYLAND_DISPLAY "$BIN/Wayfarer" 2>"$work/wayfarer.log" & gw=$!
pids+=($gw)
sleep 1.5
status=0
python3 bench/soak_load.py "$gw" "$WWW" "$SOCKS" "$MAP" "$ORIGIN" "$ECHO" "$SESSIONS" "$SECONDS_" ||
  status=$?
if [ $status -ne 0 ]; then
  echo "--- the gateway's last messages:"
  tail -20 "$work/wayfarer.log"
fi
exit $status
