// The outputs' locks: a run waits for another that holds a lock on its directory or on a file it
// writes in place, says so once, and gives up after the wait it was given, replacing nothing.
#include "files/outputs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

namespace fs = std::filesystem;

class NoSignals final : public Interrupts {
 public:
  void remove_on_signal(const std::string&) override {}
  void keep_on_signal(const std::string&) override {}
  void hold() override {}
  void release() override {}
};

class Notices final : public WarningOut {
 public:
  void warning(Warning&& warning) override { lines.push_back(warning.text); }
  std::vector<std::string> lines;
};

std::string read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Another process's lock, as flock sees it: an open file description of its own.
class HeldLock {
 public:
  explicit HeldLock(const fs::path& path) : fd_(::open(path.c_str(), O_RDONLY)) {
    EXPECT_EQ(0, ::flock(fd_, LOCK_EX | LOCK_NB)) << path;
  }
  ~HeldLock() { ::close(fd_); }

 private:
  int fd_;
};

class OutputLocks : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tpjconv_locks_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::ofstream(dir_ / "out.dat") << "earlier\n";
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Plans and writes out.dat through `outputs` up to its lock.
  void write_new(Outputs& outputs) {
    ASSERT_TRUE(outputs.plan(Role::output, (dir_ / "out.dat").string()).ok());
    ASSERT_TRUE(outputs.open().ok());
    ASSERT_TRUE(outputs.start().ok());
    outputs.sink(0).write("new\n");
    ASSERT_TRUE(outputs.close().empty());
  }

  std::set<std::string> names() const {
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      found.insert(entry.path().filename().string());
    }
    return found;
  }

  fs::path dir_;
  NoSignals signals_;
  FileHooks hooks_;
  Notices notices_;
  OutputTuning tuning_;
};

TEST_F(OutputLocks, AHeldDirectoryLockEndsTheWaitWithNothingReplaced) {
  tuning_.lock_wait = std::chrono::milliseconds(1500);
  const HeldLock held(dir_);
  const auto started = std::chrono::steady_clock::now();
  {
    Outputs outputs(signals_, hooks_, notices_, nullptr, tuning_);
    write_new(outputs);
    const Status locked = outputs.lock();
    ASSERT_FALSE(locked.ok());
    EXPECT_EQ("cannot lock " + dir_.string() + ": another process holds it; no file was replaced",
              locked.error().message);
  }
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(1500));
  EXPECT_LT(waited, std::chrono::seconds(10));
  EXPECT_EQ(std::vector<std::string>{"waiting for another run to finish putting its files in "
                                     "place in " + dir_.string()},
            notices_.lines);
  EXPECT_EQ("earlier\n", read(dir_ / "out.dat"));
  EXPECT_EQ(std::set<std::string>{"out.dat"}, names());
}

TEST_F(OutputLocks, ALockReleasedDuringTheWaitIsTaken) {
  tuning_.lock_wait = std::chrono::seconds(20);
  auto held = std::make_unique<HeldLock>(dir_);
  std::thread release([&held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    held.reset();
  });
  Outputs outputs(signals_, hooks_, notices_, nullptr, tuning_);
  write_new(outputs);
  const Status locked = outputs.lock();
  release.join();
  ASSERT_TRUE(locked.ok()) << locked.error().message;
  // Within the first second: no word of waiting.
  EXPECT_TRUE(notices_.lines.empty());
  ASSERT_TRUE(outputs.commit().ok());
  EXPECT_EQ("new\n", read(dir_ / "out.dat"));
}

TEST_F(OutputLocks, AHeldLockOnAFileWrittenInPlaceEndsTheWait) {
  // A second name: the file is written where it stands, and its own lock is taken.
  fs::create_hard_link(dir_ / "out.dat", dir_ / "out.link");
  tuning_.lock_wait = std::chrono::milliseconds(1200);
  const HeldLock held(dir_ / "out.dat");
  {
    Outputs outputs(signals_, hooks_, notices_, nullptr, tuning_);
    write_new(outputs);
    EXPECT_EQ(Placement::in_place, outputs.placement(0));
    const Status locked = outputs.lock();
    ASSERT_FALSE(locked.ok());
    EXPECT_EQ("cannot lock " + (dir_ / "out.dat").string() +
                  ": another process holds it; no file was replaced",
              locked.error().message);
  }
  EXPECT_EQ(1u, notices_.lines.size());
  EXPECT_EQ("earlier\n", read(dir_ / "out.dat"));
  EXPECT_EQ((std::set<std::string>{"out.dat", "out.link"}), names());
}

}  // namespace
}  // namespace tpjconv
