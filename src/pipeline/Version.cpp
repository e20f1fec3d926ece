#include "pipeline/Version.h"

namespace marlinq {

std::string provenance() {
    std::string s(programVersion());
    s += " (commit ";
    s += buildCommit();
    s += ')';
    return s;
}

std::string versionLine(std::string_view program) {
    std::string s(program);
    s += ' ';
    s += provenance();
    return s;
}

}  // namespace marlinq
