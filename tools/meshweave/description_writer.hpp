#pragma once

#include <ostream>
#include <span>

#include "meshweave/collectives.hpp"
#include "meshweave/exchange/description.hpp"

namespace meshweave::tool {

// Writers of exchange descriptions as JSON text. They stream: a whole-card
// all-to-all holds millions of transfers, too many to build as a document
// first. Addresses are written as "0x" hex strings, tiles and counts as numbers.

// The transfers form that `meshweave compile` reads:
//   {"topology": "m1472", "transfers": [{"id": "t0", "from", "to", "words",
//    "source", "destination", "after": ["t3", ...]}, ...]}
// Transfer k has the id "tk"; "after" is left out when empty. A phases form
// is written as its transfers form.
void write_transfers_form(std::ostream& out, const ExchangeDescription& description);

// A collective of several exchanges or with local work between them:
//   {"topology": "m1472", "collective": "reduce-scatter", "algorithm": "flat",
//    "steps": [{"compute_before": [COMBINE...], "description": TRANSFERS-FORM}, ...],
//    "compute_after": [COMBINE...]}
// with COMBINE {"tile", "destination", "sources": [...], "words"} and, for a
// combine done more than once, "repeat", "destination_stride" and
// "source_stride" (bytes, as numbers); a hierarchical plan also gives "group_size".
void write_collective(std::ostream& out, const CollectivePlan& plan);

}  // namespace meshweave::tool
