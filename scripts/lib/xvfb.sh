# shellcheck shell=bash
# A private X display: Xvfb picks a free display number itself (-displayfd), and we keep
# its pid so that only our own server is ever stopped.

# prw3_xvfb_start DIR: exports DISPLAY and sets PRW3_XVFB_PID.
prw3_xvfb_start() {
  local dir=$1
  mkdir -p "$dir"
  : >"$dir/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" \
    </dev/null >"$dir/xvfb.log" 2>&1 &
  PRW3_XVFB_PID=$!
  for _ in $(seq 100); do
    [[ -s $dir/display ]] && break
    prw3_alive "$PRW3_XVFB_PID" || prw3_die "Xvfb did not start (see $dir/xvfb.log)"
    sleep 0.05
  done
  [[ -s $dir/display ]] || prw3_die "Xvfb did not report its display"
  DISPLAY=":$(<"$dir/display")"
  export DISPLAY
}

prw3_xvfb_stop() {
  [[ -n ${PRW3_XVFB_PID:-} ]] && prw3_stop_pid "$PRW3_XVFB_PID"
  PRW3_XVFB_PID=
}
