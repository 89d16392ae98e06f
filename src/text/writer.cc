#include "text/writer.h"

#include <new>
#include <system_error>

#include "platform/process.h"

namespace tpjconv {

Writer::~Writer() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

int Writer::add(ByteSink& destination) {
  lanes_.push_back(Lane{&destination});
  return static_cast<int>(lanes_.size() - 1);
}

int Writer::write(Lane& lane, const std::string& buffer) {
  if (lane.error == 0 && !buffer.empty()) {
    lane.error = lane.destination->write(buffer.data(), buffer.size()).error;
  }
  return lane.error;
}

void Writer::start() {
  // The new thread inherits the held signals and keeps them held for its whole life.
  const platform::SignalsHeld held;
  // No thread to be had, or no memory for one: the writes stay on this thread. Nothing is
  // thrown from here, which a sink's destructor may reach through its last flush.
  try {
    thread_ = std::thread([this] { work(); });
  } catch (const std::system_error&) {
    start_failed_ = true;
  } catch (const std::bad_alloc&) {
    start_failed_ = true;
  }
}

int Writer::hand_over(int destination, std::string& buffer) {
  Lane& lane = lanes_[static_cast<std::size_t>(destination)];
  if (!thread_.joinable()) {
    handed_over_ += buffer.size();
    if (handed_over_ >= start_after_ && !start_failed_) start();
  }
  if (!thread_.joinable()) {
    const int error = write(lane, buffer);
    buffer.clear();
    return error;
  }
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return count_ < kDepth; });
  Job& job = ring_[(head_ + count_) % kDepth];
  job.lane = destination;
  job.buffer.swap(buffer);
  ++count_;
  ++lane.waiting;
  const int error = lane.error;
  lock.unlock();
  changed_.notify_all();
  return error;
}

int Writer::wait(int destination) {
  Lane& lane = lanes_[static_cast<std::size_t>(destination)];
  if (!thread_.joinable()) return lane.error;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&lane] { return lane.waiting == 0; });
  return lane.error;
}

void Writer::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return count_ > 0 || stopping_; });
    if (count_ == 0) return;  // stopping, with nothing left to write
    Job& job = ring_[head_];
    Lane& lane = lanes_[static_cast<std::size_t>(job.lane)];
    ByteSink* const destination = lane.destination;
    int error = lane.error;
    lock.unlock();
    // The job stays counted while it is written: no buffer is handed into its place meanwhile.
    if (error == 0 && !job.buffer.empty()) {
      error = destination->write(job.buffer.data(), job.buffer.size()).error;
    }
    job.buffer.clear();
    lock.lock();
    lane.error = error;
    --lane.waiting;
    head_ = (head_ + 1) % kDepth;
    --count_;
    changed_.notify_all();
  }
}

}  // namespace tpjconv
