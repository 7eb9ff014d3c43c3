"""What the Python package adds to the tagging itself, in instructions
(valgrind's callgrind), which unlike times do not depend on what else the
machine runs.

    PYTHONPATH=build/python-site /usr/bin/python3 bench/python_overhead.py \
        [--lines N] [--cxx build-release/bench/bench_tagger_bench] TEXT

Tags the first N lines of TEXT (UTF-8, a sentence per line) with Tagger.tag,
a call per line, under callgrind, and once more without tagging, and prints
  - the instructions of the library's own tagging calls (KyTagNEInfo),
  - those of the binding's Tagger.tag around them (text conversion, offsets,
    the Word objects),
  - those of the whole Python process for the tagging (the difference of the
    two runs: the loop, the calls, the lists),
and, with --cxx, those of KyTagNEInfo in the C++ benchmark on the same lines,
so that a library built with other compiler flags shows up.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

SCRIPT = """
import sys, verrin
tagger = verrin.Tagger()
lines = [l.rstrip("\\n") for l in open(sys.argv[1], encoding="utf-8")][: int(sys.argv[2])]
for line in lines:
    tagger.tag(line)
"""


def callgrind(command, out, toggle=None):
    args = ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"]
    if toggle:
        args.append(f"--toggle-collect={toggle}")
    run = subprocess.run(args + command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         text=True)
    if run.returncode != 0:
        raise SystemExit(f"valgrind failed:\n{run.stderr[-2000:]}")
    return out


def inclusive(profile, function):
    """Instructions of `function` and everything it calls."""
    text = subprocess.run(["callgrind_annotate", "--inclusive=yes", profile],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    for line in text.splitlines():
        found = re.match(r"\s*([0-9,]+) ", line)
        if found and function in line:
            return int(found.group(1).replace(",", ""))
    raise SystemExit(f"{function} not found in {profile}")


def program_total(profile):
    text = subprocess.run(["callgrind_annotate", profile], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True).stdout
    return int(re.search(r"([0-9,]+) .*PROGRAM TOTALS", text).group(1).replace(",", ""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("text")
    parser.add_argument("--lines", type=int, default=300)
    parser.add_argument("--cxx", help="bench_tagger_bench of a CMake build, for comparison")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="verrin-overhead-") as tmp:
        text = os.path.join(tmp, "text.txt")
        with open(args.text, encoding="utf-8") as f:
            lines = [line for _, line in zip(range(args.lines), f)]
        with open(text, "w", encoding="utf-8") as f:
            f.writelines(lines)
        chars = sum(len(line.rstrip("\n")) for line in lines)
        script = os.path.join(tmp, "tag.py")
        with open(script, "w") as f:
            f.write(SCRIPT)

        python = [sys.executable, script, text]
        idle = program_total(callgrind(python + ["0"], os.path.join(tmp, "idle.out")))
        busy_profile = callgrind(python + [str(len(lines))], os.path.join(tmp, "busy.out"))
        whole = program_total(busy_profile) - idle
        library = inclusive(busy_profile, "CKyVerrin::KyTagNEInfo(")
        binding = inclusive(busy_profile, "Tagger::Tag(")

        print(f"{len(lines)} lines, {chars} characters")
        print(f"library tagging (KyTagNEInfo):  {library:>14,} instructions "
              f"({library / chars:,.0f} a character)")
        print(f"binding (Tagger.tag in C++):    {binding:>14,} instructions "
              f"(+{100 * (binding / library - 1):.1f} %)")
        print(f"Python process, whole tagging:  {whole:>14,} instructions "
              f"(+{100 * (whole / library - 1):.1f} %; target at most 10 %)")
        if args.cxx:
            profile = callgrind([args.cxx, "--repeat", "1", "--threads", "1", text],
                                os.path.join(tmp, "cxx.out"), toggle="CKyVerrin::KyTagNEInfo*")
            cxx = program_total(profile)
            # The benchmark tags the text twice: on one thread, then on the
            # --threads threads.
            per_pass = cxx / 2
            print(f"C++ benchmark (KyTagNEInfo):    {per_pass:>14,.0f} instructions a pass "
                  f"(Python process +{100 * (whole / per_pass - 1):.1f} % over it)")


if __name__ == "__main__":
    sys.exit(main())
