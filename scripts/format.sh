#!/usr/bin/env bash
# Formats the C and C++ sources as .clang-format says; with --check, changes
# nothing and fails, naming the files, when any source is not formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang-format
mapfile -t sources < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run --Werror "${sources[@]}"
  echo "formatted: ${#sources[@]} sources"
else
  clang-format -i "${sources[@]}"
fi
