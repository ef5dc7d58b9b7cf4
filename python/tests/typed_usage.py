"""A small typed use of the package, checked by mypy against the shipped stubs."""
import json
from typing import List

import meshweave as mw


def halo_horizon(card: mw.Topology) -> int:
    request = mw.CollectiveRequest(mw.CollectiveKind.Halo, tiles=list(range(4)), input=0x1000,
                                   output=0x2000, halo=mw.HaloWords(north=2, south=2, rows=2,
                                                                    columns=2))
    plan: mw.CollectivePlan = mw.plan_collective(card, request)
    compiled: List[mw.CompiledExchange] = mw.compile_collective(card, plan)
    return sum(step.horizon for step in compiled)


def first_words(card: mw.Topology, text: str) -> List[int]:
    compiled = mw.compile_exchange(card, json.loads(text), mw.CompileOptions(idle_programs=False))
    program = compiled.program(0)
    if program is None:
        return []
    return [int(word) for word in program.words]


def explain(card: mw.Topology) -> str:
    try:
        card.point_to_point(sender_logical=0, receiver_logical=1, count=0)
    except mw.CountError as error:
        return error.explanation or str(error.count)
    return ""


card = mw.Topology.m1472()
word: int = mw.encode_send(count_minus_one=1, direction=3, base_word=82041)
plan = card.point_to_point(0, 1, 4)
row = mw.patch_sender_address(plan.sender, 0x50000)
kind: mw.InstructionKind = mw.decode(word).kind
print(halo_horizon(card), first_words(card, "{}"), explain(card), row, kind)


def batch_horizons(card: mw.Topology) -> list[int]:
    results = mw.compile_exchanges(card, [{"phases": []}], threads=2)
    return [r.horizon for r in results if isinstance(r, mw.CompiledExchange)]
