#pragma once
// "Sweep...": runs the current parameters once per value of one or two parameters in the
// background, charts a chosen observable against the swept parameter (a map for two),
// loads a clicked point into the main window, and saves the CSV, PNG and SVG.

#include "pipeline/SolveFor.h"
#include "pipeline/Engine.h"
#include "pipeline/CriticalSalt.h"
#include "pipeline/StoredSweep.h"
#include "pipeline/Sweep.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace marlinq::ui {

class MapView;
class RunController;

// What a sweep starts from: the main window's fields when "Run" is pressed.
struct SweepBase {
    ParameterSet set;
    Accuracy accuracy = Accuracy::Standard;
    std::optional<double> unitNm;  // the segment size in nm, when set
};

// How a swept parameter is named on the chart's and the map's axes: the symbol the window
// uses for it ("c+" for vc10), else its name.
QString sweepAxisTitle(const std::string& name);

class SweepWindow : public QWidget {
    Q_OBJECT

public:
    // base: the main window's parameters; options: its method and chain choice; unitNm:
    // the segment size in nm when set (salt_mM can then be swept); engine: the main
    // window's, whose tables the sweep shares.
    SweepWindow(ParameterSet base, RunOptions options, std::optional<double> unitNm, std::shared_ptr<Engine> engine,
                QWidget* parent = nullptr);
    ~SweepWindow() override;

    // Where each sweep (and the critical salt) takes its parameters from when it starts: the
    // main window's fields as they are then. Without one, the parameters given at opening.
    void setBaseSource(std::function<SweepBase()> source) { baseSource = std::move(source); }

    // Starts the sweep the fields describe; false (and a message in sweepStatus) when the
    // fields do not describe one.
    bool start();
    // Starts the search for the critical salt of the main window's set (it must be in total
    // mode) with the chosen method and chains; false (and why in sweepStatus) when it cannot.
    bool startCriticalSalt();
    // Starts the search for the value of the first parameter, between the least and the
    // largest of its values, at which the chosen (numeric) observable equals the target
    // field; false (and why in sweepStatus) when it cannot.
    bool startSolveFor();
    // Ends the sweep after the current point (the critical salt after its current run).
    void stop();
    bool running() const;

    // The finished points, in order (without their result records); after a resume the
    // points kept from the unfinished run come first (their numbers read from its file).
    const std::vector<SweepPoint>& points() const { return finished; }
    const SweepSpec& plan() const { return current; }
    // Each sweep is saved as it runs through the sweep store, as marlinq-batch --sweep -o
    // writes it (the same bytes): into sweep-<plan fingerprint>.csv in sweepFolder(), the
    // rows in that name with .partial until the sweep is complete. A Run of a plan whose
    // partial file is left (the window or the program ended mid-sweep) offers to resume it.
    static QString sweepFolder();
    // The file of the last sweep (its .partial while unfinished); empty before any.
    QString savedFile() const { return storePath; }
    // The CSV of the last sweep as its file holds it (with the mark of a stopped sweep).
    QString csvText() const;
    bool saveCsv(const QString& path, QString* error) const;
    bool savePng(const QString& path);
    bool saveSvg(const QString& path);
    // Loads the finished point with this index into the main window (loadRequested).
    void choosePoint(std::int64_t index);

signals:
    // A point was clicked: its parameter set, to be shown in the main window.
    void loadRequested(const marlinq::ParameterSet& set);
    // The sweep ended (finished or stopped).
    void sweepEnded();
    // The search for the critical salt ended; text is what sweepStatus then says.
    void criticalSaltEnded(const QString& text);
    // The search for a value ended; text is what sweepStatus then says.
    void solveForEnded(const QString& text);

private:
    // --- widgets (objectName = member name); tests find them by that name ---
    QComboBox *firstNameBox = nullptr, *secondNameBox = nullptr, *methodBox = nullptr, *chainsBox = nullptr,
              *observableBox = nullptr;
    QLineEdit *firstValuesBox = nullptr, *secondValuesBox = nullptr, *targetBox = nullptr;
    QCheckBox* secondCheck = nullptr;
    QPushButton *runSweepButton = nullptr, *stopSweepButton = nullptr, *saveCsvButton = nullptr,
                *savePngButton = nullptr, *saveSvgButton = nullptr, *criticalSaltButton = nullptr,
                *solveForButton = nullptr;
    QProgressBar* sweepProgress = nullptr;
    QLabel* sweepStatus = nullptr;
    QStackedWidget* plotStack = nullptr;
    QChartView* chartView = nullptr;
    MapView* sweepMap = nullptr;  // the map of a two-parameter sweep

    void pointDone(SweepPoint point);
    void ended(JobOutcome outcome);
    // The critical salt's search has ended: its result in the status line.
    void criticalSaltDone();
    // The search for a value has ended: its result in the status line.
    void solveForDone();
    // The run options of the method and chains boxes.
    RunOptions chosenOptions() const;
    void redraw();
    void saveClicked(int kind);
    // The bytes of the last sweep's file (FILE.partial while unfinished), if it can be read.
    std::optional<std::string> storedCsv() const;
    // Takes the main window's fields as they are now (when there is a source).
    void takeBase();
    // The two-parameter map as saved: the map without its controls, a caption under it.
    QImage mapFigure();
    QString mapCaption() const;

    std::function<SweepBase()> baseSource;
    ParameterSet base;
    std::optional<double> unitNm;
    std::shared_ptr<Engine> engine;
    Accuracy accuracy = Accuracy::Standard;  // the main window's choice
    SweepSpec current;
    std::vector<SweepPoint> finished;
    // The chart's numbers of each finished point (sweepObservableValues, or read back from
    // the file for the points a resumed sweep kept).
    std::vector<std::vector<double>> observed;
    std::int64_t keptPoints = 0;  // points a resumed sweep took from its file
    QString storePath;            // the sweep's file (FILE; FILE.partial until complete)
    QString storeSaid;            // what the store said (why it could not start or write)
    bool stoppedEarly = false;  // the last sweep was stopped before its end
    // The search for the critical salt under way (its result when it ends); null for a sweep.
    std::shared_ptr<CriticalSaltResult> criticalSaltResult;
    // The search for a value under way (its result when it ends), and what it looks for.
    std::shared_ptr<SolveForResult> solveForResult;
    SolveForProblem solveForAsked;
    // Runs the sweep and the critical salt; their events reach the window as its signals.
    RunController* runs = nullptr;
};

}  // namespace marlinq::ui
