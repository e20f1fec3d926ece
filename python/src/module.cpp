// marlinq._core: the calculation engine for Python. Every number comes from the same
// engine calls as marlinq-batch (start-up values or a parameter file, validate, tables
// loaded once, runToCompletion, computeObservables, runSweep, computeComplexProfile);
// this file only converts.

#include "ComplexTerms.h"
#include "io/Json.h"
#include "io/NumberText.h"
#include "kernel/Fatal.h"
#include "pipeline/ComplexProfile.h"
#include "pipeline/Distribution.h"
#include "pipeline/CriticalSalt.h"
#include "pipeline/Engine.h"
#include "pipeline/JobRunner.h"
#include "pipeline/MassBalance.h"
#include "pipeline/Observables.h"
#include "pipeline/ObservableRegistry.h"
#include "pipeline/Structure.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/CalculationStages.h"
#include "pipeline/SolveFor.h"
#include "pipeline/StoredSweep.h"
#include "pipeline/Sweep.h"
#include "pipeline/Units.h"
#include "pipeline/Version.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cmath>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <limits>
#include <cctype>
#include <map>
#include <mutex>
#include <sstream>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace marlinq::python {

namespace {

// ---------------------------------------------------------------------------------------
// Parameters

// The Python type name of a value, for a TypeError.
std::string typeName(py::handle value) { return py::str(py::type::handle_of(value).attr("__name__")); }

// A whole number given as a Python integer (or NumPy's): a float, a string or a bool is a
// TypeError, as Python's own range() says; a value outside 32 bits a ValueError.
std::int32_t toInt32(py::handle value, std::string_view name) {
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
        throw py::type_error(std::string(name) + " must be an integer, not " + typeName(value));
    const long long v = py::cast<long long>(py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr())));
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        throw py::value_error(std::string(name) + " does not fit in a 32-bit integer");
    return static_cast<std::int32_t>(v);
}

// A real given as a Python number (int, float or NumPy's): a string, a bool or None is a
// TypeError, never read as text or as 0 and 1.
double toReal(py::handle value, std::string_view name) {
    if (PyBool_Check(value.ptr()) || PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()) ||
        !(PyFloat_Check(value.ptr()) || PyIndex_Check(value.ptr()) || PyNumber_Check(value.ptr())))
        throw py::type_error(std::string(name) + " must be a number, not " + typeName(value));
    const double v = PyFloat_AsDouble(value.ptr());
    if (v == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return v;
}

struct PyParameters {
    ParameterSet set = startupParameterSet();
    // How the caller named the values: read from a parameter file (the file's keys), or made
    // in Python, where a message names each value as it was given (mp_min or mpMin) and the
    // others by their Python names.
    bool fromFile = false;
    std::map<std::string, std::string, std::less<>> calledAs;  // file key -> the name the caller used

    // The name a message gives the row.
    std::string nameOf(const ParameterRow& row) const {
        if (const auto it = calledAs.find(row.key); it != calledAs.end()) return it->second;
        return std::string(fromFile ? row.key : row.alias);
    }
    // A message of the engine (which names the file's keys) in the caller's names.
    std::string inCallerNames(std::string message) const {
        for (const ParameterRow& row : parameterSchema()) {
            const std::string name = nameOf(row);
            if (name == row.key) continue;
            const auto isWordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
            for (std::size_t at = message.find(row.key); at != std::string::npos;
                 at = message.find(row.key, at + 1)) {
                const std::size_t end = at + row.key.size();
                if ((at > 0 && isWordChar(message[at - 1])) || (end < message.size() && isWordChar(message[end])))
                    continue;
                message.replace(at, row.key.size(), name);
                at += name.size() - 1;
            }
        }
        return message;
    }
};

// A Python value for a row: an int for an integer row, else a float.
// name: as the caller named the value, for a TypeError.
ParameterValue valueFor(const ParameterRow& row, py::handle value, std::string_view name) {
    return {&row, row.integer ? static_cast<double>(toInt32(value, name)) : toReal(value, name)};
}

// Applies values by the engine's one rule (ParameterSchema.h); TypeError for a length and
// a density of one chain, ValueError when no charged length follows.
void applyValues(PyParameters& p, const std::vector<ParameterValue>& values) {
    if (const std::optional<ParameterRefusal> refused = applyParameterValues(p.set, values)) {
        if (refused->kind == ParameterRefusal::Kind::LengthAndDensity) throw py::type_error(p.inCallerNames(refused->reason));
        throw py::value_error(p.inCallerNames(refused->reason));
    }
}

py::object valueOf(const PyParameters& p, const ParameterRow& row) {
    const double v = parameterValue(p.set, row);
    return row.integer ? py::object(py::int_(static_cast<std::int32_t>(v))) : py::object(py::float_(v));
}

std::string reprOf(const PyParameters& p) {
    std::string s = "Parameters(";
    for (const ParameterRow& r : parameterSchema()) {
        if (r.role == ParameterRole::Density || (r.totalModeOnly && !p.set.totalMode)) continue;
        const double v = parameterValue(p.set, r);
        if (r.modelParameter && v == r.startup) continue;
        if (s.back() != '(') s += ", ";
        s += std::string(r.key) + "=" + (r.integer ? std::to_string(static_cast<std::int32_t>(v)) : formatGeneral(v, '.'));
    }
    return s + ")";
}

// Applies keyword values (file keys or their snake_case names), whatever their order.
void applyKeywords(PyParameters& p, const py::kwargs& kw) {
    std::vector<ParameterValue> values;
    std::map<const ParameterRow*, std::string> named;
    for (const auto& item : kw) {
        const std::string name = py::cast<std::string>(item.first);
        const ParameterRow* row = findParameter(name);
        if (row == nullptr) throw py::type_error("Parameters() got an unexpected keyword argument '" + name + "'");
        if (const auto [at, fresh] = named.emplace(row, name); !fresh)
            throw py::type_error("both " + std::string(row->key) + " and " + std::string(row->alias) + " were given");
        values.push_back(valueFor(*row, item.second, name));
    }
    for (const auto& [row, name] : named) p.calledAs[std::string(row->key)] = name;
    applyValues(p, values);
}

// The validated parameters of a set, or ValueError with the window's message.
// Solved chains (and converged runs) take a wider range of ka than the tables.
Parameters validated(const PyParameters& p, Chains chains = Chains::Tables) {
    Parameters out;
    if (const std::optional<std::string> message = validate(p.set, out, chains))
        throw py::value_error(p.inCallerNames(*message));
    return out;
}

// ---------------------------------------------------------------------------------------
// The engine of the process: the data search (the installation's data folder once the
// package has said where it is) and the tables, read once per folder and kept.

Engine& engine() {
    static Engine instance{DataSearch{}};
    return instance;
}

[[noreturn]] void raiseFileNotFound(const std::string& message, const std::string& path) {
    PyErr_SetObject(PyExc_FileNotFoundError, py::make_tuple(ENOENT, message, path).ptr());
    throw py::error_already_set();
}

// The OSError subclass Python gives the failure's errno (FileNotFoundError, IsADirectoryError,
// PermissionError, ...), with the program's message and the reason.
[[noreturn]] void raiseFileProblem(const LoadResult& loaded, const std::string& path) {
    const int code = loaded.errorNumber != 0 ? loaded.errorNumber : EIO;
    const std::string& where = loaded.notes.empty() ? path : loaded.notes.front();
    const std::string reason = where.size() > path.size() + 2 && where.compare(0, path.size(), path) == 0
                                   ? where.substr(path.size() + 2)
                                   : where;
    PyErr_SetObject(PyExc_OSError, py::make_tuple(code, loaded.message + ": " + reason, path).ptr());
    throw py::error_already_set();
}

[[noreturn]] void raiseOSError(const std::string& message, const std::string& path) {
    const int code = errno != 0 ? errno : EIO;
    PyErr_SetObject(PyExc_OSError, py::make_tuple(code, message, path).ptr());
    throw py::error_already_set();
}

// ---------------------------------------------------------------------------------------
// Results

py::array_t<double> gridArray(std::int32_t rows, std::int32_t cols, const std::vector<double>& cells) {
    py::array_t<double> a({static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(cols)});
    std::copy(cells.begin(), cells.end(), a.mutable_data());
    a.attr("setflags")("write"_a = false);
    return a;
}

py::array_t<double> vectorArray(const std::vector<double>& v) {
    py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    a.attr("setflags")("write"_a = false);
    return a;
}

py::array_t<std::int32_t> rangeArray(std::int32_t first, std::int32_t last) {
    py::array_t<std::int32_t> a(static_cast<py::ssize_t>(last - first + 1));
    for (std::int32_t k = first; k <= last; ++k) a.mutable_data()[k - first] = k;
    a.attr("setflags")("write"_a = false);
    return a;
}

// One row of the free-energy landscape, as freeEnergiesCsv writes it.
struct FreeEnergyRow {
    std::int32_t mp, mm;
    double F, E, abs_value, value;
    bool beyond_dh;  // a Debye-Hueckel cell outside the linearisation's validity
};

