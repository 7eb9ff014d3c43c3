#!/usr/bin/env bash
# Runs the training recipe of docs/training.md, as written there, on the MSRA-format
# sample under tests/data/training, in a scratch copy of the source tree's
# layout (build/verrin, resources/default, the sample), and checks that the
# trained resources tag.
# Usage: training_recipe_test.sh SOURCE_DIR VERRIN [EMULATOR...]
# (a cross build gives the emulator that runs its programs)
set -euo pipefail
source_dir=$1
verrin=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/verrin-recipe.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "training_recipe_test: $*" >&2; exit 1; }

mkdir -p "$work/build" "$work/resources" "$work/tests/data/training"
if [ $# -gt 2 ]; then
  printf '#!/bin/sh\nexec %s "%s" "$@"\n' "${*:3}" "$verrin" >"$work/build/verrin"
  chmod +x "$work/build/verrin"
else
  ln -s "$verrin" "$work/build/verrin"
fi
ln -s "$source_dir/resources/default" "$work/resources/default"
ln -s "$source_dir/tests/data/training/msra-sample.txt" "$work/tests/data/training/"
# The indented block after the heading, up to the first line that is not part of it.
awk '/^## The recipe/{on=1; next} on && /^## /{exit} on && /^    /{print substr($0,5); seen=1; next}
     on && seen && !/^$/{exit}' "$source_dir/docs/training.md" >"$work/recipe.sh"
grep -q 'verrin" train' "$work/recipe.sh" || fail "no training recipe found in docs/training.md"
(cd "$work" && bash -euo pipefail recipe.sh >out.txt 2>log.txt) ||
  { tail -n 20 "$work/log.txt" >&2; fail "the recipe failed"; }
[ -s "$work/train-work/res/model.txt" ] || fail "no model written"
[ -z "$(ls "$work" | grep -v -x -e build -e resources -e tests -e train-work -e recipe.sh \
  -e out.txt -e log.txt)" ] || fail "the recipe wrote outside its working directory"
grep -q 'held out: the last [1-9][0-9]* of [0-9]* events (5%)' "$work/log.txt" ||
  fail "train did not hold out 5%: $(grep -m1 'held out' "$work/log.txt")"
# A sentence of the sample's kind, tagged with the trained resources.
[ "$(cat "$work/out.txt")" = "[P 王芳] 今天 在 [L 上海] 会见 了 [O 外交部] 的 代表 。 " ] ||
  fail "tagged with the trained model: $(cat "$work/out.txt")"
echo "training_recipe_test: the recipe of docs/training.md trained a model that tags the sample's sentence"
