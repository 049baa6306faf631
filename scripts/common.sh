# Shared by scripts/run, scripts/test and scripts/package: install what is missing, then configure and build.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev qt6-base-dev qt6-translations-l10n
          fonts-dejavu-core fonts-liberation locales poppler-utils libsqlite3-dev libssl-dev)

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

# Builds the Debian package from the release build into build/package; PACKAGE_FILE names it.
build_package() {
  # cpack's Depends come from dpkg-shlibdeps (dpkg-dev); the PNG icons from rsvg-convert.
  install_missing dpkg-dev librsvg2-bin
  configure_and_build "$ROOT/build/release" -DCMAKE_BUILD_TYPE=Release -DK7_TESTS=OFF
  rm -f "$ROOT"/build/package/kestrel7_*.deb
  (cd "$ROOT/build/release" && cpack -G DEB -B "$ROOT/build/package")
  PACKAGE_FILE="$(ls "$ROOT"/build/package/kestrel7_*.deb)"
}

package_fault() {
  echo "Package fault: $*" >&2
  return 1
}

# Builds the package, checks what it holds, then installs it into this machine, runs the
# installed program without a display and removes the package again.
check_package() {
  install_missing desktop-file-utils man-db shared-mime-info
  build_package
  local deb="$PACKAGE_FILE"
  local version
  version="$(dpkg-deb -f "$deb" Version)"
  [ "$(basename "$deb")" = "kestrel7_${version}_$(dpkg --print-architecture).deb" ] ||
    package_fault "unexpected file name $(basename "$deb")"

  local contents
  contents="$(dpkg-deb -c "$deb" | awk '{print $NF}')"
  local icons=/usr/share/icons/hicolor
  local wanted=(/usr/bin/kestrel7 /usr/share/applications/kestrel7.desktop
                /usr/share/mime/packages/kestrel7.xml /usr/share/man/man1/kestrel7.1.gz
                "$icons/scalable/apps/kestrel7.svg")
  for size in 16 22 24 32 48 64 128 256; do wanted+=("$icons/${size}x$size/apps/kestrel7.png"); done
  for path in "${wanted[@]}"; do
    grep -qx "\.$path" <<<"$contents" || package_fault "$path is missing"
  done

  local depends
  depends="$(dpkg-deb -f "$deb" Depends)"
  echo "Depends: $depends"
  for name in libqt6widgets6 libqt6printsupport6 qt6-translations-l10n; do
    grep -q "\b$name\b" <<<"$depends" || package_fault "Depends lacks $name"
  done
  # The change journal's SQLite and its chain's libcrypto (libssl3t64 since Debian 13).
  grep -q '\blibsqlite3-0\b' <<<"$depends" || package_fault "Depends lacks libsqlite3-0"
  grep -qE '\blibssl3(t64)?\b' <<<"$depends" || package_fault "Depends lacks libssl3"
  if grep -q -- '-dev\b' <<<"$depends"; then package_fault "Depends names a -dev package"; fi

  local tmp
  tmp="$(mktemp -d)"
  dpkg-deb -x "$deb" "$tmp/root"
  desktop-file-validate "$tmp/root/usr/share/applications/kestrel7.desktop"
  # The page renders without a warning, and every option of --help is described in it.
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$tmp/root/usr/share/man/man1/kestrel7.1.gz" \
    >"$tmp/manual.txt" 2>"$tmp/manual.err"
  [ ! -s "$tmp/manual.err" ] || package_fault "man: $(cat "$tmp/manual.err")"
  grep -q "kestrel7 $version" "$tmp/manual.txt" || package_fault "the manual page is not of $version"
  for option in $("$tmp/root/usr/bin/kestrel7" --help | grep -o -- '--\?[a-z][a-z-]*' | sort -u); do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" "$tmp/manual.txt" ||
      package_fault "the manual page lacks $option"
  done

  # Installed like any Debian package; removed again whatever the checks find, so this machine
  # is left without kestrel7.
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --reinstall "$deb" >"$tmp/apt.log" 2>&1 ||
    { cat "$tmp/apt.log"; package_fault "apt-get could not install it"; }
  # shellcheck disable=SC2064  # $sudo is local: expanded now, on purpose
  trap "$sudo apt-get remove -y -qq kestrel7 >/dev/null 2>&1 || true" EXIT
  [ "$(command -v kestrel7)" = /usr/bin/kestrel7 ] || package_fault "kestrel7 is not /usr/bin/kestrel7"
  [ "$(env -u DISPLAY -u WAYLAND_DISPLAY kestrel7 --version)" = "kestrel7 $version" ] ||
    package_fault "kestrel7 --version does not say $version"
  env -u DISPLAY -u WAYLAND_DISPLAY kestrel7 identify -o "$tmp/identified.pom"
  env -u DISPLAY -u WAYLAND_DISPLAY kestrel7 show "$tmp/identified.pom" >"$tmp/shown.txt"
  grep -q "^Заводской номер: 12556$" "$tmp/shown.txt" || package_fault "kestrel7 show: $(cat "$tmp/shown.txt")"
  env -u DISPLAY -u WAYLAND_DISPLAY kestrel7 report "$tmp/identified.pom" -o "$tmp/report.pdf"
  [ "$(head -c 4 "$tmp/report.pdf")" = "%PDF" ] || package_fault "kestrel7 report wrote no PDF"
  # The dpkg triggers registered the file type.
  grep -q '^[0-9]*:application/x-kestrel7-pom:\*\.pom$' /usr/share/mime/globs2 ||
    package_fault "*.pom is not registered"
  grep -q 'Файл измерений Kestrel7' /usr/share/mime/application/x-kestrel7-pom.xml ||
    package_fault "the file type has no Russian name"

  DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq kestrel7 >"$tmp/apt.log" 2>&1 ||
    { cat "$tmp/apt.log"; package_fault "apt-get could not remove it"; }
  trap - EXIT
  [ ! -e /usr/bin/kestrel7 ] || package_fault "/usr/bin/kestrel7 stayed after removal"
  rm -rf "$tmp"
  echo "$(basename "$deb"): installed, ran and removed"
}
