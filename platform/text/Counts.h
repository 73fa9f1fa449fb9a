#pragma once

// How the application says a count: "1 fotogramma", "3 fotogrammi", "1.234 file". Italian
// takes the singular for exactly one; large numbers group their digits in threes with ".".

#include <QString>
#include <QStringView>

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvora::platform {

enum class Digits { Plain, Grouped };

// "1234567" as "1.234.567".
[[nodiscard]] std::string groupedDigits(std::int64_t n);

// The form that goes with `n`: `one` for exactly one, `many` otherwise (zero included).
[[nodiscard]] constexpr std::string_view forCount(std::int64_t n, std::string_view one, std::string_view many)
{
    return n == 1 ? one : many;
}

// "<n> <one>" or "<n> <many>".
[[nodiscard]] std::string countText(std::int64_t n, std::string_view one, std::string_view many,
                                    Digits digits = Digits::Plain);
[[nodiscard]] QString countText(std::int64_t n, QStringView one, QStringView many, Digits digits = Digits::Plain);

// "1 fotogramma", "3 fotogrammi": the count every message of the application gives frames in.
[[nodiscard]] std::string framesText(std::int64_t n);
[[nodiscard]] QString qFramesText(std::int64_t n);

// What a progress bar adds for the time a job still needs: " · ancora 1 min 5 s",
// " · ancora 40 s"; empty while it is not known (negative).
[[nodiscard]] QString timeLeftSuffix(int secondsLeft);

}  // namespace kelvora::platform
