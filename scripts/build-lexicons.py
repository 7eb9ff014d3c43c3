#!/usr/bin/env python3
"""Builds the lexicon files of the default resources from public corpora.

Usage: build-lexicons.py CORPORA_DIR OUT_DIR

CORPORA_DIR holds jieba/dict.txt, friso/*.lex, pd1998/199801-d01-25.txt and
msra/train-nooverlap.txt (MSRA serves only to veto entity items).
Writes, as GBK text with "\\n" line ends, sorted by code point so that a second
run gives the same bytes:

  dict.txt     segmentation dictionary, one word per line
  NeItem.txt   "word value": entity items, value bit 2 location, 4 organization
  NeAffix.txt  "word value": affixes, value bits
                 1 person title, 2 location suffix, 4 organization suffix,
                 8 surname, 16 person-name prefix, 32 person-name suffix
  PeInfo.txt   "char flags s1 s2 s3 s4 s5 s6": flag bit 0 marks a surname;
                 s1..s6 are relative frequencies from People's Daily names
                 (see PeInfo below)

Only words that GBK can encode are kept. Standard library only.
"""

import collections
import os
import re
import sys

# --- dictionary choices -----------------------------------------------------
#
# The engine cuts raw text by forward longest match, so every dictionary entry
# that spans a real word boundary makes a wrong cut wherever it occurs. Measured
# on People's Daily 21-25 January (dictionary built by this script from jieba
# plus People's Daily 1-20 January, word F1 of forward longest match with the
# engine's grouping of digits and letters, against the gold segmentation):
#
#   jieba, every entry (349k words)                           0.816
#   jieba freq >= 5 (137k)                                    0.870
#   jieba freq >= 5 + People's Daily words (143k)             0.872
#   ... without jieba entity entries (nr ns nt nrt nrfg nz)   0.879
#   ... and without jieba numeral entries (m) (100k)          0.887
#   the same with freq >= 3 / 4 / 10 / 50                     0.839 / 0.887 / 0.885 / 0.882
#   People's Daily words alone (39k)                          0.880
#
# jieba gives 200k of its entries the frequency 2 or 3 (159k have 3); they
# are largely phrases and names with no corpus support and cost 5 points. The
# score is flat from 4 to 10 and falls slowly above; 5 keeps clear of those
# entries. Entity names (long place and organization names, full person names
# where People's Daily writes surname and given name apart) and numeral-measure
# words such as 一个 cut across the boundaries of the People's Daily standard.
# A length limit had no further effect once those were out. Hence: jieba words
# of frequency >= 5 that are not entity or numeral entries, plus every People's
# Daily word but numbers and punctuation.
JIEBA_MIN_FREQ = 5
JIEBA_EXCLUDED_POS = {"nr", "ns", "nt", "nrt", "nrfg", "nz", "m"}

# jieba entity entries kept as NeItem items need more support than dictionary
# words: low-frequency ns entries are often not places (马放南山, 一班人马).
ITEM_MIN_FREQ = 20

# An affix must be seen this often in People's Daily.
TITLE_MIN_COUNT = 10       # next to a person name
TITLE_MIN_SHARE = 0.2      # share of the word's occurrences next to a name
SUFFIX_MIN_COUNT = 3       # last word of a bracketed location/organization
PLACE_SUFFIX_MIN = 10      # last character of friso place names
SURNAME_MIN_COUNT = 5      # surname tokens in People's Daily names

# Characters that follow a surname to form a way of addressing a person
# (欧阳氏, 李某, 张老, 王总). Neither source lists them; they are a short list
# written here.
NAME_SUFFIXES = "氏某老总公翁嫂哥姐叔伯婆家"

ITEM_LOCATION = 2
ITEM_ORGANIZATION = 4
AFFIX_TITLE = 1
AFFIX_LOCATION = 2
AFFIX_ORGANIZATION = 4
AFFIX_SURNAME = 8
AFFIX_PREFIX = 16
AFFIX_SUFFIX = 32

DIGITS_LATIN = re.compile(r"[0-9A-Za-z０-９Ａ-Ｚａ-ｚ]")
TOKEN = re.compile(r"^(.+)/([A-Za-z]+)(?:\]([A-Za-z]+))?$")


