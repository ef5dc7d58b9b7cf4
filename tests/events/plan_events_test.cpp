#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "meshweave/events.hpp"
#include "meshweave/plans.hpp"

namespace meshweave {
namespace {

// An event as recorded, owning its text.
struct Recorded {
  EventLevel level;
  std::string target;
  std::string message;
  std::vector<std::pair<std::string, std::string>> fields;

  friend bool operator==(const Recorded&, const Recorded&) = default;
};

class RecordingSink final : public EventSink {
 public:
  explicit RecordingSink(bool accepting = true) : accepting_{accepting} {}

  bool accepts(EventLevel level, std::string_view target) const noexcept override {
    const std::lock_guard lock{mutex_};
    asked_.emplace_back(level, std::string{target});
    return accepting_;
  }
  void record(const Event& event) override {
    Recorded recorded{event.level, std::string{event.target}, std::string{event.message}, {}};
    for (const EventField& field : event.fields) {
      recorded.fields.emplace_back(std::string{field.name}, field.value);
    }
    const std::lock_guard lock{mutex_};
    events_.push_back(std::move(recorded));
  }

  std::vector<Recorded> events() const {
    const std::lock_guard lock{mutex_};
    return events_;
  }
  std::vector<std::pair<EventLevel, std::string>> asked() const {
    const std::lock_guard lock{mutex_};
    return asked_;
  }

 private:
  bool accepting_;
  mutable std::mutex mutex_;
  mutable std::vector<std::pair<EventLevel, std::string>> asked_;
  std::vector<Recorded> events_;
};

class PlanEvents : public testing::Test {
 protected:
  void TearDown() override { set_event_sink(nullptr); }

  std::shared_ptr<RecordingSink> install(bool accepting = true) {
    auto sink = std::make_shared<RecordingSink>(accepting);
    set_event_sink(sink);
    return sink;
  }

