#!/usr/bin/env bash
# Fails when an include points the wrong way between the source folders, when
# the include graph of the files has a cycle, or when an ICU header is
# included outside text/. The folders, lowest first (a folder may include its
# own headers and those of lower folders only; folders of one rank not each
# other's):
#   text < io < resource < maxent < engine < corpus, train < api < eval < serve < cli, bench
# The Python binding (python/src) is a host like any other: it may include the
# public headers (verrin/...) only.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A rank=([text]=0 [io]=1 [resource]=2 [maxent]=3 [engine]=4 [corpus]=5 [train]=5
  [api]=6 [eval]=7 [serve]=8 [cli]=9 [bench]=9)
folders=(text io resource maxent engine corpus train api eval serve cli bench include/verrin
  python/src)

bad=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
for folder in "${folders[@]}"; do
  [ -d "$folder" ] || continue
  from=${folder#include/}
  [ "$from" = verrin ] && from=api  # the public header of api/
  for file in "$folder"/*.h "$folder"/*.cc; do
    [ -f "$file" ] || continue
    while IFS= read -r target; do
      to=${target%%/*}
      header=$target
      [ "$to" = verrin ] && header=include/$target && to=api
      if [ -z "${rank[$to]+x}" ]; then continue; fi
      if [ "$from" = python/src ]; then
        if [ "$header" = "$target" ]; then
          echo "check-layers: $file includes $target (the binding may include verrin/... only)" >&2
          bad=1
        fi
      elif [ "$to" != "$from" ] && [ "${rank[$to]}" -ge "${rank[$from]}" ]; then
        echo "check-layers: $file includes $target ($from may not depend on $to)" >&2
        bad=1
      fi
      echo "$file $header" >>"$edges"
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
    if grep -q '^#include <unicode/' "$file" && [ "$from" != text ]; then
      echo "check-layers: $file includes an ICU header (only text/ may)" >&2
      bad=1
    fi
  done
done
# tsort names the files of every cycle of the include graph.
if ! tsort "$edges" >/dev/null 2>"$edges.err"; then
  echo "check-layers: the include graph has a cycle:" >&2
  cat "$edges.err" >&2
  bad=1
fi
rm -f "$edges.err"
[ "$bad" = 0 ] && echo "check-layers: $(wc -l <"$edges") includes, no cycle, no include against the layers"
exit "$bad"
