#!/usr/bin/env bash
# Installs what is missing, builds the zemhttp tool, starts nginx on
# 127.0.0.1 serving a temporary folder (PUT and DELETE allowed) and runs the
# tool through every verb against it. Nothing leaves the loopback interface.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh

echo "== building the zemhttp tool"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"${JOBS:-2}" --target zemhttp_tool
tool=$root/build/bin/zemhttp

# Every request goes straight to the loopback server: a proxy from the
# environment would otherwise carry them (and could leave the machine).
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

tmp=$(mktemp -d /tmp/zemhttp-demo.XXXXXX)
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# A port that was free a moment ago, chosen by the system.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$tmp/www"
cat >"$tmp/nginx.conf" <<EOF
pid $tmp/nginx.pid;
error_log $tmp/error.log;
events { worker_connections 64; }
http {
  access_log $tmp/access.log;
  client_body_temp_path $tmp/body;
  proxy_temp_path $tmp/proxy;
  fastcgi_temp_path $tmp/fastcgi;
  uwsgi_temp_path $tmp/uwsgi;
  scgi_temp_path $tmp/scgi;
  types { text/plain txt; }
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$port;
    root $tmp/www;
    location / {
      dav_methods PUT DELETE;
      create_full_put_path on;
      # nginx itself does not answer OPTIONS; this server says what it allows.
      if (\$request_method = OPTIONS) {
        add_header Allow "GET, HEAD, PUT, DELETE, OPTIONS" always;
        return 204;
      }
    }
  }
}
EOF

echo "== starting nginx on 127.0.0.1:$port, serving $tmp/www"
nginx -p "$tmp/" -e "$tmp/error.log" -c "$tmp/nginx.conf" -g 'daemon off; master_process off;' &
nginx_pid=$!
for _ in $(seq 100); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  if ! kill -0 "$nginx_pid" 2>/dev/null; then
    echo "nginx did not start:" >&2
    cat "$tmp/error.log" >&2 || true
    exit 1
  fi
  sleep 0.1
done

# The tool runs in its own folder, so the debug log it writes with --log
# ("HttpLog.TXT" in the current folder) is easy to find afterwards.
work=$root/build/demo
mkdir -p "$work"
rm -f "$work/HttpLog.TXT"
cd "$work"
base="http://127.0.0.1:$port"
printf 'Hello from the zemhttp demo.\nSecond line.\n' >hello.txt

# Shows the command, runs it, and tells what its exit status means.
run() {
  echo
  printf '$ zemhttp'
  local arg
  for arg in "$@"; do
    if [[ $arg == *[[:space:]]* ]]; then printf ' "%s"' "$arg"; else printf ' %s' "$arg"; fi
  done
  echo
  local rc=0
  "$tool" "$@" || rc=$?
  case $1:$rc in
    status:0) echo "   -> exit 0: the code is one the client knows" ;;
    *:0) echo "   -> exit 0: the server answered with a status below 400" ;;
    *:1) echo "   -> exit 1: the request failed" ;;
    *:2) echo "   -> exit 2: usage error" ;;
    *:3) echo "   -> exit 3: the server answered with a status of 400 or above" ;;
    *) echo "   -> exit $rc" ;;
  esac
}

echo
echo "== every verb against nginx (response bodies on standard output, the status line on standard error)"
echo "-- PUT stores hello.txt on the server as /notes/hello.txt:"
run put "$base/notes/hello.txt" --data-file hello.txt --log
if [ -f "$tmp/www/notes/hello.txt" ]; then
  echo "   (the server's folder now holds notes/hello.txt, $(wc -c <"$tmp/www/notes/hello.txt") bytes)"
fi
echo "-- GET reads it back:"
run get "$base/notes/hello.txt" --log
echo "-- HEAD shows the headers only:"
run head "$base/notes/hello.txt" --log
echo "-- OPTIONS: this server answers with an Allow header and no body, so the tool prints that line:"
run options "$base/notes/hello.txt" --log
echo "-- POST: nginx serves static files and refuses POST to them with 405 (Method Not Allowed)."
echo "   The request itself went through; the status is the server's answer:"
run post "$base/notes/hello.txt" -H "Content-Type: text/plain" -d "a posted text" --log
echo "-- TRACE: nginx refuses TRACE with 405 as well (it never echoes requests):"
run trace "$base/notes/hello.txt" --log
echo "-- DELETE removes the file:"
run delete "$base/notes/hello.txt" --log
echo "-- GET again: the file is gone, so 404:"
run get "$base/notes/hello.txt" --log
echo "-- The status texts the client knows for 404:"
run status 404

echo
echo "== done"
echo "The client's debug log of every request above (service log lines, request, response and"
echo "header dumps) was appended to: $work/HttpLog.TXT"
