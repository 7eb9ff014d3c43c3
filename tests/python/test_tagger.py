"""verrin.Tagger: offsets, input edge cases, errors and agreement with the command."""

import json
import os
import pickle
import shutil
import subprocess
import sys
import threading

import pytest

import verrin
from conftest import EXAMPLE, SMALL_RESOURCES, run_cli

# Lines beside the example text for the comparison with the command: astral
# characters, Latin letters and digits (class words), white space, a tab inside
# a Latin word, punctuation only, empty.
EXTRA_LINES = [
    "𠀀𠀁江泽民在北京😀会见了克林顿。",
    "  IBM公司 2008年 在 上海\t设立 ab\tcd 研究院  ",
    "，。！",
    "",
    "   ",
]


def example_lines():
    with open(EXAMPLE, encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f]


def test_agrees_with_the_command(tagger, cli):
    lines = example_lines() + EXTRA_LINES
    text = "\n".join(lines) + "\n"
    json_out = run_cli(cli, ["tag", "--format", "json"], text).splitlines(keepends=True)
    text_out = run_cli(cli, ["tag"], text).splitlines()
    assert len(json_out) == len(lines) == len(text_out)
    for line, expected_json, expected_text in zip(lines, json_out, text_out):
        words = tagger.tag(line)
        assert verrin.json_line(words) + "\n" == expected_json, line
        assert verrin.render(words) == expected_text, line
    # The example's first line, worked out from the README.
    assert tagger.entities(lines[0]) == [(4, 7, "P", "江泽民"), (8, 10, "L", "北京"),
                                         (10, 15, "L", "人民大会堂"), (18, 20, "L", "美国"),
                                         (22, 25, "P", "克林顿")]


def test_the_web_set_is_installed_and_tags_as_the_command(cli):
    lines = example_lines() + ["腾讯控股有限公司今天发布财报。", "@小米手机 雷军说今晚直播！"]
    expected = run_cli(cli, ["tag", "--res", "web"], "\n".join(lines) + "\n").splitlines()
    web = verrin.Tagger(resources=verrin.WEB_RESOURCES)
    assert [verrin.render(web.tag(line)) for line in lines] == expected
    assert web.entities(lines[-2]) == [(0, 8, "O", "腾讯控股有限公司")]
    # As with --res, a bundled set may be named.
    named = verrin.Tagger(resources="web")
    assert os.path.samefile(named.resources, verrin.WEB_RESOURCES)
    assert named.entities(lines[-2]) == web.entities(lines[-2])


def test_offsets_count_code_points_not_utf16_units(tagger):
    plain = "江泽民在北京会见了克林顿。"
    astral = "𠀀😀" + plain  # two characters, four UTF-16 units
    shifted = [(s + 2, e + 2, label, text) for s, e, label, text in tagger.entities(plain)]
    assert shifted and tagger.entities(astral) == shifted
    words = tagger.tag(astral)
    assert [(w.text, w.start, w.end) for w in words[:2]] == [("𠀀", 0, 1), ("😀", 1, 2)]
    assert all(astral[w.start:w.end] == w.text for w in words)


def test_lines_are_tagged_one_by_one_with_offsets_into_the_whole_str(tagger):
    first, second = "李鹏在北京。", "江泽民在上海。"
    text = first + "\r\n\n" + second + "\n"
    start = len(first) + 3
    expected = tagger.tag(first) + [
        verrin.Word(w.text, w.start + start, w.end + start, w.type, w.tag)
        for w in tagger.tag(second)
    ]
    assert tagger.tag(text) == expected
    assert [e[2:] for e in tagger.entities(text)] == [("P", "李鹏"), ("L", "北京"),
                                                       ("P", "江泽民"), ("L", "上海")]


@pytest.mark.parametrize("text", ["", " ", "\t \r", "\n", "\r\n\n  \n"])
def test_empty_and_white_space_give_no_words(tagger, text):
    assert tagger.tag(text) == []
    assert tagger.entities(text) == []
    assert verrin.render([]) == ""


