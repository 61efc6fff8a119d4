#pragma once
// Counts the live objects a fake hands out, so a test can check that everything was released:
// each object holds a LiveToken on its fake's counter for its lifetime.

#include <memory>

namespace hf::fake {

class LiveToken {
  public:
    explicit LiveToken(std::shared_ptr<int> live) : live_(std::move(live)) { ++*live_; }
    LiveToken(const LiveToken&) = delete;
    LiveToken& operator=(const LiveToken&) = delete;
    ~LiveToken() { --*live_; }

  private:
    std::shared_ptr<int> live_;
};

}  // namespace hf::fake
