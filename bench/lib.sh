# Shared set-up of the benchmark scripts, sourced by each of them: the packages a script needs,
# a scratch directory whose servers are stopped and files removed on exit, free loopback ports.

# bench_install CMD:PACKAGE ...: installs the packages whose command is missing.
bench_install() {
  local need=() pair
  for pair in "$@"; do command -v "${pair%%:*}" >/dev/null || need+=("${pair#*:}"); done
  if [ ${#need[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
  fi
}

# bench_stop_services NAME ...: packages may start their system instances; those are not
# part of any measurement.
bench_stop_services() {
  local svc
  for svc in "$@"; do service "$svc" stop >/dev/null 2>&1 || true; done
}

# bench_scratch: sets $work (a new directory) and $pids (servers to stop); cleans up on exit.
bench_scratch() {
  work=$(mktemp -d)
  pids=()
  trap bench_cleanup EXIT
  ulimit -n 65536 2>/dev/null || true
}

bench_cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}

# port: a free loopback TCP port.
port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# bench_need_gateway: the Wayfarer to measure, $BIN (default build/bin), must exist.
bench_need_gateway() {
  BIN=${WAYFARER_BIN:-build/bin}
  [ -x "$BIN/Wayfarer" ] || { echo "no $BIN/Wayfarer: build it first (scripts/build build)" >&2; exit 1; }
}

# bench_origin PORT [HTTP-DIRECTIVES] [SERVER-DIRECTIVES]: starts an nginx origin serving
# $work/www on 127.0.0.1:PORT (access log off unless HTTP-DIRECTIVES set one).
bench_origin() {
  local port=$1 http=${2:-"access_log off;"} server=${3:-}
  cat >"$work/nginx.conf" <<CFG
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx.err;
daemon off;
events { worker_connections 4096; }
http {
  $http
  client_body_temp_path $work; proxy_temp_path $work; fastcgi_temp_path $work;
  uwsgi_temp_path $work; scgi_temp_path $work;
  server { listen 127.0.0.1:$port backlog=4096; root $work/www; $server }
}
CFG
  nginx -c "$work/nginx.conf" & pids+=($!)
}