def gbk_ok(word):
    try:
        word.encode("gbk")
    except UnicodeEncodeError:
        return False
    # Outside the Basic Multilingual Plane a character is two units; GBK has
    # none of them anyway, but keep the rule explicit.
    return all(ord(c) < 0x10000 for c in word)


def is_cjk_word(word):
    """Words of Chinese characters only (no symbols, digits or Latin letters):
    the segmenter groups digits and letters itself and keeps symbols single."""
    return all(0x3400 <= ord(c) <= 0x9FFF or 0xF900 <= ord(c) <= 0xFAFF for c in word)


# --- sources ------------------------------------------------------------------

def read_jieba(corpora):
    entries = []
    with open(os.path.join(corpora, "jieba", "dict.txt"), encoding="utf-8") as f:
        for line in f:
            fields = line.split()
            if len(fields) != 3:
                continue
            entries.append((fields[0], int(fields[1]), fields[2]))
    return entries


def read_friso(corpora, name):
    words = []
    with open(os.path.join(corpora, "friso", name), encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            word = line.split("/")[0].strip()
            if word:
                words.append(word)
    return words


def read_msra_tokens(corpora):
    """(word, tag) of every MSRA token, with the MSRA tags o, nr, ns, nt."""
    path = os.path.join(corpora, "msra", "train-nooverlap.txt")
    with open(path, encoding="utf-8") as f:
        for line in f:
            for token in line.split():
                word, slash, tag = token.rpartition("/")
                if slash and word:
                    yield word, tag


class PdParagraph:
    """One People's Daily paragraph: tokens (word, tag) and compounds."""

    def __init__(self, tokens, compounds):
        self.tokens = tokens            # [(word, tag)], compound words included
        self.compounds = compounds      # [(outer tag, [(word, tag)])]


def read_pd98(corpora):
    path = os.path.join(corpora, "pd1998", "199801-d01-25.txt")
    paragraphs = []
    with open(path, "rb") as f:
        for raw in f:
            line = raw.decode("gbk", errors="strict").strip()
            parts = line.split()
            if len(parts) < 2:
                continue
            tokens, compounds, inner = [], [], None
            ok = True
            for part in parts[1:]:
                opens = len(part) > 1 and part[0] == "[" and part[1] != "/"
                if opens:
                    part = part[1:]
                    inner = []
                m = TOKEN.match(part)
                if not m:
                    ok = False
                    break
                word, tag, outer = m.group(1), m.group(2), m.group(3)
                tokens.append((word, tag))
                if inner is not None:
                    inner.append((word, tag))
                    if outer:
                        compounds.append((outer, inner))
                        inner = None
            if ok and inner is None:
                paragraphs.append(PdParagraph(tokens, compounds))
    return paragraphs


def person_runs(tokens):
    """Runs of nr tokens, as (index of the first token, [words])."""
    runs, i = [], 0
    while i < len(tokens):
        if tokens[i][1] != "nr":
            i += 1
            continue
        j = i
        while j < len(tokens) and tokens[j][1] == "nr":
            j += 1
        runs.append((i, [w for w, _ in tokens[i:j]]))
        i = j
    return runs


def split_persons(run):
    """People's Daily writes surname and given name apart and lists names
    without punctuation: a one-character token after a name of two or more
    tokens starts the next name (the converter uses the same rule)."""
    persons = []
    for token in run:
        if not persons or (len(token) == 1 and len(persons[-1]) >= 2):
            persons.append([])
        persons[-1].append(token)
    return persons


# --- builders -------------------------------------------------------------------

def build_dict(jieba, paragraphs):
    words = set()
    for word, freq, pos in jieba:
        if freq >= JIEBA_MIN_FREQ and pos not in JIEBA_EXCLUDED_POS and is_cjk_word(word):
            words.add(word)
    for p in paragraphs:
        for word, tag in p.tokens:
            if tag not in ("w", "m") and is_cjk_word(word):
                words.add(word)
    return sorted(w for w in words if gbk_ok(w))


def build_items(corpora, jieba, paragraphs):
    values = collections.defaultdict(int)

    def add(word, bit):
        if len(word) >= 2 and is_cjk_word(word) and gbk_ok(word):
            values[word] |= bit

    # People's Daily and MSRA veto a word they mostly tag otherwise: jieba's
    # ns and nt entries include common nouns (天文学, 加仑), and People's Daily
    # tags 中央 nt in a few places but n in most. Words neither corpus has
    # stay unverified (上坡 and 多嘴 are among them).
    tags = collections.defaultdict(collections.Counter)
    for p in paragraphs:
        for word, tag in p.tokens:
            tags[word][tag] += 1
    for word, tag in read_msra_tokens(corpora):
        tags[word][tag] += 1

    def mostly(word, tag):
        seen = tags.get(word)
        return not seen or seen[tag] * 2 > sum(seen.values())

    for word, freq, pos in jieba:
        if freq >= ITEM_MIN_FREQ and pos == "ns" and mostly(word, "ns"):
            add(word, ITEM_LOCATION)
        elif freq >= ITEM_MIN_FREQ and pos == "nt" and mostly(word, "nt"):
            add(word, ITEM_ORGANIZATION)
    for name in ("lex-cn-place.lex", "lex-nation.lex"):
        for word in read_friso(corpora, name):
            if not word.endswith("人"):  # 北京人 names people, not a place
                add(word, ITEM_LOCATION)
    for name in ("lex-org.lex", "lex-company.lex", "lex-admin.lex"):
        for word in read_friso(corpora, name):
            add(word, ITEM_ORGANIZATION)
    for p in paragraphs:
        for word, tag in p.tokens:
            if tag == "ns" and mostly(word, "ns"):
                add(word, ITEM_LOCATION)
            elif tag == "nt" and mostly(word, "nt"):
                add(word, ITEM_ORGANIZATION)
        for outer, inner in p.compounds:
            joined = "".join(w for w, _ in inner)
            if outer == "ns":
                add(joined, ITEM_LOCATION)
            elif outer == "nt":
                add(joined, ITEM_ORGANIZATION)
    return sorted(values.items())


def pd_surname_counts(paragraphs, compound_surnames):
    counts = collections.Counter()
    for p in paragraphs:
        for _, run in person_runs(p.tokens):
            for person in split_persons(run):
                if len(person) >= 2 and (len(person[0]) == 1 or person[0] in compound_surnames):
                    counts[person[0]] += 1
    return counts


def build_affixes(corpora, paragraphs):
    values = collections.defaultdict(int)

    def add(word, bit):
        if word and is_cjk_word(word) and gbk_ok(word):
            values[word] |= bit

    # Titles: nouns next to person names (主席, 总理, 先生, 记者).
    near = collections.Counter()
    total = collections.Counter()
    noun = collections.Counter()
    for p in paragraphs:
        for word, tag in p.tokens:
            total[word] += 1
            if tag == "n":
                noun[word] += 1
        for start, run in person_runs(p.tokens):
            end = start + len(run)
            if start > 0:
                near[p.tokens[start - 1][0]] += 1
            if end < len(p.tokens):
                near[p.tokens[end][0]] += 1
    for word, count in near.items():
        if (count >= TITLE_MIN_COUNT and noun[word] * 2 > total[word]
                and count >= TITLE_MIN_SHARE * total[word]):
            add(word, AFFIX_TITLE)

    # Location and organization suffixes: the last words of bracketed names
    # ([香港 特别 行政区]ns, [中国 国际 广播 电台]nt), and the characters that
    # end many friso place names (县, 市, 区).
    ends = {"ns": collections.Counter(), "nt": collections.Counter()}
    for p in paragraphs:
        for outer, inner in p.compounds:
            if outer in ends and len(inner) >= 2:
                ends[outer][inner[-1][0]] += 1
    for word, count in ends["ns"].items():
        if count >= SUFFIX_MIN_COUNT:
            add(word, AFFIX_LOCATION)
    for word, count in ends["nt"].items():
        if count >= SUFFIX_MIN_COUNT:
            add(word, AFFIX_ORGANIZATION)
    place_ends = collections.Counter(
        w[-1] for w in read_friso(corpora, "lex-cn-place.lex") if len(w) >= 2)
    for char, count in place_ends.items():
        if count >= PLACE_SUFFIX_MIN and char != "人":
            add(char, AFFIX_LOCATION)

    # Surnames: friso's list and the surnames of People's Daily names.
    friso_surnames = read_friso(corpora, "lex-lname.lex")
    for word in friso_surnames:
        add(word, AFFIX_SURNAME)
    compound = {w for w in friso_surnames if len(w) == 2}
    for word, count in pd_surname_counts(paragraphs, compound).items():
        if count >= SURNAME_MIN_COUNT:
            add(word, AFFIX_SURNAME)

    for word in read_friso(corpora, "lex-ln-adorn.lex"):
        add(word, AFFIX_PREFIX)
    for char in NAME_SUFFIXES:
        add(char, AFFIX_SUFFIX)
    return sorted(values.items())


def build_pe_info(corpora, paragraphs):
    """Per character, from the person names of People's Daily:
      s1 share of surname tokens that are this character
      s2 share of first characters of two-character given names
      s3 share of second characters of two-character given names
      s4 share of one-character given names
      s5 share of the characters of other names (foreign, or given name only)
      s6 share of the character's occurrences in the corpus that lie in a name
    Flag bit 0: a one-character surname of friso's list, or one that People's
    Daily uses at least SURNAME_MIN_COUNT times."""
    friso_surnames = read_friso(corpora, "lex-lname.lex")
    compound = {w for w in friso_surnames if len(w) == 2}
    counts = [collections.Counter() for _ in range(5)]
    in_name = collections.Counter()
    occurrences = collections.Counter()
    for p in paragraphs:
        for word, tag in p.tokens:
            occurrences.update(word)
            if tag == "nr":
                in_name.update(word)
        for _, run in person_runs(p.tokens):
            for person in split_persons(run):
                chinese = (len(person) == 2 and (len(person[0]) == 1 or person[0] in compound)
                           and 1 <= len(person[1]) <= 2)
                if chinese:
                    if len(person[0]) == 1:
                        counts[0][person[0]] += 1
                    given = person[1]
                    if len(given) == 2:
                        counts[1][given[0]] += 1
                        counts[2][given[1]] += 1
                    else:
                        counts[3][given] += 1
                elif len(person) == 1 and len(person[0]) == 1:
                    counts[0][person[0]] += 1  # a surname alone: 王先生, 老张
                else:
                    for token in person:
                        counts[4].update(token)
    totals = [sum(c.values()) or 1 for c in counts]
    surnames = {w for w in friso_surnames if len(w) == 1}
    surnames |= {c for c, n in counts[0].items() if n >= SURNAME_MIN_COUNT}
    chars = set(surnames)
    for c in counts:
        chars |= set(c)
    rows = []
    for char in sorted(chars):
        if len(char) != 1 or not gbk_ok(char) or not is_cjk_word(char):
            continue
        stats = [counts[k][char] / totals[k] for k in range(5)]
        stats.append(in_name[char] / occurrences[char] if occurrences[char] else 0.0)
        rows.append((char, 1 if char in surnames else 0, stats))
    return rows


# --- output -----------------------------------------------------------------------

def write_lines(path, lines):
    data = "".join(line + "\n" for line in lines).encode("gbk")
    with open(path, "wb") as f:
        f.write(data)
    return len(data)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: build-lexicons.py CORPORA_DIR OUT_DIR\n")
        return 2
    corpora, out = argv[1], argv[2]
    os.makedirs(out, exist_ok=True)
    jieba = read_jieba(corpora)
    paragraphs = read_pd98(corpora)

    sizes = {}
    sizes["dict.txt"] = write_lines(os.path.join(out, "dict.txt"),
                                    build_dict(jieba, paragraphs))
    sizes["NeItem.txt"] = write_lines(
        os.path.join(out, "NeItem.txt"),
        ["%s %d" % (w, v) for w, v in build_items(corpora, jieba, paragraphs)])
    sizes["NeAffix.txt"] = write_lines(
        os.path.join(out, "NeAffix.txt"),
        ["%s %d" % (w, v) for w, v in build_affixes(corpora, paragraphs)])
    sizes["PeInfo.txt"] = write_lines(
        os.path.join(out, "PeInfo.txt"),
        ["%s %d %s" % (c, flags, " ".join("%.6f" % s for s in stats))
         for c, flags, stats in build_pe_info(corpora, paragraphs)])
    for name in sorted(sizes):
        with open(os.path.join(out, name), "rb") as f:
            lines = f.read().count(b"\n")
        sys.stderr.write("%-12s %8d lines %9d bytes\n" % (name, lines, sizes[name]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