def test_long_lines_lose_nothing(tagger):
    sentence = "国务院总理李鹏今天在北京会见了美国总统克林顿。"
    text = sentence * 2000  # 46,000 characters on one line
    words = tagger.tag(text)
    assert "".join(w.text for w in words) == text
    assert all(text[w.start:w.end] == w.text for w in words)
    assert len(tagger.entities(text)) == 2000 * len(tagger.entities(sentence))
    # No punctuation at all: the line is cut into clauses by length.
    run = "李鹏会见克林顿" * 2000
    assert "".join(w.text for w in tagger.tag(run)) == run


def test_nul_does_not_end_the_text(tagger):
    words = tagger.tag("李鹏\0在北京")
    assert "".join(w.text for w in words) == "李鹏在北京"
    assert words[-1].end == 6


@pytest.mark.parametrize("text,index", [("李鹏\ud800在北京", 2), ("\udfff", 0),
                                        ("a\ud83d\ude00", 1)])
def test_surrogate_code_points_raise_value_error(tagger, text, index):
    with pytest.raises(ValueError, match=f"U\\+{ord(text[index]):04X} at index {index}"):
        tagger.tag(text)
    with pytest.raises(ValueError):
        tagger.tag_many(["李鹏", text])
    assert tagger.entities("李鹏在北京") == [(0, 2, "P", "李鹏"), (3, 5, "L", "北京")]


def test_option_selects_the_word_separator():
    small = verrin.Tagger(SMALL_RESOURCES)
    words = small.tag("张三/[mdw 大学]", option=1)
    assert [(w.text, w.start, w.end, w.type, w.tag) for w in words] == [
        ("张三", 0, 2, 3, "P"), ("大学", 8, 10, 1, "mdw")]
    assert verrin.render(words) == "[P 张三] [mdw 大学] "
    for bad in (-1, 3):
        with pytest.raises(ValueError, match="option must be 0"):
            small.tag("张三", option=bad)


def test_threads_share_one_tagger(tagger):
    texts = example_lines() * 8 + ["𠀀李鹏在北京。" * 50, ""]
    expected = [tagger.tag(t) for t in texts]
    assert tagger.tag_many(texts) == expected
    assert tagger.tag_many(iter(texts), threads=3) == expected
    assert tagger.tag_many([]) == []
    with pytest.raises(ValueError, match="threads"):
        tagger.tag_many(texts, threads=0)
    with pytest.raises(TypeError, match="bytes"):
        tagger.tag_many(["李鹏", b"x"])

    results = {}

    def work(i):
        results[i] = [tagger.tag(t) for t in texts[i::4]]

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for i in range(4):
        assert results[i] == expected[i::4]


def test_missing_files_raise_file_not_found(tmp_path):
    with pytest.raises(FileNotFoundError, match="resource directory not found") as e:
        verrin.Tagger(tmp_path / "nowhere")
    assert e.value.filename == str(tmp_path / "nowhere")
    with pytest.raises(FileNotFoundError, match="model file not found"):
        verrin.Tagger(SMALL_RESOURCES, model=tmp_path / "model.txt")
    res = tmp_path / "res"
    shutil.copytree(SMALL_RESOURCES, res)
    os.remove(res / "charset_lableInfo_tr.txt")
    with pytest.raises(FileNotFoundError, match="the charset label info file is not exist") as e:
        verrin.Tagger(res)
    assert e.value.filename == str(res / "charset_lableInfo_tr.txt")
    with pytest.raises(FileNotFoundError, match="NeItem.txt failed") as e:
        verrin.Tagger(SMALL_RESOURCES, protected=True)
    assert e.value.filename == SMALL_RESOURCES + "/NeItem.des"


def _resources_with_bad_person_table(tmp_path):
    """A copy of the small resources whose person-name table has one bad line."""
    resources = tmp_path / "resources"
    shutil.copytree(SMALL_RESOURCES, resources)
    (resources / "PeInfo.txt").write_bytes(b"junk line\n")
    return str(resources)


