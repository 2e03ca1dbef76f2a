#!/usr/bin/env bash
# Formats the C++ sources tracked by git with the repository's .clang-format.
#   format.sh --fix     rewrite files in place
#   format.sh --check   report files that differ and fail
set -euo pipefail
cd "$(dirname "$0")/.."
cf=$(command -v clang-format || command -v clang-format-14 || true)
[ -n "$cf" ] || { echo "clang-format is not installed" >&2; exit 1; }
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' '*.hpp' '*.cc' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
[ ${#files[@]} -gt 0 ] || exit 0
case "${1:---check}" in
  --fix) "$cf" -i "${files[@]}" ;;
  --check) "$cf" --dry-run -Werror "${files[@]}" && echo "format-check: ${#files[@]} files clean" ;;
  *) echo "usage: $0 --fix|--check" >&2; exit 2 ;;
esac
