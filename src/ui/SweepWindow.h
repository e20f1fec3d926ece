#pragma once
// "Sweep...": runs the current parameters once per value of one or two parameters in the
// background, charts a chosen observable against the swept parameter (a map for two),
// loads a clicked point into the main window, and saves the CSV, PNG and SVG.

#include "files/DataPaths.h"
#include "pipeline/Sweep.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
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

class SweepMap;

class SweepWindow : public QWidget {
    Q_OBJECT

public:
    // base: the main window's parameters; options: its method and chain choice; unitNm:
    // the segment size in nm when set (salt_mM can then be swept).
    SweepWindow(ParameterSet base, RunOptions options, std::optional<double> unitNm, DataSearch search,
                QWidget* parent = nullptr);
    ~SweepWindow() override;

    // Starts the sweep the fields describe; false (and a message in statusLabel) when the
    // fields do not describe one.
    bool start();
    // Ends the sweep after the current point.
    void stop();
    bool running() const { return worker.joinable() && !finishedRun; }

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
                *saveSvgButton = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* statusLabel = nullptr;
    QStackedWidget* plotStack = nullptr;
    QChartView* chartView = nullptr;
    SweepMap* sweepMap = nullptr;

signals:
    // A point was clicked: its parameter set, to be shown in the main window.
    void loadRequested(const marlinq::ParameterSet& set);
    // The sweep ended (finished or stopped).
    void sweepEnded();

private:
    void pointDone(SweepPoint point, std::int64_t done, std::int64_t total);
    void ended(bool stopped);
    void redraw();
    void saveClicked(int kind);

    ParameterSet base;
    std::optional<double> unitNm;
    DataSearch search;
    bool converged = false;  // the main window's accuracy choice
    SweepSpec current;
    std::vector<SweepPoint> finished;
    std::jthread worker;
    bool finishedRun = true;
};

}  // namespace marlinq::ui
