#pragma once
// Switches the C locale to one with a decimal comma (as the window's start-up
// setlocale(LC_ALL, "") does on a German desktop) for the life of the guard.

#include <clocale>
#include <string>

namespace marlinq::testing {

class CommaLocale {
public:
    CommaLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
        active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr && *std::localeconv()->decimal_point == ',';
    }
    ~CommaLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    bool active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};

}  // namespace marlinq::testing

#define MARLINQ_REQUIRE_COMMA_LOCALE(guard) \
    ::marlinq::testing::CommaLocale guard;  \
    if (!guard.active()) GTEST_SKIP() << "de_DE.UTF-8 locale not available"
