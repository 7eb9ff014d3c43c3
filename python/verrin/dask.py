"""Tagging a corpus of text files with Dask.

The files are read as a ``dask.bag`` of lines; every partition is tagged by a
tagger that is loaded once per worker process and kept there for every later
partition, and comes out as one part file of JSON lines, each line exactly what
``verrin tag --format json`` prints (see verrin.json_line) for the same input line::

    from dask.distributed import Client
    import verrin.dask

    client = Client("tcp://scheduler:8786")   # a cluster; Client() starts a local one
    parts = verrin.dask.tag_files(["corpus/*.txt"], "tagged/")

Every worker needs the verrin package installed, and on a cluster the input
and output paths must be reachable from every worker (a shared file system,
or any URL Dask reads and writes, such as ``s3://`` or ``hdfs://``).
"""

import os
import threading
from typing import Dict, Iterable, Iterator, List, Optional, Sequence, Tuple, Union

import dask.bag
import fsspec

import verrin

__all__ = ["worker_tagger", "tag_lines", "tag_bag", "tag_files"]

# Lines handed to the tagger at a time: large enough to keep the GIL released
# for most of the work, small enough not to hold a whole partition's words.
_CHUNK_LINES = 512

_TaggerKey = Tuple[Optional[str], Optional[str], bool]
_taggers: Dict[_TaggerKey, verrin.Tagger] = {}
_taggers_lock = threading.Lock()
loads = 0  # taggers this process has loaded


def worker_tagger(resources: Optional[str] = None, model: Optional[str] = None,
                  protected: bool = False) -> verrin.Tagger:
    """The tagger of this process for these settings, loaded on first use."""
    global loads
    key = (resources, model, bool(protected))
    with _taggers_lock:
        tagger = _taggers.get(key)
        if tagger is None:
            tagger = verrin.Tagger(resources, model, protected)
            _taggers[key] = tagger
            loads += 1
        return tagger


def tag_lines(lines: Iterable[str], resources: Optional[str] = None, model: Optional[str] = None,
              protected: bool = False, option: int = 0, threads: int = 1) -> Iterator[str]:
    """JSON lines (without line feeds) for text lines, in order.

    A trailing line feed or carriage return of each line is dropped, as
    ``verrin tag`` does; the tagger is this process's (see worker_tagger).
    The lines are tagged on `threads` threads. One is right under Dask, whose
    workers and worker threads already run one task per core: more threads
    per task only compete for the same cores.
    """
    tagger = worker_tagger(resources, model, protected)
    chunk: List[str] = []
    for line in lines:
        chunk.append(line.rstrip("\r\n"))
        if len(chunk) == _CHUNK_LINES:
            yield from map(verrin.json_line, tagger.tag_many(chunk, threads=threads, option=option))
            chunk = []
    if chunk:
        yield from map(verrin.json_line, tagger.tag_many(chunk, threads=threads, option=option))


def tag_bag(lines: dask.bag.Bag, resources: Optional[str] = None, model: Optional[str] = None,
            protected: bool = False, option: int = 0, threads: int = 1) -> dask.bag.Bag:
    """A bag of JSON lines (without line feeds), partition for partition, from a
    bag of text lines; ``.to_textfiles(path, last_endline=True)`` writes it.
    `threads`: tagging threads per task (see tag_lines)."""
    return lines.map_partitions(_tag_partition, resources, model, protected, option, threads)


def _tag_partition(lines, resources, model, protected, option, threads):
    return list(tag_lines(lines, resources, model, protected, option, threads))


def _tag_into(lines, targets, resources, model, protected, option, threads):
    # Streams one partition into its part file: no partition is held whole.
    (target,) = targets
    with target as out:
        for json in tag_lines(lines, resources, model, protected, option, threads):
            out.write(json)
            out.write("\n")
    return [target.path]


PathList = Union[str, Sequence[str]]


def tag_files(paths: PathList, out_dir: str, *, resources: Optional[str] = None,
              model: Optional[str] = None, protected: bool = False, option: int = 0,
              blocksize: Union[int, str, None] = None, scheduler=None,
              encoding: str = "utf-8", threads: int = 1) -> List[str]:
    """Tags text files into JSON-lines part files under `out_dir`.

    `paths` is a path, a glob pattern or a list of them. Each file is one
    partition (or, with `blocksize`, each block of that many bytes), and each
    partition becomes one part file ``part-NNNNN.jsonl``, numbered in input
    order, so that the parts read in name order give the results in input
    order; each holds one line per input line. `scheduler` is a Dask
    scheduler address, a Client, or None for the current default. Input
    bytes that are not valid in `encoding` are read as U+FFFD. `threads`:
    tagging threads per task (see tag_lines; the cluster's workers and their
    threads are the parallelism). Returns the part files' paths.
    """
    if resources is not None:
        resources = os.fspath(resources)
    if model is not None:
        model = os.fspath(model)
    lines = dask.bag.read_text(paths, blocksize=blocksize, encoding=encoding, errors="replace",
                               linedelimiter="\n")
    targets = fsspec.open_files(os.path.join(os.fspath(out_dir), "part-*.jsonl"), mode="wt",
                                encoding="utf-8", name_function=_part_name,
                                num=lines.npartitions, auto_mkdir=True)
    written = lines.map_partitions(_tag_into,
                                   dask.bag.from_sequence(targets, partition_size=1),
                                   resources, model, protected, option, threads)
    if isinstance(scheduler, str):
        from dask.distributed import Client

        with Client(scheduler, set_as_default=False) as client:
            return written.compute(scheduler=client)
    if scheduler is None:
        return written.compute()
    return written.compute(scheduler=scheduler)


def _part_name(index: int) -> str:
    return "%05d" % index
