#pragma once
// The key-value parameter file ("vc01 0.001" per line).

#include <cstdint>
#include <string>
#include <vector>

namespace marlinq {

inline constexpr const char* kParameterFileOpenError = "can not open file";
inline constexpr std::int32_t kUnknownKeyPid = 15;

// Fields of a line: maximal runs of characters other than blank and tab.
void StringExplode(const std::string& str, std::vector<std::string>& results);

// Reads the file into the variables, each at once as its line is read; pid receives the
// key number of the last line read (caller presets 15). Returns false, changing
// nothing, when the file cannot be opened.
bool readParameter(double& kip, double& kim, double& ka, double& vc01, double& vc10, double& zp, double& zn,
                   const std::string& file, std::int32_t& Np, std::int32_t& Nm, std::int32_t& mpMin,
                   std::int32_t& mpMax, std::int32_t& mmMin, std::int32_t& mmMax, std::int32_t& pid);

struct ParameterFileValues {
    double vc01, vc10, zp, zn, kip, kim, ka;
    std::int32_t Np, Nm, mpMin, mpMax, mmMin, mmMax;
};

// The thirteen lines, in the writer's order, point as decimal separator.
std::string formatParameterFile(const ParameterFileValues& v);
// Creates or truncates path and writes them; false if the file cannot be written.
bool writeParameterFile(const std::string& path, const ParameterFileValues& v);

}  // namespace marlinq