struct PyResult {
    ResultSnapshot record;
    PyParameters parameters;
    std::string method, chains, accuracy;
    bool partial = false;
    std::vector<std::string> log, diagnostics, warnings;
    JobCounts counts;
    Observables observables;             // the engine's, computed once
    py::object absValue, value, mp, mm;  // built once
    py::object freeEnergies;             // built on first use

    // The wide table runs from M = 0: above 1 GiB only the long export is written, as in
    // marlinq-batch.
    void refuseOversizedTable(bool longFormat) const {
        if (longFormat) return;
        const RunResult& b = *record;
        if (const std::optional<std::uint64_t> bytes = oversizedWideExport(
                DistributionView{b.params().mpMin, b.params().mpMax, b.params().mmMin, b.params().mmMax,
                                 b.concentrations.freePlus, b.concentrations.freeMinus, nullptr}))
            throw py::value_error("the distribution table would be up to " +
                                  std::to_string(*bytes / (std::uint64_t{1} << 20)) +
                                  " MiB (it runs from M = 0 to the largest M); use long=True to write only the "
                                  "computed cells");
    }
    // The share of the distribution held by (mp, mm): its weight over the sum of all weights.
    double shareAt(std::int32_t mp, std::int32_t mm) const {
        const std::int32_t r = mp - record->params().mpMin, c = mm - record->params().mmMin;
        if (r < 0 || c < 0 || r >= record->absValue.rows() || c >= record->absValue.cols())
            throw py::index_error("(" + std::to_string(mp) + ", " + std::to_string(mm) + ") is outside the ranges");
        return record->share(r, c);
    }
    std::string distributionText(bool longFormat) const {
        refuseOversizedTable(longFormat);
        const DistributionCells distribution(*record);
        return longFormat ? formatDistributionLong(distribution.view(), nullptr)
                          : formatDistribution(distribution.view(), '.');
    }
    // The landscape, one row per evaluated cell in row-major order; None when the run kept
    // no energies.
    py::object landscape() {
        if (freeEnergies) return freeEnergies;
        const RunResult& b = *record;
        const CellEnergies& e = b.energies;
        if (e.empty()) return py::none();
        py::ssize_t n = 0;
        e.evaluated.forEach([&](std::uint8_t v) { n += v ? 1 : 0; });
        py::array_t<FreeEnergyRow> a(n);
        FreeEnergyRow* out = a.mutable_data();
        for (std::int32_t r = 0; r < e.evaluated.rows(); ++r)
            for (std::int32_t c = 0; c < e.evaluated.cols(); ++c)
                if (e.evaluated(r, c))
                    *out++ = FreeEnergyRow{
                        b.params().mpMin + r, b.params().mmMin + c,       e.F(r, c), e.E(r, c), b.absValue(r, c),
                        b.share(r, c),        e.beyondValidity(r, c) != 0};
        a.attr("setflags")("write"_a = false);
        freeEnergies = a;
        return freeEnergies;
    }
    // One observable of the registry: a float (NaN where there is none) or an (M+, M-)
    // tuple (None).
    py::object observable(const ObservableDef& d, const std::optional<double>& unitNm) const {
        if (d.shape == ObservableShape::Number)
            return py::float_(
                d.number(ObservableInputs{observables, record->params().ka, unitNm, record->params().bjerrum}));
        const std::optional<MapCell> cell = d.cell(observables);
        if (!cell) return py::none();
        return py::make_tuple(cell->first, cell->second);
    }
    // The cells tied for a Cell observable, as (M+, M-) tuples; empty without a tie.
    py::list ties(const ObservableDef& d) const {
        py::list out;
        if (d.ties)
            for (const MapCell& c : d.ties(observables)) out.append(py::make_tuple(c.first, c.second));
        return out;
    }
    // The structure inputs of the run's molar masses and the given ones.
    StructureInputs structureInputs(const std::optional<double>& unitNm, const std::optional<double>& neutralSegmentNm,
                                    const std::string& solvent, std::optional<double> waterFraction,
                                    std::pair<double, double> contrast) const {
        // The core's water: the run's water_fraction unless given here.
        const double water = waterFraction.value_or(parameters.set.params.waterFraction);
        if (unitNm && !unitNmAllowed(*unitNm)) throw py::value_error("unit_nm must be " + unitNmRange());
        if (neutralSegmentNm && !unitNmAllowed(*neutralSegmentNm))
            throw py::value_error("neutral_segment_nm must be " + unitNmRange());
        if (solvent != "good" && solvent != "theta") throw py::value_error("solvent is \"good\" or \"theta\"");
        if (!(water >= 0.0 && water < 1.0))
            throw py::value_error("water_fraction must lie in [0, 1)");
        StructureInputs in;
        in.molarMassPlus = parameters.set.params.molarMassPlus;
        in.molarMassMinus = parameters.set.params.molarMassMinus;
        in.unitNm = unitNm;
        in.neutralSegmentNm = neutralSegmentNm;
        in.solvent = solvent == "good" ? corona::Solvent::Good : corona::Solvent::Theta;
        in.waterFraction = water;
        in.contrastCore = contrast.first;
        in.contrastCorona = contrast.second;
        return in;
    }
    // The molar masses and sizes under their summary keys.
    py::dict structure(const StructureInputs& in) const {
        if (!in.hasMolarMasses())
            throw py::value_error("the molar masses of both chains are needed: Parameters(molar_mass_plus=..., "
                                  "molar_mass_minus=...)");
        const StructureObservables so = computeStructureObservables(*record, observables, in);
        py::dict d;
        for (const ObservableDef* o : observablesOfStructure(in.unitNm.has_value()))
            d[py::str(std::string(o->name))] =
                o->number(ObservableInputs{observables, record->params().ka, in.unitNm, record->params().bjerrum, &so});
        return d;
    }
    py::dict scattering(const std::vector<double>& q, const StructureInputs& in) const {
        if (!in.hasSizes())
            throw py::value_error("I(q) needs the molar masses of both chains and unit_nm (the segment size in nm)");
        const ScatteringCurve c = scatteringCurve(*record, in, q);
        py::dict d;
        const auto column = [](const std::vector<double>& v) { return py::array_t<double>(v.size(), v.data()); };
        d["q"] = column(c.q);
        d["I"] = column(c.intensity);
        d["I_core"] = column(c.core);
        d["I_corona"] = column(c.corona);
        d["I_free"] = column(c.free);
        return d;
    }
    // The observables under the keys of marlinq-batch --summary.
    py::dict summary(const std::optional<double>& unitNm) const {
        if (unitNm && !unitNmAllowed(*unitNm)) throw py::value_error("unit_nm must be " + unitNmRange());
        py::dict d;
        for (const ObservableDef* o : observablesInOutput(false)) {
            d[py::str(std::string(o->name))] = observable(*o, unitNm);
            if (o->ties) d[py::str(std::string(o->name) + "_ties")] = ties(*o);
        }
        if (unitNm) {
            d["unit_nm"] = *unitNm;
            for (const ObservableDef* o : observablesInOutput(true))
                if (o->needsUnitNm) d[py::str(std::string(o->name))] = observable(*o, unitNm);
        }
        // With the molar masses, those of the structure (good solvent, neutral segments of size a).
        if (parameters.set.params.molarMassPlus > 0.0 && parameters.set.params.molarMassMinus > 0.0)
            for (const auto& [key, value] : structure(structureInputs(unitNm, std::nullopt, "good", std::nullopt, {1.0, 1.0})))
                d[key] = value;
        return d;
    }
};

// A text that lives as long as the module (names and docstrings handed to pybind11).
const std::string& keptText(std::string text) {
    static std::deque<std::string> kept;
    return kept.emplace_back(std::move(text));
}

// The docstring of an observable's property.
std::string observableDoc(const ObservableDef& d) {
    return std::string(d.description) + (d.shape == ObservableShape::Cell ? " (None where there is none)." : " (NaN where there is none).");
}

std::string summaryDoc() {
    std::string names, unitNames;
    for (const ObservableDef* d : observablesInOutput(true)) {
        std::string& list = d->needsUnitNm ? unitNames : names;
        list += ", ";
        list += d->name;
    }
    return "The observables as a dict under the keys of marlinq-batch --summary: " + names.substr(2) +
           "; with unit_nm (the segment size a in nm) also unit_nm" + unitNames +
           ". NaN (None for a complex) where the summary writes null.";
}

void buildArrays(PyResult& r) {
    const RunResult& b = *r.record;
    const std::int32_t rows = b.absValue.rows(), cols = b.absValue.cols();
    r.absValue = gridArray(rows, cols, b.absValue.toVector());
    // Value as the window's map holds it: the normalised distribution, with the lone-chain
    // cells (1, 0) and (0, 1) holding the free concentrations entered after it. A stopped
    // run that never normalised shows each cell's share.
    std::vector<double> shares;
    if (b.normalised) {
        shares = b.Value.toVector();
    } else {
        shares.reserve(b.absValue.cellCount());
        for (std::int32_t i = 0; i < rows; ++i)
            for (std::int32_t j = 0; j < cols; ++j) shares.push_back(b.share(i, j));
    }
    r.value = gridArray(rows, cols, shares);
    r.mp = rangeArray(b.params().mpMin, b.params().mpMax);
    r.mm = rangeArray(b.params().mmMin, b.params().mmMax);
}

