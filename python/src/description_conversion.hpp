#pragma once

#include <optional>

#include "binding_support.hpp"
#include "meshweave/exchange/description.hpp"

namespace meshweave::python {

// The description `value` stands for: an ExchangeDescription object (used in
// place), or a dict in the shape of the JSON exchange format (converted into
// `storage`). Raises DescriptionError naming the path of a value it cannot read.
const ExchangeDescription& description_from(py::handle value,
                                            std::optional<ExchangeDescription>& storage);

ExchangeDescription description_from_dict(py::handle value);

}  // namespace meshweave::python
