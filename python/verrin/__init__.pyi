import os
from typing import Any, Dict, Iterable, List, Optional, Tuple, Union

PathLike = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]

DEFAULT_RESOURCES: str
WEB_RESOURCES: str
ENTITY_LABELS: Tuple[str, str, str]

class Word:
    """One word of a tagging result; offsets index the tagged str."""

    text: str
    start: int
    end: int
    type: int  # 0 plain word, 1 mdw word, 2 class word, 3 named entity
    tag: Optional[str]  # "P", "L", "O", a class text, or None for plain words
    def __init__(
        self, text: str, start: int, end: int, type: int = ..., tag: Optional[str] = ...
    ) -> None: ...

class Tagger:
    """A loaded resource set; thread-safe, tags with the GIL released."""

    def __init__(
        self,
        resources: Optional[PathLike] = ...,
        model: Optional[PathLike] = ...,
        protected: bool = ...,
    ) -> None: ...
    @property
    def resources(self) -> str: ...
    @property
    def model(self) -> Optional[str]: ...
    @property
    def protected(self) -> bool: ...
    def tag(self, text: str, option: int = ...) -> List[Word]:
        """Words of every line of `text`; option 0 raw, 1 "/"-separated, 2 space-separated."""
    def entities(self, text: str, option: int = ...) -> List[Tuple[int, int, str, str]]:
        """(start, end, label, text) of each person (P), location (L), organization (O)."""
    def tag_many(
        self, texts: Iterable[str], threads: Optional[int] = ..., option: int = ...
    ) -> List[List[Word]]:
        """tag() of each text, in input order, on up to `threads` threads."""

def render(words: Iterable[Word]) -> str:
    """The bracketed form `verrin tag` prints: "[P 江泽民] 在 [L 北京] "."""

def json_line(words: Iterable[Word]) -> str:
    """The line `verrin tag --format json` prints for one line's words, no line feed."""

def adapt(
    corpus: PathLike,
    out_dir: PathLike,
    resources: Optional[PathLike] = ...,
    model: Optional[PathLike] = ...,
    base_corpus: Optional[PathLike] = ...,
    dev: Optional[PathLike] = ...,
    passes: int = ...,
    base_share: float = ...,
    cutoff: int = ...,
    rate: float = ...,
    margin: float = ...,
    prune: float = ...,
    entities_only: bool = ...,
    option: int = ...,
    groups: str = ...,
) -> Dict[str, Any]:
    """`verrin adapt CORPUS OUT_DIR`: writes a resource directory taught the corpus; its figures."""
