#include "BatchOptions.h"

#include <charconv>

namespace marlinq::batch {

namespace {

std::optional<std::int32_t> wholeInt(const std::string& text) {
    std::int32_t v = 0;
    const char* end = text.data() + text.size();
    const auto res = std::from_chars(text.data(), end, v);
    if (res.ec != std::errc() || res.ptr != end) return std::nullopt;
    return v;
}

}  // namespace

std::optional<BatchOptions> parseOptions(const std::vector<std::string>& args, std::string& error) {
    BatchOptions o;
    bool positionalOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (!positionalOnly && arg.rfind("--", 0) == 0 && arg.size() > 2) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        // The value of an option: "--opt=value" or the next argument.
        const auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };

        if (positionalOnly || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!o.parameterFile.empty()) {
                error = "only one parameter file can be given";
                return std::nullopt;
            }
            o.parameterFile = arg;
        } else if (arg == "--") {
            positionalOnly = true;
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--quiet" || arg == "-q") {
            o.quiet = true;
        } else if (arg == "--method") {
            std::string v;
            if (!value(v)) return std::nullopt;
            if (v == "dh") o.dh = true;
            else if (v == "pb") o.dh = false;
            else {
                error = "--method takes dh or pb, not '" + v + "'";
                return std::nullopt;
            }
        } else if (arg == "--chains") {
            std::string v;
            if (!value(v)) return std::nullopt;
            if (v == "table") o.tableChains = true;
            else if (v == "solve") o.tableChains = false;
            else {
                error = "--chains takes table or solve, not '" + v + "'";
                return std::nullopt;
            }
        } else if (arg == "--accuracy") {
            std::string v;
            if (!value(v)) return std::nullopt;
            if (v == "standard") o.converged = false;
            else if (v == "converged") o.converged = true;
            else {
                error = "--accuracy takes standard or converged, not '" + v + "'";
                return std::nullopt;
            }
        } else if (arg == "-o" || arg == "--output") {
            if (!value(o.output)) return std::nullopt;
            if (o.output.empty()) {
                error = "the output file name is empty";
                return std::nullopt;
            }
        } else if (arg == "--data") {
            if (!value(o.dataDir)) return std::nullopt;
            if (o.dataDir.empty()) {
                error = "the data folder name is empty";
                return std::nullopt;
            }
        } else if (arg == "--profile") {
            if (inlineValue || i + 2 >= args.size()) {
                error = "--profile needs two numbers, MP and MM";
                return std::nullopt;
            }
            const std::optional<std::int32_t> mp = wholeInt(args[i + 1]);
            const std::optional<std::int32_t> mm = wholeInt(args[i + 2]);
            if (!mp || !mm || *mp < 1 || *mm < 1) {
                error = "--profile needs two whole numbers of at least 1, not '" + args[i + 1] + "' '" + args[i + 2] + "'";
                return std::nullopt;
            }
            o.profile = true;
            o.profileMp = *mp;
            o.profileMm = *mm;
            i += 2;
        } else {
            error = "unknown option '" + args[i] + "'";
            return std::nullopt;
        }
    }
    return o;
}

std::string helpText() {
    return R"(Usage: marlinq-batch [--method dh|pb] [--chains table|solve] [--accuracy standard|converged]
                     [-o FILE] [--data DIR] [--quiet] [--profile MP MM] [PARAMETER_FILE]

Computes the size distribution of complexes of oppositely charged diblock copolymers,
exactly as the Marlinq Solver window does after "Load Parameters" and "Solve".

Input
  PARAMETER_FILE        a parameter file as "Save Parameters" writes it (key, value per
                        line). Without it the window's start-up values are used: charges
                        18 on charged blocks of length 72, neutral blocks 1 and 200,
                        ka 0.2, both concentrations 1e-3, M+ and M- from 0 to 10.
                        The charged-block lengths are recovered as the window's load does
                        (zp / kiplus and zn / kiminus, truncated to whole numbers); then
                        the input is checked as "Solve" checks it.

Options
  --method dh|pb        free energy of the complexes by the Debye-Hueckel
                        approximation (dh, default) or the full Poisson-Boltzmann
                        solution (pb)
  --chains table|solve  single-chain energies interpolated from the tables (table,
                        default) or solved directly (solve)
  --accuracy standard|converged
                        free energies of the program's standard grids (standard,
                        default), or converged in the grid to 1e-4 relative (converged:
                        slower; the chains are then always solved, and standard error
                        gives the largest estimated error and the largest difference from
                        the standard free energies, in kT)
  -o, --output FILE     write the result to FILE instead of standard output
  --data DIR            look for Chains_values.dat and Chains_values01.dat in DIR only;
                        without it: the working directory, then the program's data folder
  -q, --quiet           no progress lines on standard error
  --profile MP MM       instead of a distribution, write the radial profiles of the
                        complex with MP '+' and MM '-' chains as CSV (401 points; header
                        r/Rc,u[,u_DH],density_plus,density_minus,charge_density; the u_DH
                        column with --method dh)
  -h, --help            show this text

Output
  The distribution is the export of "Save Distribution": one line per M+ from 0 to
  mpMax, each with the concentrations of M- = 0 .. mmMax, every value followed by a tab,
  a point as decimal separator. Progress lines (the window's log) and the single-chain
  energies go to standard error.

Exit status
  0    finished
  1    a table could not be read, a single-chain energy could not be computed, or the
       output could not be written (the reason is on standard error)
  2    invalid input or command line: the message of the check that failed, "can not open
       file" for an unreadable parameter file, "Some input parameters are wrong, please
       check it." for a file whose last line has no known key
  130  interrupted by Ctrl-C: a Poisson-Boltzmann run stops before its next row and
       what was computed so far is still written (a Debye-Hueckel run, one pass over
       the whole matrix, is finished and written); a second Ctrl-C ends the program
       at once
)";
}

}  // namespace marlinq::batch
