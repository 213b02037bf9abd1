# shellcheck shell=bash
# A private, quiet CUPS scheduler for the tests: its own configuration, spool and socket
# in a scratch folder; the system's CUPS (if any) is never touched or seen.

# prw3_cups_start DIR: exports CUPS_SERVER and sets PRW3_CUPSD_PID.
prw3_cups_start() {
  local dir=$1
  prw3_cups_stop_stale "$dir"
  rm -rf "$dir"
  mkdir -p "$dir"/{spool,tmp,cache,state,log}
  cat >"$dir/cups-files.conf" <<CONF
ServerRoot $dir
RequestRoot $dir/spool
TempDir $dir/tmp
CacheDir $dir/cache
StateDir $dir/state
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
SystemGroup root
CONF
  cat >"$dir/cupsd.conf" <<CONF
Listen $dir/cups.sock
Browsing Off
WebInterface No
LogLevel warn
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
CONF
  # cupsd forks and its parent returns once the socket listens.
  timeout 20 /usr/sbin/cupsd -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" \
    </dev/null >"$dir/log/start.log" 2>&1 || prw3_die "cupsd did not start (see $dir/log)"
  PRW3_CUPSD_PID=$(<"$dir/state/cupsd.pid")
  export CUPS_SERVER="$dir/cups.sock"
  lpstat -r 2>/dev/null | grep -q "scheduler is running" || prw3_die "cupsd is not answering"
}

# prw3_cups_add_queue NAME: a queue whose jobs go nowhere. (The socket backend is not in
# cups-daemon, so the device is an IPP address that nothing listens on.)
prw3_cups_add_queue() { lpadmin -p "$1" -E -v ipp://127.0.0.1:9/; }

prw3_cups_stop() {
  [[ -n ${PRW3_CUPSD_PID:-} ]] && prw3_stop_pid "$PRW3_CUPSD_PID"
  PRW3_CUPSD_PID=
}

# A scheduler left running from this folder by an interrupted run.
prw3_cups_stop_stale() {
  local dir=$1 pid
  [[ -f $dir/state/cupsd.pid ]] || return 0
  pid=$(<"$dir/state/cupsd.pid")
  if tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep -qF "$dir/cupsd.conf"; then
    prw3_stop_pid "$pid"
  fi
}
