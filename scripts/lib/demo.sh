# Shell functions that set Velvane up as a user meets it: the weather-service
# simulator on loopback, a Wine prefix in the Russian locale with a shared
# virtual desktop and the demo settings, an X display when there is none,
# and the program itself. scripts/run, scripts/bench and the end-to-end
# tests source this file; every wait here is bounded.
#
# The caller calls demo_begin for a work folder of its own (or sets
# DEMO_WORK itself and calls demo_cleanup on exit). Variables set here:
# DEMO_SIM_PID, DEMO_SIM_PORT, DEMO_XVFB_PID, DEMO_PREFIX, DEMO_VELVANE_PID,
# DEMO_PANEL and DEMO_SEARCH (the panel's and the search window's criteria
# for velvane-probe).

DEMO_SIM_PID=
DEMO_SIM_PORT=
DEMO_XVFB_PID=
DEMO_PREFIX=
DEMO_VELVANE_PID=
DEMO_HOLD_PID=
DEMO_TEMPLATE=
DEMO_SETTINGS_KEY='HKCU\Software\Keldmark\weather'
# The panel: a dialog titled "Velvane - Прогноз погоды" (the title's UTF-8 in hex).
DEMO_PANEL="class=#32770,titlehex=$(printf 'Velvane - Прогноз погоды' | od -An -tx1 | tr -d ' \n')"
# The place search opened from it, titled "Поиск места".
DEMO_SEARCH="class=#32770,titlehex=$(printf 'Поиск места' | od -An -tx1 | tr -d ' \n')"
DEMO_HOST='title=Velvane App'
# The panel's two text blocks and its location lists.
DEMO_ACTUAL_TEXT=1014
DEMO_FORECAST_TEXT=1011
DEMO_COUNTRY=1007
DEMO_CITY=1008

# A work folder of the caller's own (DEMO_WORK), removed on every way out
# once demo_cleanup has stopped what was started.
demo_begin() {  # name
  DEMO_WORK=$(mktemp -d "${TMPDIR:-/tmp}/velvane-$1.XXXXXX")
  trap 'demo_cleanup; rm -rf "$DEMO_WORK"' EXIT
  trap 'exit 130' INT TERM
}

