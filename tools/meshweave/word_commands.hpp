#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace meshweave::tool {

// `meshweave decode`: one line per word, hex then disassembly. With no words
// given, reads whitespace-separated words from `in`. Every word is checked
// before anything is printed.
int run_decode(const std::vector<std::string>& words, std::istream& in, std::ostream& out,
               std::ostream& err);

// `meshweave asm`: assembles disassembly text (a file, or "-" for `in`) into
// one hex word per line; faults are reported as FILE:LINE:COLUMN: reason.
int run_assemble(const std::string& path, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace meshweave::tool
