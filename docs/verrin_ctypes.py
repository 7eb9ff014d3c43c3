#!/usr/bin/env python3
"""Verrin from Python through its C interface (include/verrin/verrin_c.h).

Usage: verrin_ctypes.py LIBRARY RESOURCE_DIR [TEXT ...]

LIBRARY is the shared library (build/libverrin.so, or Verrin.dll on Windows),
RESOURCE_DIR a resource directory with its model.txt (resources/default).
Each TEXT (or each line of standard input) is tagged; the program prints the
records, one per line, and then the bracketed rendering.

    $ python3 docs/verrin_ctypes.py build/libverrin.so resources/default 李鹏在北京
    0 6 3 李鹏 P
    6 3 0 在 -
    9 6 3 北京 L
    [P 李鹏] 在 [L 北京]
"""
import ctypes
import os
import sys


class Record(ctypes.Structure):
    _fields_ = [
        ("offset", ctypes.c_int),
        ("length", ctypes.c_int),
        ("type", ctypes.c_int),
        ("word", ctypes.c_char_p),
        ("tag", ctypes.c_char_p),
        ("word16", ctypes.c_void_p),
        ("tag16", ctypes.c_void_p),
    ]


def load(library_path):
    lib = ctypes.CDLL(library_path)
    p = ctypes.c_void_p
    signatures = {
        "verrin_resources_new": ([], p),
        "verrin_resources_free": ([p], None),
        "verrin_resources_load": ([p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int], ctypes.c_int),
        "verrin_tagger_new": ([p], p),
        "verrin_tagger_free": ([p], None),
        "verrin_tag_utf8": ([p, ctypes.c_char_p, ctypes.c_ssize_t, ctypes.c_int], p),
        "verrin_result_count": ([p], ctypes.c_size_t),
        "verrin_result_records": ([p], ctypes.POINTER(Record)),
        "verrin_result_free": ([p], None),
        "verrin_render_utf8": ([p], p),
        "verrin_string_free": ([p], None),
        "verrin_last_error": ([], ctypes.c_char_p),
    }
    for name, (args, result) in signatures.items():
        function = getattr(lib, name)
        function.argtypes = args
        function.restype = result
    return lib


class Tagger:
    """One resource set and one tagger; close() (or `with`) releases both."""

    def __init__(self, lib, resource_dir, model_path=None):
        self.lib = lib
        self.resources = lib.verrin_resources_new()
        model = os.fsencode(model_path) if model_path else None
        if not lib.verrin_resources_load(self.resources, os.fsencode(resource_dir), model, 0):
            error = lib.verrin_last_error().decode("utf-8", "replace")
            lib.verrin_resources_free(self.resources)
            raise RuntimeError(error)
        self.tagger = lib.verrin_tagger_new(self.resources)

    def tag(self, text, option=0):
        """Returns ([(offset, length, type, word, tag), ...], rendering)."""
        data = text.encode("utf-8")
        result = self.lib.verrin_tag_utf8(self.tagger, data, len(data), option)
        if not result:
            raise ValueError(self.lib.verrin_last_error().decode("utf-8", "replace"))
        try:
            records = self.lib.verrin_result_records(result)
            words = []
            for i in range(self.lib.verrin_result_count(result)):
                r = records[i]
                tag = r.tag.decode("utf-8") if r.tag is not None else None
                words.append((r.offset, r.length, r.type, r.word.decode("utf-8"), tag))
            rendered = self.lib.verrin_render_utf8(result)
            text = ctypes.string_at(rendered).decode("utf-8")
            self.lib.verrin_string_free(rendered)
            return words, text
        finally:
            self.lib.verrin_result_free(result)

    def close(self):
        if self.tagger:
            self.lib.verrin_tagger_free(self.tagger)
            self.lib.verrin_resources_free(self.resources)
            self.tagger = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    lib = load(argv[1])
    model = os.path.join(argv[2], "model.txt")
    texts = argv[3:] or [line.rstrip("\n") for line in sys.stdin]
    with Tagger(lib, argv[2], model if os.path.exists(model) else None) as tagger:
        for text in texts:
            words, rendered = tagger.tag(text)
            for offset, length, kind, word, tag in words:
                print(offset, length, kind, word, tag or "-")
            print(rendered.rstrip())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
