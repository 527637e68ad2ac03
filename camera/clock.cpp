#include "camera/clock.h"

#include <thread>

namespace vx {

std::chrono::nanoseconds SystemClock::Now() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::Sleep(std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
}

}  // namespace vx