// "dh_linear" (also "dh-linear", as the batch command spells it) is the closed-form
// linear Debye-Hueckel theory.
Method parseMethod(const std::string& method) {
    std::string name = method;
    std::replace(name.begin(), name.end(), '_', '-');
    if (const auto m = methodNamed(name)) return *m;
    throw py::value_error("method must be 'pb' (Poisson-Boltzmann), 'dh' (Debye-Hueckel) or 'dh_linear' (linear "
                          "Debye-Hueckel, closed form), not '" +
                          method + "'");
}

Chains parseChains(const std::string& chains) {
    if (const auto c = chainsNamed(chains)) return *c;
    throw py::value_error("chains must be 'table' or 'solve', not '" + chains + "'");
}

// Free energies converged in the grid (with an error estimate), or the program's standard
// discretisation.
Accuracy parseAccuracy(const std::string& accuracy) {
    if (const auto a = accuracyNamed(accuracy)) return *a;
    throw py::value_error("accuracy must be 'standard' or 'converged', not '" + accuracy + "'");
}

RunOptions runOptions(const std::string& method, const std::string& chains, const std::string& accuracy,
                      bool keepEnergies) {
    RunOptions options;
    options.method = parseMethod(method);
    options.chains = parseChains(chains);
    options.accuracy = parseAccuracy(accuracy);
    options.keepEnergies = keepEnergies;
    return options;
}

// The result of a finished (or stopped) run, with the engine's observables.
PyResult makeResult(const RunOutcome& outcome, const PyParameters& params, const std::string& method,
                    const std::string& chains, const std::string& accuracy) {
    PyResult result;
    result.record = outcome.record;
    result.parameters = params;
    result.method = method;
    result.chains = chains;
    result.accuracy = accuracy;
    result.partial = outcome.outcome == JobOutcome::Cancelled;
    result.log = outcome.log;
    result.diagnostics = outcome.diagnostics;
    for (const RunWarning& w : outcome.warnings) result.warnings.push_back(warningText(w));
    result.counts = outcome.counts;
    result.observables = computeObservables(*outcome.record);
    buildArrays(result);
    return result;
}

void checkDataDir(const std::optional<std::string>& dataDir) {
    if (!dataDir) return;
    std::error_code ec;
    if (!std::filesystem::is_directory(*dataDir, ec))
        raiseFileNotFound("can not read the data folder " + *dataDir, *dataDir);
}

// The tables the options need, from the engine; FileNotFoundError when they cannot be read.
LoadedTables tablesFor(const RunOptions& options, const std::optional<std::string>& dataDir) {
    checkDataDir(dataDir);
    LoadedTables tables;
    {
        py::gil_scoped_release release;
        tables = engine().tables(options, dataDir.value_or(""));
    }
    if (tables.failed()) raiseFileNotFound(tables.error, tables.path);
    return tables;
}

// The set a run computes: params with total=(C+, C-) or total=T with charge_fraction=f
// (total mode) and bjerrum_nm (with unit_nm), applied as a sweep's point and marlinq-batch's
// options are; ValueError with the program's message.
PyParameters withRunValues(const PyParameters& params, const std::optional<std::vector<double>>& total,
                           const std::optional<double>& chargeFraction, const std::optional<double>& bjerrumNm,
                           const std::optional<double>& unitNm, Chains chains) {
    if (chargeFraction && (!total || total->size() != 1))
        throw py::value_error("charge_fraction needs the total of both kinds of chains: total=T");
    if (unitNm && !unitNmAllowed(*unitNm)) throw py::value_error("unit_nm must be " + unitNmRange());
    if (bjerrumNm && !unitNm) throw py::value_error("bjerrum_nm needs unit_nm, the segment size in nm");
    std::vector<Assignment> values;
    if (total) {
        if (total->size() == 2) {
            values.push_back({"total_plus", (*total)[0]});
            values.push_back({"total_minus", (*total)[1]});
        } else if (total->size() == 1 && chargeFraction) {
            values.push_back({"total", (*total)[0]});
            values.push_back({"charge_fraction", *chargeFraction});
        } else {
            throw py::value_error("total takes (C+, C-), or T with charge_fraction=f");
        }
    }
    if (bjerrumNm) values.push_back({"bjerrum_nm", *bjerrumNm});
    PyParameters out = params;
    if (const std::optional<AssignmentRefusal> refused =
            applyAssignments(out.set, values, AssignmentContext{unitNm, chains == Chains::Solved}))
        throw py::value_error(params.inCallerNames(refused->reason));
    return out;
}

// Runs work on a thread of its own while this thread, the one Python's signal handlers run on,
// looks at Ctrl-C every 50 ms: a KeyboardInterrupt asks the work to stop and is raised once it
// has. Work that reports no rows (each trial of the critical salt is a whole run) stops as
// quickly as a run does.
template <class Work>
void runWatchingCtrlC(std::stop_source& stop, Work&& work) {
    std::mutex mutex;
    std::condition_variable wake;
    bool finished = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work(stop.get_token());
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(mutex);
        finished = true;
        wake.notify_all();
    });
    std::optional<py::error_already_set> interrupt;
    while (true) {
        {
            py::gil_scoped_release release;
            std::unique_lock lock(mutex);
            if (wake.wait_for(lock, std::chrono::milliseconds(50), [&] { return finished; })) break;
        }
        if (!interrupt && PyErr_CheckSignals() != 0) {
            interrupt.emplace();
            stop.request_stop();
        }
    }
    {
        py::gil_scoped_release release;
        worker.join();
    }
    if (interrupt) throw std::move(*interrupt);
    if (failure) std::rethrow_exception(failure);
}

// A JSON value of the engine (io/Json.h) as Python objects: an object a dict (members in
// order), an array a list, a number a float (also one that is not finite, which the JSON
// text writes as null), null None.
py::object pythonValue(const json::Value& v) {
    switch (v.kind()) {
        case json::Value::Kind::Null: return py::none();
        case json::Value::Kind::Bool: return py::bool_(v.asBool());
        case json::Value::Kind::Number: return py::float_(v.asNumber());
        case json::Value::Kind::Integer: return py::int_(v.asInteger());
        case json::Value::Kind::String: return py::str(v.asString());
        case json::Value::Kind::Array: {
            py::list list;
            for (const json::Value& item : v.items()) list.append(pythonValue(item));
            return list;
        }
        case json::Value::Kind::Object: {
            py::dict dict;
            for (const auto& [key, member] : v.members()) dict[py::str(key)] = pythonValue(member);
            return dict;
        }
    }
    return py::none();
}

py::dict pythonOf(const json::Value& object) { return pythonValue(object).cast<py::dict>(); }

py::dict criticalSaltOf(const PyParameters& params, const std::optional<std::vector<double>>& total,
                        const std::optional<double>& chargeFraction, const std::string& method,
                        const std::string& chains, const std::string& accuracy,
                        const std::optional<std::string>& dataDir, const std::optional<double>& unitNm,
                        int threads, const std::optional<double>& bjerrumNm) {
    RunOptions options = runOptions(method, chains, accuracy, false);
    options.threads = threads;
    const PyParameters run = withRunValues(params, total, chargeFraction, bjerrumNm, unitNm, chainsOf(options));
    validated(run, chainsOf(options));
    const ParameterSet& set = run.set;
    if (!set.totalMode)
        throw py::value_error("the critical salt needs the totals: total=(C+, C-) or total=T with charge_fraction=f");
    const LoadedTables tables = tablesFor(options, dataDir);
    std::stop_source stop;
    CriticalSaltResult r;
    runWatchingCtrlC(stop, [&](std::stop_token token) { r = criticalSalt(set, options, tables, token); });
    if (!r.failure.empty()) throw py::value_error(r.failure);
    // The members of the batch command's --critical-salt JSON, and the note it says on
    // standard error.
    py::dict d = pythonOf(criticalSaltValue(r, set, options, unitNm));
    d["note"] = r.note();
    return d;
}

py::dict solveForOf(const PyParameters& params, const std::string& name, const std::string& observable, double target,
                    const std::optional<std::vector<double>>& range, const std::optional<std::vector<double>>& total,
                    const std::optional<double>& chargeFraction, const std::string& method, const std::string& chains,
                    const std::string& accuracy, const std::optional<std::string>& dataDir,
                    const std::optional<double>& unitNm, int threads, const std::optional<double>& bjerrumNm) {
    SolveForProblem problem;
    problem.options = runOptions(method, chains, accuracy, false);
    problem.options.threads = threads;
    const PyParameters run = withRunValues(params, total, chargeFraction, bjerrumNm, unitNm, chainsOf(problem.options));
    validated(run, chainsOf(problem.options));
    problem.base = run.set;
    problem.name = name;
    problem.observable = observable;
    problem.target = target;
    problem.unitNm = unitNm;
    if (range) {
        if (range->size() != 2 || !((*range)[0] < (*range)[1]))
            throw py::value_error("range must be (low, high) with low below high");
        problem.range = std::make_pair((*range)[0], (*range)[1]);
    }
    const LoadedTables tables = tablesFor(problem.options, dataDir);
    std::stop_source stop;
    SolveForResult r;
    runWatchingCtrlC(stop, [&](std::stop_token token) { r = solveFor(problem, tables, token); });
    if (!r.failure.empty()) throw py::value_error(r.failure);
    // The members of the batch command's --solve-for JSON.
    return pythonOf(solveForValue(problem, r));
}

