#!/usr/bin/env bash
# Web proxy benchmark: one local nginx origin, reached directly, through Wayfarer's WWW
# service, through squid with its cache off and through tinyproxy. Measures, in this one run,
# requests per second with a new connection per request and with connections kept alive (1 KiB
# object, 50 connections, wrk sending absolute URLs to the proxies) and one 100 MiB download
# (best of three), and prints
# Wayfarer's ratios against the better of the two peers. Everything runs on loopback with
# private configurations; every server started here is stopped at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib.sh
bench_install wrk:wrk nginx:nginx-light squid:squid tinyproxy:tinyproxy
bench_stop_services nginx squid tinyproxy
bench_need_gateway
bench_scratch
chmod 777 "$work"  # squid and tinyproxy write their logs as their own users
NG=$(port); WF=$(port); WM=$(port); SQ=$(port); TP=$(port)

mkdir -p "$work/www"
head -c 1024 /dev/urandom >"$work/www/1k"
head -c $((100 << 20)) /dev/urandom >"$work/www/100m"
bench_origin "$NG"

cat >"$work/squid.conf" <<CFG
http_port 127.0.0.1:$SQ
http_access allow all
cache deny all
cache_mem 0 MB
pid_filename $work/squid.pid
cache_log $work/squid.log
access_log none
cache_store_log none
coredump_dir $work
shutdown_lifetime 0 seconds
CFG
squid -N -f "$work/squid.conf" & pids+=($!)

cat >"$work/tinyproxy.conf" <<CFG
User nobody
Group nogroup
Port $TP
Listen 127.0.0.1
Timeout 60
MaxClients 1024
LogLevel Critical
LogFile "$work/tinyproxy.log"
PidFile "$work/tinyproxy.pid"
Allow 127.0.0.1
CFG
tinyproxy -d -c "$work/tinyproxy.conf" & pids+=($!)

# Wayfarer on a private store with only the WWW service on, and a backlog for 50 clients;
# a TCP mapping to the origin shows the relay's own cost apart from the web opening.
export WAYFARER_REGISTRY="$work/registry.db" WAYFARER_WINDIR="$work/windows"
python3 - "$work/config.reg" "$WF" "$WM" "$NG" <<'PY'
import sys
sys.path.insert(0, "tests/integration")
from gateway_process import config_text
www, mapped, origin = map(int, sys.argv[2:])
link = dict(name="origin", port=mapped, host="127.0.0.1", target_port=origin)
open(sys.argv[1], "w").write(config_text(active={"WWW": www}, mappings=[link]))
PY
"$BIN/wayfarer-reg" import "$work/config.reg"
for n in 0 10; do
  "$BIN/wayfarer-reg" set 'HKLM\Software\Wayfarer Computer Products Ltd.\Wayfarer\2.0\Service\'"$n" \
    ListenCapacity REG_DWORD 1024
done
env -u DISPLAY -u WAYLAND_DISPLAY "$BIN/Wayfarer" 2>"$work/wayfarer.log" & pids+=($!)
sleep 2

ORIGIN="http://127.0.0.1:$NG"
rps() {  # proxy port, "" for direct, or "map" for the mapping [, "keep"] -> requests per second
  local script="$work/path.lua" url connection=(-H "Connection: close")
  [ "${2:-}" = keep ] && connection=()
  if [ "$1" = map ]; then
    echo "" >"$script"
    url="http://127.0.0.1:$WM/1k"
  elif [ -n "$1" ]; then
    echo "wrk.path = \"$ORIGIN/1k\"" >"$script"
    url="http://127.0.0.1:$1"
  else
    echo "" >"$script"
    url="$ORIGIN/1k"
  fi
  wrk -t2 -c50 -d10s "${connection[@]}" -s "$script" "$url" 2>/dev/null |
    awk '/Requests\/sec/ {print $2}'
}
mbps() {  # proxy port or "" -> best MB/s of three 100 MiB downloads
  local best=0 s
  for _ in 1 2 3; do
    if [ -n "$1" ]; then
      s=$(curl -s -o /dev/null -w '%{speed_download}' -x "http://127.0.0.1:$1" "$ORIGIN/100m")
    else
      s=$(curl -s -o /dev/null -w '%{speed_download}' "$ORIGIN/100m")
    fi
    best=$(python3 -c "print(max($best, $s / 1e6))")
  done
  printf '%.0f' "$best"
}
for p in "$NG" "$WF" "$SQ" "$TP"; do  # everyone answers before the clock starts
  curl -s -o /dev/null --retry 10 --retry-connrefused --retry-delay 1 "http://127.0.0.1:$p/" || true
done

load() { cut -d" " -f1-3 /proc/loadavg; }
most() { python3 -c "import sys; print(max(float(x or 0) for x in sys.argv[1:]))" "$@"; }
echo "requests/s, new connection per request (1 KiB, 50 connections, 10 s; best of 3, back to back; load $(load))"
d=0; w=0; s=0; t=0
for _ in 1 2 3; do
  d=$(most "$d" "$(rps "")"); w=$(most "$w" "$(rps "$WF")")
  s=$(most "$s" "$(rps "$SQ")"); t=$(most "$t" "$(rps "$TP")")
done
echo "  direct $d  wayfarer $w  squid $s  tinyproxy $t"
python3 -c "b=max($s,$t); print('  wayfarer / better peer %.2f (target 1.5)   wayfarer / direct %.2f' % ($w/b, $w/$d))"
m=$(rps map)
echo "  wayfarer TCP mapping to the origin (relay alone, no web opening) $m"
echo "requests/s, connections kept alive (1 KiB, 50 connections, 10 s; best of 3, back to back; load $(load))"
d=0; w=0; s=0; t=0
for _ in 1 2 3; do
  d=$(most "$d" "$(rps "" keep)"); w=$(most "$w" "$(rps "$WF" keep)")
  s=$(most "$s" "$(rps "$SQ" keep)"); t=$(most "$t" "$(rps "$TP" keep)")
done
echo "  direct $d  wayfarer $w  squid $s  tinyproxy $t"
python3 -c "b=max($s,$t); print('  wayfarer / better peer %.2f (target 1.5)   wayfarer / direct %.2f' % ($w/b, $w/$d))"
echo "100 MiB download (MB/s, best of 3; load $(load))"
d=$(mbps ""); w=$(mbps "$WF"); s=$(mbps "$SQ"); t=$(mbps "$TP")
echo "  direct $d  wayfarer $w  squid $s  tinyproxy $t"
python3 -c "b=max($s,$t); print('  wayfarer / better peer %.2f (target 2.0)   wayfarer / direct %.2f' % ($w/b, $w/$d))"
