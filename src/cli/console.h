// Standard error as the console of the command line. What is written reaches the stream within a
// few milliseconds, written by a thread of its own: a warning is seen when it happens, and a run
// with many warnings makes few system calls.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/file.h"

namespace tpjconv {

class ConsoleStream final : public ByteSink {
 public:
  explicit ConsoleStream(ByteSink& destination);
  ConsoleStream(const ConsoleStream&) = delete;
  ConsoleStream& operator=(const ConsoleStream&) = delete;
  // Writes what is left and ends the thread.
  ~ConsoleStream() override;

  // Takes the bytes to write soon. A console that cannot be written is no failure of the run:
  // this never fails.
  IoResult write(const char* data, std::size_t size) override;
  // Returns once everything taken so far is written.
  int flush() override;
  int close() override { return flush(); }

 private:
  void work();

  ByteSink& destination_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string pending_;
  bool writing_ = false;
  bool hurry_ = false;  // a flush waits: no gathering
  bool stopping_ = false;
  std::thread thread_;  // last: started once the rest is set up; none when it could not start
};

}  // namespace tpjconv
