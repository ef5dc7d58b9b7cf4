"""meshweave: exchange code generation for the M1472 tile processor.

Every function of the C++ library, with keyword arguments named as there.
Errors are raised as exceptions (see meshweave._errors); word sequences come
back as numpy uint32 arrays when numpy is importable, as lists otherwise.

>>> import meshweave
>>> hex(meshweave.delay(134))
'0x40a00086'
>>> meshweave.Topology.m1472().physical(46)
1409
"""
from ._errors import (AddressError, AssemblyError, CollectiveError, CompileError, CountError,
                      DescriptionError, DuplicateTileError, ExchangeError, HostPacketError,
                      MeshweaveError, PlanOffsetRangeError, ReceiverSetError, ScheduleError,
                      TileError)
from ._meshweave import *  # noqa: F401,F403

__version__ = "0.1.0"
