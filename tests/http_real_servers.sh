#!/usr/bin/env bash
# velvane-get against real servers on loopback: nginx with its default
# keep-alive serving a forecast test page (with a Content-Length, and
# chunked through SSI), and tinyproxy in front of it as a forward proxy that,
# like Squid as shipped, refuses CONNECT to port 80; a second tinyproxy asks
# for a Basic sign-in.
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
auth_pid=
stop_servers() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null
  [ -n "$auth_pid" ] && kill "$auth_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap stop_servers EXIT
trap 'exit 130' INT TERM

# The pages are asked for on port 80, so nginx listens on port 80 of a
# loopback address of its own, and the proxies on free ports of 127.0.0.1.
read -r web proxy_port auth_port < <(python3 - <<'PY'
import random, socket
for _ in range(50):
    addr = "127.%d.%d.%d" % (random.randint(1, 254), random.randint(1, 254), random.randint(2, 254))
    try:
        s = socket.socket(); s.bind((addr, 80)); s.close()
    except OSError:
        continue
    ports = []
    for _ in range(2):
        p = socket.socket(); p.bind(("127.0.0.1", 0)); ports.append(p.getsockname()[1]); p.close()
    print(addr, *ports)
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
# CONNECT to port 443 only, as Squid's SSL_ports: a tunnel to port 80
# would be refused, so the pages must come in absolute form.
proxy_conf() {  # port, name, extra lines
  cat <<CONF
Port $1
Listen 127.0.0.1
Timeout 30
MaxClients 16
Allow 127.0.0.0/8
ConnectPort 443
LogLevel Warning
LogFile "$work/$2.log"
PidFile "$work/$2.pid"
$3
CONF
  if [ "$(id -u)" = 0 ]; then
    printf 'User root\nGroup root\n'
  fi
}
proxy_conf "$proxy_port" tinyproxy "" >"$work/tinyproxy.conf"
proxy_conf "$auth_port" tinyproxy-auth "BasicAuth ivan s3cret-word" >"$work/tinyproxy-auth.conf"

nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.out" 2>&1 &
proxy_pid=$!
tinyproxy -d -c "$work/tinyproxy-auth.conf" >"$work/tinyproxy-auth.out" 2>&1 &
auth_pid=$!

wait_port() {  # address port
  for _ in $(seq 100); do
    python3 -c "import socket,sys; socket.create_connection((sys.argv[1], int(sys.argv[2])), 0.2).close()" "$1" "$2" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
wait_port "$web" 80 || { echo "nginx did not start:"; cat "$work/nginx-error.log"; exit 1; }
wait_port 127.0.0.1 "$proxy_port" || { echo "tinyproxy did not start:"; cat "$work/tinyproxy.out" "$work/tinyproxy.log"; exit 1; }
wait_port 127.0.0.1 "$auth_port" || { echo "tinyproxy with sign-in did not start:"; cat "$work/tinyproxy-auth.out"; exit 1; }

run_get() {  # out-file, arguments... (standard input: a password for --sign-in)
  local out=$1; shift
  if [ -n "$wine_run" ]; then
    "$wine_run" --template "$wine_template" "$get" --out "$out" "$@" | tr -d '\r'
  else
    "$get" --out "$out" "$@"
  fi
}

failures=0
passes=0
password=
check() {  # name, out-file, expected body file, velvane-get arguments...
  local name=$1 out=$2 expected=$3; shift 3
  local report result elapsed size
  report=$(printf '%s\n' "$password" | timeout 120 bash -c "$(declare -f run_get); wine_run='$wine_run' wine_template='$wine_template' get='$get' run_get \"\$@\"" _ "$out" "$@")
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
password=s3cret-word
check "through tinyproxy with a Basic sign-in" "$work/out5" "$page" --sign-in ivan --proxy "127.0.0.1:$auth_port" "$web" 80 forecast.html
# No password and a wrong one: named as the proxy asking for a sign-in
# (tinyproxy answers the first with 407, the second with 401).
for case in "none 407" "wrong 401"; do
  set -- $case
  if [ "$1" = none ]; then sign_in=(); else sign_in=(--sign-in ivan); fi
  password=$1
  report=$(printf '%s\n' "$password" | timeout 120 bash -c "$(declare -f run_get); wine_run='$wine_run' wine_template='$wine_template' get='$get' run_get \"\$@\"" _ "$work/out6" "${sign_in[@]}" --proxy "127.0.0.1:$auth_port" "$web" 80 forecast.html)
  if grep -qx "status=$2" <<<"$report" && grep -qx "failure=3" <<<"$report" && grep -qx "result=3" <<<"$report"; then
    echo "PASS sign-in $1: the proxy's $2, named as a sign-in wanted"
    passes=$((passes + 1))
  else
    echo "FAIL sign-in $1: $report"
    failures=$((failures + 1))
  fi
done
# Under Wine: the system's proxy settings of a prefix, as WinHTTP reads
# them from Internet Settings' DefaultConnectionSettings (flags 1 direct,
# 2 a static proxy, 4 a PAC script, 8 automatic detection).
if [ -n "$wine_run" ]; then
  connection_settings() {  # flags, proxy, bypass, pac url: the value's bytes as regedit's hex
    python3 - "$@" <<'PY'
import struct, sys
flags, proxy, bypass, pac = int(sys.argv[1]), *[a.encode() for a in sys.argv[2:5]]
data = struct.pack("<III", 0x46, 1, flags)
for text in (proxy, bypass, pac):
    data += struct.pack("<I", len(text)) + text
data += b"\0" * 32
print(",".join("%02x" % b for b in data))
PY
  }
  system_check() {  # name, expected proxy line, flags, proxy, bypass, pac url
    local name=$1 want=$2 prefix=$work/prefix-$3
    local hex
    hex=$(connection_settings "$3" "$4" "$5" "$6")
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections]\r\n"DefaultConnectionSettings"=hex:%s\r\n' \
      "$hex" >"$work/connections-$3.reg"
    "$wine_run" --template "$wine_template" --prefix "$prefix" regedit /S "$work/connections-$3.reg" >/dev/null 2>&1
    local report
    report=$(timeout 120 "$wine_run" --template "$wine_template" --prefix "$prefix" "$get" --system-proxy \
      --out "$work/out-system" "$web" 80 forecast.html </dev/null | tr -d '\r')
    if grep -qx "result=0" <<<"$report" && grep -qx "$want" <<<"$report"; then
      echo "PASS the system's settings: $name ($want, $(sed -n 's/^elapsed_ms=//p' <<<"$report") ms)"
      passes=$((passes + 1))
    else
      echo "FAIL the system's settings: $name: $report"
      failures=$((failures + 1))
    fi
  }
  printf 'function FindProxyForURL(url, host) { return "PROXY 127.0.0.1:%s"; }\n' "$proxy_port" >"$work/www/proxy.pac"
  system_check "a static proxy" "proxy=127.0.0.1:$proxy_port" 3 "127.0.0.1:$proxy_port" "" ""
  system_check "a static proxy bypassed" "proxy=none" 3 "127.0.0.1:$proxy_port" "127.*;<local>" ""
  system_check "a PAC script" "proxy=127.0.0.1:$proxy_port" 5 "" "" "http://$web/proxy.pac"
  system_check "automatic detection that finds nothing" "proxy=none" 9 "" "" ""
fi

if grep -q "Transfer-Encoding: chunked" "$work/out2" 2>/dev/null; then
  echo "PASS the chunked page came chunked"
  passes=$((passes + 1))
else
  echo "FAIL the chunked page did not come chunked"
  failures=$((failures + 1))
fi

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
