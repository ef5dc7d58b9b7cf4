#pragma once

#include <cstddef>

namespace meshweave::tool {

// Asks the system to back the untouched buffer [data, data + size) with huge
// pages: a buffer of hundreds of megabytes written once then costs a few
// hundred page faults instead of tens of thousands. Only a hint; nothing
// changes where the system does not take it.
void prefer_huge_pages(char* data, std::size_t size) noexcept;

}  // namespace meshweave::tool
