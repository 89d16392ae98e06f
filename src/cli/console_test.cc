#include "cli/console.h"

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

// Keeps what is written, and how many writes brought it; read from the test's thread.
class Recorder : public ByteSink {
 public:
  IoResult write(const char* data, std::size_t size) override {
    const std::lock_guard lock(mutex_);
    text_.append(data, size);
    ++writes_;
    return {size, 0};
  }
  int close() override { return 0; }
  std::string text() {
    const std::lock_guard lock(mutex_);
    return text_;
  }
  int writes() {
    const std::lock_guard lock(mutex_);
    return writes_;
  }

 private:
  std::mutex mutex_;
  std::string text_;
  int writes_ = 0;
};

TEST(ConsoleStream, ALineReachesTheStreamSoonWithoutAFlush) {
  Recorder recorder;
  ConsoleStream console(recorder);
  console.write("a warning\n", 10);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (recorder.text().empty() && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ("a warning\n", recorder.text());
}

TEST(ConsoleStream, ManyLinesGoOutInOrderInFewWrites) {
  Recorder recorder;
  std::string expected;
  {
    ConsoleStream console(recorder);
    for (int i = 0; i < 20000; ++i) {
      const std::string line = "line " + std::to_string(i) + "\n";
      console.write(line.data(), line.size());
      expected += line;
      if (i == 9999) {
        console.flush();
        // A flush returns once everything so far is written.
        EXPECT_EQ(expected, recorder.text());
      }
    }
  }
  // The rest is written when the stream goes.
  EXPECT_EQ(expected, recorder.text());
  EXPECT_LT(recorder.writes(), 2000);
}

}  // namespace
}  // namespace tpjconv
