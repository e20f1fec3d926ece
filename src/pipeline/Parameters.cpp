#include "pipeline/Parameters.h"

namespace marlinq {

Parameters& processParameters() {
    static Parameters parameters;
    return parameters;
}

}  // namespace marlinq
