#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/process.h"

namespace tpjconv::platform {
namespace {

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
