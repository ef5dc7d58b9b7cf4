from ._errors import (AddressError as AddressError, AssemblyError as AssemblyError,
                      CollectiveError as CollectiveError, CompileError as CompileError,
                      CountError as CountError, DescriptionError as DescriptionError,
                      DuplicateTileError as DuplicateTileError, ExchangeError as ExchangeError,
                      HostPacketError as HostPacketError, MeshweaveError as MeshweaveError,
                      PlanOffsetRangeError as PlanOffsetRangeError,
                      ReceiverSetError as ReceiverSetError, ScheduleError as ScheduleError,
                      TileError as TileError)
from ._meshweave import *

__version__: str
