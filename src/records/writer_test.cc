#include "records/writer.h"

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "records/sink.h"

namespace tpjconv {
namespace {

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
  EXPECT_EQ(expected[0], a.text);
  EXPECT_EQ(expected[1], b.text);
  EXPECT_EQ(expected[2], c.text);
  EXPECT_NE(std::this_thread::get_id(), a.threads.front());
}

TEST(Writer, StartsNoThreadBelowItsThreshold) {
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
  EXPECT_EQ(expected, fine.text);
}

TEST(Writer, SinksHandOverWholePiecesAndFlushWaitsForThem) {
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
    EXPECT_EQ(expected, file.text);
    sink.write("after the flush\n");
    expected += "after the flush\n";
  }  // the sink goes first and hands over its last piece; then the writer
  EXPECT_EQ(expected, file.text);
}

}  // namespace
}  // namespace tpjconv
