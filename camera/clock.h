#pragma once
// Time for the camera code: the pauses between listing attempts, and what a simulated
// line or device needs to know about "now". Tests replace it with a simulated clock, so
// a pause costs no real time.

#include <chrono>

namespace vx {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::chrono::nanoseconds Now() const = 0;
    virtual void Sleep(std::chrono::milliseconds pause) = 0;
};

// The real clock: steady time and a real sleep of the calling thread.
class SystemClock final : public Clock {
  public:
    std::chrono::nanoseconds Now() const override;
    void Sleep(std::chrono::milliseconds pause) override;
};

}  // namespace vx
