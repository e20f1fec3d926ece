#pragma once
// The main window: input fields of both chain kinds and the solution, the distribution
// map (a MapView), the result panel, the log and the job that fills the map.

#include "files/DataPaths.h"
#include "pipeline/Engine.h"
#include "pipeline/JobRunner.h"
#include "pipeline/Records.h"
#include "ui/MapView.h"
#include "ui/UserDialogs.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
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

class ObservablesPanel;
class ParameterForm;

class Form1 : public QMainWindow {
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // --- handlers, named after their control and event ---
    void Form1_Load();
    void button1_Click();  // Solve
    void button2_Click();  // Stop
    void saveToolStripMenuItem_Click();           // File / Save Distribution
    // Whether a file can be written at the path a save dialog gave; if not, says why (log
    // and message box) and returns false before anything is written.
    bool canWriteChosenFile(const QString& path);
    void saveMapToolStripMenuItem_Click();        // File / Save Map as PNG
    void saveMapSvgToolStripMenuItem_Click();     // File / Save Map as SVG
    void exitToolStripMenuItem_Click_1();         // File / Exit
    void loadDefaultToolStripMenuItem1_Click();   // Parameters / Load Parameters
    void saveAsDefaultToolStripMenuItem_Click();  // Parameters / Save Parameters
    void helpToolStripMenuItem_Click();           // Help
    void sweepToolStripMenuItem_Click();          // Parameters / Sweep...

    // --- the job's callbacks; window thread only ---
    void UpdateUIText(const QString& text);
    // Solve enabled, Stop disabled.
    void showIdleButtons();
    // Draws the map and the result labels of the current record again.
    void redraw() { redrawMap(); }

    // Makes rec the window's current result (as the job does with each snapshot). Window thread.
    void setCurrentRecord(ResultSnapshot rec);
    // rec, or after "Stop" a copy without the run's common shift.
    ResultSnapshot withoutShiftAfterStop(ResultSnapshot rec) const;
    // The current result the window draws and exports from.
    ResultSnapshot currentResult() const { return resultRecord; }
    // Where the chain tables are looked for (the tables are read again at the next run).
    void setDataSearch(DataSearch search) { engine->setDataSearch(std::move(search)); }
    // True while a job of this window has not returned yet (superseded ones included).
    bool jobsRunning() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void jobEnded(JobOutcome outcome);
    // Hands the waiting events of the current job to the window (queued from the job).
    Q_INVOKABLE void deliverJobEvents();
    // A stopped Poisson-Boltzmann run: its rows done and rows.
    bool isPartial() const { return partialRows.second > 0; }
    void appendLog(const QString& text);
    JobEvents jobEvents();
    // The choices of "Debye-Hueckel", "tables" and "converged".
    RunOptions runOptions() const;

    void buildLayout();
    void buildMenus();
    void redrawMap();
    // The profiles of the complex (mp, mm) of the current result, in a chart window.
    void openProfileChart(std::int32_t mp, std::int32_t mm);
    // The figure settings of File > Map Figure, read and written with the user's settings.
    void loadFigureSettings();
    void saveFigureSettings() const;
    // How File > Map Figure lays out a saved map.
    FigureOptions figureOptions() const;
    // The View menu's checks as the map's colour scale and view are.
    void showColourScaleInMenu();
    void showMapViewInMenu();
    void updateResultPanel(std::int32_t mp, std::int32_t mm);
    void clearResultLabels();
    void takeSnapshot();
    QString dialogDirectory() const;
    void rememberDirectory(const QString& path);
    void showMessage(const QString& text);

