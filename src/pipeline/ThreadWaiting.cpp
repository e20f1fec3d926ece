#include "pipeline/ThreadWaiting.h"

#include <cstdlib>

#if defined(__linux__)
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace marlinq {

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

bool openMpWaitChosen() { return isSet("OMP_WAIT_POLICY") || isSet("GOMP_SPINCOUNT"); }

void waitPassivelyInOpenMp(char** argv) {
    if (openMpWaitChosen()) return;
    if (::setenv("OMP_WAIT_POLICY", kPassiveWaitPolicy, 1) != 0) return;
#if defined(__linux__)
    // LLVM's runtime reads its environment at the first parallel region, after this. GNU's
    // has read it already (a constructor of the library): the program runs again with the
    // variable set, and the second start finds it set and goes on.
    const bool llvmRuntime = ::dlsym(RTLD_DEFAULT, "__kmpc_fork_call") != nullptr;
    if (!llvmRuntime && argv != nullptr && argv[0] != nullptr) ::execv("/proc/self/exe", argv);
#else
    (void)argv;
#endif
}

}  // namespace marlinq
