#pragma once

#include <iosfwd>

#include "compile_command.hpp"

namespace meshweave::tool {

// `meshweave compile` of several inputs (see run_compile): the inputs are read,
// compiled, checked and rendered on up to request.jobs threads, and written in
// input order, each on its own, with its errors, so that the output does not
// depend on the threads. Returns the exit status.
int run_batch_compile(const CompileRequest& request, std::ostream& out, std::ostream& err);

}  // namespace meshweave::tool
