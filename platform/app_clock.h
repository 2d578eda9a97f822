#pragma once
// The local date and the logo's random numbers, replaceable by tests.
#include <cstdint>
#include <functional>

namespace fb {

struct LocalDate {
    int year;
    int month; // 1..12
    int day;
};

// The date source; the default reads the local calendar date.
using DateSource = std::function<LocalDate()>;
LocalDate today();
void setDateSource(DateSource source); // empty restores the clock

// The linear congruential generator of the logo: seed 0 at start,
// seed := seed * 134775813 + 1 (mod 2^32), draw = seed / 2^32.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed = 0) : seed_(seed) {}
    double next() {
        seed_ = seed_ * 134775813u + 1u;
        return seed_ / 4294967296.0;
    }
    std::uint32_t seed() const { return seed_; }

private:
    std::uint32_t seed_;
};

} // namespace fb
