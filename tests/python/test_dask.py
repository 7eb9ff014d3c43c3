"""verrin.dask on a local cluster of two worker processes."""

import glob
import os

import pytest

from conftest import EXAMPLE, run_cli

distributed = pytest.importorskip("dask.distributed")
import verrin.dask  # noqa: E402  (needs dask)


def test_corpus_tagged_on_two_workers_equals_the_command(tmp_path, cli):
    with open(EXAMPLE, encoding="utf-8") as f:
        example = f.read()
    files = []
    for i, extra in enumerate(["𠀀李鹏在上海。\r\n", "\n   \n", "IBM公司在\t北京\n最后一行没有换行"]):
        path = tmp_path / f"in-{i}.txt"
        path.write_text(example * (i + 1) + extra, encoding="utf-8")
        files.append(str(path))
    out = tmp_path / "out"

    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=":0") as cluster, \
            distributed.Client(cluster) as client:
        # The scheduler's address, as a real cluster is reached.
        verrin.dask.tag_files(str(tmp_path / "in-*.txt"), out, scheduler=cluster.scheduler_address)
        loads = client.run(lambda: verrin.dask.loads)

    parts = sorted(glob.glob(str(out / "part-*.jsonl")))
    assert [os.path.basename(p) for p in parts] == ["part-00000.jsonl", "part-00001.jsonl",
                                                     "part-00002.jsonl"]
    got = "".join(open(p, encoding="utf-8").read() for p in parts)
    corpus = "".join(open(p, encoding="utf-8", newline="").read() for p in files)
    assert got == run_cli(cli, ["tag", "--format", "json"], corpus)
    # One tagger per worker process, not one per line or per partition.
    assert len(loads) == 2 and all(n <= 1 for n in loads.values()) and sum(loads.values()) >= 1
