#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <iosfwd>
#include <string>
#include <string_view>

namespace meshweave {

namespace schedule_message {
// The fixed texts carried by ExchangeError::Kind::Schedule: every message the
// library can produce, in one table. Code names a message through the constant
// below, which `detail::named` resolves against the table at compile time, so a text
// outside the table does not compile and the table is the whole vocabulary.
inline constexpr std::array all = std::to_array<std::string_view>({
    "send instruction operand",
    "zero event advance",
    "delay advance overflow",
    "PIC delay advance overflow",
    "XPIC delay advance overflow",
    "first scheduled event is not a delay",
    "branch register",
    "setzi operand",
    "put source register",
    "add register operand",
    "add immediate operand",
    "and operand",
    "shift-left operand",
    "brz operand",
    "call operand",
    "ld32 operand",
    "st32 operand",
    "sender delay",
    // Caller tables may place tiles beyond what the row words can carry: a receiver
    // whose card row makes its PIC wait overflow, a multicast sender whose physical
    // number does not fit the XPIC tile selector.
    "receiver phase",
    "multicast sender tile",
    "plan offset entry",
    "plan offset return",
    "point receiver patch index",
    "multicast start cycle",
    "multicast receive cycle",
    "plan event horizon overflow",
    "exchange row entry",
    "exchange row return",
    "overlapping tile exchange roles",
    "plan horizon precedes tile events",
    "host target operation return",
    "local host operation return",
    "local host operation prefix",
    // Encoding a decoded instruction checks the operands of the words that only have
    // unchecked packers, instead of letting the packer cut them to their fields.
    "PIC delay operand",
    "XPIC delay operand",
    "sync operand",
});

// The entry of the table that reads `text`; fails to compile for any other text.
// Not part of the API: only the constants below use it.
namespace detail {
consteval std::string_view named(std::string_view text) {
  for (const std::string_view message : all) {
    if (message == text) return message;
  }
  throw "not a schedule message";
}
}  // namespace detail

inline constexpr std::string_view send_instruction_operand =
    detail::named("send instruction operand");
inline constexpr std::string_view zero_event_advance = detail::named("zero event advance");
inline constexpr std::string_view delay_advance_overflow = detail::named("delay advance overflow");
inline constexpr std::string_view pic_delay_advance_overflow =
    detail::named("PIC delay advance overflow");
inline constexpr std::string_view xpic_delay_advance_overflow =
    detail::named("XPIC delay advance overflow");
inline constexpr std::string_view first_event_not_delay =
    detail::named("first scheduled event is not a delay");
inline constexpr std::string_view branch_register = detail::named("branch register");
inline constexpr std::string_view setzi_operand = detail::named("setzi operand");
inline constexpr std::string_view put_source_register = detail::named("put source register");
inline constexpr std::string_view add_register_operand = detail::named("add register operand");
inline constexpr std::string_view add_immediate_operand = detail::named("add immediate operand");
inline constexpr std::string_view and_operand = detail::named("and operand");
inline constexpr std::string_view shift_left_operand = detail::named("shift-left operand");
inline constexpr std::string_view brz_operand = detail::named("brz operand");
inline constexpr std::string_view call_operand = detail::named("call operand");
inline constexpr std::string_view ld32_operand = detail::named("ld32 operand");
inline constexpr std::string_view st32_operand = detail::named("st32 operand");
inline constexpr std::string_view sender_delay = detail::named("sender delay");
inline constexpr std::string_view receiver_phase = detail::named("receiver phase");
inline constexpr std::string_view multicast_sender_tile = detail::named("multicast sender tile");
inline constexpr std::string_view plan_offset_entry = detail::named("plan offset entry");
inline constexpr std::string_view plan_offset_return = detail::named("plan offset return");
inline constexpr std::string_view point_receiver_patch_index =
    detail::named("point receiver patch index");
inline constexpr std::string_view multicast_start_cycle = detail::named("multicast start cycle");
inline constexpr std::string_view multicast_receive_cycle =
    detail::named("multicast receive cycle");
inline constexpr std::string_view plan_event_horizon_overflow =
    detail::named("plan event horizon overflow");
inline constexpr std::string_view exchange_row_entry = detail::named("exchange row entry");
inline constexpr std::string_view exchange_row_return = detail::named("exchange row return");
inline constexpr std::string_view overlapping_roles =
    detail::named("overlapping tile exchange roles");
inline constexpr std::string_view horizon_precedes_events =
    detail::named("plan horizon precedes tile events");
inline constexpr std::string_view host_target_operation_return =
    detail::named("host target operation return");
inline constexpr std::string_view local_host_operation_return =
    detail::named("local host operation return");
inline constexpr std::string_view local_host_operation_prefix =
    detail::named("local host operation prefix");
inline constexpr std::string_view pic_delay_operand = detail::named("PIC delay operand");
inline constexpr std::string_view xpic_delay_operand = detail::named("XPIC delay operand");
inline constexpr std::string_view sync_operand = detail::named("sync operand");

}  // namespace schedule_message

// The single error type of the library: a kind plus at most two 32-bit payload
// words or one static message. Small, trivially copyable, owns nothing.
class ExchangeError {
 public:
  enum class Kind : std::uint8_t {
    Tile,
    DuplicateTile,
    Count,
    ReceiverSet,
    Schedule,
    PlanOffsetRange,
    Address,
    HostPacket,
  };

