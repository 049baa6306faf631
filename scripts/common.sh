# Shared by scripts/run and scripts/test: install what is missing, then configure and build.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev qt6-base-dev fonts-dejavu-core
          fonts-liberation locales poppler-utils)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# The tests prove that numbers do not follow a Russian locale; they need that locale to exist.
ensure_russian_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    localedef -i ru_RU -f UTF-8 ru_RU.UTF-8 2>/dev/null ||
      echo "Note: the ru_RU.UTF-8 locale could not be generated; the locale tests will be skipped."
  fi
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
  local dir="$1"
  shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}

FUZZ_TARGETS=(data_file reply packed_text value_read serial_reply hart_ip)

# Builds the libFuzzer targets with clang into build/fuzz.
build_fuzzers() {
  install_missing clang-14 libclang-rt-14-dev
  CC=clang-14 CXX=clang++-14 configure_and_build "$ROOT/build/fuzz" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DK7_FUZZ=ON -DK7_TESTS=OFF -DK7_QT=OFF
}

# run_fuzzers SECONDS: each target for SECONDS, from the seeds kept in fuzz/corpus; what it
# learns stays in build/fuzz/corpus. Fails on the first finding, leaving the input beside it.
run_fuzzers() {
  local seconds="$1"
  for target in "${FUZZ_TARGETS[@]}"; do
    local learned="$ROOT/build/fuzz/corpus/$target"
    local log="$ROOT/build/fuzz/$target.log"
    mkdir -p "$learned"
    if ! "$ROOT/build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$ROOT/build/fuzz/$target-" "$learned" "$ROOT/fuzz/corpus/$target" \
        >"$log" 2>&1; then
      tail -n 40 "$log"
      echo "fuzz_$target found a fault (input saved in build/fuzz/$target-*)"
      return 1
    fi
    echo "fuzz_$target: $(grep -m1 -o 'stat::number_of_executed_units: [0-9]*' "$log" | cut -d' ' -f2) runs in $seconds s, no finding"
  done
}
