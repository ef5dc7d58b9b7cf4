// The program builder over random sequences of rows: rows from the planners,
// the same rows shifted later with offset_plan, and rows of random words, laid
// onto one stream; then finish at a random horizon.
//
// Whether an append may succeed is decided here from the row alone: with the
// stream ending at cycle H > 0, walk the row's timed words; one that ends by H
// must be a DELAY, and the first that ends after H must not be a SEND or
// continuation SEND; a row whose timed words all end by H must end exactly at H.
// A successful append keeps every untimed word, keeps every timed word that ends
// after H at its end cycle, and leaves the stream ending where the row ends; a
// failed one changes nothing.
//
// Input: up to 32 steps, each a step byte followed by its operands (see
// next_row); a step byte with bit 7 set finishes a copy of the builder at a
// horizon given by a u32.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "fuzz_check.hpp"
#include "fuzz_input.hpp"
#include "meshweave/plans/row_patching.hpp"
#include "meshweave/scheduling/plan_event_cycles.hpp"
#include "meshweave/scheduling/plan_program_builder.hpp"
#include "meshweave/topology/topology.hpp"
#include "plan_row_properties.hpp"

namespace {

using namespace meshweave;
using fuzz::hex;
using fuzz::words;

constexpr std::uint16_t card_tiles = 1472;

bool is_send(std::uint32_t word) {
  return send_word::kind.matches(word) || send_off_word::kind.matches(word);
}

// The field that shortening a word may rewrite.
std::uint32_t wait_bits(std::uint32_t word) {
  if (delay_word::kind.matches(word)) return delay_word::Cycles::mask;
  if (pic_word::kind.matches(word)) return pic_word::Wait::mask;
  if (xpic_word::kind.matches(word)) return xpic_word::Wait::mask;
  return 0;
}

// The words between the entry word and the first return word, or the error
// that a row without them must be refused with.
std::expected<std::vector<std::uint32_t>, ExchangeError> row_body(const PlanRow& row) {
  if (row[0] != ROW_ENTRY_INSTRUCTION) {
    return std::unexpected(ExchangeError::schedule(schedule_message::exchange_row_entry));
  }
  std::vector<std::uint32_t> body;
  for (std::size_t i = 1; i < row.size(); ++i) {
    if (row[i] == RETURN_INSTRUCTION) return body;
    body.push_back(row[i]);
  }
  return std::unexpected(ExchangeError::schedule(schedule_message::exchange_row_return));
}

// Nothing when the body may be laid onto a stream ending at `horizon`, or the
// error the builder must report.
std::optional<ExchangeError> expected_refusal(std::span<const std::uint32_t> body,
                                              std::uint64_t horizon) {
  if (horizon == 0) return std::nullopt;
  std::uint64_t end = 0;
  for (const std::uint32_t word : body) {
    const std::uint32_t advance = instruction_advance(word);
    if (advance == 0) continue;
    end += advance;
    if (end <= horizon) {
      if (!delay_word::kind.matches(word)) {
        return ExchangeError::schedule(schedule_message::overlapping_roles);
      }
      continue;
    }
    if (is_send(word)) return ExchangeError::schedule(schedule_message::first_event_not_delay);
    return std::nullopt;
  }
  if (end != horizon) return ExchangeError::schedule(schedule_message::overlapping_roles);
  return std::nullopt;
}

// Untimed words in order, and the timed words with their end cycles (counted
// from `origin`), keeping only those that end after `after`.
struct Timeline {
  std::vector<std::uint32_t> untimed;
  std::vector<std::uint32_t> timed;
  std::vector<std::uint64_t> ends;
};
Timeline timeline(std::span<const std::uint32_t> words_in, std::uint64_t origin,
                  std::uint64_t after) {
  Timeline line;
  std::uint64_t end = origin;
  for (const std::uint32_t word : words_in) {
    const std::uint32_t advance = instruction_advance(word);
    if (advance == 0) {
      line.untimed.push_back(word);
      continue;
    }
    end += advance;
    if (end <= after) continue;
    line.timed.push_back(word);
    line.ends.push_back(end);
  }
  return line;
}

void check_append(PlanProgramBuilder& builder, const PlanRow& row) {
  const PlanProgramBuilder before = builder;
  const Status status = builder.append_scheduled_row(row);
  const auto body = row_body(row);
  const std::optional<ExchangeError> refusal =
      body ? expected_refusal(*body, before.event_cycles) : body.error();
  if (refusal) {
    FUZZ_CHECK(!status && status.error() == *refusal,
               "append of " << words(row) << " at horizon " << before.event_cycles << ": "
                            << fuzz::outcome(status) << ", expected " << *refusal);
    FUZZ_CHECK(builder == before, "a failed append changed the stream to " << words(builder.words));
    return;
  }
  FUZZ_CHECK(status.has_value(), "append of " << words(row) << " at horizon " << before.event_cycles
                                              << ": " << status.error());

  const std::span<const std::uint32_t> stream = builder.words;
  const Result<std::uint32_t> horizon = plan_event_cycles(stream);
  FUZZ_CHECK(horizon && *horizon == builder.event_cycles,
             "event_cycles " << builder.event_cycles << " for " << words(stream));
  FUZZ_CHECK(stream[0] == ROW_ENTRY_INSTRUCTION && fuzz::count_of(stream, RETURN_INSTRUCTION) == 0,
             "stream " << words(stream));
  FUZZ_CHECK(stream.size() >= before.words.size() &&
                 std::equal(before.words.begin(), before.words.end(), stream.begin()),
             "append rewrote the stream's earlier words");
  FUZZ_CHECK(builder.event_cycles == fuzz::total_cycles(*body),
             "stream ends at " << builder.event_cycles << ", row at " << fuzz::total_cycles(*body)
                               << ": " << words(row));

  const std::span<const std::uint32_t> appended = stream.subspan(before.words.size());
  if (before.event_cycles == 0) {
    FUZZ_CHECK(std::equal(appended.begin(), appended.end(), body->begin(), body->end()),
               "first row not appended whole: " << words(appended));
    return;
  }
  const Timeline expected = timeline(*body, 0, before.event_cycles);
  const Timeline found = timeline(appended, before.event_cycles, before.event_cycles);
  FUZZ_CHECK(found.untimed == expected.untimed && found.ends == expected.ends,
             "appended " << words(appended) << " for " << words(row) << " at horizon "
                         << before.event_cycles);
  for (std::size_t i = 0; i < found.timed.size(); ++i) {
    // Only the word that straddles the old horizon may change, and only its wait.
    const std::uint32_t may_change = i == 0 ? wait_bits(expected.timed[0]) : 0;
    FUZZ_CHECK(((found.timed[i] ^ expected.timed[i]) & ~may_change) == 0,
               "timed word " << hex(expected.timed[i]) << " appended as " << hex(found.timed[i]));
  }
}

void check_finish(const PlanProgramBuilder& builder, std::uint32_t horizon) {
  PlanProgramBuilder copy = builder;
  const Result<std::vector<std::uint32_t>> program = std::move(copy).finish(horizon);
  if (horizon < builder.event_cycles) {
    FUZZ_CHECK(
        !program &&
            program.error() == ExchangeError::schedule(schedule_message::horizon_precedes_events),
        "finish(" << horizon << ") at " << builder.event_cycles << ": " << fuzz::outcome(program));
    return;
  }
  FUZZ_CHECK(program.has_value(), "finish(" << horizon << "): " << program.error());
  const std::span<const std::uint32_t> words_out = *program;
  FUZZ_CHECK(words_out.size() >= builder.words.size() + 1 &&
                 words_out.back() == RETURN_INSTRUCTION &&
                 fuzz::count_of(words_out, RETURN_INSTRUCTION) == 1 &&
                 std::equal(builder.words.begin(), builder.words.end(), words_out.begin()),
             "finished program " << words(words_out));
  const std::span<const std::uint32_t> padding =
      words_out.subspan(builder.words.size(), words_out.size() - builder.words.size() - 1);
  const std::uint64_t needed = horizon - builder.event_cycles;
  for (const std::uint32_t word : padding) {
    FUZZ_CHECK(delay_word::kind.matches(word), "padding word " << hex(word));
  }
  FUZZ_CHECK(
      fuzz::total_cycles(padding) == needed && padding.size() <= (needed + 0x7ffff) / 0x80000,
      padding.size() << " padding words for " << needed << " cycles");
  const Result<std::uint32_t> cycles = plan_event_cycles(words_out);
  FUZZ_CHECK(cycles && *cycles == horizon, "program of " << fuzz::outcome(cycles) << " cycles");
}

// A word for a random row: mostly the kinds a row is made of, sometimes anything.
std::uint32_t random_word(fuzz::FuzzInput& input) {
  const std::uint8_t kind = input.u8();
  const std::uint32_t operand = input.u32();
  switch (kind % 8) {
    case 0: return delay(operand & 0xfffu);
    case 1: return delay_pic(operand, 0, operand >> 8);
    case 2: return delay_xpic(operand, 0, operand >> 12);
    case 3: return encode_send(operand & 0x3fu, 3, 0).value();
    case 4: return send_off(operand, 3, 0);
    case 5: return RETURN_INSTRUCTION;
    case 6: return 0x19000000u | (operand & 0xfffffu);  // SETZI: untimed
    default: return operand;
  }
}

// A row to append: a plan row shifted so that it starts near the stream's
// horizon, or random words.
PlanRow next_row(fuzz::FuzzInput& input, std::uint8_t step, std::uint32_t horizon) {
  static const Topology card = Topology::m1472();
  PlanRow row{};
  const std::uint16_t sender = input.u16() % card_tiles;
  const std::uint16_t receiver = input.u16() % card_tiles;
  const std::uint32_t count = input.u16() % 4148 + 1;
  // Shifted to start from the horizon, give or take a few cycles, or not at all.
  const std::int32_t nudge = static_cast<std::int8_t>(input.u8());
  const std::int64_t shift = (step & 0x40u) != 0 ? 0 : std::int64_t{horizon} + nudge;
  switch (step % 4) {
    case 0:
    case 1: {
      const std::uint16_t list[] = {receiver};
      const Result<MulticastPlan> plan = card.multicast(sender, list, count, 0);
      if (!plan) return row;
      row = step % 4 == 0 ? plan->sender : plan->receivers[0];
      break;
    }
    case 2: {
      const Result<Plan> plan = card.point_to_point(sender, receiver, count);
      if (!plan) return row;
      const Result<PlanRow> finalized =
          finalize_point_receiver(plan->receiver, m1472_logical_to_physical(sender));
      row = (step & 0x20u) != 0 ? plan->sender : finalized.value();
      break;
    }
    default:
      for (std::uint32_t& word : row) word = random_word(input);
      if ((step & 0x20u) != 0) row[0] = ROW_ENTRY_INSTRUCTION;
      return row;
  }
  if (shift > 0) {
    // Rows keep room for three full DELAYs, so every shift of a fuzzed stream fits.
    (void)offset_plan(row, static_cast<std::uint32_t>(shift));
  }
  return row;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input{data, size};
  PlanProgramBuilder builder;
  FUZZ_CHECK(builder.words == std::vector<std::uint32_t>{ROW_ENTRY_INSTRUCTION} &&
                 builder.event_cycles == 0,
             "fresh builder " << words(builder.words));
  for (int step_index = 0; step_index < 32 && !input.empty(); ++step_index) {
    const std::uint8_t step = input.u8();
    if ((step & 0x80u) != 0) {
      const std::uint32_t raw = input.u32();
      // Mostly within a few dozen padding words of the stream's horizon, rarely
      // anywhere (up to 8192 padding words, which costs more than it finds).
      const std::int64_t near = std::int64_t{builder.event_cycles} + (raw & 0xffffffu) - 0x100;
      const std::uint32_t horizon =
          (step & 0x3fu) == 0x3fu
              ? raw
              : static_cast<std::uint32_t>(std::clamp<std::int64_t>(near, 0, 0xffffffff));
      check_finish(builder, horizon);
      continue;
    }
    check_append(builder, next_row(input, step, builder.event_cycles));
  }
  check_finish(builder, builder.event_cycles);
  return 0;
}
