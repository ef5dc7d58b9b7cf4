#include "temporary_files.hpp"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <utility>

namespace meshweave::tool {
namespace {

constexpr std::array handled_signals{SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The registered paths. The handler only reads these pointers; each points
// into a live TemporaryFile, which clears its slot before it goes away.
constexpr std::size_t slot_count = 64;
std::array<std::atomic<const char*>, slot_count> registered{};

extern "C" void unlink_temporaries_and_die(int signal_number) {
  remove_registered_temporaries();
  // SA_RESETHAND restored the default action; the signal stays blocked until
  // this handler returns, and is then delivered again with that action.
  ::raise(signal_number);
}

void install_handlers_once() {
  static const bool installed = [] {
    for (const int signal_number : handled_signals) {
      struct sigaction current{};
      if (::sigaction(signal_number, nullptr, &current) != 0) continue;
      // Leave ignored signals ignored (nohup) and handlers of others alone.
      if (current.sa_handler != SIG_DFL) continue;
      struct sigaction action{};
      action.sa_handler = unlink_temporaries_and_die;
      sigemptyset(&action.sa_mask);
      action.sa_flags = static_cast<int>(SA_RESETHAND);
      ::sigaction(signal_number, &action, nullptr);
    }
    return true;
  }();
  (void)installed;
}

sigset_t handled_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : handled_signals) sigaddset(&set, signal_number);
  return set;
}

}  // namespace

void remove_registered_temporaries() noexcept {
  const int saved_errno = errno;
  for (const auto& slot : registered) {
    if (const char* path = slot.load(std::memory_order_acquire)) ::unlink(path);
  }
  errno = saved_errno;
}

TemporaryFile::TemporaryFile(std::string path) : path_(std::move(path)) {
  install_handlers_once();
  for (std::size_t i = 0; i < registered.size(); ++i) {
    const char* expected = nullptr;
    if (registered[i].compare_exchange_strong(expected, path_.c_str())) {
      slot_ = static_cast<int>(i);
      return;
    }
  }
  // More temporaries than slots: this one is still removed on every normal path.
}

void TemporaryFile::keep() noexcept {
  if (slot_ >= 0) registered[static_cast<std::size_t>(slot_)].store(nullptr);
  slot_ = -1;
  path_.clear();
}

TemporaryFile::~TemporaryFile() {
  // Unlink before unregistering: a signal in between unlinks a missing name, harmlessly.
  if (!path_.empty()) ::unlink(path_.c_str());
  if (slot_ >= 0) registered[static_cast<std::size_t>(slot_)].store(nullptr);
}

SignalsDeferred::SignalsDeferred() {
  const sigset_t set = handled_set();
  blocked_ = ::sigprocmask(SIG_BLOCK, &set, &previous_) == 0;
}

SignalsDeferred::~SignalsDeferred() {
  if (blocked_) ::sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace meshweave::tool
