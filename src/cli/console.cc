#include "cli/console.h"

#include <chrono>
#include <new>
#include <system_error>

#include "platform/process.h"

namespace tpjconv {

ConsoleStream::ConsoleStream(ByteSink& destination) : destination_(destination) {
  // The thread keeps the signals that end the process held: they go to the run's own thread.
  const platform::SignalsHeld held;
  // Without a thread each write goes straight to the stream.
  try {
    thread_ = std::thread([this] { work(); });
  } catch (const std::system_error&) {
  } catch (const std::bad_alloc&) {
  }
}

ConsoleStream::~ConsoleStream() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

IoResult ConsoleStream::write(const char* data, std::size_t size) {
  if (!thread_.joinable()) {
    destination_.write(data, size);
    return {size, 0};
  }
  bool was_empty = false;
  {
    const std::lock_guard lock(mutex_);
    was_empty = pending_.empty();
    pending_.append(data, size);
  }
  if (was_empty) changed_.notify_all();
  return {size, 0};
}

int ConsoleStream::flush() {
  if (!thread_.joinable()) return 0;
  std::unique_lock lock(mutex_);
  hurry_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return pending_.empty() && !writing_; });
  hurry_ = false;
  return 0;
}

void ConsoleStream::work() {
  std::string out;
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !pending_.empty() || stopping_; });
    if (pending_.empty()) return;  // stopping, with nothing left to write
    // The lines of a burst, written within 2 ms of its first, go out in one write.
    changed_.wait_for(lock, std::chrono::milliseconds(2), [this] { return hurry_ || stopping_; });
    out.swap(pending_);
    writing_ = true;
    lock.unlock();
    destination_.write(out.data(), out.size());
    out.clear();
    lock.lock();
    writing_ = false;
    changed_.notify_all();
  }
}

}  // namespace tpjconv