PyResult runEngine(const PyParameters& params, const std::string& method, const std::string& chains,
                   const std::string& accuracy, const py::object& progress, const std::optional<std::string>& dataDir,
                   bool keepEnergies, int threads, const std::optional<std::vector<double>>& total,
                   const std::optional<double>& chargeFraction, const std::optional<double>& bjerrumNm,
                   const std::optional<double>& unitNm) {
    if (threads < 0) throw py::value_error("threads must be 0 (the machine's) or a positive number");
    RunOptions options = runOptions(method, chains, accuracy, keepEnergies);
    options.threads = threads;
    const PyParameters run = withRunValues(params, total, chargeFraction, bjerrumNm, unitNm, chainsOf(options));
    const Parameters p = validated(run, chainsOf(options));
    JobInput input = makeJobInput(p, run.set, options, tablesFor(options, dataDir));

    std::stop_source stop;
    std::optional<py::error_already_set> pending;  // an exception of the callback or Ctrl-C

    // The run goes on a thread of its own; this thread, the one Python's signal handlers run
    // on, takes each progress event (the run waits for it, so that progress returning False
    // stops before the next row) and between events looks at Ctrl-C every 50 ms, also in a
    // stage that reports no rows (a Debye-Hueckel pass, the chains).
    std::mutex mutex;
    std::condition_variable wake;
    std::optional<std::pair<std::int64_t, std::int64_t>> request;  // a progress event waiting
    bool finished = false;
    JobEvents events;
    events.progress = [&](std::int64_t done, std::int64_t total) {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return !request; });
        request.emplace(done, total);
        wake.notify_all();
        wake.wait(lock, [&] { return !request; });
    };
    const auto checkSignals = [&] {
        if (!pending && PyErr_CheckSignals() != 0) {
            pending.emplace();
            stop.request_stop();
        }
    };

    RunOutcome outcome;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            outcome = runToCompletion(std::move(input), stop.get_token(), events);
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(mutex);
        finished = true;
        wake.notify_all();
    });
    while (true) {
        std::optional<std::pair<std::int64_t, std::int64_t>> event;
        {
            py::gil_scoped_release release;
            std::unique_lock lock(mutex);
            wake.wait_for(lock, std::chrono::milliseconds(50), [&] { return finished || request.has_value(); });
            if (request) event = request;
            else if (finished) break;
        }
        if (event) {
            checkSignals();
            if (!pending && !stop.stop_requested() && !progress.is_none()) {
                try {
                    if (progress(event->first, event->second).is(py::bool_(false))) stop.request_stop();
                } catch (py::error_already_set& e) {
                    pending.emplace(std::move(e));
                    stop.request_stop();
                }
            }
            std::lock_guard lock(mutex);
            request.reset();
            wake.notify_all();
        } else {
            checkSignals();
        }
    }
    {
        py::gil_scoped_release release;
        worker.join();
    }
    if (failure) std::rethrow_exception(failure);
    if (pending) throw std::move(*pending);
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();

    if (outcome.outcome == JobOutcome::Failed || !outcome.record || !outcome.record->hasResults())
        throw std::runtime_error(outcome.failure.empty() ? std::string("the calculation failed") : outcome.failure);
    return makeResult(outcome, run, method, chains, accuracy);
}

// ---------------------------------------------------------------------------------------
// Sweeps: the engine's sweep job, one shard per worker, each on a JobRunner of its own.
// The calling thread waits without the GIL and takes the events of all workers: rows,
// progress, Ctrl-C.

// Wakes the calling thread when any worker has events waiting.
struct Wakeup {
    std::mutex mutex;
    std::condition_variable cv;
    bool woken = false;
    void notify() {
        {
            std::lock_guard lock(mutex);
            woken = true;
        }
        cv.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex);
        // A short wait at most, so that Ctrl-C is seen while a long point runs.
        cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return woken; });
        woken = false;
    }
};

// What a sweep's table takes in memory before it is returned, per point: the row the
// workers hand over (a tuple of the index, the values, a list of the observables as
// Python floats, the status and the doubts, about 1 KiB with the interpreter's object
// headers and the allocator's rounding), its row of the structured array, and with
// keep_results the point's Result (its distribution, energies and landscape, about 40
// bytes a cell). Measured: 1.8 kB a point for one axis and 23 columns.
std::optional<std::string> oversizedSweepTable(const SweepSpec& plan, bool keepResults) {
    const auto columns = static_cast<std::uint64_t>(sweepObservableNames(plan).size() + plan.axes.size());
    std::uint64_t perPoint = 1024 + 48 * columns + 8 * (columns + 12);
    if (keepResults) {
        const Parameters& p = plan.base.params;
        std::int64_t mp = std::max(p.mpMax, 0), mm = std::max(p.mmMax, 0);
        for (const SweepAxis& axis : plan.axes)
            for (const double v : axis.values) {
                if (axis.name == "mpMax") mp = std::max<std::int64_t>(mp, static_cast<std::int64_t>(std::min(v, 1e6)));
                if (axis.name == "mmMax") mm = std::max<std::int64_t>(mm, static_cast<std::int64_t>(std::min(v, 1e6)));
            }
        perPoint += 4096 + 40 * static_cast<std::uint64_t>((mp + 1) * (mm + 1));
    }
    const auto points = static_cast<std::uint64_t>(sweepPointCount(plan));
    const double bytes = static_cast<double>(points) * static_cast<double>(perPoint);
    if (bytes <= static_cast<double>(kLargestSweepOutput)) return std::nullopt;
    const double gib = bytes / static_cast<double>(std::uint64_t{1} << 30);
    const std::string size = gib < 1024.0 ? fixedText(gib, 1) + " GiB" : fixedText(gib / 1024.0, 1) + " TiB";
    return "the sweep's table in memory would take about " + size + " (" + std::to_string(points) +
           " points)";
}

// The plan of a sweep from Python's names and values, checked as --sweep checks it; a table
// far beyond memory is refused before the first point unless allowLarge.
SweepSpec sweepPlanOf(const PyParameters& params, const std::vector<std::string>& names,
                      const std::vector<std::vector<double>>& values, const std::string& method,
                      const std::string& chains, const std::string& accuracy, const std::optional<double>& unitNm,
                      bool keepResults, bool allowLarge) {
    SweepSpec plan;
    plan.base = params.set;
    plan.options = runOptions(method, chains, accuracy, false);
    if (names.empty()) throw py::value_error("a sweep needs at least one parameter, e.g. {'ka': [0.2, 0.5, 1]}");
    if (names.size() != values.size()) throw py::value_error("one list of values per swept name");
    for (std::size_t k = 0; k < names.size(); ++k) plan.axes.push_back(SweepAxis{names[k], values[k], false});
    plan.unitNm = unitNm;
    if (const std::optional<PlanError> bad = validate(plan)) throw py::value_error(bad->message);
    if (!allowLarge)
        if (const std::optional<std::string> tooLarge = oversizedSweepTable(plan, keepResults))
            throw py::value_error(*tooLarge + "; pass allow_large=True to run it anyway");
    return plan;
}

