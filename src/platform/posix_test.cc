#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <regex>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/process.h"

namespace tpjconv::platform {
namespace {

// The time of the run in the zone of TZ, with its offset: east of UTC "+", west "-", minutes too.
TEST(LocalTime, Iso8601WithTheOffsetOfTheZone) {
  const char* const before = std::getenv("TZ");
  const std::string saved = before != nullptr ? before : "";
  const std::regex form(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
  // POSIX TZ strings count west of UTC as positive.
  for (const auto& [zone, offset, seconds] :
       {std::tuple{"UTC0", "+00:00", 0L}, std::tuple{"IST-05:30", "+05:30", 19800L},
        std::tuple{"NST+03:30", "-03:30", -12600L}}) {
    ::setenv("TZ", zone, 1);
    ::tzset();
    const time_t now = ::time(nullptr);
    const std::string text = local_time();
    EXPECT_TRUE(std::regex_match(text, form)) << text;
    EXPECT_TRUE(text.ends_with(offset)) << zone << ": " << text;
    // The clock read within a few seconds of now, shifted by the zone's offset.
    struct tm utc {};
    const time_t shifted = now + seconds;
    ::gmtime_r(&shifted, &utc);
    const std::string day_and_hour =
        std::to_string(utc.tm_year + 1900) + "-" + (utc.tm_mon < 9 ? "0" : "") +
        std::to_string(utc.tm_mon + 1) + "-" + (utc.tm_mday < 10 ? "0" : "") +
        std::to_string(utc.tm_mday) + "T" + (utc.tm_hour < 10 ? "0" : "") +
        std::to_string(utc.tm_hour);
    EXPECT_TRUE(text.starts_with(day_and_hour) || utc.tm_min == 59) << text << " " << zone;
  }
  if (before != nullptr) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

// Asking for the mask leaves it as it is, even for a moment: a file that another thread creates
// meanwhile gets the mode the mask gives. Two conversions of files run at once in one process.
TEST(FileCreationMask, ReadWithoutChangingItWhileAnotherThreadCreatesFiles) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tpjconv_mask_" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const mode_t before = ::umask(077);
  std::atomic<bool> done = false;
  int wrong = 0;
  std::thread asking([&] {
    while (!done) wrong += file_creation_mask() == 077 ? 0 : 1;
  });
  int modes_wrong = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::string path = (dir / std::to_string(i)).string();
    Result<File> file = open_in_place(path);
    ASSERT_TRUE(file.ok());
    struct stat info {};
    ASSERT_EQ(0, ::stat(path.c_str(), &info));
    modes_wrong += (info.st_mode & 0777) == 0600 ? 0 : 1;
  }
  done = true;
  asking.join();
  ::umask(before);
  EXPECT_EQ(0, wrong);
  EXPECT_EQ(0, modes_wrong) << "files created with a mask that was changed meanwhile";
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tpjconv::platform
