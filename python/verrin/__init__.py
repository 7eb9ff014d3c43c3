"""Named-entity tagging of Chinese text.

    >>> import verrin
    >>> tagger = verrin.Tagger()              # the bundled resources
    >>> words = tagger.tag("国务院总理李鹏在北京会见了外宾。")
    >>> verrin.render(words)
    '[O 国务院] 总理 [P 李鹏] 在 [L 北京] 会见 了 外宾 。 '
    >>> tagger.entities("李鹏在北京")
    [(0, 2, 'P', '李鹏'), (3, 5, 'L', '北京')]

Offsets are indexes into the str that was tagged (code points, as Python
counts them). A str holding several lines is tagged line by line (lines end at
"\\n"); the words of all lines come back in one list, their offsets still
indexing the whole str.
"""

import os
from typing import Any, Dict, Iterable, Optional, Union

from verrin import _verrin
from verrin._verrin import Word

__all__ = ["Tagger", "Word", "adapt", "render", "json_line", "DEFAULT_RESOURCES",
           "WEB_RESOURCES", "ENTITY_LABELS"]

#: The resource set installed with the package.
DEFAULT_RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "resources",
                                 "default")

#: The resource set for posts and news of today (Weibo, 2020 news) installed
#: with the package: ``Tagger(resources=verrin.WEB_RESOURCES)``.
WEB_RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "resources", "web")

#: Class texts of the named entities: person, location, organization.
ENTITY_LABELS = ("P", "L", "O")

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def _resource_dir(resources: Optional[PathLike], default: str) -> bytes:
    """The directory ``resources`` names, as ``--res`` reads it: ``default``
    for None; a bundled set (``"web"``, ``"default"``) for a bare name that is
    no directory of the working directory; else the path itself."""
    if resources is None:
        return os.fsencode(default)
    path = os.fsencode(resources)
    if b"/" not in path and os.sep.encode() not in path and path and not os.path.isdir(path):
        bundled = os.path.join(os.path.dirname(os.fsencode(DEFAULT_RESOURCES)), path)
        if os.path.isdir(bundled):
            return bundled
    return path


class Tagger(_verrin.Tagger):
    """A loaded resource set and the taggers that read it.

    ``resources`` is a resource directory or, as for ``--res``, the name of
    a bundled set (``"web"``; default: the bundled default set);
    ``model`` a model file (default: ``model.txt`` in that directory when it
    exists); with ``protected`` the protected (``.des``) forms of every file
    are read. A missing directory or file raises FileNotFoundError, a path
    holding a null byte ValueError; any other loading failure RuntimeError
    with the library's messages. Messages of a load that succeeded arrive as
    RuntimeWarning. The messages are those the library gives the loading
    thread; what other threads write to standard error is left alone.

    One Tagger may be used from several Python threads at once; tagging
    releases the GIL.
    """

    def __init__(self, resources: Optional[PathLike] = None, model: Optional[PathLike] = None,
                 protected: bool = False) -> None:
        directory = _resource_dir(resources, DEFAULT_RESOURCES)
        super().__init__(directory, None if model is None else os.fsencode(model),
                         bool(protected))

    @property
    def resources(self) -> str:
        """The resource directory read (a bundled set's name resolved)."""
        return os.fsdecode(self._resources)

    @property
    def model(self) -> Optional[str]:
        """The model file that was loaded, or None when the set has no model."""
        return os.fsdecode(self._model) or None

    def __repr__(self) -> str:
        return (f"verrin.Tagger(resources={self.resources!r}, model={self.model!r}, "
                f"protected={self.protected})")

    def __reduce__(self):
        # A tagger travels (to worker processes, for instance) as the paths it
        # was loaded from and is loaded again on arrival.
        return (Tagger, (self.resources, self.model, self.protected))


# The settings of ``verrin adapt`` and their defaults, as the library has them.
_ADAPT = _verrin.adapt_defaults()