// Returns (observable columns, rows, stopped), a column as (name, whole number). A row is
// (index, values, observables, status, error_estimate, Result or None), the observables in
// the order of the columns (NaN where the batch CSV leaves the field empty).
py::tuple sweepEngine(const PyParameters& params, const std::vector<std::string>& names,
                      const std::vector<std::vector<double>>& values, const std::string& method,
                      const std::string& chains, const std::string& accuracy, const std::optional<std::string>& dataDir,
                      const std::optional<double> unitNm, std::int64_t workers, bool keepResults,
                      const py::object& progress, int threads, bool allowLarge) {
    SweepSpec plan = sweepPlanOf(params, names, values, method, chains, accuracy, unitNm, keepResults, allowLarge);
    plan.options.threads = threads;
    const LoadedTables tables = tablesFor(plan.options, dataDir);

    workers = std::clamp<std::int64_t>(workers, 1, std::max<std::int64_t>(1, sweepPointCount(plan)));
    const std::int64_t total = sweepPointCount(plan);
    py::list rows;
    std::int64_t done = 0, running = workers;
    bool stopped = false, asked = false;
    std::optional<py::error_already_set> pending;  // an exception of the callback or Ctrl-C
    Wakeup wakeup;
    std::vector<std::unique_ptr<JobRunner>> runners;
    const auto stopAll = [&] {
        for (auto& r : runners) r->stop();
    };
    JobEvents events;
    events.point = [&](const std::shared_ptr<const SweepPoint>& shared) {
        const SweepPoint& point = *shared;
        // After progress said stop, points the workers had already finished are left out:
        // the table ends with the point progress was told of.
        if (pending || asked) return;
        try {
            py::tuple pointValues(point.values.size());
            for (std::size_t k = 0; k < point.values.size(); ++k) pointValues[k] = point.values[k];
            const bool ok = point.ran && point.status == "ok";
            py::object result = py::none();
            if (keepResults && ok && point.run.record && point.run.record->hasResults()) {
                PyParameters set;
                set.set = point.set;
                result = py::cast(makeResult(point.run, set, method, chains, accuracy));
            }
            // The doubts of a point that ran; None for one refused before its run.
            py::object doubts = py::none();
            if (point.ran) {
                const SweepPointDoubts d = sweepPointDoubts(point);
                doubts = py::make_tuple(d.warnings, d.unconvergedSolves, d.nonFiniteCells, d.beyondDebyeHueckelCells,
                                        d.rangeEdge ? 1 : 0, d.errorEstimate.value_or(NAN),
                                        d.standardDifference.value_or(NAN));
            }
            rows.append(py::make_tuple(point.index, pointValues, sweepObservableValues(plan, point), point.status,
                                       doubts, result));
            ++done;
            if (!progress.is_none() && !asked && progress(done, total).is(py::bool_(false))) {
                asked = true;  // the sweep is stopped (a worker with points left says so)
                stopAll();
            }
        } catch (py::error_already_set& e) {
            pending.emplace(std::move(e));
            stopAll();
        }
    };
    events.finished = [&](JobOutcome outcome, const JobCounts&) {
        stopped = stopped || outcome == JobOutcome::Cancelled;
        --running;
    };
    for (std::int64_t k = 0; k < workers; ++k) {
        SweepSpec shard = plan;
        shard.shard = Shard{k, workers};
        runners.push_back(std::make_unique<JobRunner>([&wakeup] { wakeup.notify(); }));
        runners.back()->start(sweepJob(std::move(shard), tables, keepResults), events);
    }
    while (running > 0) {
        {
            py::gil_scoped_release release;
            wakeup.wait();
        }
        if (!pending && PyErr_CheckSignals() != 0) {
            pending.emplace();  // KeyboardInterrupt: the workers end after the point under way
            stopAll();
        }
        for (auto& r : runners) r->deliver();
    }
    {
        py::gil_scoped_release release;
        runners.clear();
    }
    if (pending) throw std::move(*pending);
    stopped = stopped || (asked && done < total);
    // The observable columns as (name, whole number).
    py::list columns;
    const std::vector<std::string> columnNames = sweepObservableNames(plan);
    const std::vector<ObservableColumn> kinds = observableColumns(plan.unitNm.has_value(), sweepHasStructure(plan));
    for (std::size_t k = 0; k < columnNames.size(); ++k) columns.append(py::make_tuple(columnNames[k], kinds[k].whole));
    return py::make_tuple(columns, rows, stopped);
}

// A sweep written through the sweep store, as marlinq-batch --sweep -o FILE [--resume]
// writes it (the same bytes): the store runs on a JobRunner's thread, the calling thread
// takes its points (progress, results), its messages and Ctrl-C. Returns (observable
// columns as (name, whole number), stopped, messages, results index -> Result of the points
// computed now with keep_results). What the batch command exits with 2 for raises
// ValueError with its message, a failed write or tables OSError.
py::tuple sweepToFile(const PyParameters& params, const std::vector<std::string>& names,
                      const std::vector<std::vector<double>>& values, const std::string& method,
                      const std::string& chains, const std::string& accuracy, const std::optional<std::string>& dataDir,
                      const std::optional<double> unitNm, std::int64_t workers, bool keepResults,
                      const py::object& progress, const std::string& output, bool resume, bool allowLarge) {
    StoredSweep sweep;
    SweepSpec& plan = sweep.plan;
    plan = sweepPlanOf(params, names, values, method, chains, accuracy, unitNm, keepResults, allowLarge);
    const LoadedTables tables = tablesFor(plan.options, dataDir);
    sweep.output = output;
    sweep.resume = resume;
    sweep.largeOutput = allowLarge;
    sweep.quiet = true;
    sweep.jobs = std::max<std::int64_t>(1, workers);

    std::atomic<int> status{-1};
    std::atomic<std::int64_t> total{0};
    std::string said;
    py::dict results;
    std::int64_t done = 0;
    bool running = true, asked = false;
    std::optional<py::error_already_set> pending;
    Wakeup wakeup;
    JobRunner runner([&wakeup] { wakeup.notify(); });
    JobEvents events;
    events.message = [&said](const JobMessage& m) { said += m.text; };
    events.point = [&](const std::shared_ptr<const SweepPoint>& shared) {
        if (pending) return;
        try {
            const SweepPoint& point = *shared;
            if (keepResults && point.ran && point.status == "ok" && point.run.record && point.run.record->hasResults()) {
                PyParameters set;
                set.set = point.set;
                results[py::int_(point.index)] = py::cast(makeResult(point.run, set, method, chains, accuracy));
            }
            ++done;
            if (!progress.is_none() && !asked && progress(done, total.load()).is(py::bool_(false))) {
                asked = true;  // the store ends the sweep after the points under way
                runner.stop();
            }
        } catch (py::error_already_set& e) {
            pending.emplace(std::move(e));
            runner.stop();
        }
    };
    events.finished = [&running](JobOutcome, const JobCounts&) { running = false; };
    runner.start(
        [&sweep, &tables, &status, &total, keepResults](std::stop_token token, const JobEvents& sink) {
            StoredSweepEvents store;
            store.say = [&sink](const std::string& text) {
                JobMessage m;
                m.text = text;
                if (sink.message) sink.message(m);
            };
            store.point = [&](const SweepPoint& point, std::int64_t, std::int64_t points) {
                total = points;
                auto kept = std::make_shared<SweepPoint>(point);
                if (!keepResults) kept->run.record.reset();
                kept->run.log.clear();
                kept->run.diagnostics.clear();
                if (sink.point) sink.point(std::move(kept));
            };
            status = runStoredSweep(sweep, [&tables](const RunOptions&) { return tables; }, token, store);
            if (sink.finished) sink.finished(status == 130 ? JobOutcome::Cancelled : JobOutcome::Finished, JobCounts{});
        },
        events);
    while (running) {
        {
            py::gil_scoped_release release;
            wakeup.wait();
        }
        if (!pending && PyErr_CheckSignals() != 0) {
            pending.emplace();  // KeyboardInterrupt: the store keeps the rows and marks the file partial
            runner.stop();
        }
        runner.deliver();
    }
    {
        py::gil_scoped_release release;
        runner.shutDown();
    }
    if (pending) throw std::move(*pending);
    std::string message = said;
    while (!message.empty() && message.back() == '\n') message.pop_back();
    if (status == 2) throw py::value_error(message);
    if (status == 1) {
        PyErr_SetString(PyExc_OSError, message.c_str());
        throw py::error_already_set();
    }
    py::list columns;
    const std::vector<std::string> columnNames = sweepObservableNames(plan);
    const std::vector<ObservableColumn> kinds = observableColumns(plan.unitNm.has_value(), sweepHasStructure(plan));
    for (std::size_t k = 0; k < columnNames.size(); ++k) columns.append(py::make_tuple(columnNames[k], kinds[k].whole));
    return py::make_tuple(columns, status == 130, said, results);
}

// marlinq.merge: the parts of one sweep joined as marlinq-batch --merge joins them,
// refusing what it refuses (ValueError with its message). Returns the notes (points without
// a result, doubts), one a line.
py::list mergeParts(const std::vector<std::string>& parts, const std::string& output) {
    std::ostringstream messages, unused;
    int status = 0;
    {
        py::gil_scoped_release release;
        status = mergeSweepParts(parts, output, true, messages, unused);
    }
    std::string text = messages.str();
    while (!text.empty() && text.back() == '\n') text.pop_back();
    if (status == 2) throw py::value_error(text);
    if (status != 0) {
        PyErr_SetString(PyExc_OSError, text.c_str());
        throw py::error_already_set();
    }
    py::list notes;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) notes.append(line);
    return notes;
}

// ---------------------------------------------------------------------------------------
// Profiles

struct PyProfile {
    ComplexProfile profile;
    py::object r, u, uDh, cationDensity, anionDensity, chargeDensity;
};

void deprecatedName(const char* old, const char* now) {
    const std::string text = std::string("Profile.") + old + " is deprecated: it holds the " +
                             (std::string(now) == "anion_density" ? "anions, (kRc)^2 exp(+u)" : "cations, (kRc)^2 exp(-u)") +
                             "; use Profile." + now;
    if (PyErr_WarnEx(PyExc_DeprecationWarning, text.c_str(), 1) != 0) throw py::error_already_set();
}

