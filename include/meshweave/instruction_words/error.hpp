#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <iosfwd>
#include <string>
#include <string_view>

namespace meshweave {

// The fixed texts carried by ExchangeError::Kind::Schedule. Every message the
// library can produce is listed here and nowhere else; code names the constant.
namespace schedule_message {
inline constexpr std::string_view send_instruction_operand{"send instruction operand"};
inline constexpr std::string_view zero_event_advance{"zero event advance"};
inline constexpr std::string_view delay_advance_overflow{"delay advance overflow"};
inline constexpr std::string_view pic_delay_advance_overflow{"PIC delay advance overflow"};
inline constexpr std::string_view xpic_delay_advance_overflow{"XPIC delay advance overflow"};
inline constexpr std::string_view first_event_not_delay{"first scheduled event is not a delay"};
inline constexpr std::string_view branch_register{"branch register"};
inline constexpr std::string_view setzi_operand{"setzi operand"};
inline constexpr std::string_view put_source_register{"put source register"};
inline constexpr std::string_view add_register_operand{"add register operand"};
inline constexpr std::string_view add_immediate_operand{"add immediate operand"};
inline constexpr std::string_view and_operand{"and operand"};
inline constexpr std::string_view shift_left_operand{"shift-left operand"};
inline constexpr std::string_view brz_operand{"brz operand"};
inline constexpr std::string_view call_operand{"call operand"};
inline constexpr std::string_view ld32_operand{"ld32 operand"};
inline constexpr std::string_view st32_operand{"st32 operand"};
inline constexpr std::string_view sender_delay{"sender delay"};
// Caller tables may place tiles beyond what the row words can carry: a receiver
// whose card row makes its PIC wait overflow, a multicast sender whose physical
// number does not fit the XPIC tile selector.
inline constexpr std::string_view receiver_phase{"receiver phase"};
inline constexpr std::string_view multicast_sender_tile{"multicast sender tile"};
inline constexpr std::string_view plan_offset_entry{"plan offset entry"};
inline constexpr std::string_view plan_offset_return{"plan offset return"};
inline constexpr std::string_view point_receiver_patch_index{"point receiver patch index"};
inline constexpr std::string_view multicast_start_cycle{"multicast start cycle"};
inline constexpr std::string_view multicast_receive_cycle{"multicast receive cycle"};
inline constexpr std::string_view plan_event_horizon_overflow{"plan event horizon overflow"};
inline constexpr std::string_view exchange_row_entry{"exchange row entry"};
inline constexpr std::string_view exchange_row_return{"exchange row return"};
inline constexpr std::string_view overlapping_roles{"overlapping tile exchange roles"};
inline constexpr std::string_view horizon_precedes_events{"plan horizon precedes tile events"};
inline constexpr std::string_view host_target_operation_return{"host target operation return"};
inline constexpr std::string_view local_host_operation_return{"local host operation return"};
inline constexpr std::string_view local_host_operation_prefix{"local host operation prefix"};
// Encoding a decoded instruction checks the operands of the words that only have
// unchecked packers, instead of letting the packer cut them to their fields.
inline constexpr std::string_view pic_delay_operand{"PIC delay operand"};
inline constexpr std::string_view xpic_delay_operand{"XPIC delay operand"};
inline constexpr std::string_view sync_operand{"sync operand"};

// The whole vocabulary, for tests and tools that list or look up messages.
inline constexpr std::array all = {
    send_instruction_operand,     zero_event_advance,          delay_advance_overflow,
    pic_delay_advance_overflow,   xpic_delay_advance_overflow, first_event_not_delay,
    branch_register,              setzi_operand,               put_source_register,
    add_register_operand,         add_immediate_operand,       and_operand,
    shift_left_operand,           brz_operand,                 call_operand,
    ld32_operand,                 st32_operand,                sender_delay,
    plan_offset_entry,            plan_offset_return,          point_receiver_patch_index,
    multicast_start_cycle,        multicast_receive_cycle,     plan_event_horizon_overflow,
    exchange_row_entry,           exchange_row_return,         overlapping_roles,
    horizon_precedes_events,      host_target_operation_return, local_host_operation_return,
    local_host_operation_prefix,  pic_delay_operand,           xpic_delay_operand,
    sync_operand,                 receiver_phase,              multicast_sender_tile,
};
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
