#!/usr/bin/env bash
# velvane.exe behind Squid as Debian ships it (its squid.conf with only the
# port, the hosts file, the pid and the logs changed), as a user at work
# meets it: the pages asked in absolute form, the open data over HTTPS
# through CONNECT to port 443. One simulator stands for both hosts on a
# loopback address of its own, the pages on port 80 and the open data's TLS
# on port 443, with a certificate from a test authority that only the test's
# Wine prefix trusts; Squid finds them through its hosts file. Every server
# is started and stopped here, every wait is bounded.
#
#   squid_tests.sh WINE_RUN TEMPLATE_DIR PROBE_EXE VELVANE_EXE SETTINGS_EXE SIM SHOT_DIR
set -u
wine_run=$1
template=$2
probe_exe=$3
velvane_exe=$4
settings_exe=$5
sim_exe=$6
shot_dir=$7
root=$(cd "$(dirname "$0")/../.." && pwd)

command -v squid >/dev/null || { echo "FAIL: no squid (scripts/install-deps installs it)"; exit 1; }
[ "$(id -u)" = 0 ] || { echo "FAIL: Squid's logs must belong to its user 'proxy': run as root"; exit 1; }

DEMO_WORK=$(mktemp -d "${TMPDIR:-/tmp}/velvane-squid.XXXXXX")
chmod 755 "$DEMO_WORK"
. "$root/scripts/lib/demo.sh"
. "$root/tests/win/checks.sh"
. "$root/scripts/lib/squid.sh"
PAC_PID=
stand_in_pid=
stop_pid() {  # pid
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}
cleanup() {
  squid_stop
  stop_pid "$PAC_PID"
  stop_pid "$stand_in_pid"
  demo_cleanup
  rm -rf "$DEMO_WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
mkdir -p "$shot_dir"
probe() { demo_probe "$probe_exe" "$@"; }
check_failed_note() { import -window root "$shot_dir/squid-failed.png" 2>/dev/null; echo "screenshot: $shot_dir/squid-failed.png"; }
ICON_X=1013 ICON_Y=758 EMPTY_X=500 EMPTY_Y=300

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# ------------------------------------------------------------ the servers
demo_make_certs "$DEMO_WORK/certs" "Velvane test authority" || exit 1
demo_make_certs "$DEMO_WORK/untrusted" "Nobody's authority" || exit 1

# The stand-in for both hosts: a loopback address whose ports 80 and 443
# are free, the pages as the simulator's --pages says, TLS with the
# certificates of the folder given.
stand_in_address=
start_stand_in() {  # pages mode, certificate folder, [simulator option...]
  local out=$DEMO_WORK/stand-in.out try address pages=$1 certs=$2
  shift 2
  stop_pid "$stand_in_pid"
  stand_in_pid=
  for try in 1 2 3 4 5; do
    address=${stand_in_address:-127.21.$((RANDOM % 200 + 20)).$((RANDOM % 200 + 20))}
    : >"$out"
    "$sim_exe" --listen "$address:80" --tls-listen "$address:443" --seed 5 --pages "$pages" \
      --tls-cert "$certs/server.pem" --tls-key "$certs/server.key" --log "$DEMO_WORK/sim.log" "$@" >"$out" 2>&1 &
    stand_in_pid=$!
    wait_line "$out" '^velvane-sim: tls on' 5 && { stand_in_address=$address; return 0; }
    stop_pid "$stand_in_pid"
    stand_in_pid=
    [ -n "$stand_in_address" ] && break
  done
  cat "$out"
  return 1
}

SQUID_PORT=$(free_port)
SQUID_DIR=$DEMO_WORK/squid
start_squid() { SQUID_HOSTS_ADDRESS=$stand_in_address squid_start "$1"; }
squid_logged() { grep -c "$1" "$SQUID_DIR/logs/access.log" 2>/dev/null; }

# ------------------------------------------------------------ the program
probe() { demo_probe "$probe_exe" "$@"; }
start_velvane() { demo_start_velvane "$velvane_exe" "$DEMO_WORK/velvane.rc" 600; }
exit_velvane() {
  probe post "$DEMO_PANEL" 0x111 1 0 >/dev/null
  wait_line "$DEMO_WORK/velvane.rc" '^0$' 20
}
refresh() { probe post "$DEMO_PANEL" 0x111 130 0 >/dev/null; }
tooltip_says() { tray_tooltip | grep -q "$1"; }
blocks_filled() { [ "$(probe item-text "$DEMO_PANEL" $DEMO_ACTUAL_TEXT)" != '""' ]; }
sim_served() { grep -c "$1" "$DEMO_WORK/sim.log" 2>/dev/null; }
more_than() { [ "$($1 "$2")" -gt "$3" ]; }  # counter, pattern, count

demo_start_display 280 299 || { echo "FAIL: no Xvfb display"; exit 1; }
start_stand_in on "$DEMO_WORK/certs" || { echo "FAIL: the stand-in did not start"; exit 1; }
start_squid plain || { echo "FAIL: Squid did not start"; exit 1; }
echo "stand-in on $stand_in_address:80 and :443, Squid on 127.0.0.1:$SQUID_PORT"

demo_prefix "$wine_run" "$template" "$DEMO_WORK/prefix" "$SQUID_PORT" || { echo "FAIL: no prefix"; exit 1; }
demo_hold_desktop "$probe_exe" 900 || echo "no taskbar on the desktop"

# ------------------------------------------- the program's proxy: Squid
start_velvane
check "through Squid the pages bring the weather" demo_wait_weather "$probe_exe" 60
check "... asked of Squid in absolute form" more_than squid_logged 'TCP_MISS/200 [0-9]* GET http://www.pogoda.example/pogoda/' 0

start_stand_in off "$DEMO_WORK/certs"
refresh
check "pages gone: the open data over HTTPS through CONNECT 443" wait_for 30 more_than sim_served 'GET /v1/forecast?.* 200' 0
check "... tunnelled by Squid" wait_for 10 more_than squid_logged 'TCP_TUNNEL/200 [0-9]* CONNECT api.open-meteo.com:443' 0
check "... the weather on the panel, no reason in the tooltip" wait_for 15 tooltip_says '^данные от [0-2][0-9]:[0-5][0-9]$'

# The same server with a certificate that nobody here trusts.
start_stand_in off "$DEMO_WORK/untrusted"
served=$(sim_served 'GET /v1/forecast')
refresh
check "an untrusted certificate: the certificate's reason after the kept weather's time" \
  wait_for 40 tooltip_says 'данные от [0-2][0-9]:[0-5][0-9] · сертификат сервера не прошёл проверку$'
check "... the kept weather stays" blocks_filled
check "... and no request reached the server" test "$(sim_served 'GET /v1/forecast')" = "$served"

# The open data overloaded: 503.
start_stand_in off "$DEMO_WORK/certs" --open-data busy
refresh
check "the open data answers 503: the busy service's reason" \
  wait_for 40 tooltip_says 'данные от [0-2][0-9]:[0-5][0-9] · сервис перегружен$'

# ------------------------------------------- Squid with a Basic sign-in
start_stand_in off "$DEMO_WORK/certs"
start_squid sign-in || { echo "FAIL: Squid did not start"; exit 1; }
refresh
check "Squid wants a sign-in and none is stored: the sign-in's reason" \
  wait_for 40 tooltip_says 'данные от [0-2][0-9]:[0-5][0-9] · прокси требует вход$'
check "... the kept weather stays" blocks_filled
check "Выход" exit_velvane

sign_in() {  # password
  (demo_wine_env; printf '%s\n' "$1" | timeout 60 wine "$settings_exe" sign-in velvane >/dev/null 2>&1)
}
sign_in wrong-password
start_velvane
check "a wrong password: the sign-in's reason alone" wait_for 60 tooltip_says '^Прокси требует вход$'
check "Выход" exit_velvane

sign_in right-password
before=$(squid_logged 'TCP_TUNNEL/200 [0-9]* CONNECT api.open-meteo.com:443 velvane ')
start_velvane
check "the right password brings the weather (the stand-in refuses a request that carries it past the proxy)" demo_wait_weather "$probe_exe" 60
# Squid logs a tunnel when it closes.
check "... through a tunnel Squid opened for the user" \
  wait_for 10 more_than squid_logged 'TCP_TUNNEL/200 [0-9]* CONNECT api.open-meteo.com:443 velvane ' "$before"
check "Выход" exit_velvane
no_plain_password() {
  (demo_wine_env; wine regedit /E "Z:${DEMO_WORK//\//\\}\\settings.reg" 'HKEY_CURRENT_USER\Software\Keldmark\weather' >/dev/null 2>&1)
  [ -s "$DEMO_WORK/settings.reg" ] || return 1
  local hex
  hex=$(printf right-password | od -An -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
  ! tr -d '\\\r\n ' <"$DEMO_WORK/settings.reg" | grep -qi "$hex" && ! grep -qa right-password "$DEMO_WORK/settings.reg"
}
check "the registry holds no plain password" no_plain_password

# ------------------------------------------- the system's proxy settings
# Internet Settings' binary DefaultConnectionSettings, which WinHTTP reads:
# version, counter, flags (1 direct, 2 a proxy, 4 a PAC script's address),
# then the proxy, the bypass list and the script's address, each with its
# length, and room for detection's results.
connection_settings() {  # flags, proxy, script address
  local out='46,00,00,00,01,00,00,00' text
  out+=,$(printf '%02x,00,00,00' "$1")
  for text in "$2" "" "$3"; do
    out+=,$(printf '%02x,%02x,00,00' $((${#text} & 255)) $((${#text} >> 8)))
    [ -n "$text" ] && out+=,$(printf %s "$text" | od -An -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
  done
  echo "$out$(printf ',00%.0s' $(seq 32))"
}
system_proxy() {  # flags, proxy, script address
  local reg=$DEMO_WORK/system.reg
  {
    printf 'REGEDIT4\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections]\r\n'
    printf '"DefaultConnectionSettings"=hex:%s\r\n\r\n' "$(connection_settings "$@")"
    printf '[HKEY_CURRENT_USER\\Software\\Keldmark\\weather]\r\n"is_use_proxy"=%s\r\n' "$(demo_reg_dword 0)"
  } >"$reg"
  (demo_wine_env; wine regedit /S "$reg" >/dev/null 2>&1)
}

start_squid plain || { echo "FAIL: Squid did not start"; exit 1; }
system_proxy 3 "127.0.0.1:$SQUID_PORT" ""
before=$(squid_logged 'CONNECT api.open-meteo.com:443')
start_velvane
check "the program's proxy off, the system's static proxy: the weather through Squid" \
  demo_wait_weather "$probe_exe" 60
check "... the open data tunnelled by Squid" wait_for 10 more_than squid_logged 'CONNECT api.open-meteo.com:443' "$before"
check "Выход" exit_velvane

# A PAC script served on loopback names Squid.
pac_dir=$DEMO_WORK/pac
mkdir -p "$pac_dir"
printf 'function FindProxyForURL(url, host) { return "PROXY 127.0.0.1:%s"; }\n' "$SQUID_PORT" >"$pac_dir/proxy.pac"
pac_port=$(free_port)
/usr/bin/python3 -m http.server --bind 127.0.0.1 --directory "$pac_dir" "$pac_port" >"$DEMO_WORK/pac.log" 2>&1 &
PAC_PID=$!
system_proxy 5 "" "http://127.0.0.1:$pac_port/proxy.pac"
before=$(squid_logged 'CONNECT api.open-meteo.com:443')
start_velvane
check "a PAC script: fetched by the program" wait_line "$DEMO_WORK/pac.log" 'GET /proxy.pac' 60
check "... and the weather through the proxy it names" demo_wait_weather "$probe_exe" 60
check "... the open data tunnelled by Squid" wait_for 10 more_than squid_logged 'CONNECT api.open-meteo.com:443' "$before"
check "Выход" exit_velvane

echo "squid tests: $passed passed, $failed failed"
[ "$failed" = 0 ]
