# shellcheck shell=bash
# Shared by the scripts: the repository root, step headers, and cleanup on exit.
# Source it first; the other files in scripts/lib rely on it.

PRW3_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
PRW3_CLEANUP=()

prw3_step() { printf '\n== %s\n' "$*"; }
prw3_die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Registers a command to run when the script exits; they run last-registered first.
prw3_at_exit() {
  PRW3_CLEANUP=("$*" "${PRW3_CLEANUP[@]}")
  trap prw3_run_cleanup EXIT
  trap 'exit 130' INT TERM
}

prw3_run_cleanup() {
  local cmd
  for cmd in "${PRW3_CLEANUP[@]}"; do eval "$cmd" || true; done
  PRW3_CLEANUP=()
}

# True while the process runs. A daemon's exit leaves a zombie until init reaps it, which
# can take seconds: that counts as gone.
prw3_alive() {
  local state
  state=$(grep -s '^State:' "/proc/$1/status") || return 1
  [[ $state != *zombie* ]]
}

# Stops a process we started, by pid, and waits until it is gone.
prw3_stop_pid() {
  local pid=$1
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 100); do
    prw3_alive "$pid" || break
    sleep 0.05
  done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# Windows form of an absolute Linux path (Wine maps / to drive Z:).
prw3_winpath() { local p="Z:$1"; printf '%s' "${p//\//\\}"; }
