#include "strict_json.hpp"

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace meshweave::tool {
namespace {

// Follows the parser's events to know, at every key, the path that leads to it.
class DuplicateKeyFinder {
 public:
  bool on_event(nlohmann::json::parse_event_t event, const nlohmann::json& parsed) {
    using Event = nlohmann::json::parse_event_t;
    switch (event) {
      case Event::object_start:
        frames_.push_back(Frame{false, 0, {}, {}});
        break;
      case Event::array_start:
        frames_.push_back(Frame{true, 0, {}, {}});
        break;
      case Event::key:
        on_key(parsed.get_ref<const std::string&>());
        break;
      case Event::value:
        finish_element();
        break;
      case Event::object_end:
      case Event::array_end:
        if (!frames_.empty()) frames_.pop_back();
        finish_element();
        break;
    }
    return true;
  }

  const std::optional<InputError>& duplicate() const noexcept { return duplicate_; }

 private:
  struct Frame {
    bool array;
    std::size_t index;
    std::string key;
    std::set<std::string> keys;
  };

  void on_key(const std::string& key) {
    if (frames_.empty()) return;
    Frame& frame = frames_.back();
    frame.key = key;
    if (!frame.keys.insert(key).second && !duplicate_) {
      duplicate_ = InputError{path(), "duplicate key"};
    }
  }

  // A value inside an array moves the array on to its next index.
  void finish_element() {
    if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
  }

  std::string path() const {
    std::string out;
    for (const Frame& frame : frames_) {
      if (frame.array) {
        out += '[' + std::to_string(frame.index) + ']';
      } else {
        if (!out.empty()) out += '.';
        out += frame.key;
      }
    }
    return out;
  }

  std::vector<Frame> frames_;
  std::optional<InputError> duplicate_;
};

// The parser's message without its "[json.exception.parse_error.101] " tag.
std::string parse_reason(const std::string& what) {
  const std::size_t tag_end = what.find("] ");
  return tag_end == std::string::npos ? what : what.substr(tag_end + 2);
}

}  // namespace

std::expected<nlohmann::json, InputError> parse_strict_json(std::string_view text) {
  DuplicateKeyFinder finder;
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(
        text.begin(), text.end(),
        [&finder](int, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
          return finder.on_event(event, parsed);
        });
  } catch (const nlohmann::json::exception& error) {
    return std::unexpected(InputError{{}, parse_reason(error.what())});
  }
  if (finder.duplicate()) return std::unexpected(*finder.duplicate());
  return document;
}

}  // namespace meshweave::tool