def adapt(corpus: PathLike, out_dir: PathLike, resources: Optional[PathLike] = None,
          model: Optional[PathLike] = None, base_corpus: Optional[PathLike] = None,
          dev: Optional[PathLike] = None, passes: int = _ADAPT["passes"],
          base_share: float = _ADAPT["base_share"], cutoff: int = _ADAPT["cutoff"],
          rate: float = _ADAPT["rate"], margin: float = _ADAPT["margin"],
          prune: float = _ADAPT["prune"], entities_only: bool = _ADAPT["entities_only"],
          option: int = _ADAPT["option"], groups: str = _ADAPT["groups"]) -> Dict[str, Any]:
    """Teaches a resource set the text of your domain, as ``verrin adapt`` does.

    ``corpus`` is a bracketed training corpus of the domain (GBK, words
    separated by spaces, entities written ``[P ...]``, ``[L ...]``,
    ``[O ...]``); ``out_dir`` becomes a complete resource directory (the same
    bytes the command writes for the same inputs), complete or not at all. An
    existing ``out_dir`` is replaced when it is empty or a resource directory.

    ``resources`` and ``model`` are the set to start from (default, as for
    the command: the bundled web set ``WEB_RESOURCES`` and its ``model.txt``;
    ``DEFAULT_RESOURCES`` starts from the newswire set); ``base_corpus`` the
    bracketed corpus the model was trained on, ``base_share`` times the
    corpus's characters of it mixed into each pass; ``dev`` a BIO file scored
    after each pass, the best pass being kept instead of the last. The other
    settings are those of the command's options of the same names (``verrin
    adapt --help``).

    Returns the figures of the run: ``kept_pass``, ``features`` (of the
    written model), ``pruned``, the corpus's ``lines``, ``clauses`` and
    ``characters``, ``label_entries``, ``new_features``, ``new_predicates``,
    ``feature_groups`` and ``passes`` (one dict per pass, with ``dev_f1`` in
    [0, 1] or None). A missing corpus, file or resource directory raises
    FileNotFoundError, a setting out of range ValueError, any other failure
    RuntimeError. The GIL is released while it works. For example::

        stats = verrin.adapt("mine.txt", "mine-res", dev="mine-dev.bio")
        print("kept the weights of pass", stats["kept_pass"])
        tagger = verrin.Tagger("mine-res")
    """
    def path(value):
        return None if value is None else os.fsencode(value)

    return _verrin.adapt(os.fsencode(corpus), os.fsencode(out_dir),
                         _resource_dir(resources, WEB_RESOURCES),
                         path(model), path(base_corpus), path(dev), passes, base_share, cutoff,
                         rate, margin, prune, bool(entities_only), option, groups)


def render(words: Iterable[Word]) -> str:
    """The bracketed form ``verrin tag`` prints for these words.

    Every word is followed by one space; entities and class words are written
    ``[P 江泽民]`` (their class text, a space, the word), words of type 1
    ``[mdw word]``. For the words of one line this is the command's output
    line without its line feed.
    """
    parts = []
    for word in words:
        if word.type == 0:
            parts.append(word.text)
        elif word.type == 1:
            parts.append(f"[mdw {word.text}]")
        else:
            parts.append(f"[{word.tag or ''} {word.text}]")
        parts.append(" ")
    return "".join(parts)


def _json_escapes():
    # As the command writes strings: quote, backslash and control characters
    # escaped, everything else (all of Chinese) as it is.
    table = {c: "\\u%04x" % c for c in range(0x20)}
    table.update({ord('"'): '\\"', ord("\\"): "\\\\", ord("\n"): "\\n", ord("\r"): "\\r",
                  ord("\t"): "\\t"})
    return table


_ESCAPES = _json_escapes()


def _quoted(text: str) -> str:
    return '"' + text.translate(_ESCAPES) + '"'


def json_line(words: Iterable[Word]) -> str:
    """The line ``verrin tag --format json`` prints for the words of one line,
    without its line feed.

    Its records carry the library's own offsets and lengths (UTF-16 units of
    the words alone, white space and marks of the input not counted), unlike
    the code-point offsets of the words.
    """
    words = list(words)
    records = []
    offset = 0
    for word in words:
        length = len(word.text.encode("utf-16-le")) >> 1
        tag = "null" if word.tag is None else _quoted(word.tag)
        records.append(f"[{offset}, {length}, {_quoted(word.text)}, {word.type}, {tag}]")
        offset += length
    return ('{"records": [' + ", ".join(records) + '], "rendered": ' + _quoted(render(words)) +
            "}")
