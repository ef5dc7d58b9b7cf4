"""Exceptions raised where the library returns an error.

Every exception of the package derives from MeshweaveError. ExchangeError is the
library's single error value (a kind and its payload); its subclasses name the
kind. CompileError and CollectiveError say where compiling or planning a
collective failed and carry the ExchangeError or CompileError behind it.
str() of each is the library's own one-line rendering.
"""
from __future__ import annotations

from typing import Dict, Optional, Tuple, Type


class MeshweaveError(ValueError):
    """Base class of every error the package raises for bad input."""


class ExchangeError(MeshweaveError):
    """The library's error: a kind plus its payload.

    Payload attributes are meaningful only for their own kind and 0 (or "")
    otherwise, as in the library: ``tile`` (Tile), ``count`` (Count),
    ``message`` (Schedule), ``cycles`` and ``maximum`` (PlanOffsetRange),
    ``address`` (Address). When the failed check gives a reason,
    ``reason`` names it, ``argument`` names the refused argument and
    ``explanation`` is the sentence naming the value and the rule.
    """

    kind = ""

    def __init__(self, text: str, *, tile: int = 0, count: int = 0, message: str = "",
                 cycles: int = 0, maximum: int = 0, address: int = 0,
                 reason: Optional[str] = None, argument: Optional[str] = None,
                 explanation: Optional[str] = None) -> None:
        super().__init__(text)
        self.tile = tile
        self.count = count
        self.message = message
        self.cycles = cycles
        self.maximum = maximum
        self.address = address
        self.reason = reason
        self.argument = argument
        self.explanation = explanation

    def _key(self) -> Tuple[object, ...]:
        return (self.kind, self.tile, self.count, self.message, self.cycles, self.maximum,
                self.address)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, ExchangeError):
            return NotImplemented
        return self._key() == other._key()

    def __hash__(self) -> int:
        return hash(self._key())

    def __repr__(self) -> str:
        return f"{type(self).__name__}({str(self)!r})"


class TileError(ExchangeError):
    """A logical tile that the topology does not have (payload ``tile``)."""
    kind = "Tile"


class DuplicateTileError(ExchangeError):
    """A tile named twice where each may appear once."""
    kind = "DuplicateTile"


class CountError(ExchangeError):
    """A word count out of range (payload ``count``)."""
    kind = "Count"


class ReceiverSetError(ExchangeError):
    """An unusable set of receivers."""
    kind = "ReceiverSet"


class ScheduleError(ExchangeError):
    """A word or schedule that cannot be formed (payload ``message``)."""
    kind = "Schedule"


class PlanOffsetRangeError(ExchangeError):
    """An offset the row has no room for (payload ``cycles``, ``maximum``)."""
    kind = "PlanOffsetRange"


class AddressError(ExchangeError):
    """A byte address a row cannot carry (payload ``address``)."""
    kind = "Address"


class HostPacketError(ExchangeError):
    """A host operation that cannot be built."""
    kind = "HostPacket"


EXCHANGE_ERROR_KINDS: Dict[str, Type[ExchangeError]] = {
    cls.kind: cls
    for cls in (TileError, DuplicateTileError, CountError, ReceiverSetError, ScheduleError,
                PlanOffsetRangeError, AddressError, HostPacketError)
}


class CompileError(MeshweaveError):
    """Where compiling, scheduling or estimating an exchange failed.

    ``kind`` is one of "Library", "TileConflict", "DestinationCount",
    "AddressRange", "BothForms", "AfterIndex", "AfterCycle". ``error`` is the
    library's ExchangeError for a Library failure (None otherwise); ``phase``,
    ``transfer``, ``tile`` and ``other_transfer`` locate it (None where not
    given); ``scheduled`` is true when ``transfer`` indexes the transfers form.
    ``explanation`` is the same line with the refused rule's sentence.
    """

    def __init__(self, text: str, *, kind: str, error: Optional[ExchangeError], phase: int,
                 transfer: Optional[int], tile: Optional[int], other_transfer: Optional[int],
                 scheduled: bool, explanation: str) -> None:
        super().__init__(text)
        self.kind = kind
        self.error = error
        self.phase = phase
        self.transfer = transfer
        self.tile = tile
        self.other_transfer = other_transfer
        self.scheduled = scheduled
        self.explanation = explanation

    def __repr__(self) -> str:
        return f"CompileError({str(self)!r})"


class CollectiveError(MeshweaveError):
    """Why a collective could not be planned.

    ``kind`` is one of "Tiles", "Words", "Root", "Grid", "Buffer",
    "Algorithm", "Compile"; ``message`` the sentence; ``compile`` the
    CompileError behind a Compile failure (None otherwise).
    """

    def __init__(self, text: str, *, kind: str, message: str,
                 compile: Optional[CompileError]) -> None:
        super().__init__(text)
        self.kind = kind
        self.message = message
        self.compile = compile

    def __repr__(self) -> str:
        return f"CollectiveError({str(self)!r})"


class AssemblyError(MeshweaveError):
    """Where and why a text could not be assembled (lines and columns from 1)."""

    def __init__(self, text: str, *, line: int, column: int, reason: str) -> None:
        super().__init__(text)
        self.line = line
        self.column = column
        self.reason = reason

    def __repr__(self) -> str:
        return f"AssemblyError({str(self)!r})"


class DescriptionError(MeshweaveError):
    """A dict exchange description that cannot be read; ``path`` locates the value."""

    def __init__(self, text: str, *, path: str) -> None:
        super().__init__(text)
        self.path = path