  static constexpr ExchangeError tile(std::uint16_t logical) noexcept {
    return ExchangeError{Kind::Tile, logical, 0, {}};
  }
  static constexpr ExchangeError duplicate_tile() noexcept {
    return ExchangeError{Kind::DuplicateTile, 0, 0, {}};
  }
  static constexpr ExchangeError count(std::uint32_t count) noexcept {
    return ExchangeError{Kind::Count, count, 0, {}};
  }
  static constexpr ExchangeError receiver_set() noexcept {
    return ExchangeError{Kind::ReceiverSet, 0, 0, {}};
  }
  // `message` must refer to text that outlives the error; the library only
  // passes the constants of `schedule_message`.
  static constexpr ExchangeError schedule(std::string_view message) noexcept {
    return ExchangeError{Kind::Schedule, 0, 0, message};
  }
  static constexpr ExchangeError plan_offset_range(std::uint32_t cycles,
                                                   std::uint32_t maximum) noexcept {
    return ExchangeError{Kind::PlanOffsetRange, cycles, maximum, {}};
  }
  static constexpr ExchangeError address(std::uint32_t byte_address) noexcept {
    return ExchangeError{Kind::Address, byte_address, 0, {}};
  }
  static constexpr ExchangeError host_packet() noexcept {
    return ExchangeError{Kind::HostPacket, 0, 0, {}};
  }

  constexpr Kind kind() const noexcept { return kind_; }
  // Payload accessors; each is meaningful only for its own kind and 0 (or empty) otherwise.
  constexpr std::uint16_t tile_value() const noexcept {
    return kind_ == Kind::Tile ? static_cast<std::uint16_t>(first_) : std::uint16_t{0};
  }
  constexpr std::uint32_t count_value() const noexcept { return kind_ == Kind::Count ? first_ : 0; }
  constexpr std::string_view message() const noexcept { return message_; }
  constexpr std::uint32_t cycles() const noexcept {
    return kind_ == Kind::PlanOffsetRange ? first_ : 0;
  }
  constexpr std::uint32_t maximum() const noexcept {
    return kind_ == Kind::PlanOffsetRange ? second_ : 0;
  }
  constexpr std::uint32_t address_value() const noexcept {
    return kind_ == Kind::Address ? first_ : 0;
  }

  // Same kind and same payload; messages compare by their characters.
  friend constexpr bool operator==(const ExchangeError& a, const ExchangeError& b) noexcept {
    return a.kind_ == b.kind_ && a.first_ == b.first_ && a.second_ == b.second_ &&
           a.message_ == b.message_;
  }

 private:
  constexpr ExchangeError(Kind kind, std::uint32_t first, std::uint32_t second,
                          std::string_view message) noexcept
      : kind_{kind}, first_{first}, second_{second}, message_{message} {}

  Kind kind_;
  std::uint32_t first_;
  std::uint32_t second_;
  std::string_view message_;
};

// The name of a kind as it appears in the debug rendering ("Tile", "Schedule", ...).
std::string_view kind_name(ExchangeError::Kind kind) noexcept;

// One-line debug rendering: Tile(1472), Schedule("sender delay"),
// PlanOffsetRange { cycles: 1, maximum: 0 }, HostPacket.
std::string to_string(const ExchangeError& error);
std::ostream& operator<<(std::ostream& out, const ExchangeError& error);

template <class T>
using Result = std::expected<T, ExchangeError>;
using Status = std::expected<void, ExchangeError>;

}  // namespace meshweave
