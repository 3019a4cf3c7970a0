#!/usr/bin/env bash
# Fuzzes the readers of outside bytes with the libFuzzer harnesses of tests/fuzz.
#
#   scripts/fuzz.sh [TARGET] [SECONDS]      one harness (bmp, gif, profile, ...) or all of them
#                                           in turn (TARGET omitted or "all"); SECONDS per
#                                           harness, 600 by default
#   scripts/fuzz.sh --list                  the harness names
#   scripts/fuzz.sh --minimize TARGET FILE  the smallest input that still fails like FILE,
#                                           written beside it as FILE.min
#
# Builds with clang into build-fuzz/ (configured on first use, NS_FUZZ=ON). Each harness keeps
# its working corpus in build-fuzz/corpus/<name> (seeded from tests/fuzz/corpus/<name> and
# tests/fuzz/regressions/<name>, resumed by the next run) and writes every input that crashes,
# times out, leaks or runs out of memory to build-fuzz/findings/<name>/. A finding does not end
# the run: the fuzzer carries on until the time is up (unattended runs of hours are fine).
# At the end one summary line per harness:
#
#   fuzz <target>: seconds <s> execs <n> cov <c> ft <f> findings <k>
#
# A time-out only counts when the input overruns again in three replays (a busy machine can
# starve the fuzzer); the others go to build-fuzz/findings/<name>/unconfirmed/.
# and the exit status is 1 when anything was found.
#
# Environment: FUZZ_BUILD (build-fuzz), FUZZ_TIMEOUT (seconds one input may take, 1),
# FUZZ_RSS_MB (memory limit, 2048), FUZZ_MAX_LEN (largest input, 65536), FUZZ_NICE (15).
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${FUZZ_BUILD:-build-fuzz}
TIMEOUT=${FUZZ_TIMEOUT:-1}
RSS_MB=${FUZZ_RSS_MB:-2048}
MAX_LEN=${FUZZ_MAX_LEN:-65536}
NICE=${FUZZ_NICE:-15}

all_targets() {
  local f
  for f in tests/fuzz/*_fuzz.cpp; do
    f=${f##*/}
    echo "${f%_fuzz.cpp}"
  done
}

die() {
  echo "fuzz: $*" >&2
  exit 2
}

build() {
  if [ ! -f "$BUILD/build.ninja" ]; then
    command -v clang++ >/dev/null || die "clang++ is missing (scripts/setup.sh installs it)"
    CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNS_FUZZ=ON \
      -DNS_BUILD_TESTS=OFF -DNS_BUILD_BENCH=OFF -DNS_SIM_CAMERAS=OFF >/dev/null
  fi
  local targets=()
  local t
  for t in "$@"; do targets+=("${t}_fuzz"); done
  nice -n "$NICE" cmake --build "$BUILD" -j 2 --target "${targets[@]}"
}

# libFuzzer's flags shared by every run of a harness.
fuzz_flags() {
  local name=$1
  FLAGS=(-timeout="$TIMEOUT" -rss_limit_mb="$RSS_MB" -max_len="$MAX_LEN"
    -artifact_prefix="$BUILD/findings/$name/")
  if [ -f "tests/fuzz/$name.dict" ]; then FLAGS+=(-dict="tests/fuzz/$name.dict"); fi
}

list_findings() {
  find "$BUILD/findings/$1" -maxdepth 1 -type f \
    \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' -o -name 'slow-unit-*' \) \
    2>/dev/null | sort
}

