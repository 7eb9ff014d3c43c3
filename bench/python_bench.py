"""Speed of the Python package against the C++ benchmark, and of verrin.dask
on one worker process against two.

    PYTHONPATH=build/python-site /usr/bin/python3 bench/python_bench.py \
        [--bio GOLD.bio | --text FILE] [--cxx build/bench/bench_tagger_bench] \
        [--repeat N] [--rounds R] [--dask-mb M]

The text is tagged line by line on one thread, by bench_tagger_bench (C++,
through the exported API) and by Tagger.tag, in alternating rounds; the best
round of each is compared. Then a corpus of at least M MB of that text is
tagged with verrin.dask.tag_files on local clusters of 1 and 2 worker
processes (one thread each; the taggers are loaded before the clock starts).
Run scripts/python-test.sh first to build the package into build/python-site.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

import verrin

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def bio_sentences(path):
    sentences, chars = [], []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.strip():
                chars.append(line.split(" ")[0])
            elif chars:
                sentences.append("".join(chars))
                chars = []
    if chars:
        sentences.append("".join(chars))
    return sentences


def utf16_units(lines):
    return sum(len(line.encode("utf-16-le")) // 2 for line in lines)


def cxx_speeds(cxx, text_path, repeat):
    """(wall-clock characters/s, characters per CPU second of the tagging thread),
    as bench_tagger_bench prints them for one thread."""
    process = subprocess.run([cxx, "--repeat", str(repeat), "--threads", "1", text_path],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    if process.returncode != 0:
        raise SystemExit(f"{cxx} failed with status {process.returncode}")
    found = re.search(r"^1 thread: ([0-9.]+) characters/s, ([0-9.]+) per CPU second",
                      process.stdout, re.M)
    if found is None:
        raise SystemExit(f"{cxx} printed no one-thread speed:\n{process.stdout}")
    return float(found.group(1)), float(found.group(2))


def python_speeds(tagger, lines, repeat, units):
    start, start_cpu = time.perf_counter(), time.process_time()
    for _ in range(repeat):
        for line in lines:
            tagger.tag(line)
    return (units * repeat / (time.perf_counter() - start),
            units * repeat / (time.process_time() - start_cpu))


def dask_seconds(corpus_files, out_dir, workers):
    from dask.distributed import Client, LocalCluster

    import verrin.dask

    with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                      dashboard_address=":0") as cluster, Client(cluster) as client:
        client.run(verrin.dask.worker_tagger)  # load every worker's tagger first
        start = time.perf_counter()
        verrin.dask.tag_files(corpus_files, out_dir, scheduler=client)
        return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bio", help="BIO file whose sentences are the text")
    parser.add_argument("--text", default=os.path.join(REPO, "resources", "example.txt"),
                        help="UTF-8 text, one line per sentence (default: the example text)")
    parser.add_argument("--cxx", default=os.path.join(REPO, "build", "bench", "bench_tagger_bench"))
    parser.add_argument("--repeat", type=int, default=5, help="passes over the text per round")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--dask-mb", type=float, default=5.0, help="corpus size; 0 skips Dask")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="verrin-bench-") as tmp:
        if args.bio:
            lines = bio_sentences(args.bio)
            text_path = os.path.join(tmp, "text.txt")
            with open(text_path, "w", encoding="utf-8") as f:
                f.write("\n".join(lines) + "\n")
        else:
            text_path = args.text
            with open(text_path, encoding="utf-8") as f:
                lines = [line.rstrip("\n") for line in f]
        print(f"text: {args.bio or args.text}: {len(lines)} lines, {utf16_units(lines)} characters")

        tagger = verrin.Tagger()
        units = utf16_units(lines)
        cxx, py = [], []
        for _ in range(args.rounds):
            cxx.append(cxx_speeds(args.cxx, text_path, args.repeat))
            py.append(python_speeds(tagger, lines, args.repeat, units))
        for i, clock in enumerate(["wall-clock", "CPU"]):
            best_cxx, best_py = max(r[i] for r in cxx), max(r[i] for r in py)
            print(f"{clock} time:")
            print(f"  C++ bench_tagger_bench: {best_cxx:,.0f} characters/s (rounds: "
                  + ", ".join(f"{r[i]:,.0f}" for r in cxx) + ")")
            print(f"  Python Tagger.tag:      {best_py:,.0f} characters/s (rounds: "
                  + ", ".join(f"{r[i]:,.0f}" for r in py) + ")")
            print(f"  Python overhead: {100 * (best_cxx / best_py - 1):+.1f} % (best round "
                  "against best round; target at most 10 %)")

        if args.dask_mb <= 0:
            return
        data = ("\n".join(lines) + "\n").encode("utf-8")
        copies = max(1, int(args.dask_mb * 1e6 / len(data)) + 1)
        corpus_dir = os.path.join(tmp, "corpus")
        os.mkdir(corpus_dir)
        files = 8
        for i in range(files):
            with open(os.path.join(corpus_dir, f"{i}.txt"), "wb") as f:
                f.write(data * ((copies + files - 1) // files))
        size = sum(os.path.getsize(os.path.join(corpus_dir, n)) for n in os.listdir(corpus_dir))
        pattern = os.path.join(corpus_dir, "*.txt")
        one = dask_seconds(pattern, os.path.join(tmp, "out1"), 1)
        two = dask_seconds(pattern, os.path.join(tmp, "out2"), 2)
        print(f"Dask corpus: {files} files, {size / 1e6:.1f} MB")
        print(f"Dask 1 worker process:  {one:.1f} s ({size / 1e6 / one:.2f} MB/s)")
        print(f"Dask 2 worker processes: {two:.1f} s ({size / 1e6 / two:.2f} MB/s)")
        print(f"Dask speed-up: {one / two:.2f}x (target at least 1.6x)")
        print(f"cores: {os.cpu_count()}; load average: "
              + " ".join(f"{v:.2f}" for v in os.getloadavg()))


if __name__ == "__main__":
    sys.exit(main())
