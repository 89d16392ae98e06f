#include "watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace tpjconv::testing {

Watchdog::Watchdog(std::string what, std::chrono::seconds limit)
    : thread_([this, what = std::move(what), limit] {
        std::unique_lock lock(mutex_);
        if (done_changed_.wait_for(lock, limit, [this] { return done_; })) return;
        std::fprintf(stderr, "tpjconv tests: %s did not finish within %lld s\n", what.c_str(),
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(1);
      }) {}

Watchdog::~Watchdog() {
  {
    const std::lock_guard lock(mutex_);
    done_ = true;
  }
  done_changed_.notify_all();
  thread_.join();
}

}  // namespace tpjconv::testing
