#include "agent/config/random_source.h"

#include <chrono>

namespace mirelo {

ClockSeededRandom::ClockSeededRandom()
    : engine_(static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
              static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {}

double ClockSeededRandom::Next() {
    double r = unit_(engine_);
    // uniform_real_distribution may return its upper bound through rounding on some libraries.
    return r < 1.0 ? r : 0.0;
}

}  // namespace mirelo
