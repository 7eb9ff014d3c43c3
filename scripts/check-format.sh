#!/usr/bin/env bash
# Fails when a C++ source of the repository differs from what clang-format
# makes of it (style: .clang-format). Skipped with a message when clang-format
# is not installed.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format not installed; skipping the style check" >&2
  exit 0
fi
mapfile -t files < <(git ls-files '*.cc' '*.h' '*.c' 2>/dev/null || find . -name '*.cc' -o -name '*.h' -o -name '*.c')
bad=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  if ! clang-format --style=file "$f" | cmp -s - "$f"; then bad+=("$f"); fi
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "check-format: not formatted with clang-format (run: clang-format -i FILE):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
