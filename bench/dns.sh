#!/usr/bin/env bash
# DNS benchmark: answers per second for one hosts-file name, Wayfarer's DNS service with
# UseDnsCache 1 against dnsmasq answering the same name from its own hosts file, both driven
# by dnsperf in this one run. The DNS port is fixed, so everything runs inside a private
# network and mount namespace (only loopback, the benchmark's own /etc/hosts, a resolver with
# no route); every server started here is stopped at the end. Three rounds back to back, each
# dnsmasq then Wayfarer; prints every round, the best of each, their ratio, the lost queries
# and the load average before and after.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib.sh
bench_need_gateway
SECONDS_PER_RUN=${DNS_BENCH_SECONDS:-10}
OUTSTANDING=${DNS_BENCH_OUTSTANDING:-100}

if [ "${WAYFARER_DNS_BENCH_NETNS:-}" != 1 ]; then
  bench_install dnsperf:dnsperf dnsmasq:dnsmasq-base
  exec env WAYFARER_DNS_BENCH_NETNS=1 unshare -n -m --propagation private "$0" "$@"
fi

ip link set lo up
bench_scratch
chmod 755 "$work"

NAME=wf-bench.test
ADDRESS=192.0.2.80
printf '127.0.0.1 localhost\n%s %s\n' "$ADDRESS" "$NAME" >"$work/hosts"
printf 'nameserver 192.0.2.53\noptions timeout:1 attempts:1\n' >"$work/resolv.conf"
printf 'hosts: files dns\n' >"$work/nsswitch.conf"
for f in hosts resolv.conf nsswitch.conf; do mount --bind "$work/$f" "/etc/$f"; done
printf '%s A\n' "$NAME" >"$work/queries"

# dnsmasq on another port (Wayfarer holds 53 on every address), answering from the same file.
DM_PORT=5300
dnsmasq --keep-in-foreground --no-resolv --no-hosts --addn-hosts="$work/hosts" \
  --listen-address=127.0.0.1 --bind-interfaces --port=$DM_PORT --cache-size=1000 \
  --pid-file="$work/dnsmasq.pid" --user=root --log-facility=/dev/null & pids+=($!)

# Wayfarer on a private store with only the DNS service on and its cache on.
export WAYFARER_REGISTRY="$work/registry.db" WAYFARER_WINDIR="$work/windows"
python3 - "$work/config.reg" <<'PY'
import sys
sys.path.insert(0, "tests/integration")
from gateway_process import config_text
open(sys.argv[1], "w").write(config_text(dns_active=True))
PY
"$BIN/wayfarer-reg" import "$work/config.reg"
"$BIN/wayfarer-reg" set 'HKLM\Software\Wayfarer Computer Products Ltd.\Wayfarer\2.0\Service\9' \
  UseDnsCache REG_DWORD 1
env -u DISPLAY -u WAYLAND_DISPLAY "$BIN/Wayfarer" 2>"$work/wayfarer.log" & pids+=($!)

ready() {  # port -> waits up to 10 s for an answer
  for _ in $(seq 50); do
    dig @127.0.0.1 -p "$1" +tries=1 +time=1 +short "$NAME" A 2>/dev/null | grep -qx "$ADDRESS" &&
      return 0
    sleep 0.2
  done
  echo "no answer on port $1" >&2
  return 1
}
ready $DM_PORT
ready 53

run() {  # port -> "qps lost"
  dnsperf -s 127.0.0.1 -p "$1" -d "$work/queries" -l "$SECONDS_PER_RUN" -q "$OUTSTANDING" \
    -t 5 2>/dev/null |
    awk '/Queries per second/ {q=$4} /Queries lost/ {l=$3} END {print q, l}'
}
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
printf '%-6s %-28s %12s %8s\n' "round" "server" "answers/s" "lost"
best_dm=0 best_wf=0 lost_dm=0 lost_wf=0
for round in 1 2 3; do
  read -r dm_qps dm_lost < <(run $DM_PORT)
  read -r wf_qps wf_lost < <(run 53)
  printf '%-6s %-28s %12.0f %8s\n' "$round" "dnsmasq (hosts file)" "$dm_qps" "$dm_lost"
  printf '%-6s %-28s %12.0f %8s\n' "$round" "Wayfarer DNS, UseDnsCache 1" "$wf_qps" "$wf_lost"
  best_dm=$(python3 -c "print(max($best_dm, $dm_qps))")
  best_wf=$(python3 -c "print(max($best_wf, $wf_qps))")
  lost_dm=$((lost_dm + dm_lost)) lost_wf=$((lost_wf + wf_lost))
done
printf 'best: dnsmasq %.0f, Wayfarer %.0f answers/s; lost in all rounds: %s and %s\n' \
  "$best_dm" "$best_wf" "$lost_dm" "$lost_wf"
printf 'load average before: %s, after: %s\n' "$load_before" "$(cut -d' ' -f1-3 /proc/loadavg)"
python3 -c "print('ratio Wayfarer/dnsmasq, best of 3: %.2f (target 0.5, no lost queries)' % ($best_wf / $best_dm))"
