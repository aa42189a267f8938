// Admits at most a fixed number of concurrent scoring calls; the one counter the engine keeps
// besides the loaded background model.
#pragma once

#include <atomic>
#include <cstdint>

namespace kestrune {

class StreamGate {
  public:
    explicit StreamGate(int32_t limit) : limit_(limit) {}

    // Holds one place for its lifetime, if one was free.
    class Pass {
      public:
        explicit Pass(StreamGate& gate)
            : gate_(gate), admitted_(gate.active_.fetch_add(1) < gate.limit_) {}
        ~Pass() { gate_.active_.fetch_sub(1); }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        bool admitted() const { return admitted_; }

      private:
        StreamGate& gate_;
        bool admitted_;
    };

  private:
    const int32_t limit_;
    std::atomic<int32_t> active_{0};
};

}  // namespace kestrune
