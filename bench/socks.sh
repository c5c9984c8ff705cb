#!/usr/bin/env bash
# SOCKS 4 benchmark: one local nginx origin reached through Wayfarer's Socks service and
# through Dante (danted, SOCKS 4 and 5), both on loopback with private configurations, in this
# one run. Measures fetches per second with a new connection per fetch (a 1 KiB page, 8
# clients, at most 20000 fetches or 10 s) and one 100 MiB download with curl (best of 3, back
# to back, with the same download made directly as the ceiling), and prints Wayfarer's ratios
# to Dante with the load average.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib.sh
bench_install nginx:nginx-light danted:dante-server curl:curl
bench_stop_services nginx danted
bench_need_gateway
bench_scratch
g++ -O2 -std=c++20 -pthread -o "$work/socks_rate" bench/socks_rate.cpp
NG=$(port); WF=$(port); DA=$(port)

mkdir -p "$work/www"
head -c 1024 /dev/urandom >"$work/www/1k"
head -c $((100 << 20)) /dev/urandom >"$work/www/100m"
bench_origin "$NG"

cat >"$work/danted.conf" <<CFG
logoutput: $work/danted.log
internal: 127.0.0.1 port = $DA
external: 127.0.0.1
clientmethod: none
socksmethod: none
user.privileged: root
user.unprivileged: nobody
client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }
socks pass {
  from: 127.0.0.0/8 to: 0.0.0.0/0
  command: connect
  protocol: tcp
}
CFG
danted -f "$work/danted.conf" -p "$work/danted.pid" & pids+=($!)

# Wayfarer on a private store with only the Socks service on.
export WAYFARER_REGISTRY="$work/registry.db" WAYFARER_WINDIR="$work/windows"
python3 - "$work/config.reg" "$WF" <<'PY'
import sys
sys.path.insert(0, "tests/integration")
from gateway_process import config_text
open(sys.argv[1], "w").write(config_text(active={"Socks": int(sys.argv[2])}))
PY
"$BIN/wayfarer-reg" import "$work/config.reg"
env -u DISPLAY -u WAYLAND_DISPLAY "$BIN/Wayfarer" 2>"$work/wayfarer.log" & pids+=($!)
sleep 1.5
for p in "$WF" "$DA"; do  # both proxies must answer before anything is measured
  curl -sS --max-time 10 --socks4 "127.0.0.1:$p" -o /dev/null "http://127.0.0.1:$NG/1k" ||
    { echo "the proxy on port $p does not answer" >&2; exit 1; }
done

rate() { "$work/socks_rate" "$1" "$NG" /1k 8 10 20000; }
mbps() {  # proxy port (or "direct") -> MB/s of one 100 MiB download
  via=(--socks4 "127.0.0.1:$1"); [ "$1" = direct ] && via=()
  s=$(curl -sS "${via[@]}" -o /dev/null -w '%{speed_download}' "http://127.0.0.1:$NG/100m")
  python3 -c "print('%.0f' % ($s / 1e6))"
}
ratio() { python3 -c "print('%.2f' % ($1 / $2))"; }

load() { cut -d" " -f1-3 /proc/loadavg; }
most() { python3 -c "import sys; print(max(float(x or 0) for x in sys.argv[1:]))" "$@"; }
echo "fetches per second (new connection, 1 KiB, 8 clients; best of 3, back to back; load $(load))"
w=0; d=0
for _ in 1 2 3; do
  read -r ww wf < <(rate "$WF"); read -r dd df < <(rate "$DA")
  w=$(most "$w" "$ww"); d=$(most "$d" "$dd")
done
echo "  wayfarer $w (last failed $wf)  dante $d (last failed $df)  wayfarer/dante $(ratio "$w" "$d")"
echo "100 MiB download (MB/s, best of 3, back to back; load $(load))"
W=(); D=(); X=()
for _ in 1 2 3; do W+=("$(mbps "$WF")"); D+=("$(mbps "$DA")"); X+=("$(mbps direct)"); done
w=$(most "${W[@]}"); d=$(most "${D[@]}"); x=$(most "${X[@]}")
echo "  wayfarer $w  dante $d  wayfarer/dante $(ratio "$w" "$d") (target 1.5)   (all runs: wayfarer ${W[*]}; dante ${D[*]})"
# No proxy can beat the same download without one: this is the highest ratio reachable here.
echo "  direct $x  direct/dante $(ratio "$x" "$d")  wayfarer/direct $(ratio "$w" "$x")   (all runs: direct ${X[*]})"
