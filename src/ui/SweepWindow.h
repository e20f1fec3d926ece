#pragma once
// "Sweep...": runs the current parameters once per value of one or two parameters in the
// background, charts a chosen observable against the swept parameter (a map for two),
// loads a clicked point into the main window, and saves the CSV, PNG and SVG.

#include "pipeline/Engine.h"
#include "pipeline/JobRunner.h"
#include "pipeline/Sweep.h"

#include <QWidget>

#include <memory>
#include <optional>
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

class SweepWindow : public QWidget {
    Q_OBJECT

public:
    // base: the main window's parameters; options: its method and chain choice; unitNm:
    // the segment size in nm when set (salt_mM can then be swept); engine: the main
    // window's, whose tables the sweep shares.
    SweepWindow(ParameterSet base, RunOptions options, std::optional<double> unitNm, std::shared_ptr<Engine> engine,
                QWidget* parent = nullptr);
    ~SweepWindow() override;

    // Starts the sweep the fields describe; false (and a message in statusLabel) when the
    // fields do not describe one.
    bool start();
    // Starts the search for the critical salt of the main window's set (it must be in total
    // mode) with the chosen method and chains; false (and why in statusLabel) when it cannot.
    bool startCriticalSalt();
    // Ends the sweep after the current point (the critical salt after its current run).
    void stop();
    bool running() const { return !finishedRun; }

    // The finished points, in order (without their result records).
    const std::vector<SweepPoint>& points() const { return finished; }
    const SweepSpec& plan() const { return current; }
    QString csvText() const;
    bool saveCsv(const QString& path, QString* error) const;
    bool savePng(const QString& path);
    bool saveSvg(const QString& path);
    // Loads the finished point with this index into the main window (loadRequested).
    void choosePoint(std::int64_t index);

    // --- controls (objectName = member name) ---
    QComboBox *firstNameBox = nullptr, *secondNameBox = nullptr, *methodBox = nullptr, *chainsBox = nullptr,
              *observableBox = nullptr;
    QLineEdit *firstValuesBox = nullptr, *secondValuesBox = nullptr;
    QCheckBox* secondCheck = nullptr;
    QPushButton *runButton = nullptr, *stopButton = nullptr, *saveCsvButton = nullptr, *savePngButton = nullptr,
                *saveSvgButton = nullptr, *criticalSaltButton = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* statusLabel = nullptr;
    QStackedWidget* plotStack = nullptr;
    QChartView* chartView = nullptr;
    MapView* sweepMap = nullptr;  // the map of a two-parameter sweep

signals:
    // A point was clicked: its parameter set, to be shown in the main window.
    void loadRequested(const marlinq::ParameterSet& set);
    // The sweep ended (finished or stopped).
    void sweepEnded();
    // The search for the critical salt ended; text is what statusLabel then says.
    void criticalSaltEnded(const QString& text);

private:
    void pointDone(SweepPoint point);
    void ended(bool stopped);
    Q_INVOKABLE void deliverEvents();
    void redraw();
    void saveClicked(int kind);

    ParameterSet base;
    std::optional<double> unitNm;
    std::shared_ptr<Engine> engine;
    Accuracy accuracy = Accuracy::Standard;  // the main window's choice
    SweepSpec current;
    std::vector<SweepPoint> finished;
    bool finishedRun = true;
    bool stoppedEarly = false;  // the last sweep was stopped before its end
    // Runs the sweep; its events reach the window through one queued call per batch.
    std::unique_ptr<JobRunner> runner;
};

}  // namespace marlinq::ui
