#!/usr/bin/env bash
# Rebuilds every file of resources/default/ from the public corpora:
# the lexicons (scripts/build-lexicons.py), the character label table and the
# model (verrin convert -> augment -> genfeatures -> train -> refine), then
# scores the result on the development set; last, resources/web from it
# (scripts/train-web-model.sh). A second run gives the same files.
#
# Usage: scripts/train-default-model.sh CORPORA_DIR [WORK_DIR]
#   CORPORA_DIR  the corpora folder (msra/, pd1998/, pd_bio/, jieba/, friso/,
#                weibo/, cluener/)
#   WORK_DIR     scratch space for converted corpora and events
#                (default: build/default-model; about 1 GB)
#
# The settings below were chosen on pd_bio/example.dev; docs/accuracy.md lists
# every setting tried with its figures.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 CORPORA_DIR [WORK_DIR]" >&2
  exit 2
fi
corpora=$(cd "$1" && pwd)
work=${2:-build/default-model}
out=resources/default

# Settings (see docs/accuracy.md).
COPIES=${COPIES:-1}
CUTOFF=${CUTOFF:-1}
SIGMA=${SIGMA:-3000}
PRUNE=${PRUNE:-0.2}
HELDOUT=${HELDOUT:-40000}
EARLY_STOP=${EARLY_STOP:-20}
REFINE_EPOCHS=${REFINE_EPOCHS:-16}
REFINE_RATE=${REFINE_RATE:-0.05}
REFINE_MARGIN=${REFINE_MARGIN:-2}
# Predicate groups of the model (genfeatures --groups; empty: none). Not
# GROUPS: bash keeps the user's group ids in that name.
FEATURE_GROUPS=${FEATURE_GROUPS:-}

step() { printf '\n== %s\n' "$*" >&2; }

step "building verrin"
scripts/build.sh >/dev/null
verrin=build/verrin

step "building the lexicons"
python3 scripts/build-lexicons.py "$corpora" "$out"

mkdir -p "$work/res"
step "converting the MSRA training set"
"$verrin" convert --from msra --fold-width --raw-tokens --nest-locations "$out/NeItem.txt" \
  "$corpora/msra/train-nooverlap.txt" "$work/train.txt" 2>"$work/convert.log"
tail -n 2 "$work/convert.log" >&2

step "adding $COPIES copies of the lines with entities, entities swapped"
"$verrin" augment --copies "$COPIES" "$work/train.txt" "$work/train-augmented.txt"

step "generating training events${FEATURE_GROUPS:+ (groups $FEATURE_GROUPS)}"
for f in dict.txt NeItem.txt NeAffix.txt PeInfo.txt; do cp "$out/$f" "$work/res/$f"; done
: > "$work/res/charset_lableInfo_tr.txt"
rm -rf "$work/events"
groups=()
if [ -n "$FEATURE_GROUPS" ]; then groups=(--groups "$FEATURE_GROUPS"); fi
"$verrin" genfeatures --person-labels ${groups[@]+"${groups[@]}"} --res "$work/res" \
  "$work/train-augmented.txt" "$work/events" 2>/dev/null
wc -l "$work/events/ME_featuredata_tr.txt" >&2

step "training (cut-off $CUTOFF, sigma $SIGMA, held-out $HELDOUT, early stop $EARLY_STOP)"
"$verrin" train --cutoff "$CUTOFF" --sigma "$SIGMA" --heldout "$HELDOUT" \
  --early-stop "$EARLY_STOP" "$work/events/ME_featuredata_tr.txt" "$work/model-maxent.txt"
cp "$work/events/charset_lableInfo_tr.txt" "$work/res/charset_lableInfo_tr.txt"

step "refining for whole-clause decoding ($REFINE_EPOCHS passes, rate $REFINE_RATE, margin $REFINE_MARGIN, prune $PRUNE)"
"$verrin" refine --res "$work/res" --model "$work/model-maxent.txt" --epochs "$REFINE_EPOCHS" \
  --rate "$REFINE_RATE" --margin "$REFINE_MARGIN" --prune "$PRUNE" \
  --dev "$corpora/pd_bio/example.dev" "$work/train.txt" "$work/model.txt"

cp "$work/events/charset_lableInfo_tr.txt" "$out/charset_lableInfo_tr.txt"
cp "$work/model.txt" "$out/model.txt"
ls -l "$out" >&2

step "scoring on the development set"
"$verrin" eval-ner "$corpora/pd_bio/example.dev"

step "rebuilding resources/web from the new default set"
scripts/train-web-model.sh "$corpora" "$work/web"