# On a busy machine an input can overrun the time limit only because the fuzzer got no CPU. A
# new time-out counts when it overruns in three replays out of three; otherwise it is moved to
# findings/<name>/unconfirmed/.
confirm_timeouts() {
  local name=$1 file i
  shift
  for file in "$@"; do
    case ${file##*/} in timeout-*) ;; *) continue ;; esac
    for i in 1 2 3; do
      if "$BUILD/bin/${name}_fuzz" -timeout="$TIMEOUT" -rss_limit_mb="$RSS_MB" "$file" \
        >/dev/null 2>&1; then
        mkdir -p "$BUILD/findings/$name/unconfirmed"
        mv "$file" "$BUILD/findings/$name/unconfirmed/"
        UNCONFIRMED=$((UNCONFIRMED + 1))
        break
      fi
    done
  done
}

run_one() {
  local name=$1 seconds=$2
  local corpus="$BUILD/corpus/$name" log="$BUILD/logs/$name.log"
  mkdir -p "$corpus" "$BUILD/findings/$name" "$BUILD/logs"
  fuzz_flags "$name"
  # New inputs go to the first folder only; the seeds and kept inputs are read, never written.
  local dirs=("$corpus") d
  for d in "tests/fuzz/corpus/$name" "tests/fuzz/regressions/$name"; do
    if [ -d "$d" ]; then dirs+=("$d"); fi
  done
  local before start end
  before=$(list_findings "$name")
  start=$(date +%s)
  # Fork mode: the fuzzing runs in a child process that is restarted after a crash, a time-out
  # or running out of memory, so one finding does not cost the rest of the run.
  nice -n "$NICE" "$BUILD/bin/${name}_fuzz" "${FLAGS[@]}" -fork=1 -ignore_crashes=1 \
    -ignore_timeouts=1 -ignore_ooms=1 -max_total_time="$seconds" "${dirs[@]}" >"$log" 2>&1 || true
  end=$(date +%s)
  local new=()
  mapfile -t new < <(comm -13 <(printf '%s\n' "$before") <(list_findings "$name") | sed '/^$/d')
  UNCONFIRMED=0
  if [ ${#new[@]} -gt 0 ]; then confirm_timeouts "$name" "${new[@]}"; fi
  local found=$((${#new[@]} - UNCONFIRMED))
  # The last status line of the fork server: "#<runs>: cov: <c> ft: <f> corp: ...".
  local status execs cov ft
  status=$(grep -E '^#[0-9]+: cov: ' "$log" | tail -n 1 || true)
  execs=$(sed -E 's/^#([0-9]+):.*/\1/' <<<"$status")
  cov=$(sed -E 's/.* cov: ([0-9]+).*/\1/' <<<"$status")
  ft=$(sed -E 's/.* ft: ([0-9]+).*/\1/' <<<"$status")
  local note=""
  if [ "$UNCONFIRMED" -gt 0 ]; then note=" (unconfirmed time-outs $UNCONFIRMED)"; fi
  SUMMARY+=("fuzz $name: seconds $((end - start)) execs ${execs:-0} cov ${cov:-0} ft ${ft:-0} findings $found$note")
  if [ "$found" -gt 0 ]; then FOUND=1; fi
  echo "${SUMMARY[-1]}  (log $log)"
}

# The whole run is one function, read in full before it starts: editing this file while a long
# run goes on cannot change what that run does.
main() {
  case "${1:-}" in
    --list)
      all_targets
      exit 0
      ;;
    --minimize)
      [ $# -eq 3 ] || die "usage: scripts/fuzz.sh --minimize TARGET FILE"
      name=$2 file=$3
      all_targets | grep -qx "$name" || die "no harness $name (scripts/fuzz.sh --list)"
      [ -f "$file" ] || die "no file $file"
      build "$name"
      fuzz_flags "$name"
      nice -n "$NICE" "$BUILD/bin/${name}_fuzz" "${FLAGS[@]}" -minimize_crash=1 \
        -max_total_time=120 -exact_artifact_path="$file.min" "$file" || true
      [ -f "$file.min" ] || die "$file does not fail (any more)"
      echo "fuzz: minimised input in $file.min ($(wc -c <"$file.min") bytes)"
      exit 0
      ;;
    -h | --help)
      sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'
      exit 0
      ;;
  esac

  TARGET=${1:-all}
  SECONDS_EACH=${2:-600}
  [[ "$SECONDS_EACH" =~ ^[0-9]+$ ]] && [ "$SECONDS_EACH" -gt 0 ] || die "SECONDS must be a positive number"
  if [ "$TARGET" = all ]; then
    mapfile -t TARGETS < <(all_targets)
  else
    all_targets | grep -qx "$TARGET" || die "no harness $TARGET (scripts/fuzz.sh --list)"
    TARGETS=("$TARGET")
  fi

  build "${TARGETS[@]}"
  SUMMARY=()
  FOUND=0
  for t in "${TARGETS[@]}"; do run_one "$t" "$SECONDS_EACH"; done
  echo
  printf '%s\n' "${SUMMARY[@]}"
  exit "$FOUND"
}

main "$@"
