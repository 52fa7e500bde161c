#!/usr/bin/env bash
# The Debian packages: one hardened Release build, packed by CPack into four
# packages in dist/ (pcpos-cli, pcpos-sim, pcpos-tap, pcpos-tester), then checked as a
# distribution would check them:
#   - lintian: no error and no warning (informational tags are listed);
#   - hardening-check --nocfprotection on every program, and -fcf-protection by
#     the endbr64 at the start of main (Debian 12's start files carry no CET
#     marking, so hardening-check's own CET line cannot pass for any program);
#   - pcpos-cli depends on no Qt library;
#   - desktop-file-validate and appstreamcli validate --no-net on the window's files;
#   - every manual page renders without a warning.
# Exits 0 only when all of it passes.
#
# Environment: JOBS (build parallelism, default 2), PACKAGE_BUILD_DIR (default
# build-package; CI passes its Release build folder so nothing is built twice).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh lintian devscripts desktop-file-utils appstream binutils man-db

jobs=${JOBS:-2}
build=${PACKAGE_BUILD_DIR:-build-package}
dist=$root/dist
started=$SECONDS
say() { printf '\n=== %s (%d s into the run)\n' "$*" $((SECONDS - started)); }

say "Release build in $build (the project's hardening flags, no caller's flags)"
options=()
# A folder of its own needs no tests; a reused one keeps its generator and
# what it was configured with.
[ -n "${PACKAGE_BUILD_DIR:-}" ] || options+=(-DPCPOS_BUILD_TESTS=OFF)
[ -f "$build/CMakeCache.txt" ] || options+=(-G Ninja)
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release "${options[@]}" >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
grep -q '^-- Hardened Release build' "$build/configure.log" || {
  echo "the Release build is not hardened (CXXFLAGS, LDFLAGS or CMAKE_CXX_FLAGS set?):"
  cat "$build/configure.log"
  exit 1
}
cmake --build "$build" -j "$jobs"

say "Four Debian packages into dist/"
rm -rf "$build/_CPack_Packages"
(cd "$build" && cpack -G DEB >/dev/null)
mkdir -p "$dist"
rm -f "$dist"/pcpos-cli_*.deb "$dist"/pcpos-sim_*.deb "$dist"/pcpos-tap_*.deb "$dist"/pcpos-tester_*.deb
debs=()
for package in pcpos-cli pcpos-sim pcpos-tap pcpos-tester; do
  deb=$(ls "$build"/${package}_*.deb)
  cp "$deb" "$dist/"
  debs+=("$dist/$(basename "$deb")")
done
ls -l "${debs[@]}"

failed=()
unpacked=$build/unpacked
rm -rf "$unpacked"

say "lintian"
for deb in "${debs[@]}"; do
  # --fail-on makes an error or a warning fail the run; the informational tags
  # are shown so that a new one is seen (the README says which stay and why).
  lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb" ||
    failed+=("lintian $(basename "$deb")")
  echo "lintian checked $(basename "$deb")"
done

say "Hardening of the installed programs"
for deb in "${debs[@]}"; do
  package=$(dpkg-deb -f "$deb" Package)
  mkdir -p "$unpacked/$package"
  dpkg-deb -x "$deb" "$unpacked/$package"
  program=$unpacked/$package/usr/bin/$package
  hardening-check --nocfprotection "$program" || failed+=("hardening-check $package")
  # The packaged program is stripped: main is found in the build's copy. Every
  # function the compiler may reach indirectly starts with endbr64 under
  # -fcf-protection, main among them.
  first=$(objdump -d --no-show-raw-insn "$build/bin/$package" |
    awk 'found == 1 { print $2; found = 2 } /^[0-9a-f]+ <main>:$/ && !found { found = 1 }')
  if [ "$first" = endbr64 ]; then
    echo " Control flow protection (endbr64 at main): yes"
  else
    echo " Control flow protection (endbr64 at main): no (main starts with '$first')"
    failed+=("endbr64 $package")
  fi
done

say "Dependencies"
for deb in "${debs[@]}"; do
  printf '%s: %s\n' "$(dpkg-deb -f "$deb" Package)" "$(dpkg-deb -f "$deb" Depends)"
done
for package in pcpos-cli pcpos-tap; do
  if dpkg-deb -f "$dist"/${package}_*.deb Depends | grep -qi 'qt'; then
    failed+=("$package depends on Qt")
  fi
done

say "Desktop entry, AppStream metadata, manual pages"
desktop-file-validate "$unpacked"/pcpos-tester/usr/share/applications/*.desktop ||
  failed+=("desktop-file-validate")
appstreamcli validate --no-net "$unpacked"/pcpos-tester/usr/share/metainfo/*.metainfo.xml ||
  failed+=("appstreamcli validate")
for page in "$unpacked"/*/usr/share/man/man1/*.1.gz; do
  # As lintian reads them: any message from man or groff is a fault.
  messages=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  if [ -n "$messages" ]; then
    echo "$(basename "$page"): $messages"
    failed+=("man $(basename "$page")")
  else
    echo "$(basename "$page"): renders cleanly"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  say "Packaging FAILED: ${failed[*]}"
  exit 1
fi
say "Packages in dist/ passed"
