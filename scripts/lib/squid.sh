# Squid as Debian ships it, for the tests and the benchmark: its own
# squid.conf with only the port (on loopback) changed, a hosts file that
# sends the weather service's and the open data's names to a loopback
# stand-in, the pid and the logs in a folder Squid's user 'proxy' may write,
# and, when asked, a Basic sign-in (basic_ncsa_auth, user "velvane",
# password "right-password"). Needs root (the folder is given to 'proxy').
#
# The caller sets SQUID_DIR (a folder of its own, readable by 'proxy'),
# SQUID_PORT and SQUID_HOSTS_ADDRESS, and calls squid_stop on exit.
# SQUID_PID is set here; the access log is $SQUID_DIR/logs/access.log.

SQUID_PID=

squid_start() {  # plain|sign-in
  squid_stop
  local conf=$SQUID_DIR/squid.conf i
  mkdir -p "$SQUID_DIR/logs"
  chown proxy:proxy "$SQUID_DIR/logs" || return 1
  printf '%s api.open-meteo.com www.pogoda.example\n' "$SQUID_HOSTS_ADDRESS" >"$SQUID_DIR/hosts"
  sed "s/^http_port 3128\$/http_port 127.0.0.1:$SQUID_PORT/" /etc/squid/squid.conf >"$conf"
  grep -q "^http_port 127.0.0.1:$SQUID_PORT\$" "$conf" || { echo "squid.conf has no 'http_port 3128'" >&2; return 1; }
  if [ "$1" = sign-in ]; then
    printf 'velvane:%s\n' "$(openssl passwd -apr1 right-password)" >"$SQUID_DIR/passwords"
    # Before the shipped "http_access allow localhost": every request signs in.
    sed -i "s|^include /etc/squid/conf.d/\*.conf\$|&\\
auth_param basic program /usr/lib/squid/basic_ncsa_auth $SQUID_DIR/passwords\\
auth_param basic realm velvane-test\\
acl signed_in proxy_auth REQUIRED\\
http_access deny !signed_in|" "$conf"
  fi
  cat >>"$conf" <<CONF
hosts_file $SQUID_DIR/hosts
pid_filename $SQUID_DIR/logs/squid.pid
access_log stdio:$SQUID_DIR/logs/access.log
cache_log $SQUID_DIR/logs/cache.log
shutdown_lifetime 1 seconds
CONF
  # Squid's user makes its log itself.
  rm -f "$SQUID_DIR/logs/cache.log"
  squid -N -f "$conf" >"$SQUID_DIR/squid.out" 2>&1 &
  SQUID_PID=$!
  for i in $(seq 150); do
    grep -q 'Accepting HTTP Socket connections' "$SQUID_DIR/logs/cache.log" 2>/dev/null && return 0
    kill -0 "$SQUID_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$SQUID_DIR/squid.out" "$SQUID_DIR/logs/cache.log" >&2 2>/dev/null
  squid_stop
  return 1
}

squid_stop() {
  [ -n "$SQUID_PID" ] || return 0
  local i
  kill "$SQUID_PID" 2>/dev/null
  for i in $(seq 50); do kill -0 "$SQUID_PID" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$SQUID_PID" 2>/dev/null
  wait "$SQUID_PID" 2>/dev/null
  SQUID_PID=
}
