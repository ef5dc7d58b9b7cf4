#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace meshweave::tool {

// `meshweave decode`: one line per word, hex then disassembly, in the form
// `meshweave asm` reads back. With no words given, reads whitespace-separated
// words from `in` and prints each line's words as soon as the line is read.
// The tile label that starts each line of `compile --format hex` ("16:") is
// skipped. Given words are all checked before anything is printed; a bad word
// is reported at its argument number or at its line and column in `in`.
int run_decode(const std::vector<std::string>& words, std::istream& in, std::ostream& out,
               std::ostream& err);

// `meshweave asm`: assembles disassembly text (a file, or "-" for `in`),
// including the listing `meshweave decode` prints, into one hex word per line;
// a fault is reported at FILE:LINE:COLUMN and nothing is printed.
int run_assemble(const std::string& path, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace meshweave::tool
