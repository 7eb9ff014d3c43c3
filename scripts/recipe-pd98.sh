#!/usr/bin/env bash
# The training recipe of docs/training.md on People's Daily 1998 conventions:
# trains on January 1-20 of pd1998/199801-d01-25.txt and scores on January
# 21-25 (the development split; docs/accuracy.md lists the figures).
#
# Usage: scripts/recipe-pd98.sh CORPORA_DIR [WORK_DIR]
#   CORPORA_DIR  the corpora folder (pd1998/ in it)
#   WORK_DIR     scratch space (default: build/recipe-pd98; about 400 MB)
# Environment: VERRIN (default build/verrin).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || [ ! -f "$1/pd1998/199801-d01-25.txt" ]; then
  echo "usage: $0 CORPORA_DIR [WORK_DIR]  (CORPORA_DIR/pd1998/199801-d01-25.txt is read)" >&2
  exit 2
fi
source_file=$(cd "$1" && pwd)/pd1998/199801-d01-25.txt
work=${2:-build/recipe-pd98}
verrin=$(realpath "${VERRIN:-build/verrin}")
defaults=$PWD/resources/default
[ -x "$verrin" ] || { echo "$0: $verrin not found; build first (scripts/build.sh)" >&2; exit 1; }

step() { printf '\n== %s\n' "$*" >&2; }
mkdir -p "$work" && cd "$work"

step "splitting by date: days 1-20 for training, 21-25 for scoring"
LC_ALL=C grep -aE '^199801(0[1-9]|1[0-9]|20)' "$source_file" >pd-train.txt
LC_ALL=C grep -aE '^1998012[1-5]' "$source_file" >pd-dev.txt
wc -l pd-train.txt pd-dev.txt >&2

step "the recipe (docs/training.md) on days 1-20"
convert() {
  "$verrin" convert --from pd98 --fold-width --raw-tokens \
    --nest-locations "$defaults/NeItem.txt" "$1" "$2" 2>"$2.log"
  tail -n 1 "$2.log" >&2
}
convert pd-train.txt corpus.txt
"$verrin" augment --copies 1 corpus.txt corpus-plus.txt
mkdir -p res && cp "$defaults"/{dict,NeItem,NeAffix,PeInfo}.txt res/
: >res/charset_lableInfo_tr.txt
rm -rf out
"$verrin" genfeatures --person-labels --res res corpus-plus.txt out 2>/dev/null
"$verrin" train --cutoff 1 --sigma 3000 --heldout 5% --early-stop 20 \
  out/ME_featuredata_tr.txt maxent.txt
cp out/charset_lableInfo_tr.txt res/
"$verrin" refine --res res --model maxent.txt --epochs 16 --margin 2 \
  --prune 0.2 corpus.txt res/model.txt

step "gold BIO of days 21-25 (the bracketed corpus, nested parts dropped)"
convert pd-dev.txt dev-corpus.txt
python3 - dev-corpus.txt dev.bio <<'EOF'
import re, sys
classes = {"P": "PER", "L": "LOC", "O": "ORG"}
token = re.compile(r"\[([A-Za-z]+) ([^ \]]+)\]|\S+")
with open(sys.argv[1], encoding="gb18030") as src, open(sys.argv[2], "w", encoding="utf-8") as out:
    for line in src:
        rows = []
        for m in token.finditer(line.strip()):
            if m.group(1):
                text = re.sub("\x05[^\x06]*\x06", "", m.group(2)).replace("/", "")
                tag = classes.get(m.group(1))
                rows += [(c, "O" if tag is None else ("B-" if i == 0 else "I-") + tag)
                         for i, c in enumerate(text)]
            else:
                rows += [(c, "O") for c in m.group(0)]
        if rows:
            out.write("".join(f"{c} {t}\n" for c, t in rows) + "\n")
EOF

step "scoring on days 21-25"
"$verrin" eval-ner --res res dev.bio
