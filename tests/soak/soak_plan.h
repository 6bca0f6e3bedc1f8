// The shape of a soak run: how many calls, which of them wait for a
// time-out, where the warm-up ends, and the check of the two readings.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <string>

#include "tests/soak/process_usage.h"

namespace velinor::soak {

// VELINOR_SOAK_CALLS when set to a positive number, else `fallback`.
inline std::size_t CallsFromEnvironment(std::size_t fallback) {
  const char* value = std::getenv("VELINOR_SOAK_CALLS");
  if (value == nullptr) return fallback;
  const long calls = std::strtol(value, nullptr, 10);
  return calls > 0 ? static_cast<std::size_t>(calls) : fallback;
}

// The first tenth of the calls is warm-up: libcurl, OpenSSL, ICU and the
// allocator's arenas make their one-time allocations there. Time-outs cost a
// second each, so there are only a few: one in the warm-up, the rest spread
// evenly over the measured calls.
class SoakPlan {
 public:
  SoakPlan(std::size_t calls, std::size_t timeOuts)
      : calls_(calls), warmUp_(calls / 10 > 0 ? calls / 10 : 1), timeOuts_(timeOuts) {}

  std::size_t WarmUp() const { return warmUp_; }

  bool IsTimeOut(std::size_t call) const {
    if (timeOuts_ == 0) return false;
    if (call == warmUp_ / 2) return true;
    const std::size_t measured = calls_ - warmUp_;
    const std::size_t spacing = measured / timeOuts_;
    return spacing > 0 && call >= warmUp_ && (call - warmUp_) % spacing == spacing / 2 &&
           (call - warmUp_) / spacing < timeOuts_ - 1;
  }

 private:
  std::size_t calls_;
  std::size_t warmUp_;
  std::size_t timeOuts_;
};

// Keeps a server handler from answering until the client has given up, so
// that its connection ends right after the time-out rather than later.
class Gate {
 public:
  // On the server's thread: waits until Open (at most 10 s), then says so.
  void WaitOnServer() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
    open_ = false;
    answered_ = true;
    changed_.notify_all();
  }
  // On the test's thread, once the client returned: lets the handler go and
  // waits until it has.
  void Open() {
    std::unique_lock lock(mutex_);
    open_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(10), [this] { return answered_; });
    answered_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  bool answered_ = false;
};

inline void ExpectFlat(const Usage& afterWarmUp, const Usage& atEnd, std::size_t measuredCalls,
                       std::size_t descriptorMargin, std::size_t residentMarginBytes) {
  std::cout << "after warm-up: " << afterWarmUp << "\nat the end:    " << atEnd << "\nover "
            << measuredCalls << " calls\n";
  EXPECT_LE(atEnd.descriptors, afterWarmUp.descriptors + descriptorMargin);
  if (ResidentSizeIsMeaningful()) {
    EXPECT_LE(atEnd.residentBytes, afterWarmUp.residentBytes + residentMarginBytes);
  } else {
    std::cout << "resident size not compared: freed memory is held back by the checker\n";
  }
}

}  // namespace velinor::soak
