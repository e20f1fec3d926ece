#include "kernel/Fatal.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace marlinq {

void fatalExit(std::string_view msg, int exitCode) {
    std::cout << msg;
    std::cout.flush();
    std::fflush(stdout);
    std::exit(exitCode);
}

void error(std::string_view msg) {
    std::cout << msg << ". program exited.\n";
    std::cout.flush();
    std::fflush(stdout);
    std::exit(1);
}

}  // namespace marlinq
