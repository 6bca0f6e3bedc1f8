#include <gtest/gtest.h>

#include <memory>

#include "text/text.h"

namespace velinor {
namespace {

// Leaves no pump behind for the next test.
class ProcessEventsTest : public testing::Test {
 protected:
  void TearDown() override { SetProcessEventsHook(nullptr); }
};

TEST_F(ProcessEventsTest, CallsInstalledPumpAndHandsBackThePrevious) {
  int first = 0;
  int second = 0;
  EXPECT_FALSE(SetProcessEventsHook([&] { ++first; }));
  ProcessEvents();
  ProcessEvents();
  EXPECT_EQ(first, 2);

  auto previous = SetProcessEventsHook([&] { ++second; });
  ASSERT_TRUE(previous);
  ProcessEvents();
  EXPECT_EQ(second, 1);
  previous();
  EXPECT_EQ(first, 3);

  EXPECT_TRUE(SetProcessEventsHook(nullptr));
  ProcessEvents();
  EXPECT_EQ(first, 3);
  EXPECT_EQ(second, 1);
}

// An event handler run by the pump may start another request, which calls
// ProcessEvents again, and may even replace the pump; the running pump and
// everything it captured must stay alive until it returns.
TEST_F(ProcessEventsTest, PumpMayReenterAndReplaceItself) {
  auto depth = std::make_shared<int>(0);
  int calls = 0;
  int replacementCalls = 0;
  SetProcessEventsHook([depth, &calls, &replacementCalls] {
    ++calls;
    ++*depth;
    if (*depth == 1) {
      ProcessEvents();  // nested: runs this same pump once more
      SetProcessEventsHook([&replacementCalls] { ++replacementCalls; });
      ProcessEvents();  // runs the replacement
    }
    --*depth;  // touches the captures after the pump was replaced
  });
  depth.reset();
  ProcessEvents();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(replacementCalls, 1);
  ProcessEvents();
  EXPECT_EQ(replacementCalls, 2);
}

}  // namespace
}  // namespace velinor
