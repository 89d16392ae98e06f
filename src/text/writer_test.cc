#include "text/writer.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "same_bytes.h"
#include "text/sink.h"
#include "watchdog.h"

namespace tpjconv {
namespace {

using testing::same_bytes;
using testing::Watchdog;

// Keeps what it is given, fails from the `fail_at`-th write on with ENOSPC (0: never), and notes
// the threads that wrote.
class Recorder : public ByteSink {
 public:
  explicit Recorder(int fail_at = 0) : fail_at_(fail_at) {}
  IoResult write(const char* data, std::size_t size) override {
    ++writes;
    threads.push_back(std::this_thread::get_id());
    if (fail_at_ != 0 && writes >= fail_at_) return {0, ENOSPC};
    text.append(data, size);
    return {size, 0};
  }
  int close() override { return 0; }

  std::string text;
  int writes = 0;
  std::vector<std::thread::id> threads;

 private:
  int fail_at_;
};

std::string piece(int destination, int n) {
  return std::string(1000 + n % 7, static_cast<char>('a' + destination)) + std::to_string(n) + "\n";
}

TEST(Writer, KeepsTheOrderOfEachDestinationOnItsThread) {
  const Watchdog watchdog("Writer.KeepsTheOrderOfEachDestinationOnItsThread");
  Recorder a, b, c;
  std::string expected[3];
  {
    Writer writer(0);
    const int lanes[3] = {writer.add(a), writer.add(b), writer.add(c)};
    for (int n = 0; n < 3000; ++n) {
      const int d = n * 7 % 3;
      std::string buffer = piece(d, n);
      expected[d] += buffer;
      EXPECT_EQ(0, writer.hand_over(lanes[d], buffer));
      EXPECT_TRUE(buffer.empty());
    }
    EXPECT_TRUE(writer.threaded());
    for (const int lane : lanes) EXPECT_EQ(0, writer.wait(lane));
  }
  EXPECT_TRUE(same_bytes(expected[0], a.text));
  EXPECT_TRUE(same_bytes(expected[1], b.text));
  EXPECT_TRUE(same_bytes(expected[2], c.text));
  EXPECT_NE(std::this_thread::get_id(), a.threads.front());
}

TEST(Writer, StartsNoThreadBelowItsThreshold) {
  const Watchdog watchdog("Writer.StartsNoThreadBelowItsThreshold");
  Recorder a;
  Writer writer(1 << 20);
  const int lane = writer.add(a);
  std::string buffer = "a small run\n";
  EXPECT_EQ(0, writer.hand_over(lane, buffer));
  EXPECT_EQ(0, writer.wait(lane));
  EXPECT_FALSE(writer.threaded());
  EXPECT_EQ("a small run\n", a.text);
  EXPECT_EQ(std::this_thread::get_id(), a.threads.front());
}

TEST(Writer, AFailedWriteEndsItsDestinationOnly) {
  const Watchdog watchdog("Writer.AFailedWriteEndsItsDestinationOnly");
  Recorder failing(3), fine;
  Writer writer(0);
  const int bad = writer.add(failing);
  const int good = writer.add(fine);
  std::string expected;
  for (int n = 0; n < 50; ++n) {
    std::string buffer = piece(0, n);
    writer.hand_over(bad, buffer);
    buffer = piece(1, n);
    expected += buffer;
    EXPECT_EQ(0, writer.hand_over(good, buffer));
  }
  EXPECT_EQ(ENOSPC, writer.wait(bad));
  EXPECT_EQ(0, writer.wait(good));
  EXPECT_EQ(3, failing.writes);  // nothing after the failed one
  EXPECT_EQ(piece(0, 0) + piece(0, 1), failing.text);
  EXPECT_TRUE(same_bytes(expected, fine.text));
}

TEST(Writer, SinksHandOverWholePiecesAndFlushWaitsForThem) {
  const Watchdog watchdog("Writer.SinksHandOverWholePiecesAndFlushWaitsForThem");
  Recorder file;
  std::string expected;
  {
    Writer writer(0);
    Sink sink(file);
    sink.write_through(writer);
    for (int n = 0; n < 20000; ++n) {
      const std::string line = piece(n % 3, n);
      expected += line;
      sink.write(line);
    }
    EXPECT_TRUE(sink.flush());
    EXPECT_TRUE(same_bytes(expected, file.text));
    sink.write("after the flush\n");
    expected += "after the flush\n";
  }  // the sink goes first and hands over its last piece; then the writer
  EXPECT_TRUE(same_bytes(expected, file.text));
}

// A gate that a write waits at until the test opens it, or two seconds have passed: a writer
// that waits where it must not fails the test in seconds instead of hanging it.
class Gate {
 public:
  void open() {
    {
      const std::lock_guard lock(mutex_);
      open_ = true;
    }
    opened_.notify_all();
  }
  // True when the gate was opened in time.
  bool pass() {
    std::unique_lock lock(mutex_);
    return opened_.wait_for(lock, std::chrono::seconds(2), [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

// Keeps what it is given; its first write waits at the gate.
class GatedRecorder : public ByteSink {
 public:
  explicit GatedRecorder(Gate& gate) : gate_(gate) {}
  IoResult write(const char* data, std::size_t size) override {
    if (writes++ == 0) opened_in_time = gate_.pass();
    text.append(data, size);
    return {size, 0};
  }
  int close() override { return 0; }

  std::string text;
  int writes = 0;
  bool opened_in_time = false;

 private:
  Gate& gate_;
};

// While the first buffer of a destination is being written, the next ones wait in the queue:
// handing them over does not wait for that write, and they are written in the order handed over.
TEST(Writer, QueuesSeveralBuffersOfOneDestinationInOrderWithoutWaiting) {
  const Watchdog watchdog("Writer.QueuesSeveralBuffersOfOneDestinationInOrderWithoutWaiting");
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    Gate gate;
    GatedRecorder file(gate);
    std::string expected;
    {
      Writer writer(0);
      const int lane = writer.add(file);
      // As many buffers as may wait, the first of them held at the gate while the rest queue.
      for (std::size_t n = 0; n < Writer::kDepth; ++n) {
        std::string buffer = piece(0, static_cast<int>(n + 10 * round));
        expected += buffer;
        EXPECT_EQ(0, writer.hand_over(lane, buffer));
      }
      gate.open();
      // More than the queue holds, so that handing over must wait for room now and then.
      for (int n = 0; n < 50; ++n) {
        std::string buffer = piece(1, n);
        expected += buffer;
        EXPECT_EQ(0, writer.hand_over(lane, buffer));
      }
      EXPECT_EQ(0, writer.wait(lane));
    }
    ASSERT_TRUE(file.opened_in_time) << "handing over a buffer waited for the one being written";
    ASSERT_TRUE(same_bytes(expected, file.text));
  }
}

// Before the thread starts, buffers are written on the calling thread: a destination that fails
// there keeps its error and gets no more writes; an empty buffer writes nothing, there or on the
// thread.
TEST(Writer, AFailedWriteBeforeTheThreadEndsItsDestinationToo) {
  const Watchdog watchdog("Writer.AFailedWriteBeforeTheThreadEndsItsDestinationToo");
  Recorder failing(2), fine;
  {
    Writer writer(1 << 20);
    const int bad = writer.add(failing);
    const int good = writer.add(fine);
    std::string buffer = "first\n";
    EXPECT_EQ(0, writer.hand_over(bad, buffer));
    buffer = "second\n";
    EXPECT_EQ(ENOSPC, writer.hand_over(bad, buffer));
    buffer = "third\n";
    EXPECT_EQ(ENOSPC, writer.hand_over(bad, buffer));
    EXPECT_TRUE(buffer.empty());
    std::string empty;
    EXPECT_EQ(0, writer.hand_over(good, empty));
    EXPECT_FALSE(writer.threaded());
    EXPECT_EQ(ENOSPC, writer.wait(bad));
    EXPECT_EQ(0, writer.wait(good));
  }
  EXPECT_EQ(2, failing.writes);
  EXPECT_EQ("first\n", failing.text);
  EXPECT_EQ(0, fine.writes);
  Recorder threaded;
  {
    Writer writer(0);
    const int lane = writer.add(threaded);
    std::string empty;
    EXPECT_EQ(0, writer.hand_over(lane, empty));
    std::string buffer = "on the thread\n";
    EXPECT_EQ(0, writer.hand_over(lane, buffer));
    EXPECT_EQ(0, writer.wait(lane));
    EXPECT_TRUE(writer.threaded());
  }
  EXPECT_EQ(1, threaded.writes);
  EXPECT_EQ("on the thread\n", threaded.text);
}

}  // namespace
}  // namespace tpjconv
