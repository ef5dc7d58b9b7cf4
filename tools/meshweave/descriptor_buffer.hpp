#pragma once

#include <array>
#include <streambuf>

namespace meshweave::tool {

// An output stream buffer over an open file descriptor (not owned) that keeps
// the errno of the first failed write, so that a message can say why an
// output was lost. Once a write has failed every later one fails too.
class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int descriptor);
  DescriptorBuffer(const DescriptorBuffer&) = delete;
  DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

  // The errno of the first failure, 0 while everything was written.
  [[nodiscard]] int error() const noexcept { return error_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  bool write_out(const char* text, std::size_t count);
  bool drain();

  int descriptor_;
  int error_ = 0;
  std::array<char, 1 << 16> buffer_{};
};

}  // namespace meshweave::tool
