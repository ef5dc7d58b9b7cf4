#include "huge_pages.hpp"

#include <sys/mman.h>

#include <cstdint>

namespace meshweave::tool {

void prefer_huge_pages(char* data, std::size_t size) noexcept {
  constexpr std::uintptr_t huge_page = std::uintptr_t{1} << 21;
  // Only whole huge pages inside the buffer: its neighbours are none of our business.
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t begin = (start + huge_page - 1) & ~(huge_page - 1);
  const std::uintptr_t end = (start + size) & ~(huge_page - 1);
  if (end > begin) {
    // The result is ignored: without huge pages the buffer works the same.
    static_cast<void>(::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE));
  }
}

}  // namespace meshweave::tool
