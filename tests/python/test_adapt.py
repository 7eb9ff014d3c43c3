"""verrin.adapt: the directory `verrin adapt` writes, and the errors of its settings."""

import os
import subprocess

import pytest

import verrin
from conftest import REPO, SMALL_RESOURCES

CORPUS = os.path.join(REPO, "tests", "data", "adapt", "corpus.txt")
DEV = "王 B-PER\n五 I-PER\n在 O\n深 B-LOC\n圳 I-LOC\n工 O\n作 O\n。 O\n\n"


def adapt_both(cli, tmp_path, args, **settings):
    """The directories the command and adapt() write from the same inputs."""
    command, package = tmp_path / "command", tmp_path / "package"
    subprocess.run([cli, "adapt", "--res", SMALL_RESOURCES, *args, CORPUS, str(command)],
                   check=True, capture_output=True)
    stats = verrin.adapt(CORPUS, package, resources=SMALL_RESOURCES, **settings)
    names = sorted(os.listdir(command))
    assert "model.txt" in names and sorted(os.listdir(package)) == names
    for name in names:
        assert (package / name).read_bytes() == (command / name).read_bytes(), name
    return stats, package


def test_defaults_write_the_bytes_of_the_command_and_find_the_names(cli, tmp_path):
    stats, package = adapt_both(cli, tmp_path, [])
    assert [p["pass"] for p in stats["passes"]] == list(range(1, 11))
    assert stats["kept_pass"] == 10 and stats["passes"][-1]["dev_f1"] is None
    assert stats["lines"] == 12 and stats["features"] > 0 and stats["pruned"] > 0
    assert verrin.Tagger(package).entities("王五在深圳工作。") == [(0, 2, "P", "王五"),
                                                                  (3, 5, "L", "深圳")]


def test_every_setting_reaches_the_library_as_the_option_does(cli, tmp_path):
    dev = tmp_path / "dev.bio"
    dev.write_text(DEV, encoding="utf-8")
    args = ["--base-corpus", CORPUS, "--dev", str(dev), "--passes", "4", "--base-share", "0.5",
            "--cutoff", "2", "--rate", "0.1", "--margin", "1", "--prune", "0",
            "--entities-only", "--option", "1", "--groups", "class-marks"]
    stats, _ = adapt_both(cli, tmp_path, args, base_corpus=CORPUS, dev=dev, passes=4,
                          base_share=0.5, cutoff=2, rate=0.1, margin=1, prune=0,
                          entities_only=True, option=1, groups="class-marks")
    assert len(stats["passes"]) == 4 and stats["pruned"] == 0
    assert all(p["base_lines"] > 0 and 0 <= p["dev_f1"] <= 1 for p in stats["passes"])
    assert stats["feature_groups"] == "class-marks"
    scores = [p["dev_f1"] for p in stats["passes"]]
    assert stats["kept_pass"] == scores.index(max(scores)) + 1  # the earlier pass on a tie


def test_a_share_beyond_the_base_corpus_takes_all_of_it(tmp_path):
    # An infinite share overflowed the rounding to a negative count: no base line at all.
    stats = verrin.adapt(CORPUS, tmp_path / "out", resources=SMALL_RESOURCES, passes=1,
                         base_corpus=CORPUS, base_share=float("inf"))
    assert stats["passes"][0]["base_lines"] == 12


def test_bad_settings_and_missing_files_raise_before_any_work(tmp_path):
    out = tmp_path / "out"
    with pytest.raises(ValueError, match="^base_share needs a number of at least 0$"):
        verrin.adapt(CORPUS, out, resources=SMALL_RESOURCES, base_share=-1)
    with pytest.raises(ValueError, match="^groups: unknown feature group 'person'"):
        verrin.adapt(CORPUS, out, resources=SMALL_RESOURCES, groups="person")
    with pytest.raises(ValueError, match="^rate needs a number above 0$"):
        verrin.adapt(CORPUS, out, resources=SMALL_RESOURCES, rate=float("inf"))
    with pytest.raises(FileNotFoundError, match="] corpus not found: ") as e:
        verrin.adapt(tmp_path / "none.txt", out, resources=SMALL_RESOURCES)
    assert e.value.filename == str(tmp_path / "none.txt")
    assert not out.exists()
