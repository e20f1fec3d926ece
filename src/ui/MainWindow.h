#pragma once
// The main window: input fields of both chain kinds and the solution, the distribution
// map (a MapView), the result panel, the log and the job that fills the map.

#include "pipeline/Engine.h"
#include "pipeline/RunResult.h"
#include "ui/MapView.h"
#include "ui/UserDialogs.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QTabWidget;
class QTextEdit;
class QWidget;

namespace marlinq::ui {

class FileCommands;
class MapFigureMenu;
class ObservablesPanel;
class ParameterForm;
class ResultPanel;
class RunController;
class RunOptionsBox;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // --- what the buttons and menus do ---
    // Reads the start-up fields into the form's parameters and draws the empty map; once,
    // when the window is first shown.
    void firstShow();
    // Starts the run the fields and the run options describe (after a message box when
    // the fields do not describe one); the run before it is superseded.
    void solve();
    // Stops the run after its current row; what it computed stays as a partial result.
    void stop();
    void exitProgram();      // File / Exit
    void showAbout();        // Help
    void openSweepWindow();  // Parameters / Sweep...

    // Adds a line to the log.
    void appendLogLine(const QString& text);
    // Draws the map and the result panel of the current record again.
    void redraw() { redrawMap(); }

    // Where the chain tables are looked for (the tables are read again at the next run).
    void setDataSearch(DataSearch search) { engine->setDataSearch(std::move(search)); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Wires the run controller to the log, the progress bar, the buttons and the panels.
    void connectRuns();
    // The newest run has ended: its progress bar, its failure, the map's region.
    void runEnded(JobOutcome outcome);
    // Shows the current result: the observables of a new snapshot, the map of new rows.
    void showResult(const ResultSnapshot& rec, bool newSnapshot, bool newRows);
    void appendLog(const QString& text);

    void buildLayout();
    void buildMenus();
    void redrawMap();
    // The profiles of the complex (mp, mm) of the current result, in a chart window.
    void openProfileChart(std::int32_t mp, std::int32_t mm);
    // The View menu's checks as the map's colour scale and view are.
    void showColourScaleInMenu();
    void showMapViewInMenu();
    // The result panel shows the complex (mp, mm) of the current result.
    void updateResultPanel(std::int32_t mp, std::int32_t mm);
    void showMessage(const QString& text);

    // --- widgets (objectName = member name); tests find them by that name ---
    QScrollArea* scrollArea = nullptr;
    QWidget* client = nullptr;
    // The chains, the solution and the ranges (objectName "parameterForm").
    ParameterForm* parameterForm = nullptr;
    // The "Optimal solution" tab, the run's choices, Solve and Stop, the log and the bar of
    // rows done; the controller that runs the jobs.
    ResultPanel* resultPanel = nullptr;
    RunOptionsBox* runOptionsBox = nullptr;
    QPushButton *solveButton = nullptr, *stopButton = nullptr;
    QTextEdit* logView = nullptr;
    QProgressBar* runProgress = nullptr;
    RunController* runs = nullptr;
    MapView* mapView = nullptr;  // the distribution map, its bars and colour-scale controls
    QAction *saveDistributionAction = nullptr, *saveMapPngAction = nullptr, *exitAction = nullptr,
            *loadParametersAction = nullptr, *saveParametersAction = nullptr, *helpAction = nullptr;
    QAction *saveMapSvgAction = nullptr, *logColoursAction = nullptr, *wholeRangeAction = nullptr;
    QAction* viridisAction = nullptr;        // View > Viridis colours
    MapFigureMenu* mapFigureMenu = nullptr;  // File > Map Figure: how a saved map is laid out
    QMenu *fileMenu = nullptr, *parametersMenu = nullptr, *viewMenu = nullptr;
    QAction* sweepAction = nullptr;
    ObservablesPanel* observablesPanel = nullptr;  // a tab beside the result panel
    QTabWidget* resultTabs = nullptr;

    // --- state ---
    // The data search and the chain tables of this window and its sweep windows.
    std::shared_ptr<Engine> engine = std::make_shared<Engine>();
    // The message boxes and file dialogs of this window, fixed when it is made (a test
    // installs its own answering set before).
    std::shared_ptr<UserDialogs> dialogs = userDialogs();
    // Loading and saving parameters, saving the distribution and the map.
    FileCommands* fileCommands = nullptr;
    bool loaded = false;
};

}  // namespace marlinq::ui
