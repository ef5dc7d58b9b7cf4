#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace meshweave::tool {

// Text taken from the user's input (a key, a token, a file name) as it may be
// shown in a message: at most `limit` characters of it, then "...", with
// control characters, backslashes and bytes that are not UTF-8 escaped
// (\n, \t, \xNN), so that hostile input can neither flood the terminal,
// split a message over lines nor reach the terminal as escape sequences.
std::string echo(std::string_view text, std::size_t limit = 80);

// "\"<echo(text)>\" <why>": a refusal that quotes the text it refuses.
std::string quoted_refusal(std::string_view text, std::string_view why);

// File names are echoed whole up to the longest path the system takes: a
// name cut short would point at the wrong file.
inline constexpr std::size_t file_name_echo_limit = 4096;

// The one error line of every command:
//   meshweave <command>: error: <where>: <what>
// `where` is "file:line:column", a JSON path, both ("file:3:7: phases[0]"),
// or empty when the error concerns the whole run. `what` is kept on one line
// (any line break in it is escaped).
std::string error_line(std::string_view command, std::string_view where, std::string_view what);

// Writes error_line(...) and a newline to `err`.
void report_error(std::ostream& err, std::string_view command, std::string_view where,
                  std::string_view what);

}  // namespace meshweave::tool
