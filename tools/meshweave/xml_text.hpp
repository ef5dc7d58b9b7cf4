#pragma once

#include <string>
#include <string_view>

namespace meshweave::tool {

// `text` as XML character data or attribute value: &, <, > and " escaped, and
// every byte sequence that is not valid UTF-8, or that encodes a character XML
// forbids or a control character (anything below U+0020 but tab, and U+007F to
// U+009F), replaced by U+FFFD. Line breaks become spaces. The result is always
// well-formed, whatever bytes `text` holds.
std::string xml_text(std::string_view text);

}  // namespace meshweave::tool
