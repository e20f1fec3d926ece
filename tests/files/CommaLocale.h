#pragma once
// Runs a test body under a locale whose decimal separator is a comma, as the window's
// start-up (setlocale(LC_ALL, "")) would on a German desktop.

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace marlinq::testing {

class CommaLocale {
public:
    CommaLocale() {
        const char* old = std::setlocale(LC_ALL, nullptr);
        previous_ = old ? old : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) {
                active_ = true;
                break;
            }
        }
    }
    ~CommaLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    bool active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};

}  // namespace marlinq::testing

#define MARLINQ_REQUIRE_COMMA_LOCALE(guard)                                              \
    ::marlinq::testing::CommaLocale guard;                                               \
    if (!guard.active()) GTEST_SKIP() << "de_DE.UTF-8 locale not available"; \
    ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",")