    // --- controls (objectName = member name) ---
    QScrollArea* scrollArea = nullptr;
    QWidget* client = nullptr;
    // The chains, the solution and the ranges (objectName "parameterForm").
    ParameterForm* parameterForm = nullptr;
    QFrame* panel2 = nullptr;  // result panel
public:
    MapView* mapView = nullptr;      // the distribution map, its bars and colour-scale controls
    QLabel* partialLabel = nullptr;  // says that the result panel shows a stopped run
    QLabel *label21 = nullptr, *label61 = nullptr, *label62 = nullptr, *label63 = nullptr, *label64 = nullptr,
           *label65 = nullptr;
    QLabel* pictureBox5 = nullptr;
    QCheckBox *checkBox1 = nullptr, *checkBox2 = nullptr, *checkBox3 = nullptr;
    QCheckBox* linearDhBox = nullptr;  // under checkBox2: the closed-form linear Debye-Hueckel energy
    QPushButton *button1 = nullptr, *button2 = nullptr;
    QTextEdit* richTextBox1 = nullptr;
    QProgressBar* progressBar1 = nullptr;
    QAction *saveToolStripMenuItem = nullptr, *saveMapToolStripMenuItem = nullptr, *exitToolStripMenuItem = nullptr,
            *loadDefaultToolStripMenuItem1 = nullptr, *saveAsDefaultToolStripMenuItem = nullptr,
            *helpToolStripMenuItem = nullptr;
    QAction *saveMapSvgToolStripMenuItem = nullptr, *logColoursToolStripMenuItem = nullptr,
            *wholeRangeToolStripMenuItem = nullptr;
    // View > Viridis colours; File > Map Figure: the caption in the picture, its width.
    QAction *viridisToolStripMenuItem = nullptr, *mapCaptionToolStripMenuItem = nullptr,
            *mapColumnWidthToolStripMenuItem = nullptr, *mapPageWidthToolStripMenuItem = nullptr;
    QMenu *fileToolStripMenuItem = nullptr, *parametersToolStripMenuItem = nullptr, *viewToolStripMenuItem = nullptr;
    QAction* sweepToolStripMenuItem = nullptr;
    ObservablesPanel* observablesPanel = nullptr;  // a tab beside the result panel
    QTabWidget* resultTabs = nullptr;

private:
    // --- state ---
    std::shared_ptr<RunRecord> runRecord;
    // The newest snapshot of the current result; snapshots never change, the job goes on
    // with its own record meanwhile.
    ResultSnapshot resultRecord;
    // The data search and the chain tables of this window and its sweep windows.
    std::shared_ptr<Engine> engine = std::make_shared<Engine>();
    // The message boxes and file dialogs of this window, fixed when it is made (a test
    // installs its own answering set before).
    std::shared_ptr<UserDialogs> dialogs = userDialogs();
    // Runs the jobs; its events reach the window through one queued call per batch.
    std::unique_ptr<JobRunner> runner;
    bool stopRequested = false;    // "Stop" pressed for the newest job
    bool runUnderWay = false;      // from Solve until the newest job has ended
    std::pair<std::int32_t, std::int32_t> partialRows{0, 0};  // rows done, rows of a stopped run
    bool loaded = false;
    QString failure;               // why the newest job failed
    QElapsedTimer runClock;
    // What the job has said since the window last showed it: log lines, the newest progress
    // count and whether a new snapshot came. The window shows them together, at most once
    // per turn of its event loop and the map at most every kMapRedrawMs while the job runs,
    // so that a job faster than the window never leaves a queue of redraws behind it.
    QString pendingLog;
    std::optional<std::pair<std::int64_t, std::int64_t>> pendingProgress;
    bool pendingRecord = false;
    bool viewUpdateQueued = false;
    QElapsedTimer sinceMapRedraw;
    static constexpr int kMapRedrawMs = 200;
    void queueViewUpdate();
    // Shows what is pending; the map only when `mapToo` or its interval has passed.
    void showPending(bool mapToo);
    // A Debye-Hueckel run's estimated time, counted down in the status bar.
    QTimer* estimateTimer = nullptr;
    double estimatedSeconds = 0.0;
    QString estimateText;  // "Debye-Hückel, 998001 complexes"
    void showEstimate();
    std::mt19937 sunRandom{20240601u};
    QString lastDirectory;
};

}  // namespace marlinq::ui
