#!/usr/bin/env bash
# Rebuilds resources/web/, the resource set for posts and news of today, from
# resources/default and the public corpora: the default model adapted
# (verrin adapt) to Weibo posts and 2020 news, with the MSRA corpus of the
# default model mixed into every pass so that newswire is not forgotten. Then
# scores it on the Weibo development split, the held-out CLUENER lines and the
# People's Daily development set. A second run gives the same files.
#
# Usage: scripts/train-web-model.sh CORPORA_DIR [WORK_DIR]
#   CORPORA_DIR  the corpora folder (msra/, weibo/, cluener/, pd_bio/)
#   WORK_DIR     scratch space (default: build/web-model; about 100 MB)
#
# The training data: Weibo train (1,350 posts) and CLUENER train.json less
# its last 1,000 lines, which are held out for scoring; docs/accuracy.md
# explains the choice and gives the figures.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 CORPORA_DIR [WORK_DIR]" >&2
  exit 2
fi
corpora=$(cd "$1" && pwd)
work=${2:-build/web-model}
out=resources/web
HELDOUT_LINES=1000
# Predicate groups of the web model (adapt --groups; "none" for none).
WEB_FEATURE_GROUPS=${WEB_FEATURE_GROUPS:-class-marks}

step() { printf '\n== %s\n' "$*" >&2; }

step "building verrin"
VERRIN_TARGETS=${VERRIN_TARGETS-verrin_cli} scripts/build.sh >/dev/null
verrin=build/verrin
mkdir -p "$work"

step "converting Weibo train and dev, CLUENER train less its last $HELDOUT_LINES lines, MSRA"
"$verrin" convert --from weibo --raw-tokens "$corpora/weibo/weiboNER_2nd_conll.train" \
  "$work/weibo-train.txt"
"$verrin" convert --from weibo --to bio "$corpora/weibo/weiboNER_2nd_conll.dev" "$work/weibo-dev.bio"
lines=$(wc -l <"$corpora/cluener/train.json")
head -n $((lines - HELDOUT_LINES)) "$corpora/cluener/train.json" >"$work/cluener-train.json"
tail -n "$HELDOUT_LINES" "$corpora/cluener/train.json" >"$work/cluener-heldout.json"
"$verrin" convert --from cluener --raw-tokens "$work/cluener-train.json" "$work/cluener-train.txt"
"$verrin" convert --from cluener --to bio "$work/cluener-heldout.json" "$work/cluener-heldout.bio"
"$verrin" convert --from msra --fold-width --raw-tokens \
  --nest-locations resources/default/NeItem.txt \
  "$corpora/msra/train-nooverlap.txt" "$work/msra.txt" 2>"$work/convert-msra.log"
cat "$work/cluener-train.txt" "$work/weibo-train.txt" >"$work/web-train.txt"

step "adapting the default resources"
"$verrin" adapt --res resources/default --groups "$WEB_FEATURE_GROUPS" \
  --base-corpus "$work/msra.txt" "$work/web-train.txt" "$work/web"

mkdir -p "$out"
for f in dict.txt NeItem.txt NeAffix.txt PeInfo.txt charset_lableInfo_tr.txt model.txt; do
  cp "$work/web/$f" "$out/$f"
done
ls -l "$out" >&2

for set in "Weibo dev:$work/weibo-dev.bio" "CLUENER held-out:$work/cluener-heldout.bio" \
  "People's Daily dev:$corpora/pd_bio/example.dev"; do
  step "scoring on ${set%%:*}"
  "$verrin" eval-ner --res "$out" "${set#*:}"
done