PyProfile profileOf(const PyParameters& params, py::handle mpValue, py::handle mmValue, const std::string& method,
                    const std::string& accuracy) {
    // As marlinq-batch --profile MP MM: two whole numbers from 1 to the largest aggregation.
    const std::int32_t mp = toInt32(mpValue, "mp"), mm = toInt32(mmValue, "mm");
    const Method chosenMethod = parseMethod(method);
    const Accuracy chosenAccuracy = parseAccuracy(accuracy);
    if (mp < 1 || mm < 1 || mp > kMaxAggregation || mm > kMaxAggregation)
        throw py::value_error("mp and mm must be whole numbers from 1 to " + std::to_string(kMaxAggregation) +
                              ", not " + std::to_string(mp) + " and " + std::to_string(mm));
    const Parameters p = validated(params);
    PyProfile out;
    {
        py::gil_scoped_release release;
        try {
            out.profile = computeComplexProfile(mp, mm, p, ChainBlocks{p.zp, p.zn, params.set.plen, params.set.mlen},
                                                *makeComplexModel(chosenMethod, chosenAccuracy, p));
        } catch (const KernelError& e) {
            throw std::runtime_error(profileFailureMessage(mp, mm, e.what()));
        }
    }
    const ComplexProfile& c = out.profile;
    out.r = vectorArray(c.r);
    out.u = vectorArray(c.potential);
    out.uDh = c.dh ? py::object(vectorArray(c.dhPotential)) : py::object(py::none());
    out.cationDensity = vectorArray(c.cation_density);
    out.anionDensity = vectorArray(c.anion_density);
    out.chargeDensity = vectorArray(c.charge_density);
    return out;
}

}  // namespace

}  // namespace marlinq::python

