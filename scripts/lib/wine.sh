# shellcheck shell=bash
# The test Wine prefix and its wineserver: made once, quiet, crashes reported as failures,
# daemons kept off the caller's pipes, and bound to the caller's X display.
#
# Every wine/wineserver call made while holding the prefix lock (fd 9) closes fd 9 first:
# the daemons they start would otherwise hold the lock for their whole lifetime.

PRW3_KEEPALIVE_IDLE=20

# The in-process tests run headless (PRW3_WINE_HEADLESS=1): in a prefix of their own whose
# graphics driver needs no display.
prw3_wine_env() {
  WINEPREFIX="${PRW3_WINEPREFIX:-$PRW3_ROOT/build/wineprefix${PRW3_WINE_HEADLESS:+-unit}}"
  [[ $WINEPREFIX == /* ]] || WINEPREFIX="$PWD/$WINEPREFIX"
  export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}

# Runs "$@" under the prefix lock.
prw3_wine_locked() {
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    "$@"
  ) 9>"$WINEPREFIX/.prw3.lock"
}

# Makes the prefix if needed and starts a lingering wineserver on the current display.
# Call under the lock.
prw3_wine_prepare() {
  local record="$WINEPREFIX/.prw3-display"
  # A wineserver whose desktop lives on another display makes every CreateWindow fail.
  if [[ -f $record && "$(<"$record")" != "${DISPLAY:-}" ]]; then
    prw3_wine_kill
  fi
  wineserver -p30 </dev/null >/dev/null 2>&1 9>&- || true  # exits 2 if already running
  printf '%s\n' "${DISPLAY:-}" >"$record"
  if [[ -f $WINEPREFIX/.prw3-ready ]]; then
    prw3_wine_scale
    return 0
  fi

  wine wineboot -u </dev/null >"$WINEPREFIX/.prw3-wineboot.log" 2>&1 9>&- || return 1
  # An empty debugger makes an unhandled exception end the process with a non-zero code
  # (otherwise it hangs, or, with only the dialog off, sometimes exits 0).
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /t REG_SZ /d '' /f </dev/null >/dev/null 2>&1 9>&- || return 1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >/dev/null 2>&1 9>&- || return 1
  if [[ -n ${PRW3_WINE_HEADLESS:-} ]]; then
    # Windows, menus and drawing without a display; the server takes it at its next start.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f </dev/null >/dev/null 2>&1 9>&- ||
      return 1
    prw3_wine_kill
    wineserver -p30 </dev/null >/dev/null 2>&1 9>&- || true
  fi
  touch "$WINEPREFIX/.prw3-ready"
  prw3_wine_scale
}

# The display scale of the prefix: "LogPixels" $PRW3_WINE_DPI (96 unless set). Wine reads
# it when its session starts, so a change restarts the wineserver. Call under the lock.
prw3_wine_scale() {
  local dpi=${PRW3_WINE_DPI:-96} record="$WINEPREFIX/.prw3-dpi"
  [[ "$(cat "$record" 2>/dev/null || echo 96)" == "$dpi" ]] && return 0
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    </dev/null >/dev/null 2>&1 9>&- || return 1
  prw3_wine_kill
  wineserver -p30 </dev/null >/dev/null 2>&1 9>&- || true
  printf '%s\n' "${DISPLAY:-}" >"$WINEPREFIX/.prw3-display"
  echo "$dpi" >"$record"
}

# Starts the desktop keeper (tools/keepalive.exe) unless one is running, and marks
# the prefix as in use. Call under the lock.
prw3_wine_keepalive() {
  local exe=$1 stamp="$WINEPREFIX/.prw3-keepalive" pid
  touch "$stamp"
  [[ -f $exe ]] || return 0
  pid=$(cat "$stamp.pid" 2>/dev/null || true)
  if [[ -n $pid ]] && tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep -q keepalive; then
    return 0
  fi
  rm -f "$stamp.ready"
  wine "$exe" "$PRW3_KEEPALIVE_IDLE" "$(prw3_winpath "$stamp")" "$(prw3_winpath "$stamp.ready")" \
    </dev/null >/dev/null 2>&1 9>&- &
  echo $! >"$stamp.pid"
  # Wait for its window, so that the desktop is started from here, detached from the
  # caller's pipes, and not from inside the test.
  for _ in $(seq 200); do
    [[ -f $stamp.ready ]] && return 0
    prw3_alive $! || return 0
    sleep 0.05
  done
}

# Ends every process of the prefix and its wineserver.
prw3_wine_kill() {
  wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
  wineserver -w </dev/null >/dev/null 2>&1 9>&- || true
  rm -f "$WINEPREFIX/.prw3-display"
}
