#pragma once
// The chain tables shipped in data/, read once per benchmark process.

#include "pipeline/Engine.h"

#include <memory>
#include <string>

namespace marlinq::bench {

inline std::shared_ptr<const ChainTables> shippedTables() {
    static const std::shared_ptr<const ChainTables> tables = [] {
        std::string why;
        return loadTables(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""}, why);
    }();
    return tables;
}

}  // namespace marlinq::bench
