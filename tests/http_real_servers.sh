#!/usr/bin/env bash
# velvane-get against real servers on loopback: nginx with its default
# keep-alive serving a forecast test page (with a Content-Length, and
# chunked through SSI), and tinyproxy in front of it as the CONNECT proxy.
#
#   http_real_servers.sh VELVANE_GET [WINE_RUN WINE_TEMPLATE]
#
# With WINE_RUN the program is a Windows build and runs under Wine. The
# servers run from a temporary folder and are always stopped.
set -u
get=$1
wine_run=${2:-}
wine_template=${3:-}
here=$(cd "$(dirname "$0")" && pwd)

for tool in nginx tinyproxy python3; do
  if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "/usr/sbin/$tool" ]; then
    if [ "$(id -u)" = 0 ]; then
      "$here/../scripts/install-deps" || exit 1
    else
      echo "http_real_servers: $tool is missing (scripts/install-deps installs it)" >&2
      exit 1
    fi
  fi
done
PATH=$PATH:/usr/sbin

work=$(mktemp -d "${TMPDIR:-/tmp}/velvane-http.XXXXXX")
nginx_pid=
proxy_pid=
stop_servers() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap stop_servers EXIT
trap 'exit 130' INT TERM

# The CONNECT request always names port 80, so nginx listens on port 80 of
# a loopback address of its own, and tinyproxy on a free port of 127.0.0.1.
read -r web proxy_port < <(python3 - <<'PY'
import random, socket
for _ in range(50):
    addr = "127.%d.%d.%d" % (random.randint(1, 254), random.randint(1, 254), random.randint(2, 254))
    try:
        s = socket.socket(); s.bind((addr, 80)); s.close()
    except OSError:
        continue
    p = socket.socket(); p.bind(("127.0.0.1", 0)); port = p.getsockname()[1]; p.close()
    print(addr, port)
    break
PY
)
[ -n "${web:-}" ] || { echo "http_real_servers: no free loopback address" >&2; exit 1; }

# The forecast test page: 64 KB with markers, the last one at its end.
mkdir -p "$work/www/chunked"
python3 - "$work/www" <<'PY'
import sys
rows = []
i = 0
while sum(len(r) for r in rows) < 65000:
    rows.append('<tr><td class="day">%d</td><td class="temp">+%d</td><td>облачно</td></tr>\n' % (i, i % 30))
    i += 1
page = ("<html><head><meta charset=\"utf-8\"><title>Прогноз</title></head><body><table>\n"
        + "".join(rows) + "</table><!-- end of forecast --></body></html>\n").encode("utf-8")
page = page[:65536 - 60] + b"<!-- padding -->" + b"</body></html>\n"
for name in ("forecast.html", "chunked/forecast.html"):
    open(sys.argv[1] + "/" + name, "wb").write(page)
PY

cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
user root;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx-error.log warn;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  default_type text/html;
  server {
    listen $web:80;
    root $work/www;
    # SSI leaves the length open, so nginx sends the page chunked.
    location /chunked/ { ssi on; }
  }
}
CONF
cat >"$work/tinyproxy.conf" <<CONF
Port $proxy_port
Listen 127.0.0.1
Timeout 30
MaxClients 16
Allow 127.0.0.0/8
ConnectPort 80
LogLevel Warning
LogFile "$work/tinyproxy.log"
PidFile "$work/tinyproxy.pid"
CONF
if [ "$(id -u)" = 0 ]; then
  printf 'User root\nGroup root\n' >>"$work/tinyproxy.conf"
fi

nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.out" 2>&1 &
proxy_pid=$!

wait_port() {  # address port
  for _ in $(seq 100); do
    python3 -c "import socket,sys; socket.create_connection((sys.argv[1], int(sys.argv[2])), 0.2).close()" "$1" "$2" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
wait_port "$web" 80 || { echo "nginx did not start:"; cat "$work/nginx-error.log"; exit 1; }
wait_port 127.0.0.1 "$proxy_port" || { echo "tinyproxy did not start:"; cat "$work/tinyproxy.out" "$work/tinyproxy.log"; exit 1; }

run_get() {  # out-file, arguments...
  local out=$1; shift
  if [ -n "$wine_run" ]; then
    "$wine_run" --template "$wine_template" "$get" --out "$out" "$@" | tr -d '\r'
  else
    "$get" --out "$out" "$@"
  fi
}

failures=0
passes=0
check() {  # name, out-file, expected body file, velvane-get arguments...
  local name=$1 out=$2 expected=$3; shift 3
  local report result elapsed size
  report=$(timeout 120 bash -c "$(declare -f run_get); wine_run='$wine_run' wine_template='$wine_template' get='$get' run_get \"\$@\"" _ "$out" "$@")
  result=$(sed -n 's/^result=//p' <<<"$report")
  size=$(sed -n 's/^size=//p' <<<"$report")
  elapsed=$(sed -n 's/^elapsed_ms=//p' <<<"$report")
  local why=
  if [ "$result" != 0 ]; then
    why="result=$result"
  elif ! python3 - "$out" "$expected" "$size" <<'PY'
import sys
got = open(sys.argv[1], "rb").read()
want = open(sys.argv[2], "rb").read()
head, sep, body = got.partition(b"\r\n\r\n")
ok = sep and body == want and len(got) == int(sys.argv[3]) and head.startswith(b"HTTP/1.1 200")
sys.exit(0 if ok else 1)
PY
  then
    why="the page does not match (size=$size)"
  elif [ "${elapsed:-999999}" -ge 5000 ]; then
    # nginx keeps the connection for 75 s: a client waiting for its close
    # would take that long.
    why="took ${elapsed} ms"
  fi
  if [ -z "$why" ]; then
    echo "PASS $name (${elapsed} ms)"
    passes=$((passes + 1))
  else
    echo "FAIL $name: $why"
    echo "$report"
    failures=$((failures + 1))
  fi
}

page=$work/www/forecast.html
check "direct, Content-Length" "$work/out1" "$page" "$web" 80 forecast.html
check "direct, chunked" "$work/out2" "$page" --referer x "$web" 80 chunked/forecast.html
check "through tinyproxy, Content-Length" "$work/out3" "$page" --proxy "127.0.0.1:$proxy_port" "$web" 80 forecast.html
check "through tinyproxy, chunked" "$work/out4" "$page" --proxy "127.0.0.1:$proxy_port" "$web" 80 chunked/forecast.html
if grep -q "Transfer-Encoding: chunked" "$work/out2" 2>/dev/null; then
  echo "PASS the chunked page came chunked"
  passes=$((passes + 1))
else
  echo "FAIL the chunked page did not come chunked"
  failures=$((failures + 1))
fi

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
