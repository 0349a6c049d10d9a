#pragma once
// Where the filler characters of a scrambled value come from. Tests inject a fixed sequence.

#include <cstdint>
#include <random>

namespace mirelo {

class RandomSource {
  public:
    virtual ~RandomSource() = default;
    // A number in [0, 1).
    virtual double Next() = 0;
};

// A generator seeded from the clock when it is made, as the original seeds its generator before each
// scramble; one instance per save keeps two saves in a row apart.
class ClockSeededRandom final : public RandomSource {
  public:
    ClockSeededRandom();
    double Next() override;

  private:
    std::mt19937_64 engine_;
    std::uniform_real_distribution<double> unit_{0.0, 1.0};
};

}  // namespace mirelo