PYBIND11_MODULE(_core, m) {
    using namespace marlinq;
    using namespace marlinq::python;
    m.doc() = "The compiled engine of marlinq; use the package marlinq.";
    PYBIND11_NUMPY_DTYPE(FreeEnergyRow, mp, mm, F, E, abs_value, value, beyond_dh);
    // The build the module comes from: the release and the commit of its sources.
    m.attr("__version__") = std::string(programVersion());
    m.attr("__commit__") = std::string(buildCommit());
    addComplexTerms(m);

    // --- Parameters
    py::class_<PyParameters> P(m, "Parameters", R"doc(
One parameter set: what the window's fields and a parameter file hold.

Every key of the parameter file is an attribute (with a snake_case alias):
vc01 (c_minus), vc10 (c_plus), zp (q_plus), zn (q_minus), kiplus (xi_plus),
kiminus (xi_minus), ka, Np (n_plus), Nm (n_minus), mpMin (mp_min), mpMax (mp_max),
mmMin (mm_min), mmMax (mm_max); plen and mlen are the charged-block lengths.
total_plus and total_minus are the totals of total mode (chains per segment volume, free
and in complexes): setting either puts the set in total mode, and a saved file keeps them.

The charge densities are kiplus = zp / plen and kiminus = zn / mlen. Changing a charge
keeps the charge density, so the charged length follows (same density, longer chain:
zp=24 on 18 charges over 72 segments gives plen = 96); give plen too to keep the chain
(replace(zp=24, plen=72): same chain, more charge). A density or a length keeps the
charge. A length from zp / kiplus is recovered as a parameter file's is: the whole
number within 1e-9 of the quotient, else truncated. Reals are kept as the window shows
them, with 15 significant digits, so a saved file reads back to the same set. Without
arguments: the window's start-up values.

    p = marlinq.Parameters(ka=0.5, mp_max=20, mm_max=20)
    p = marlinq.Parameters.load("base.in")
)doc");
    P.def(py::init([](const py::kwargs& kw) {
              PyParameters p;
              applyKeywords(p, kw);
              return p;
          }),
          "Start-up values, with any attribute given as a keyword argument replacing its value.");
    for (const ParameterRow& r : parameterSchema()) {
        const ParameterRow* row = &r;
        const auto get = [row](const PyParameters& p) { return valueOf(p, *row); };
        // Set as an attribute: messages name it as it was set.
        const auto setAs = [row](std::string name) {
            return [row, name](PyParameters& p, py::handle v) {
                p.calledAs[std::string(row->key)] = name;
                applyValues(p, {valueFor(*row, v, name)});
            };
        };
        P.def_property(std::string(r.key).c_str(), get, setAs(std::string(r.key)));
        if (r.alias != r.key) P.def_property(std::string(r.alias).c_str(), get, setAs(std::string(r.alias)));
    }
    P.def_static(
        "load",
        [](const std::string& path) {
            const LoadResult loaded = loadParameterSet(path, startupParameterSet());
            if (loaded.status == LoadStatus::CannotOpen) raiseFileProblem(loaded, path);
            if (loaded.status == LoadStatus::WrongFile) throw py::value_error(loaded.message);
            for (const std::string& note : loaded.notes) PyErr_WarnEx(PyExc_UserWarning, note.c_str(), 1);
            PyParameters p;
            p.set = loaded.set;
            p.fromFile = true;
            return p;
        },
        "path"_a,
        R"doc(Reads a parameter file over the start-up values, as marlinq-batch FILE does.

Raises FileNotFoundError ("can not open file") and ValueError ("Some input parameters are
wrong, please check it.") as the program reports them.)doc");
    P.def(
        "save",
        [](const PyParameters& p, const std::string& path) {
            std::string error;
            if (!writeParameterSet(path, p.set, error))
                raiseOSError(error, path);
            // The file keeps densities, not lengths: say so when it will not give back the same set.
            const LoadResult back = loadParameterSet(path, startupParameterSet());
            if (back.status == LoadStatus::Loaded && (back.set.plen != p.set.plen || back.set.mlen != p.set.mlen)) {
                const std::string note =
                    "the file gives the charged lengths plen = " + formatGeneral(back.set.plen) + ", mlen = " +
                    formatGeneral(back.set.mlen) + " (not " + formatGeneral(p.set.plen) + ", " +
                    formatGeneral(p.set.mlen) +
                    "): it stores kiplus and kiminus with 15 digits and the lengths are recovered from them; "
                    "marlinq-batch and Parameters.load compute with the file's lengths";
                if (PyErr_WarnEx(PyExc_UserWarning, note.c_str(), 1) != 0) throw py::error_already_set();
            }
        },
        "path"_a, R"doc(Writes the parameter file (thirteen lines; in total mode the totals too, before the last line) (what 'Save Parameters' writes).

The file stores the charge densities, from which a reader recovers the lengths: when that
does not give back plen and mlen (e.g. zp = 40 on 72 segments), a UserWarning says which
lengths the file gives.)doc");
    P.def_property_readonly(
        "total_mode", [](const PyParameters& p) { return p.set.totalMode; },
        "True when the totals total_plus and total_minus set the concentrations (setting either one enters "
        "total mode; the other then starts from its free concentration).");
    P.def(
        "to_text", [](const PyParameters& p) { return formatParameterSet(p.set); },
        "The parameter file's text.");
    P.def(
        "validate", [](const PyParameters& p) { (void)validated(p); },
        "Checks the set as 'Solve' does; raises ValueError with the first failing check's message.");
    P.def(
        "copy", [](const PyParameters& p) { return p; }, "An independent copy.");
    P.def(
        "replace",
        [](const PyParameters& p, const py::kwargs& kw) {
            PyParameters q = p;
            applyKeywords(q, kw);
            return q;
        },
        "A copy with the given attributes replaced, e.g. p.replace(ka=0.5); p.replace(zp=24) keeps the charge "
        "density (plen follows), p.replace(zp=24, plen=p.plen) keeps the chain.");
    P.def(
        "to_dict",
        [](const PyParameters& p) {
            py::dict d;
            for (const ParameterRow& r : parameterSchema())
                if (!r.totalModeOnly || p.set.totalMode) d[py::str(std::string(r.key))] = valueOf(p, r);
            return d;
        },
        "The file's keys and the charged lengths, as a dict.");
    P.def("__copy__", [](const PyParameters& p) { return p; });
    P.def("__deepcopy__", [](const PyParameters& p, py::object) { return p; });
    P.def("__repr__", &reprOf);
    P.def("__eq__", [](const PyParameters& a, py::object other) {
        if (!py::isinstance<PyParameters>(other)) return false;
        const PyParameters& b = other.cast<const PyParameters&>();
        return formatParameterSet(a.set) == formatParameterSet(b.set) && a.set.plen == b.set.plen &&
               a.set.mlen == b.set.mlen;
    });
    // Pickled as the values of every row but the densities (which follow from them).
    P.def(py::pickle(
        [](const PyParameters& p) {
            py::dict state;
            for (const ParameterRow& r : parameterSchema())
                if (r.role != ParameterRole::Density && (!r.totalModeOnly || p.set.totalMode))
                    state[py::str(std::string(r.key))] = parameterValue(p.set, r);
            return state;
        },
        [](const py::dict& state) {
            PyParameters p;
            for (const ParameterRow& r : parameterSchema()) {
                if (r.role == ParameterRole::Density) continue;
                if (r.modelParameter && !state.contains(std::string(r.key))) continue;
                if (r.totalModeOnly) {
                    if (!state.contains(std::string(r.key))) continue;
                    p.set.totalMode = true;
                }
                setParameterMember(p.set, r, state[py::str(std::string(r.key))].cast<double>());
            }
            p.set.params.kip = chargeDensity(p.set.params.zp, p.set.plen);
            p.set.params.kim = chargeDensity(p.set.params.zn, p.set.mlen);
            return p;
        }));

    // --- Result
    py::class_<PyResult> result(m, "Result", R"doc(
The distribution of one run.

abs_value and value are read-only arrays of shape (len(mp), len(mm)): row i, column j
belong to M+ = mp[i], M- = mm[j]. abs_value holds the concentrations (the numbers of the
distribution export), value the normalised distribution (the map).)doc");
    // Every observable of the registry that needs no unit, as a property under its name.
    for (const ObservableDef* d : observablesInOutput(false))
        result.def_property_readonly(keptText(std::string(d->name)).c_str(),
                                     [d](const PyResult& r) { return r.observable(*d, std::nullopt); },
                                     keptText(observableDoc(*d)).c_str());
    // A tie for a cell, as the summary's NAME_ties.
    for (const ObservableDef* d : observablesInOutput(false))
        if (d->ties)
            result.def_property_readonly(
                keptText(std::string(d->name) + "_ties").c_str(), [d](const PyResult& r) { return r.ties(*d); },
                keptText("The cells tied for " + std::string(d->name) +
                         " (every cell of the largest weight, in row order) when there is a tie; empty otherwise.")
                    .c_str());
    result.def_readonly("abs_value", &PyResult::absValue, "Concentrations absValue, shape (len(mp), len(mm)).")
        .def_readonly("value", &PyResult::value,
                      "The distribution Value the window's map shows: abs_value normalised to sum 1, except "
                      "the lone chains (1, 0) and (0, 1), which hold their concentrations c+ and c-.")
        .def_readonly("mp", &PyResult::mp, "The M+ axis, mpMin..mpMax.")
        .def_readonly("mm", &PyResult::mm, "The M- axis, mmMin..mmMax.")
        .def_property_readonly(
            "most_probable_core_radius", [](const PyResult& r) { return r.observables.mostProbableCoreRadius; },
            "Core radius Rc of the most probable complex, segments (core_radius of the summary).")
        .def_property_readonly(
            "any_complex", [](const PyResult& r) { return r.observables.anyComplex; },
            "True when some complex (M+ >= 1 and M- >= 1) has a positive weight.")
        .def_property_readonly(
            "concentrations", [](const PyResult& r) { return r.observables.totalMode ? "total" : "free"; },
            "How the run's concentrations were set: \"free\" (the free chains vc10, vc01) or \"total\" "
            "(the totals C+, C-; the free chains solved by the mass balance).")
        .def("summary", &PyResult::summary, "unit_nm"_a = py::none(), keptText(summaryDoc()).c_str())
        .def(
            "structure",
            [](const PyResult& r, const std::optional<double>& unitNm, const std::optional<double>& neutralSegmentNm,
               const std::string& solvent, std::optional<double> waterFraction, std::pair<double, double> contrast) {
                return r.structure(r.structureInputs(unitNm, neutralSegmentNm, solvent, waterFraction, contrast));
            },
            "unit_nm"_a = py::none(), "neutral_segment_nm"_a = py::none(), "solvent"_a = "good",
            "water_fraction"_a = py::none(), "contrast"_a = std::pair<double, double>{1.0, 1.0},
            R"doc(The molar masses of the complexes (molar_mass_mn, _mw, _mz, and with the free chains
molar_mass_*_with_free, g/mol) and, with unit_nm, their sizes (hydrodynamic_radius_z_nm as
dynamic light scattering reports it, hydrodynamic_radius_n_nm, _w_nm, the Guinier
radius_of_gyration_z_nm, and of the most probable complex hydrodynamic_radius_nm and
corona_thickness_nm), as a dict. Needs the parameters' molar_mass_plus and molar_mass_minus.
neutral_segment_nm: the neutral segments' size (unit_nm when None); solvent "good" (a
Daoud-Cotton star corona) or "theta"; water_fraction of the swollen core (the run's
water_fraction when None); contrast
(core, corona) against the solvent per mass.)doc")
        .def(
            "scattering",
            [](const PyResult& r, const std::vector<double>& q, const std::optional<double>& unitNm,
               const std::optional<double>& neutralSegmentNm, const std::string& solvent,
               std::optional<double> waterFraction, std::pair<double, double> contrast) {
                return r.scattering(q, r.structureInputs(unitNm, neutralSegmentNm, solvent, waterFraction, contrast));
            },
            "q"_a, "unit_nm"_a, "neutral_segment_nm"_a = py::none(), "solvent"_a = "good",
            "water_fraction"_a = py::none(), "contrast"_a = std::pair<double, double>{1.0, 1.0},
            R"doc(The scattered intensity per concentration I(q) of the distribution at the q given (1/nm),
as a dict of arrays q, I, I_core, I_corona, I_free (marlinq-batch --scattering): each complex
a Pedersen-Gerstenberg micelle (core sphere and corona chains), the free chains Debye coils;
in g/mol times contrast squared, so that I(0) is the contrast-weighted Mw. Needs the molar
masses and unit_nm; the other arguments as for structure().)doc")
        .def_property_readonly("free_energies", &PyResult::landscape,
                               R"doc(The free-energy landscape: a read-only NumPy structured array, one row per
evaluated cell in row order, fields mp, mm (int32), F (free energy of the complex, kT),
E (the exponent of its weight: minus the free energy of forming it from single chains),
abs_value and value (abs_value over the sum of all weights). Debye-Hueckel evaluates
every complex, Poisson-Boltzmann the band near neutrality. The rows of marlinq-batch
--free-energies. None for a run with keep_energies=False.)doc")
        .def(
            "free_energies_csv", [](const PyResult& r) { return freeEnergiesCsv(*r.record); },
            "The landscape as marlinq-batch --free-energies writes it (17 significant digits).")
        .def("share", &PyResult::shareAt, "mp"_a, "mm"_a,
             "The share of the distribution held by (mp, mm): its abs_value over the sum of abs_value.")
        .def_readonly("log", &PyResult::log, "The log lines of the run, as the window's log shows them.")
        .def_readonly("warnings", &PyResult::warnings,
                      "What casts doubt on the result, as the log says it: unconverged solves, complexes "
                      "without a finite free energy, a partial result, the most probable complex on the edge "
                      "of a range, the accuracy of converged energies.")
        .def_readonly("diagnostics", &PyResult::diagnostics,
                      "Diagnostic lines: the single-chain energies, unconverged solves.")
        .def_readonly("partial", &PyResult::partial,
                      "True when the run was stopped before its last row (progress returned False).")
        .def_readonly("method", &PyResult::method)
        .def_readonly("chains", &PyResult::chains)
        .def_readonly("accuracy", &PyResult::accuracy)
        .def_property_readonly(
            "parameters", [](const PyResult& r) { return r.parameters; }, "A copy of the parameter set of the run.")
        .def_property_readonly(
            "weight_scale", [](const PyResult& r) { return weightShiftFactor(r.record->max_shift); },
            "The common factor of abs_value: abs_value = concentration * weight_scale (1 unless the "
            "weights had to be shifted into the range of a double).")
        .def_property_readonly(
            "weight_shift", [](const PyResult& r) { return weightShiftOffset(r.record->max_shift); },
            "The common exponent offset of abs_value: abs_value = concentration * 2.71828183**(-weight_shift) "
            "(0 unless the weights had to be shifted into the range of a double).")
        .def_property_readonly(
            "converged", [](const PyResult& r) { return r.counts.converged; },
            "True when the free energies were converged in the grid (accuracy='converged').")
        .def_property_readonly(
            "error_estimate", [](const PyResult& r) { return r.counts.converged ? r.counts.errorEstimate : NAN; },
            "Converged runs: the largest estimated remaining error of any free energy, kT (else NaN).")
        .def_property_readonly(
            "standard_difference",
            [](const PyResult& r) { return r.counts.converged ? r.counts.standardDifference : NAN; },
            "Converged runs: the largest |converged - standard| of any free energy, kT (else NaN).")
        .def_property_readonly("rows_done", [](const PyResult& r) { return r.counts.rowsDone; })
        .def_property_readonly("unstable_solves", [](const PyResult& r) { return r.counts.unstableSolves; })
        .def_property_readonly("non_finite_cells", [](const PyResult& r) { return r.counts.nonFiniteCells; })
        .def_property_readonly(
            "beyond_debye_hueckel_cells", [](const PyResult& r) { return r.counts.beyondDebyeHueckel; },
            "Debye-Hueckel cells outside the linearisation's validity (reduced surface potential "
            "above 10 or no finite free energy): the method's numbers, not physics.")
        .def_property_readonly(
            "chain_free_energy_plus", [](const PyResult& r) { return r.record->chains.plus; },
            "Free energy of one isolated '+' chain, kT.")
        .def_property_readonly(
            "chain_free_energy_minus", [](const PyResult& r) { return r.record->chains.minus; },
            "Free energy of one isolated '-' chain, kT.")
        .def("distribution_text", &PyResult::distributionText, "long"_a = false,
             R"doc(The distribution export.

long=False: what marlinq-batch and "Save Distribution" write, M+ = 0..mpMax lines of
tab-terminated values with 15 significant digits. long=True: the long export, a header
"M+<tab>M-<tab>absValue<tab>Value" and one line per computed cell with the shortest text
that reads back as the same double; Value is the cell's share, abs_value over its sum.
The table runs from M = 0 whatever the ranges: above 1 GiB it raises ValueError (use
long=True), as marlinq-batch refuses it without --long-format.)doc")
        .def(
            "save_distribution",
            [](const PyResult& r, const std::string& path, bool longFormat) {
                r.refuseOversizedTable(longFormat);
                const DistributionCells distribution(*r.record);
                std::string error;
                const bool ok = longFormat ? writeDistributionLong(path, distribution.view(), nullptr, error)
                                           : writeDistribution(path, distribution.view(), '.', error);
                if (!ok) raiseOSError(error, path);
            },
            "path"_a, "long"_a = false,
            "Writes distribution_text(long) to path (an existing file is replaced only once the new one is complete; "
            "a character device or a FIFO is written directly); a table above 1 GiB raises ValueError before "
            "anything is written.")
        .def("__repr__", [](const PyResult& r) {
            const auto& best = r.observables.mostProbable;
            const std::string most = best ? "(" + std::to_string(best->first) + ", " + std::to_string(best->second) + ")"
                                          : std::string("none");
            return "<marlinq.Result " + r.method + " M+ " + std::to_string(r.record->params().mpMin) + ".." +
                   std::to_string(r.record->params().mpMax) + " x M- " + std::to_string(r.record->params().mmMin) +
                   ".." + std::to_string(r.record->params().mmMax) + ", most probable " + most +
                   (r.partial ? ", partial" : "") + ">";
        });

    m.def("_critical_salt", &criticalSaltOf, "params"_a, "total"_a, "charge_fraction"_a, "method"_a, "chains"_a,
          "accuracy"_a, "data_dir"_a, "unit_nm"_a, "threads"_a = 0, "bjerrum_nm"_a = py::none());
    m.def("_solve_for", &solveForOf, "params"_a, "name"_a, "observable"_a, "target"_a, "range"_a, "total"_a,
          "charge_fraction"_a, "method"_a, "chains"_a, "accuracy"_a, "data_dir"_a, "unit_nm"_a, "threads"_a = 0,
          "bjerrum_nm"_a = py::none());
    m.def("_run", &runEngine, "params"_a, "method"_a, "chains"_a, "accuracy"_a, "progress"_a, "data_dir"_a,
          "keep_energies"_a, "threads"_a = 0, "total"_a = py::none(), "charge_fraction"_a = py::none(),
          "bjerrum_nm"_a = py::none(), "unit_nm"_a = py::none());
    m.def("_sweep", &sweepEngine, "params"_a, "names"_a, "values"_a, "method"_a, "chains"_a, "accuracy"_a,
          "data_dir"_a, "unit_nm"_a, "workers"_a, "keep_results"_a, "progress"_a, "threads"_a = 0,
          "allow_large"_a = false);
    m.def("_sweep_to_file", &sweepToFile, "params"_a, "names"_a, "values"_a, "method"_a, "chains"_a, "accuracy"_a,
          "data_dir"_a, "unit_nm"_a, "workers"_a, "keep_results"_a, "progress"_a, "output"_a, "resume"_a,
          "allow_large"_a);
    m.def("_merge", &mergeParts, "parts"_a, "output"_a);
    m.def("_machine_threads", &machineThreads,
          "Threads a run uses by default: the OpenMP maximum, which follows OMP_NUM_THREADS.");
    m.def("_set_vanishing_pivot_bound", &setVanishingPivotBound, "bound"_a,
          "Testing hook: pivots below this magnitude count as vanishing (1e-300 normally); a large "
          "bound makes every Newton solve fail as a singular Jacobian would.");
    m.def("_sweepable_names", &sweepableNames);
    m.def(
        "_parameter_names",
        [] {
            py::list rows;
            for (const ParameterRow& r : parameterSchema())
                rows.append(py::make_tuple(std::string(r.key), std::string(r.alias), r.integer));
            return rows;
        },
        "(key, snake_case name, integer) of every parameter.");
    m.def(
        "_derived_names",
        [] {
            py::list rows;
            for (const DerivedName& d : derivedNames())
                rows.append(py::make_tuple(std::string(d.name), std::string(d.sets), d.needsUnit, std::string(d.meaning)));
            return rows;
        },
        "(name, the parameter it sets, needs unit_nm, meaning) of every name beside the parameters: salt_mM, "
        "total, charge_fraction, the totals in units, bjerrum_nm.");
    m.def(
        "observables",
        [] {
            const std::vector<ObservableColumn> columns = observableColumns(true, true);
            py::list out;
            for (const ObservableDef& d : observableRegistry()) {
                py::list names;
                for (const ObservableColumn& c : columns)
                    if (c.def == &d) names.append(c.name);
                py::dict row;
                row["name"] = std::string(d.name);
                row["label"] = std::string(d.label);
                row["unit"] = std::string(d.unit);
                row["caption"] = d.caption();
                row["description"] = std::string(d.description);
                row["shape"] = d.shape == ObservableShape::Cell ? "cell" : "number";
                row["needs_unit_nm"] = d.needsUnitNm;
                row["needs_molar_mass"] = d.needsMolarMass;
                row["sweep_columns"] = names;
                out.append(row);
            }
            return out;
        },
        R"doc(The observables a run reports, one dict each: name (the key of Result.summary() and
of marlinq-batch --summary), label and unit for people (caption: "Mean core radius (a)";
unit "a" is the segment size), description, needs_unit_nm (only with the segment size in
nm), needs_molar_mass (only with the chains' molar masses: Result.structure()) and sweep_columns (its columns in a sweep table; a complex has two, NAME_mp and
NAME_mm; none for an observable the sweep leaves out).)doc");

    // --- Profile
    py::class_<PyProfile>(m, "Profile", R"doc(
Radial profiles of one complex over r / Rc = 0, 0.02, ..., 8 (401 points): the
Poisson-Boltzmann potential u, the Debye-Hueckel one u_dh (None unless method="dh"),
the small-ion densities relative to the bulk times (kRc)^2 (cations (kRc)^2 exp(-u), anions
(kRc)^2 exp(+u)) and the charge density; Z, Rc, kRc of the complex.)doc")
        .def_readonly("r", &PyProfile::r, "Distance from the centre in core radii.")
        .def_readonly("u", &PyProfile::u, "Reduced potential, Poisson-Boltzmann.")
        .def_readonly("u_dh", &PyProfile::uDh, "Reduced potential, Debye-Hueckel (None with method='pb').")
        .def_readonly("cation_density", &PyProfile::cationDensity, "Cations, (kRc)^2 exp(-u).")
        .def_readonly("anion_density", &PyProfile::anionDensity, "Anions, (kRc)^2 exp(+u).")
        // The names of earlier versions, which had the two ions the wrong way round: kept
        // with their former values, (kRc)^2 exp(+u) and (kRc)^2 exp(-u).
        .def_property_readonly(
            "density_plus",
            [](const PyProfile& p) {
                deprecatedName("density_plus", "anion_density");
                return p.anionDensity;
            },
            "Deprecated: (kRc)^2 exp(+u), the anions; use anion_density.")
        .def_property_readonly(
            "density_minus",
            [](const PyProfile& p) {
                deprecatedName("density_minus", "cation_density");
                return p.cationDensity;
            },
            "Deprecated: (kRc)^2 exp(-u), the cations; use cation_density.")
        .def_readonly("charge_density", &PyProfile::chargeDensity)
        .def_property_readonly("mp", [](const PyProfile& p) { return p.profile.mp; })
        .def_property_readonly("mm", [](const PyProfile& p) { return p.profile.mm; })
        .def_property_readonly("Z", [](const PyProfile& p) { return p.profile.Z; }, "Bare charge of the complex.")
        .def_property_readonly("Rc", [](const PyProfile& p) { return p.profile.Rc; }, "Core radius, segments.")
        .def_property_readonly("kRc", [](const PyProfile& p) { return p.profile.kRc; }, "ka * Rc.")
        .def_property_readonly("ka", [](const PyProfile& p) { return p.profile.ka; })
        .def(
            "to_csv",
            [](const PyProfile& p) {
                return formatProfileCsv(p.profile, static_cast<int>(p.profile.r.size()));
            },
            "The profile CSV, as marlinq-batch --profile writes it.")
        .def("__repr__", [](const PyProfile& p) {
            return "<marlinq.Profile (" + std::to_string(p.profile.mp) + ", " + std::to_string(p.profile.mm) +
                   ") Z=" + formatGeneral(p.profile.Z) + " Rc=" + formatGeneral(p.profile.Rc) +
                   " kRc=" + formatGeneral(p.profile.kRc) + ">";
        });
    m.def("_profile", &profileOf, "params"_a, "mp"_a, "mm"_a, "method"_a, "accuracy"_a);

    m.def(
        "_set_program_data_dir",
        [](const std::string& dir) { engine().setDataSearch(DataSearch{"", dir}); },
        "dir"_a);
    m.def(
        "_locate", [](const std::string& name) { return engine().dataSearch().locate(name); }, "name"_a);
}