def test_unreadable_model_raises_with_the_library_message(tmp_path):
    with pytest.raises(RuntimeError, match=f"cannot read {tmp_path} !"):
        verrin.Tagger(SMALL_RESOURCES, model=tmp_path)  # a directory opens, then fails to read
    # A model line that cannot be read fails the load, naming file and line.
    model = tmp_path / "model.txt"
    good = open(os.path.join(SMALL_RESOURCES, "model.txt"), "rb").read()
    model.write_bytes(b"P\tchar=x\n" + good)
    with pytest.raises(RuntimeError, match=f"model file {model}, line 1:"):
        verrin.Tagger(SMALL_RESOURCES, model=model)
    # A line the person-name table skips is a warning; the resources still load.
    resources = _resources_with_bad_person_table(tmp_path)
    with pytest.warns(RuntimeWarning, match="person-name table .*, line 1: .*line skipped"):
        verrin.Tagger(resources)
    # A model with no feature at all is refused.
    model.write_text("", encoding="utf-8")
    with pytest.raises(RuntimeError, match="holds no features"):
        verrin.Tagger(SMALL_RESOURCES, model=model)


def test_words_and_taggers_pickle():
    small = verrin.Tagger(SMALL_RESOURCES)
    words = small.tag("张三在北京大学工作。")
    assert pickle.loads(pickle.dumps(words)) == words
    copy = pickle.loads(pickle.dumps(small))
    assert (copy.resources, copy.model) == (SMALL_RESOURCES, SMALL_RESOURCES + "/model.txt")
    assert copy.tag("张三在北京大学工作。") == words


def test_entity_longer_than_a_record_is_one_entity_as_in_the_command(cli):
    # The hand-made model reads 国 as the start of an organization, 务 inside
    # one and 院 as its end: a 302-character organization, which the library
    # returns as records of 255 and 47 characters.
    org = "国" + "务" * 300 + "院"
    text = "张三在" + org + "，在北京"
    small = verrin.Tagger(SMALL_RESOURCES)
    assert [len(w.text) for w in small.tag(text) if w.type == 3] == [2, 255, 47, 2]
    expected = [(0, 2, "P", "张三"), (3, 305, "O", org), (307, 309, "L", "北京")]
    assert small.entities(text) == expected
    line = run_cli(cli, ["tag", "--format", "entities", "--res", SMALL_RESOURCES], text + "\n")
    assert [(e["start"], e["end"], e["label"], e["text"])
            for e in json.loads(line)["entities"]] == expected


def test_loading_leaves_other_threads_standard_error_alone(tmp_path):
    # Another thread writes to fd 2 all through the loads: none of its lines
    # may end up in a load's warning or error, and none may be lost.
    resources = _resources_with_bad_person_table(tmp_path)
    script = f"""
import os, sys, threading, time, warnings
sys.path[:0] = {sys.path!r}
import verrin
stop = threading.Event()
def chatter():
    n = 0
    while not stop.is_set() and n < 100000:
        os.write(2, b"chatter %d\\n" % n)
        n += 1
        time.sleep(0.0002)
    os.write(2, b"chatter total %d\\n" % n)
t = threading.Thread(target=chatter, daemon=True)
t.start()
for _ in range(20):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        verrin.Tagger({resources!r})
    assert len(caught) == 1 and "chatter" not in str(caught[0].message), caught
    assert "line 1" in str(caught[0].message)
    try:
        verrin.Tagger({SMALL_RESOURCES!r}, model={str(tmp_path)!r})
    except RuntimeError as e:
        assert "chatter" not in str(e), str(e)
stop.set()
t.join()
"""
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr[-2000:]
    lines = result.stderr.splitlines()
    total = int(lines[-1].split()[-1])
    assert lines[:-1] == [f"chatter {n}" for n in range(total)]


def test_bad_arguments_raise_instead_of_misbehaving():
    with pytest.raises(ValueError, match="null byte"):
        verrin.Tagger("/tmp\0/x")
    with pytest.raises(ValueError, match="null byte"):
        verrin.Tagger(SMALL_RESOURCES, model=SMALL_RESOURCES + "/model.txt\0x")
    bare = verrin.Tagger.__new__(verrin.Tagger)
    for call in (lambda: bare.tag("李鹏"), lambda: bare.entities("李鹏"),
                 lambda: bare.tag_many(["李鹏"]), lambda: bare.protected):
        with pytest.raises(TypeError, match="never initialised"):
            call()
