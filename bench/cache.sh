#!/usr/bin/env bash
# Web cache benchmark: requests per second for a cached 100 KiB object, a new connection per
# request (50 connections, wrk sending absolute URLs), through Wayfarer's WWW service with
# its cache on and through squid with its memory cache on, both warmed from one local nginx
# origin in this same run. Prints both rates and Wayfarer's ratio to squid. Everything runs
# on loopback with private configurations; every server started here is stopped at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
DURATION=${DURATION:-10s}
. bench/lib.sh
bench_install wrk:wrk nginx:nginx-light squid:squid
bench_stop_services nginx squid
bench_need_gateway
bench_scratch
chmod 777 "$work"  # squid writes its log as its own user
NG=$(port); WF=$(port); SQ=$(port)

# The origin marks the object fresh for an hour, so both caches answer without asking it.
mkdir -p "$work/www"
head -c $((100 << 10)) /dev/urandom >"$work/www/100k"
bench_origin "$NG" 'log_format via "$http_via"; access_log '"$work"'/nginx.access via;' "expires 1h;"

cat >"$work/squid.conf" <<CFG
http_port 127.0.0.1:$SQ
http_access allow all
cache_mem 64 MB
maximum_object_size_in_memory 1 MB
pid_filename $work/squid.pid
cache_log $work/squid.log
access_log none
cache_store_log none
coredump_dir $work
shutdown_lifetime 0 seconds
CFG
squid -N -f "$work/squid.conf" & pids+=($!)

export WAYFARER_REGISTRY="$work/registry.db" WAYFARER_WINDIR="$work/windows"
mkdir -p "$work/cache"
python3 - "$work/config.reg" "$WF" "$work/cache/" <<'PY'
import sys
sys.path.insert(0, "tests/integration")
from gateway_process import PRODUCT_KEY, config_text
path, www, location = sys.argv[1], int(sys.argv[2]), sys.argv[3]
cache = [f"[{PRODUCT_KEY}\\Cache]", '"EnableCache"=dword:00000001',
         '"EnableLookups"=dword:00000001', '"MaxCacheSize"=dword:06400000',
         '"TTLUnit"=dword:00000001', '"TTL"=dword:00000001', f'"CacheLocation"="{location}"', ""]
open(path, "w").write(config_text(active={"WWW": www}) + "\n" + "\n".join(cache))
PY
"$BIN/wayfarer-reg" import "$work/config.reg"
"$BIN/wayfarer-reg" set 'HKLM\Software\Wayfarer Computer Products Ltd.\Wayfarer\2.0\Service\0' \
  ListenCapacity REG_DWORD 1024
env -u DISPLAY -u WAYLAND_DISPLAY "$BIN/Wayfarer" 2>"$work/wayfarer.log" & pids+=($!)
sleep 2

URL="http://127.0.0.1:$NG/100k"
for proxy in "$WF" "$SQ"; do  # warm both caches, twice for squid's first miss
  for _ in 1 2 3; do curl -s -o /dev/null -x "http://127.0.0.1:$proxy" "$URL"; sleep 0.5; done
done
rps() {  # proxy port -> requests per second
  echo "wrk.path = \"$URL\"" >"$work/path.lua"
  wrk -t2 -c50 -d"$DURATION" -H "Connection: close" -s "$work/path.lua" "http://127.0.0.1:$1" \
    2>/dev/null | awk '/Requests\/sec/ {print $2}'
}
# Requests that reached the origin during a run: squid marks its own with a Via header.
before=$(wc -l <"$work/nginx.access")
wayfarer=$(rps "$WF")
wayfarer_misses=$(( $(wc -l <"$work/nginx.access") - before ))
before=$(wc -l <"$work/nginx.access")
squid_rate=$(rps "$SQ")
squid_misses=$(( $(wc -l <"$work/nginx.access") - before ))
echo "cached 100 KiB object, new connection per request, 50 connections, $DURATION each"
printf '  %-10s %10s req/s\n' Wayfarer "$wayfarer" squid "$squid_rate"
echo "  requests that reached the origin: Wayfarer $wayfarer_misses, squid $squid_misses"
awk -v w="$wayfarer" -v s="$squid_rate" 'BEGIN { printf "  Wayfarer / squid: %.2f\n", w / s }'
