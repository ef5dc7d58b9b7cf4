#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"

namespace meshweave {
namespace {

// Rows of logical 0 -> 1286, count 3.
constexpr PlanRow kSender{0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0};
constexpr PlanRow kReceiverTemplate{0x00000001, 0x41800003, 0x641c0000, 0x64008640, 0x61800000,
                                    0x40a00007, 0x43a00000, 0,          0};
constexpr PlanRow kFinalizedReceiver{0x41800003, 0x641c0000, 0x64008640, 0x61800000, 0x40a00007,
                                     0x43a00000, 0,          0,          0};

std::uint32_t row_cycles(const PlanRow& row) { return plan_event_cycles(row).value(); }

TEST(PatchSenderAddress, WritesTheFirstSendWordsBaseAddress) {
  struct Case {
    PlanRow row;
    std::uint32_t byte_address;
    std::size_t position;
    std::uint32_t word;
  };
  const Case cases[] = {
      {kSender, 0x52040, 2, 0x784a4081},
      {kSender, 0xffffc, 2, 0x785ffff9},
      {kSender, 0, 2, 0x78400001},
      // A long transfer: only the SEND gets the address, the continuation keeps 0.
      {{0x41800003, 0x40a0007d, 0x7fe00002, 0x70000002, 0x43a00000, 0, 0, 0, 0},
       0x100,
       2,
       0x7fe00202},
  };
  for (const Case& c : cases) {
    PlanRow row = c.row;
    ASSERT_TRUE(patch_sender_address(row, c.byte_address).has_value());
    PlanRow expected = c.row;
    expected[c.position] = c.word;
    EXPECT_EQ(row, expected) << std::hex << c.byte_address;
  }
}

TEST(PatchReceiverAddress, WritesTheFirstPicWordsAddress) {
  PlanRow row = kFinalizedReceiver;
  ASSERT_TRUE(patch_receiver_address(row, 0x53080).has_value());
  EXPECT_EQ(row[3], 0x61814c20u);
  // A later call replaces the earlier address; nothing else changes.
  ASSERT_TRUE(patch_receiver_address(row, 0x8f000).has_value());
  PlanRow expected = kFinalizedReceiver;
  expected[3] = 0x61823c00;
  EXPECT_EQ(row, expected);

  // The unfinalized template works too: its patch index is not a PIC word.
  PlanRow template_row = kReceiverTemplate;
  ASSERT_TRUE(patch_receiver_address(template_row, 0x53080).has_value());
  EXPECT_EQ(template_row[4], 0x61814c20u);

  // The multicast placeholder address is replaced, the wait kept.
  PlanRow multicast{0x41800003, 0x64000000, 0x61994000, 0x64030640, 0x40a00038,
                    0x43a00000, 0,          0,          0};
  ASSERT_TRUE(patch_receiver_address(multicast, 340096).has_value());
  EXPECT_EQ(pic_word::Address::get(multicast[2]), 85024u);
  EXPECT_EQ(pic_word::Wait::get(multicast[2]), pic_word::Wait::get(0x61994000u));
}

TEST(AddressPatching, FailuresLeaveTheRowUnchanged) {
  struct Case {
    Status (*patch)(PlanRow&, std::uint32_t);
    PlanRow row;
    std::uint32_t byte_address;
  };
  constexpr PlanRow no_timed_words{0x41800003, 0x43a00000, 0, 0, 0, 0, 0, 0, 0};
  const Case cases[] = {
      {patch_sender_address, kSender, 0x100000},
      {patch_sender_address, kSender, 0x52042},
      {patch_sender_address, kSender, 0xffffffff},
      {patch_sender_address, kFinalizedReceiver, 0x100},  // no SEND word
      {patch_sender_address, no_timed_words, 0},
      {patch_receiver_address, kFinalizedReceiver, 0x100000},
      {patch_receiver_address, kFinalizedReceiver, 0x53082},
      {patch_receiver_address, kSender, 0x100},  // no PIC word
      {patch_receiver_address, no_timed_words, 0},
  };
  for (const Case& c : cases) {
    PlanRow row = c.row;
    const Status status = c.patch(row, c.byte_address);
    ASSERT_FALSE(status.has_value()) << std::hex << c.byte_address;
    EXPECT_EQ(status.error(), ExchangeError::address(c.byte_address));
    EXPECT_EQ(row, c.row);
  }
}

TEST(FinalizePointReceiver, DropsThePatchIndexAndNamesTheSender) {
  const PlanRow template_row{0x00000001, 0x41800003, 0x641c0000, 0x61980000, 0x6402c640,
                             0x40a00038, 0x43a00000, 0,          0};
  EXPECT_EQ(
      finalize_point_receiver(template_row, 9).value(),
      (PlanRow{0x41800003, 0x641c0009, 0x61980000, 0x6402c640, 0x40a00038, 0x43a00000, 0, 0, 0}));
  EXPECT_EQ(finalize_point_receiver(kReceiverTemplate, 0).value(), kFinalizedReceiver);
  EXPECT_EQ(finalize_point_receiver(kReceiverTemplate, 0x1fff).value()[1], 0x641c1fffu);
  // Any index below 8 is honoured, whatever word it names; a set selector is replaced.
  const PlanRow any{7, 1, 2, 3, 4, 5, 6, 7, 0xffffffff};
  EXPECT_EQ(finalize_point_receiver(any, 5).value(), (PlanRow{1, 2, 3, 4, 5, 6, 7, 0xffffe005, 0}));
}

TEST(FinalizePointReceiver, RefusesIndexOrTileOutOfRange) {
  const ExchangeError expected =
      ExchangeError::schedule(schedule_message::point_receiver_patch_index);
  PlanRow bad_index = kReceiverTemplate;
  bad_index[0] = 8;
  EXPECT_EQ(finalize_point_receiver(bad_index, 0).error(), expected);
  bad_index[0] = 0xffffffff;
  EXPECT_EQ(finalize_point_receiver(bad_index, 0).error(), expected);
  EXPECT_EQ(finalize_point_receiver(kReceiverTemplate, 0x2000).error(), expected);
}

TEST(OffsetPlan, InsertsDelaysAfterTheEntryWord) {
  struct Case {
    PlanRow row;
    std::uint32_t cycles;
    PlanRow expected;
  };
  const Case cases[] = {
      {kSender, 0, kSender},
      {kSender, 1, {0x41800003, 0x40a00000, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0}},
      {kSender, 524288, {0x41800003, 0x40a7ffff, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0}},
      {kSender,
       524289,
       {0x41800003, 0x40a7ffff, 0x40a00000, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0}},
      {kSender,
       524358,
       {0x41800003, 0x40a7ffff, 0x40a00045, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0}},
      {kSender,
       2621440,
       {0x41800003, 0x40a7ffff, 0x40a7ffff, 0x40a7ffff, 0x40a7ffff, 0x40a7ffff, 0x40a00086,
        0x78400001, 0x43a00000}},
      {kFinalizedReceiver,
       1572864,
       {0x41800003, 0x40a7ffff, 0x40a7ffff, 0x40a7ffff, 0x641c0000, 0x64008640, 0x61800000,
        0x40a00007, 0x43a00000}},
      // Words after the return word that the move does not reach keep their values.
      {{0x41800003, 0x43a00000, 0, 0, 0, 0, 0, 0, 0x12345678},
       3,
       {0x41800003, 0x40a00002, 0x43a00000, 0, 0, 0, 0, 0, 0x12345678}},
  };
  for (const Case& c : cases) {
    PlanRow row = c.row;
    ASSERT_TRUE(offset_plan(row, c.cycles).has_value()) << c.cycles;
    EXPECT_EQ(row, c.expected) << c.cycles;
    EXPECT_EQ(row_cycles(row), row_cycles(c.row) + c.cycles) << c.cycles;
  }
  PlanRow row = kSender;
  ASSERT_TRUE(offset_plan(row, 524358).has_value());
  EXPECT_EQ(row_cycles(kSender), 138u);
  EXPECT_EQ(row_cycles(row), 524496u);
}

TEST(OffsetPlan, FailuresLeaveTheRowUnchanged) {
  struct Case {
    PlanRow row;
    std::uint32_t cycles;
    ExchangeError expected;
  };
  constexpr PlanRow full{0x41800003, 0x40a00000, 0x40a00000, 0x40a00000, 0x40a00000,
                         0x40a00000, 0x40a00000, 0x40a00000, 0x43a00000};
  constexpr PlanRow no_return{0x41800003, 0x40a00001, 0, 0, 0, 0, 0, 0, 0};
  const Case cases[] = {
      {kSender, 2621441, ExchangeError::plan_offset_range(2621441, 2621440)},
      {kSender, 0xffffffff, ExchangeError::plan_offset_range(0xffffffff, 2621440)},
      {kFinalizedReceiver, 1572865, ExchangeError::plan_offset_range(1572865, 1572864)},
      {full, 1, ExchangeError::plan_offset_range(1, 0)},
      // A template still carries its patch index in word 0.
      {kReceiverTemplate, 1, ExchangeError::schedule(schedule_message::plan_offset_entry)},
      {no_return, 1, ExchangeError::schedule(schedule_message::plan_offset_return)},
  };
  for (const Case& c : cases) {
    PlanRow row = c.row;
    const Status status = offset_plan(row, c.cycles);
    ASSERT_FALSE(status.has_value()) << c.cycles;
    EXPECT_EQ(status.error(), c.expected) << status.error();
    EXPECT_EQ(row, c.row);
  }
  // Zero cycles never looks at the row.
  PlanRow untouched = kReceiverTemplate;
  EXPECT_TRUE(offset_plan(untouched, 0).has_value());
  EXPECT_EQ(untouched, kReceiverTemplate);
}

TEST(OffsetPlan, GrowsEveryPlannedRowByExactlyTheOffset) {
  const Topology card = Topology::m1472();
  std::mt19937 random{7};
  std::uniform_int_distribution<std::uint16_t> tile{0, 1471};
  std::uniform_int_distribution<std::uint32_t> count{1, 4148};
  for (int round = 0; round < 500; ++round) {
    const std::uint16_t sender = tile(random);
    const std::uint16_t receiver = tile(random);
    if (sender == receiver) continue;
    const Plan plan = card.point_to_point(sender, receiver, count(random)).value();
    const PlanRow receiver_row = finalize_point_receiver(plan.receiver, 0).value();
    for (const PlanRow& original : {plan.sender, receiver_row}) {
      const auto end = static_cast<std::uint32_t>(std::ranges::find(original, RETURN_INSTRUCTION) -
                                                  original.begin());
      const std::uint32_t capacity = (8 - end) * 524288;
      std::uniform_int_distribution<std::uint32_t> cycles{1, capacity};
      PlanRow row = original;
      const std::uint32_t offset = cycles(random);
      ASSERT_TRUE(offset_plan(row, offset).has_value());
      EXPECT_EQ(row_cycles(row), row_cycles(original) + offset);
      // The words that were there follow the inserted DELAYs, in their order.
      const std::size_t inserted = (offset + 524287) / 524288;
      EXPECT_TRUE(std::equal(original.begin() + 1, original.begin() + end + 1,
                             row.begin() + static_cast<std::ptrdiff_t>(1 + inserted)));
    }
  }
}

TEST(NormalizeSenderInstruction, ClearsOnlyTheFirstSendAddress) {
  std::vector<std::uint32_t> words{0x41800003, 0x782d0243, 0x43a00000};
  const auto found = normalize_sender_instruction(words);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(*found, (std::pair<std::size_t, std::uint32_t>{1, 0x782d0243}));
  EXPECT_EQ(words, (std::vector<std::uint32_t>{0x41800003, 0x78200003, 0x43a00000}));

  // A continuation SEND is not a SEND; a second SEND is left alone.
  std::vector<std::uint32_t> two{0x70000002, 0x7fffffff, 0x7fffffff};
  EXPECT_EQ(normalize_sender_instruction(two),
            (std::optional<std::pair<std::size_t, std::uint32_t>>{{1, 0x7fffffff}}));
  EXPECT_EQ(two, (std::vector<std::uint32_t>{0x70000002, 0x7fe00007, 0x7fffffff}));

  PlanRow row = kSender;
  ASSERT_TRUE(patch_sender_address(row, 0x52040).has_value());
  EXPECT_EQ(normalize_sender_instruction(row)->second, 0x784a4081u);
  EXPECT_EQ(row, kSender);
}

TEST(NormalizeSenderInstruction, WithoutSendChangesNothing) {
  std::vector<std::uint32_t> none{0x41800003, 0x70000002, 0x40a00001, 0x43a00000};
  const std::vector<std::uint32_t> before = none;
  EXPECT_FALSE(normalize_sender_instruction(none).has_value());
  EXPECT_EQ(none, before);
  EXPECT_FALSE(normalize_sender_instruction(std::span<std::uint32_t>{}).has_value());
}

}  // namespace
}  // namespace meshweave
