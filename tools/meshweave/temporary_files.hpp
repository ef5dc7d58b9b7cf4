#pragma once

#include <signal.h>

#include <string>

namespace meshweave::tool {

// Temporaries that must not outlive the run. While a path is registered, an
// interrupting SIGINT, SIGTERM, SIGHUP or SIGPIPE unlinks it before the signal
// takes its default effect (the handler uses only async-signal-safe calls).
// Signals the process ignores stay ignored. Single-threaded use only.
class TemporaryFile {
 public:
  // Registers `path`; the file itself is created by the caller afterwards.
  explicit TemporaryFile(std::string path);
  // Unlinks the file unless it was kept, and unregisters it.
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  [[nodiscard]] const std::string& path() const noexcept { return path_; }
  // The file has been renamed into place (or never created): nothing to unlink.
  void keep() noexcept;

 private:
  std::string path_;
  int slot_ = -1;  // -1 when not (or no longer) registered
};

// What the signal handler does: unlinks every registered temporary. Exposed so
// that the cleanup can be checked without sending a signal.
void remove_registered_temporaries() noexcept;

// Blocks the signals above for the lifetime of the object, so that a group of
// renames is not cut in half; a signal that arrives meanwhile is delivered
// when the object is destroyed.
class SignalsDeferred {
 public:
  SignalsDeferred();
  ~SignalsDeferred();
  SignalsDeferred(const SignalsDeferred&) = delete;
  SignalsDeferred& operator=(const SignalsDeferred&) = delete;

 private:
  bool blocked_ = false;
  sigset_t previous_{};
};

}  // namespace meshweave::tool
