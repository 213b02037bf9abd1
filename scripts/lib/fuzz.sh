# shellcheck shell=bash
# Runs the libFuzzer targets of fuzz/ (built by the fuzz preset), each for a fixed time on
# a scratch copy of its seed corpus under build/fuzz-work, so that the repository's
# corpus stays small. The files a target writes through winsim go to a private scratch
# folder, on tmpfs when there is one (several times faster than a disk).

PRW3_FUZZ_PACKAGES=(cmake ninja-build clang libclang-rt-14-dev)

# One target per fuzz/<name>.cpp.
prw3_fuzz_targets() {
  local src
  for src in "$PRW3_ROOT"/fuzz/*.cpp; do basename "$src" .cpp; done
}

# prw3_fuzz_run SECONDS: runs every target for SECONDS and prints one line per target.
# Sets PRW3_FUZZ_TARGETS, PRW3_FUZZ_EXECS (executions, from libFuzzer's final stats) and
# PRW3_FUZZ_CRASHED (the targets whose run exited non-zero or left a crash artifact).
prw3_fuzz_run() {
  local seconds=$1 work="$PRW3_ROOT/build/fuzz-work" name dict status execs artifacts
  PRW3_FUZZ_TARGETS=0
  PRW3_FUZZ_EXECS=0
  PRW3_FUZZ_CRASHED=()
  rm -rf "$work"
  mkdir -p "$work"
  if [[ -z ${PRW3_FUZZ_SCRATCH:-} ]]; then
    if [[ -d /dev/shm && -w /dev/shm ]]; then
      PRW3_FUZZ_SCRATCH=$(mktemp -d /dev/shm/prw3-fuzz.XXXXXX)
    else
      PRW3_FUZZ_SCRATCH=$(mktemp -d "$PRW3_ROOT/build/fuzz-scratch.XXXXXX")
    fi
    prw3_at_exit rm -rf "$(printf %q "$PRW3_FUZZ_SCRATCH")"
  fi

  for name in $(prw3_fuzz_targets); do
    mkdir -p "$work/corpus/$name" "$work/artifacts/$name"
    cp "$PRW3_ROOT/fuzz/corpus/$name"/* "$work/corpus/$name/"
    dict=()
    [[ -f $PRW3_ROOT/fuzz/$name.dict ]] && dict=("-dict=$PRW3_ROOT/fuzz/$name.dict")
    status=0
    # An input that runs for 10 s counts as a hang, which is a crash too.
    TMPDIR="$PRW3_FUZZ_SCRATCH" "$PRW3_ROOT/build/fuzz/fuzz/fuzz_$name" "${dict[@]}" \
      -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/$name/" "$work/corpus/$name" \
      </dev/null >"$work/$name.log" 2>&1 || status=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log" | tail -n 1)
    execs=${execs:-0}
    artifacts=$(find "$work/artifacts/$name" -type f | wc -l)
    PRW3_FUZZ_TARGETS=$((PRW3_FUZZ_TARGETS + 1))
    PRW3_FUZZ_EXECS=$((PRW3_FUZZ_EXECS + execs))
    if ((status != 0 || artifacts > 0)); then
      PRW3_FUZZ_CRASHED+=("$name")
      echo "$name: $execs executions, CRASH (exit $status; see build/fuzz-work/$name.log and artifacts/$name)"
    else
      echo "$name: $execs executions, clean"
    fi
  done
}
