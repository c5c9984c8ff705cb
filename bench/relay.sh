#!/usr/bin/env bash
# Relay benchmark: iperf3 throughput (1 and 8 streams) directly, through a Wayfarer TCP
# mapping, through socat and through haproxy (mode tcp); 256 MiB each way at once to a
# blocking echo server (best of 3, back to back); new mapped connections per second for the
# three relays (best of 3, back to back); resident memory of Wayfarer per idle mapped session.
# Everything runs on loopback in this one run; the script prints ratios against the peers.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib.sh
bench_install iperf3:iperf3 socat:socat haproxy:haproxy
bench_stop_services haproxy
bench_need_gateway
bench_scratch
g++ -O2 -std=c++20 -pthread -o "$work/conn_rate" bench/conn_rate.cpp

IPERF=$(port); ECHO=$(port); HOLD=$(port); DUPLEX=$(port)
W_IPERF=$(port); W_ECHO=$(port); W_HOLD=$(port); W_DUPLEX=$(port); H_DUPLEX=$(port)
S_IPERF=$(port); S_ECHO=$(port); H_IPERF=$(port); H_ECHO=$(port)

iperf3 -s -p "$IPERF" -D --logfile "$work/iperf.log" --pidfile "$work/iperf.pid"
sleep 0.3; pids+=("$(cat "$work/iperf.pid")")
"$work/conn_rate" server "$ECHO" & pids+=($!)
python3 -c '
import asyncio, sys
async def hold(r, w):
    await r.read()
async def main():
    server = await asyncio.start_server(hold, "127.0.0.1", int(sys.argv[1]), backlog=2048)
    await server.serve_forever()
asyncio.run(main())' "$HOLD" & pids+=($!)
python3 bench/duplex.py server "$DUPLEX" & pids+=($!)

# Wayfarer on a private store with three mappings and every built-in service off.
export WAYFARER_REGISTRY="$work/registry.db" WAYFARER_WINDIR="$work/windows"
python3 - "$work/config.reg" "$W_IPERF" "$IPERF" "$W_ECHO" "$ECHO" "$W_HOLD" "$HOLD" \
  "$W_DUPLEX" "$DUPLEX" <<'PY'
import sys
sys.path.insert(0, "tests/integration")
from gateway_process import config_text
out, a, b, c, d, e, f, g, h = sys.argv[1], *map(int, sys.argv[2:])
maps = [dict(name="iperf", port=a, host="127.0.0.1", target_port=b),
        dict(name="echo", port=c, host="127.0.0.1", target_port=d),
        dict(name="hold", port=e, host="127.0.0.1", target_port=f),
        dict(name="duplex", port=g, host="127.0.0.1", target_port=h)]
open(out, "w").write(config_text(mappings=maps))
PY
"$BIN/wayfarer-reg" import "$work/config.reg"
# WAYFARER_ACCESS_LOG, when set, is the AccessLog setting: a file, or "" to turn the log off.
if [ -n "${WAYFARER_ACCESS_LOG+set}" ]; then
  "$BIN/wayfarer-reg" set 'HKLM\Software\Wayfarer Computer Products Ltd.\Wayfarer\2.0\Configuration' \
    AccessLog REG_SZ "$WAYFARER_ACCESS_LOG"
  echo "access log: ${WAYFARER_ACCESS_LOG:-off}"
fi
env -u DISPLAY -u WAYLAND_DISPLAY "$BIN/Wayfarer" 2>"$work/wayfarer.log" & WPID=$!; pids+=($WPID)
socat -lf /dev/null TCP-LISTEN:"$S_IPERF",fork,reuseaddr,backlog=1024 TCP:127.0.0.1:"$IPERF" & pids+=($!)
socat -lf /dev/null TCP-LISTEN:"$S_ECHO",fork,reuseaddr,backlog=1024 TCP:127.0.0.1:"$ECHO" & pids+=($!)
cat > "$work/haproxy.cfg" <<CFG
global
  maxconn 8000
defaults
  mode tcp
  timeout connect 5s
  timeout client 60s
  timeout server 60s
listen iperf
  bind 127.0.0.1:$H_IPERF
  server s 127.0.0.1:$IPERF
