// Computes the two single-chain tables that ship with the program: the per-length
// electrostatic free energy of a charged cylinder, rows over ka, columns over ki.
//
//   generate_chain_tables OUTDIR
//
// writes OUTDIR/Chains_values.dat (20 x 20) and OUTDIR/Chains_values01.dat (99 x 99).

#include "files/ChainTables.h"
#include "io/FileAccess.h"
#include "io/NumberText.h"
#include "kernel/Interpolation.h"
#include "physics/FreeEnergy.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

using namespace marlinq;

namespace {

// Per-length energy: unit length, no neutral block, no logarithmic term.
double perLengthEnergy(double ka, double ki) { return FreeEnergy::freeEnergy_Chain(0.0, ka, ki, 1.0, false, 0, 10); }

std::vector<double> computeTable(int size, double step) {
    std::vector<double> values(static_cast<std::size_t>(size) * size, 0.0);
#pragma omp parallel for schedule(dynamic, 1)
    for (int r = 0; r < size; ++r) {
        const double ka = r * step + kTableOrigin;
        for (int c = 0; c < size; ++c) {
            const double ki = c * step + kTableOrigin;
            values[static_cast<std::size_t>(r) * size + c] = perLengthEnergy(ka, ki);
        }
    }
    return values;
}

bool writeTable(const std::filesystem::path& path, const std::vector<double>& values, int size) {
    std::string text;
    for (int r = 0; r < size; ++r) {
        for (int c = 0; c < size; ++c) {
            if (c > 0) text += '\t';
            text += significantText(values[static_cast<std::size_t>(r) * size + c], 17);
        }
        text += '\n';
    }
    std::string error;
    if (!writeTextFileAtomically(path.string(), text, error)) {
        std::cerr << error << '\n';
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: generate_chain_tables OUTDIR\n";
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);

    struct Job {
        const char* file;
        int size;
        double step;
    };
    const Job jobs[] = {{kCoarseTableFile, 20, kCoarseStep}, {kFineTableFile, 99, kFineStep}};
    for (const Job& job : jobs) {
        const auto start = std::chrono::steady_clock::now();
        const std::vector<double> values = computeTable(job.size, job.step);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::filesystem::path path = dir / job.file;
        if (!writeTable(path, values, job.size)) {
            std::cerr << "can not write " << path.string() << "\n";
            return 1;
        }
        std::cout << path.string() << ": " << job.size * job.size << " chains in " << seconds << " s\n";
    }
    return 0;
}
