#pragma once
// A random source that repeats a fixed list, for predictable filler.

#include <cstddef>
#include <utility>
#include <vector>

#include "agent/config/random_source.h"

namespace mirelo {

class FixedRandom final : public RandomSource {
  public:
    explicit FixedRandom(std::vector<double> values = {0.0}) : values_(std::move(values)) {}
    double Next() override { return values_[next_++ % values_.size()]; }

  private:
    std::vector<double> values_;
    std::size_t next_ = 0;
};

}  // namespace mirelo
