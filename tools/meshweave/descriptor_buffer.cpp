#include "descriptor_buffer.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace meshweave::tool {

DescriptorBuffer::DescriptorBuffer(int descriptor) : descriptor_(descriptor) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

bool DescriptorBuffer::write_out(const char* text, std::size_t count) {
  if (error_ != 0) return false;
  while (count > 0) {
    const ssize_t written = ::write(descriptor_, text, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    text += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

bool DescriptorBuffer::drain() {
  const auto pending = static_cast<std::size_t>(pptr() - pbase());
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return write_out(buffer_.data(), pending);
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type c) {
  if (!drain()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize DescriptorBuffer::xsputn(const char* text, std::streamsize count) {
  const auto size = static_cast<std::size_t>(count);
  if (size <= static_cast<std::size_t>(epptr() - pptr())) {
    traits_type::copy(pptr(), text, size);
    pbump(static_cast<int>(count));
    return count;
  }
  // Larger than the room left: pass it straight through instead of copying.
  if (!drain() || !write_out(text, size)) return 0;
  return count;
}

int DescriptorBuffer::sync() { return drain() ? 0 : -1; }

}  // namespace meshweave::tool
