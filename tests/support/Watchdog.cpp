#include "support/Watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace testsupport {

Watchdog::Watchdog(std::chrono::milliseconds limit, std::string what) {
  thread_ = std::thread([this, limit, what = std::move(what)] {
    std::unique_lock lock(m_);
    if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
      std::fprintf(stderr, "watchdog: %s did not finish within %lld ms\n", what.c_str(),
                   static_cast<long long>(limit.count()));
      std::abort();
    }
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(m_);
    done_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

}  // namespace testsupport