listen echo
  bind 127.0.0.1:$H_ECHO
  server s 127.0.0.1:$ECHO
listen duplex
  bind 127.0.0.1:$H_DUPLEX
  server s 127.0.0.1:$DUPLEX
CFG
haproxy -f "$work/haproxy.cfg" -db >"$work/haproxy.log" 2>&1 & pids+=($!)
sleep 1
kill -0 "${pids[-1]}" 2>/dev/null || { echo "haproxy did not start:" >&2; cat "$work/haproxy.log" >&2; }

gbps() {  # port streams -> Gbit/s received (the iperf3 server takes one test at a time)
  for _ in 1 2 3; do
    sleep 1
    iperf3 -c 127.0.0.1 -p "$1" -P "$2" -t 5 -J 2>/dev/null >"$work/iperf.json" || true
    python3 -c 'import json,sys; print("%.2f" % (json.load(open(sys.argv[1]))["end"]["sum_received"]["bits_per_second"]/1e9))' \
      "$work/iperf.json" 2>/dev/null && return
  done
  echo 0
}
rate() { "$work/conn_rate" client "$1" 8 5 | cut -d" " -f1; }
ratio() { python3 -c "print('%.2f' % ($1 / $2))"; }

echo "throughput (Gbit/s)    direct  wayfarer  socat  haproxy"
for streams in 1 8; do
  d=$(gbps "$IPERF" $streams); w=$(gbps "$W_IPERF" $streams)
  s=$(gbps "$S_IPERF" $streams); h=$(gbps "$H_IPERF" $streams)
  echo "  $streams stream(s)          $d    $w     $s   $h"
  echo "    wayfarer/direct $(ratio "$w" "$d")  wayfarer/haproxy $(ratio "$w" "$h")  wayfarer/socat $(ratio "$w" "$s")"
done
# best_of3 CMD...: runs the three measurements back to back three times; prints the best
# (smallest for times, largest for rates, as max/min says) of each, in order.
load() { cut -d" " -f1-3 /proc/loadavg; }
best() { python3 -c "import sys; v=[float(x) for x in sys.argv[2:]]; print('%.3f' % (min(v) if sys.argv[1]=='min' else max(v)))" "$@"; }
duplex() { python3 bench/duplex.py client "$1" 256; }

echo "full duplex, 256 MiB each way at once (seconds, best of 3, back to back; load $(load))"
D=(); W=(); H=()
for _ in 1 2 3; do
  D+=("$(duplex "$DUPLEX")"); W+=("$(duplex "$W_DUPLEX")"); H+=("$(duplex "$H_DUPLEX")")
done
d=$(best min "${D[@]}"); w=$(best min "${W[@]}"); h=$(best min "${H[@]}")
echo "  direct $d  wayfarer $w  haproxy $h"
echo "    wayfarer/direct $(ratio "$w" "$d") (target: at most 2)  wayfarer/haproxy $(ratio "$w" "$h")"

echo "new connections per second (8 clients, 5 s, best of 3, back to back; load $(load))"
D=(); W=(); S=(); H=()
for _ in 1 2 3; do
  D+=("$(rate "$ECHO")"); W+=("$(rate "$W_ECHO")"); S+=("$(rate "$S_ECHO")"); H+=("$(rate "$H_ECHO")")
done
d=$(best max "${D[@]}"); w=$(best max "${W[@]}"); s=$(best max "${S[@]}"); h=$(best max "${H[@]}")
echo "  direct $d  wayfarer $w  socat $s  haproxy $h"
echo "    wayfarer/haproxy $(ratio "$w" "$h") (target: at least 1)  wayfarer/socat $(ratio "$w" "$s")"

rss() { awk '/VmRSS/ {print $2}' "/proc/$WPID/status"; }
sleep 2
before=$(rss)
exec 3> >(python3 bench/idle_sessions.py 1000 "$W_HOLD" > "$work/idle.out")
for _ in $(seq 100); do grep -q up "$work/idle.out" 2>/dev/null && break; sleep 0.2; done
sleep 2
after=$(rss)
echo "resident memory: before ${before} KiB, with 1000 idle mapped sessions ${after} KiB"
echo "  per idle session $(( (after - before) / 1000 )) KiB (target: at most 64)"
exec 3>&-
