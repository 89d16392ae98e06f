// Writing the run's output files on a thread of their own, so that the conversion goes on while
// the system copies the bytes.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tpjconv/io.h"

namespace tpjconv {

// Takes full output buffers of several destinations and writes them, each destination's in the
// order they were handed over, on one thread. At most kDepth buffers wait at a time: a sink that
// hands over more waits for the thread, so memory stays the same whatever the size of the run.
//
// The thread starts only once `start_after` bytes have been handed over; until then every buffer
// is written at once on the calling thread, so that a small run starts no thread at all. It
// starts with the signals that end the process held, so that they stay with the thread that
// handles them.
//
// A destination whose write fails keeps the error of that first failed write, and nothing more is
// written to it. All calls come from one thread, the one that owns the sinks.
class Writer {
 public:
  // Below this many bytes of output a thread costs more than it saves (see bench/README.md).
  static constexpr std::size_t kDefaultStartAfter = std::size_t{16} << 20;
  static constexpr std::size_t kDepth = 3;

  explicit Writer(std::size_t start_after = kDefaultStartAfter) : start_after_(start_after) {}
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  // Writes what is still waiting and ends the thread.
  ~Writer();

  // Adds a destination (not owned; it must outlive the writer's use of it) and returns its
  // number. Destinations are added before the first buffer is handed over.
  int add(ByteSink& destination);

  // Hands over `buffer`, which is left empty in exchange (with the room of a buffer written
  // earlier, when there is one). Returns the error of the destination's first failed write
  // so far, or 0.
  int hand_over(int destination, std::string& buffer);

  // Waits until everything handed over for `destination` is written; returns the error of its
  // first failed write, or 0.
  int wait(int destination);

  // True once the thread runs.
  bool threaded() const { return thread_.joinable(); }

 private:
  struct Lane {
    ByteSink* destination;
    int waiting = 0;  // buffers handed over and not yet written
    int error = 0;
  };
  struct Job {
    int lane = 0;
    std::string buffer;
  };

  void start();
  void work();
  // Writes `buffer` to the lane unless it failed before; returns the lane's error.
  static int write(Lane& lane, const std::string& buffer);

  const std::size_t start_after_;
  std::size_t handed_over_ = 0;  // bytes, until the thread starts
  bool start_failed_ = false;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Lane> lanes_;
  std::array<Job, kDepth> ring_;  // jobs from head_ on, count_ of them, the first being written
  std::size_t head_ = 0;
  std::size_t count_ = 0;
  bool stopping_ = false;
  std::thread thread_;  // last: started after the rest is set up, joined before it goes
};

}  // namespace tpjconv