  const Topology card = Topology::m1472();
};

TEST_F(PlanEvents, OnePerSuccessfulPointToPointPlan) {
  const auto sink = install();
  ASSERT_TRUE(card.point_to_point(0, 1286, 3).has_value());
  ASSERT_TRUE(card.point_to_point(1471, 0, 4148).has_value());
  const std::vector<Recorded> expected{
      {EventLevel::Debug,
       "meshweave",
       "assembled point-to-point exchange",
       {{"sender_logical", "0"}, {"receiver_logical", "1286"}, {"count", "3"}}},
      {EventLevel::Debug,
       "meshweave",
       "assembled point-to-point exchange",
       {{"sender_logical", "1471"}, {"receiver_logical", "0"}, {"count", "4148"}}},
  };
  EXPECT_EQ(sink->events(), expected);
}

TEST_F(PlanEvents, OnePerSuccessfulMulticastPlan) {
  const auto sink = install();
  const std::vector<std::uint16_t> receivers{274, 1286};
  ASSERT_TRUE(card.multicast(0, receivers, 3, 0).has_value());
  const std::vector<std::uint16_t> one{100};
  ASSERT_TRUE(card.multicast(736, one, 1, 4000).has_value());
  const std::vector<Recorded> expected{
      {EventLevel::Debug,
       "meshweave",
       "assembled multicast exchange",
       {{"sender_logical", "0"},
        {"receiver_logical", "[274, 1286]"},
        {"count", "3"},
        {"schedule_offset", "0"}}},
      {EventLevel::Debug,
       "meshweave",
       "assembled multicast exchange",
       {{"sender_logical", "736"},
        {"receiver_logical", "[100]"},
        {"count", "1"},
        {"schedule_offset", "4000"}}},
  };
  EXPECT_EQ(sink->events(), expected);
}

TEST_F(PlanEvents, NoneOnFailure) {
  const auto sink = install();
  EXPECT_FALSE(card.point_to_point(0, 1, 0).has_value());
  EXPECT_FALSE(card.point_to_point(5, 5, 4).has_value());
  EXPECT_FALSE(card.point_to_point(0, 1472, 4).has_value());
  const Topology far{{0, 31 * 64 + 32}};
  EXPECT_FALSE(far.point_to_point(1, 0, 4).has_value());  // sender delay
  const std::vector<std::uint16_t> repeated{1, 1};
  const std::vector<std::uint16_t> one{100};
  EXPECT_FALSE(card.multicast(0, repeated, 1, 0).has_value());
  EXPECT_FALSE(card.multicast(0, one, 1, 0xffffffff).has_value());
  EXPECT_FALSE(card.multicast(736, one, 1, 4095).has_value());  // receive cycle
  EXPECT_TRUE(sink->events().empty());
  EXPECT_TRUE(sink->asked().empty());
}

TEST_F(PlanEvents, RefusingSinkIsAskedButGetsNothing) {
  const auto sink = install(false);
  ASSERT_TRUE(card.point_to_point(0, 1, 4).has_value());
  const std::vector<std::uint16_t> receivers{1, 2};
  ASSERT_TRUE(card.multicast(0, receivers, 4, 0).has_value());
  const std::vector<std::pair<EventLevel, std::string>> asked{{EventLevel::Debug, "meshweave"},
                                                              {EventLevel::Debug, "meshweave"}};
  EXPECT_EQ(sink->asked(), asked);
  EXPECT_TRUE(sink->events().empty());
}

TEST_F(PlanEvents, InstallReplaceAndRemove) {
  EXPECT_EQ(event_sink(), nullptr);
  const auto first = install();
  EXPECT_EQ(event_sink(), first);
  ASSERT_TRUE(card.point_to_point(0, 1, 4).has_value());
  const auto second = install();
  ASSERT_TRUE(card.point_to_point(0, 2, 4).has_value());
  set_event_sink(nullptr);
  EXPECT_EQ(event_sink(), nullptr);
  ASSERT_TRUE(card.point_to_point(0, 3, 4).has_value());
  ASSERT_EQ(first->events().size(), 1u);
  ASSERT_EQ(second->events().size(), 1u);
  EXPECT_EQ(second->events()[0].fields[1].second, "2");
}

TEST_F(PlanEvents, ThrowingSinkDoesNotDisturbPlanning) {
  struct Throwing final : EventSink {
    bool accepts(EventLevel, std::string_view) const noexcept override { return true; }
    void record(const Event&) override { throw std::runtime_error{"sink failed"}; }
  };
  set_event_sink(std::make_shared<Throwing>());
  const Result<Plan> plan = card.point_to_point(0, 1, 4);
  ASSERT_TRUE(plan.has_value());
  EXPECT_EQ(plan->sender[1], 0x40a0008bu);
  const std::vector<std::uint16_t> receivers{1};
  EXPECT_TRUE(card.multicast(0, receivers, 4, 0).has_value());
}

TEST_F(PlanEvents, OneLineRendering) {
  const EventField fields[] = {{"sender_logical", "0"}, {"receiver_logical", "[274, 1286]"}};
  const Event event{EventLevel::Debug, EVENT_TARGET, event_message::multicast, fields};
  const std::string expected =
      "debug meshweave: assembled multicast exchange sender_logical=0 receiver_logical=[274, 1286]";
  EXPECT_EQ(to_string(event), expected);
  std::ostringstream out;
  out << event << '|' << EventLevel::Trace << '|' << EventLevel::Error;
  EXPECT_EQ(out.str(), expected + "|trace|error");
}

// Sinks come and go while other threads plan. Each sink notes its own
// destruction; a delivery to a destroyed sink would be caught here (and by the
// address sanitizer).
TEST_F(PlanEvents, SinksCanChangeWhilePlanning) {
  struct Counters {
    std::atomic<int> delivered{0};
    std::atomic<int> late{0};
  };
  struct Guarded final : EventSink {
    explicit Guarded(Counters& counters) : counters_{counters} {}
    ~Guarded() override { alive_.store(false); }
    bool accepts(EventLevel, std::string_view) const noexcept override { return true; }
    void record(const Event& event) override {
      if (!alive_.load() || event.fields.size() != 3) counters_.late.fetch_add(1);
      counters_.delivered.fetch_add(1);
    }

   private:
    std::atomic<bool> alive_{true};
    Counters& counters_;
  };

  Counters counters;
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::vector<std::thread> planners;
  for (std::uint16_t sender = 0; sender < 2; ++sender) {
    planners.emplace_back([&, sender] {
      for (std::uint16_t i = 0; !stop.load(); i = static_cast<std::uint16_t>((i + 1) % 1471)) {
        const auto receiver = static_cast<std::uint16_t>(i == sender ? 1471 : i);
        if (!card.point_to_point(sender, receiver, 4)) failures.fetch_add(1);
      }
    });
  }
  // Churn for a fixed number of rounds and until the planners have met some of
  // the sinks; give up after a while rather than hang.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds{20};
  for (int round = 0; round < 2000 || counters.delivered.load() < 100; ++round) {
    if (std::chrono::steady_clock::now() > deadline) break;
    set_event_sink(std::make_shared<Guarded>(counters));
    if (round % 3 == 0) set_event_sink(nullptr);
    if (round % 64 == 0) std::this_thread::yield();
  }
  set_event_sink(nullptr);
  stop.store(true);
  for (std::thread& planner : planners) planner.join();
  EXPECT_EQ(counters.late.load(), 0);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GE(counters.delivered.load(), 100);
}

TEST(EventLevels, RenderTheirNames) {
  const std::pair<EventLevel, std::string_view> rows[] = {
      {EventLevel::Error, "error"}, {EventLevel::Warn, "warn"},   {EventLevel::Info, "info"},
      {EventLevel::Debug, "debug"}, {EventLevel::Trace, "trace"},
  };
  for (const auto& [level, name] : rows) EXPECT_EQ(to_string(level), name);
}

}  // namespace
}  // namespace meshweave
