// A limit on how long a step of a test may take: a test that hangs fails in seconds, saying
// which step, instead of waiting for ctest's timeout.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tpjconv::testing {

// How long one step of a test may take: a run of the tool, a writer test. The builds with
// sanitizers, and Debug builds, run many times slower and get longer (TPJCONV_TEST_SECONDS).
inline constexpr std::chrono::seconds kStepLimit{TPJCONV_TEST_SECONDS / 2};

// Watches from construction to destruction. When the step takes longer than `limit`, it writes
// "tpjconv tests: WHAT did not finish within N s" and ends the test program with status 1.
class Watchdog {
 public:
  explicit Watchdog(std::string what, std::chrono::seconds limit = kStepLimit);
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog();

 private:
  std::mutex mutex_;
  std::condition_variable done_changed_;
  bool done_ = false;
  std::thread thread_;  // last: started once the rest is set up
};

}  // namespace tpjconv::testing