# A display of our own, from the first free number of the range given.
demo_start_display() {  # first last
  local n
  for n in $(seq "$1" "$2"); do
    { [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; } && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    DEMO_XVFB_PID=$!
    # Ours only when its lock names our server: two scripts starting at the
    # same moment may both find a number free, and the socket of the one
    # that won would serve both.
    for _ in $(seq 50); do
      if [ -e /tmp/.X11-unix/X$n ] && [ "$(tr -d ' ' </tmp/.X$n-lock 2>/dev/null)" = "$DEMO_XVFB_PID" ]; then
        export DISPLAY=:$n
        return 0
      fi
      kill -0 "$DEMO_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$DEMO_XVFB_PID" 2>/dev/null
    DEMO_XVFB_PID=
  done
  echo "no free X display in $1..$2" >&2
  return 1
}

# A certificate authority made here and now and a server certificate it
# issues for the open data's two hosts (the forecast and the place search),
# in the folder given: ca.der (for
# velvane-trust), ca.pem, server.pem (the certificate and the authority's)
# and server.key. Nothing of it is kept beyond the folder; only a prefix that
# runs velvane-trust on ca.der trusts it.
demo_make_certs() {  # folder, [authority's name]
  local dir=$1 name=${2:-Velvane demo authority}
  mkdir -p "$dir"
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=$name" \
    -keyout "$dir/ca.key" -out "$dir/ca.pem" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign >/dev/null 2>&1 &&
  openssl req -newkey rsa:2048 -nodes -subj "/CN=api.open-meteo.com" \
    -keyout "$dir/server.key" -out "$dir/server.csr" >/dev/null 2>&1 &&
  printf 'subjectAltName=DNS:api.open-meteo.com,DNS:geocoding-api.open-meteo.com\nextendedKeyUsage=serverAuth\n' >"$dir/server.ext" &&
  openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial \
    -days 30 -extfile "$dir/server.ext" -out "$dir/server.crt" >/dev/null 2>&1 &&
  cat "$dir/server.crt" "$dir/ca.pem" >"$dir/server.pem" &&
  openssl x509 -in "$dir/ca.pem" -outform DER -out "$dir/ca.der" ||
    { echo "no certificates in $dir" >&2; return 1; }
}

# Starts the simulator on a free loopback port, logging to DEMO_WORK/sim.log
# and saving its pages in DEMO_WORK/pages; a port given is taken again (for
# a restart on the same address). DEMO_SIM_PAGES (on, off, changed or cut;
# on when unset) says how the service's two pages answer; DEMO_SIM_STORM=1
# makes the open data's tomorrow a storm.
demo_start_sim() {  # simulator, seed, [port]
  local sim=$1 seed=$2 port=${3:-0} out=$DEMO_WORK/sim.out
  : >"$out"
  # The open data over TLS in the tunnel, with the demo authority's
  # certificate (demo_prefix trusts it).
  [ -f "$DEMO_WORK/certs/server.pem" ] || demo_make_certs "$DEMO_WORK/certs" || return 1
  "$sim" --listen "127.0.0.1:$port" --seed "$seed" --log "$DEMO_WORK/sim.log" \
    --save "$DEMO_WORK/pages" --pages "${DEMO_SIM_PAGES:-on}" ${DEMO_SIM_STORM:+--storm} \
    --tls-cert "$DEMO_WORK/certs/server.pem" --tls-key "$DEMO_WORK/certs/server.key" >"$out" 2>&1 &
  DEMO_SIM_PID=$!
  for _ in $(seq 100); do
    DEMO_SIM_PORT=$(sed -n 's/^velvane-sim: listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
    [ -n "$DEMO_SIM_PORT" ] && return 0
    kill -0 "$DEMO_SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$out" >&2
  echo "the simulator did not start" >&2
  return 1
}

demo_stop_sim() {
  [ -n "$DEMO_SIM_PID" ] || return 0
  kill "$DEMO_SIM_PID" 2>/dev/null
  for _ in $(seq 50); do
    kill -0 "$DEMO_SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$DEMO_SIM_PID" 2>/dev/null
  wait "$DEMO_SIM_PID" 2>/dev/null
  DEMO_SIM_PID=
}

# The environment of every Wine process of the prefix.
demo_wine_env() {
  export WINEPREFIX=$DEMO_PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
  export LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8
}

# A REG_BINARY value of 4 bytes, as regedit writes it.
demo_reg_dword() {  # value
  printf 'hex:%02x,%02x,%02x,%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255))
}

# Boots the prefix from the template (a private copy), makes it trust the
# demo authority (see demo_make_certs) and writes the desktop's and the
# program's settings in one regedit run: the desktop
# "shell" of 1024 x 768, which always has its taskbar; the proxy on,
# pointing at the simulator; the panel shown at start; no notice; a fetch at
# start. Extra "name=value" arguments (value a number) override the
# program's 4-byte values.
demo_prefix() {  # wine-run, template, prefix, proxy port, [name=value...]
  local wine_run=$1 template=$2 port=$4 reg=$DEMO_WORK/demo.reg
  DEMO_PREFIX=$3
  DEMO_TEMPLATE=$template
  shift 4
  rm -rf "$DEMO_PREFIX"
  "$wine_run" --template "$template" --prefix "$DEMO_PREFIX" cmd /c exit >/dev/null 2>&1
  [ -f "$DEMO_PREFIX/system.reg" ] || { echo "the Wine prefix did not boot" >&2; return 1; }
  local -A values=([is_use_proxy]=1 [proxy_port]=$port [is_hide_window]=0 [is_never_show]=1
                   [is_first_fore]=1 [is_get_fore]=1 [hours]=2)
  local pair
  for pair in "$@"; do values[${pair%%=*}]=${pair#*=}; done
  {
    printf 'REGEDIT4\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="shell"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"shell"="1024x768"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Keldmark\\weather]\r\n'
    # The proxy host as the program stores it: its characters, no terminator.
    printf '"proxy_name"=hex:%s\r\n' "$(printf 127.0.0.1 | od -An -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//')"
    for pair in "${!values[@]}"; do
      printf '"%s"=%s\r\n' "$pair" "$(demo_reg_dword "${values[$pair]}")"
    done
  } >"$reg"
  (demo_wine_env; wine regedit /S "$reg" >/dev/null 2>&1) && demo_trust "$DEMO_WORK/certs/ca.der"
}

# Trusts an authority in the prefix, and in it alone: velvane-trust (built
# beside the template, or DEMO_TRUST_EXE) adds it to the prefix's ROOT store.
demo_trust() {  # DER certificate
  local trust=${DEMO_TRUST_EXE:-$(dirname "$DEMO_TEMPLATE")/tools/velvane-trust.exe}
  [ -f "$1" ] || demo_make_certs "$(dirname "$1")" || return 1
  (demo_wine_env; timeout 60 wine "$trust" "Z:${1//\//\\}" 2>&1 | tr -d '\r' | grep -q '^trusted$') ||
    { echo "the prefix does not trust $1" >&2; return 1; }
}

# Keeps the desktop, with its taskbar, up for as long as the caller needs:
# a desktop that starts together with the program has no taskbar yet when
# the program reads the work area.
demo_hold_desktop() {  # probe, seconds
  (demo_wine_env; exec timeout "$2" wine "$1" hold "velvane demo desktop" "$2" >/dev/null 2>&1) &
  DEMO_HOLD_PID=$!
  demo_probe "$1" wait class=Shell_TrayWnd 60000 >/dev/null
}

# The probe's output without CR; its exit status is the probe's own, so that
# a wait that times out fails. The guard against a probe that hangs lets the
# longest wait asked of it (60 s) run out first.
demo_probe() {  # probe, command...
  local probe=$1
  shift
  (set -o pipefail; demo_wine_env; timeout 90 wine "$probe" "$@" 2>/dev/null | tr -d '\r')
}

# Starts velvane.exe; its exit code goes to the file given when it ends.
demo_start_velvane() {  # exe, exit code file, [seconds]
  local exe=$1 rc=$2 seconds=${3:-3600}
  rm -f "$rc"
  (demo_wine_env; timeout "$seconds" wine "$exe" >/dev/null 2>&1; echo $? >"$rc") &
  DEMO_VELVANE_PID=$!
}

# Waits until the panel shows and its current-weather block is filled; the
# probe polls inside one process rather than being started again and again.
demo_wait_weather() {  # probe, seconds
  local ms=$(($2 * 1000))
  (demo_wine_env
   timeout $(($2 + 30)) wine "$1" wait-visible "$DEMO_PANEL" 1 $ms >/dev/null 2>&1 &&
     timeout $(($2 + 30)) wine "$1" wait-text "$DEMO_PANEL" $DEMO_ACTUAL_TEXT $ms >/dev/null 2>&1)
}

# How many requests the simulator has logged.
demo_requests() {
  if [ -f "$DEMO_WORK/sim.log" ]; then wc -l <"$DEMO_WORK/sim.log"; else echo 0; fi
}

# Waits until the simulator has logged at least the count of requests.
demo_wait_requests() {  # count, seconds
  local i
  for i in $(seq $(($2 * 20))); do
    [ "$(demo_requests)" -ge "$1" ] && return 0
    sleep 0.05
  done
  return 1
}

demo_cleanup() {
  demo_stop_sim
  if [ -n "$DEMO_PREFIX" ] && [ -d "$DEMO_PREFIX" ]; then
    WINEPREFIX=$DEMO_PREFIX timeout 30 wineserver -k >/dev/null 2>&1
  fi
  [ -n "$DEMO_VELVANE_PID" ] && wait "$DEMO_VELVANE_PID" 2>/dev/null
  [ -n "$DEMO_HOLD_PID" ] && { kill "$DEMO_HOLD_PID" 2>/dev/null; wait "$DEMO_HOLD_PID" 2>/dev/null; }
  if [ -n "$DEMO_XVFB_PID" ]; then
    kill "$DEMO_XVFB_PID" 2>/dev/null
    wait "$DEMO_XVFB_PID" 2>/dev/null
  fi
  DEMO_VELVANE_PID= DEMO_HOLD_PID= DEMO_XVFB_PID=
}
