#pragma once
// The main window: input fields of both chain kinds and the solution, the distribution
// map with its coordinate bars and colour bar, the result panel, the log and the job that
// fills the map.

#include "pipeline/CalculationJob.h"
#include "pipeline/Records.h"
#include "ui/JobChannel.h"
#include "ui/MapModel.h"

#include <QBrush>
#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QPixmap>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <stop_token>
#include <thread>
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
class QSlider;
class QTextEdit;
class QWidget;

namespace marlinq::ui {

class Form1 : public QMainWindow {
    Q_OBJECT

public:
    using Rec = marlinq::ui::Rec;

    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Tolerant number parse of the concentration fields: a comma is read as a decimal
    // point; white space, signs, parentheses, group separators, an exponent and the
    // currency symbol are allowed; 0.0 when nothing parses.
    static double GetDouble(const QString& text);
    static double Max(double a, double b, double c);

    // --- handlers, named after their control and event ---
    void Form1_Load();
    void button1_Click();  // Solve
    void button2_Click();  // Stop
    void button3_Click();  // Get '+'
    void button4_Click();  // Get '-'
    void trackBar1_Scroll();
    void trackBar2_Scroll();
    void trackBar3_Scroll();
    void trackBar4_Scroll();
    void trackBar5_Scroll();
    void trackBar6_Scroll();
    void pictureBox1_MouseDoubleClick(QPoint position);
    void saveToolStripMenuItem_Click();           // File / Save Distribution
    void saveMapToolStripMenuItem_Click();        // File / Save Map as PNG
    void exitToolStripMenuItem_Click_1();         // File / Exit
    void loadDefaultToolStripMenuItem1_Click();   // Parameters / Load Parameters
    void saveAsDefaultToolStripMenuItem_Click();  // Parameters / Save Parameters
    void helpToolStripMenuItem_Click();           // Help

    // --- the job's callbacks; window thread only ---
    void UpdateUIText(const QString& text);
    void UpdateUIMatrix(const QString& text);
    void UpdataUIButton(const QString& text);

    // Makes rec the window's current result (as the job does when it builds its record)
    // and keeps a copy for drawing. Window thread.
    void setCurrentRecord(std::shared_ptr<InfoSphereBean> rec);
    // The copy of the current result the window draws and exports from.
    std::shared_ptr<const InfoSphereBean> currentResult() const { return isb; }
    // Tooltip of the map at a point of the map picture (empty outside the cells).
    QString mapToolTip(QPoint position) const;
    // True while a job of this window has not returned yet (superseded ones included).
    bool jobsRunning() const;
    // The map as drawn last (575 x 575).
    const QImage& mapImage() const { return image; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs on the job thread: the calculation with its callbacks routed to the window.
    void GenerateFreeEnergy(JobInput input, std::stop_token token, std::uint64_t generation);
    void jobEnded(std::uint64_t generation, JobOutcome outcome);
    void shutDownJobs();
    void reapFinishedJobs();
    // Runs the oldest function a job handed to the window thread (one queued call per
    // function, so they run in the order handed over).
    Q_INVOKABLE void runHandedOverCall();

    void buildLayout();
    void buildMenus();
    void paintColorBar();
    void drawCoordinateBars();
    void drawEmptyMap();
    void redrawMap();
    void updateResultPanel(std::int32_t mp, std::int32_t mm);
    void clearResultLabels();
    void takeSnapshot();
    void drawPlusSchematic(double length, double neutral, double scale);
    void drawMinusSchematic(double length, double neutral, double scale);
    QString dialogDirectory() const;
    void rememberDirectory(const QString& path);
    void showMessage(const QString& text);

    // --- controls (objectName = member name) ---
    QScrollArea* scrollArea = nullptr;
    QWidget* client = nullptr;
    QFrame* panel1 = nullptr;  // left panel
    QFrame* panel2 = nullptr;  // result panel
public:
    QLineEdit *pchgBox = nullptr, *plenBox = nullptr, *pneuBox = nullptr;
    QLineEdit *textBox4 = nullptr, *textBox3 = nullptr, *textBox5 = nullptr;
    QLineEdit *textBox7 = nullptr, *textBox1 = nullptr, *textBox2 = nullptr;
    QLineEdit *pminBox = nullptr, *pmaxBox = nullptr, *mminBox = nullptr, *mmaxBox = nullptr;
    QLabel *label40 = nullptr, *label5 = nullptr;
    QLabel *label21 = nullptr, *label61 = nullptr, *label62 = nullptr, *label63 = nullptr, *label64 = nullptr,
           *label65 = nullptr;
    QLabel *pictureBox1 = nullptr, *pictureBox2 = nullptr, *pictureBox3 = nullptr, *pictureBox4 = nullptr,
           *pictureBox5 = nullptr;
    QLabel *plusStrip = nullptr, *minusStrip = nullptr;
    QWidget *plusLine = nullptr, *minusLine = nullptr;
    QSlider *trackBar1 = nullptr, *trackBar2 = nullptr, *trackBar3 = nullptr, *trackBar4 = nullptr,
            *trackBar5 = nullptr, *trackBar6 = nullptr;
    QCheckBox *checkBox1 = nullptr, *checkBox2 = nullptr;
    QPushButton *button1 = nullptr, *button2 = nullptr, *button3 = nullptr, *button4 = nullptr;
    QTextEdit* richTextBox1 = nullptr;
    QProgressBar* progressBar1 = nullptr;
    QAction *saveToolStripMenuItem = nullptr, *saveMapToolStripMenuItem = nullptr, *exitToolStripMenuItem = nullptr,
            *loadDefaultToolStripMenuItem1 = nullptr, *saveAsDefaultToolStripMenuItem = nullptr,
            *helpToolStripMenuItem = nullptr;
    QMenu *fileToolStripMenuItem = nullptr, *parametersToolStripMenuItem = nullptr;

private:
    // --- state ---
    std::shared_ptr<InfoChainBean> icb;
    // The copy of the current result that the window reads; taken only while the job waits
    // in a callback (or after it ended), so no read races a stage thread.
    std::shared_ptr<InfoSphereBean> isb;
    std::shared_ptr<InfoSphereBean> liveRecord;  // the job's record; touched only inside callbacks
    std::shared_ptr<const InfoSphereBean> drawnRecord;  // the copy the map and `list` show
    std::int32_t prange = 0, mrange = 0;
    CellList list;
    std::vector<QBrush> brushl;
    QImage image;  // the map
    QPixmap image1, image_bar_x, image_bar_y;
    std::stop_source TokenSource;

    struct RunningJob {
        std::thread thread;
        std::stop_source stop;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    std::vector<RunningJob> jobs;
    std::shared_ptr<JobChannel> channel;
    // Functions on their way from a job thread to the window thread. They travel through
    // this queue under its own lock; the queued call that wakes the window carries nothing.
    // Qt's event queue is ordered by its own internal locks, which a race detector cannot
    // see, so a function object built on the job thread and read on the window thread
    // would otherwise look unordered to it.
    std::mutex handOverMutex;
    std::deque<std::function<void()>> handedOver;
    std::uint64_t generation = 0;  // of the newest job; older jobs no longer reach the window
    bool stopRequested = false;    // "Stop" pressed for the newest job
    bool dhRun = false;            // the newest job takes the Debye-Hueckel path
    bool loaded = false;
    QString lastLogLine;
    QElapsedTimer runClock;
    std::mt19937 sunRandom{20240601u};
    QString lastDirectory;
};

}  // namespace marlinq::ui
