// The main window under rapid use: "Solve" and "Stop" pressed in quick succession, and the
// window destroyed while a Poisson-Boltzmann job runs. Built as its own executable so that
// a ThreadSanitizer build can run just these.
#include "main_window_support.h"
#include "ui/ObservablesPanel.h"

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QSignalSpy>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>

using namespace marlinq;
using namespace marlinq::ui;
using namespace marlinq::ui::testing;

namespace {

// Ends the test program when the guarded scope has not finished within its bound: a hang
// fails at once with its name instead of stalling the whole suite.
class Watchdog {
public:
    Watchdog(std::chrono::seconds bound, const char* what)
        : thread_([this, bound, what] {
              std::unique_lock lock(mutex_);
              if (!cv_.wait_for(lock, bound, [this] { return done_; })) {
                  std::fprintf(stderr, "hang: %s did not finish within %lld s\n", what,
                               static_cast<long long>(bound.count()));
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

// Counts events still delivered to an object after it was destroyed (the address is only
// compared, never followed).
class LateEventSpy : public QObject {
public:
    const void* watched = nullptr;
    int late = 0;
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (watched && static_cast<const void*>(receiver) == watched) ++late;
        return QObject::eventFilter(receiver, event);
    }
};

struct WindowCapture {
    QString log;
    QStringList labels;
    std::shared_ptr<const marlinq::RunResult> record;
    int rowsDone = 0;
    QImage map;
};

class StressTest : public WindowTest, public ::testing::WithParamInterface<bool> {
protected:
    bool dh() const { return GetParam(); }

    void configure() {
        debyeHueckelBoxOf(*form)->setChecked(dh());
        // Small enough that a stopped row ends soon even under a sanitizer; large enough
        // that Stop lands in the middle of a run.
        if (dh())
            setRanges(0, 20, 0, 20);
        else
            setRanges(0, 4, 0, 4);
    }

    WindowCapture capture() const {
        WindowCapture r;
        r.log = log();
        for (const QLabel* l :
             {resultLabelOf(*form, "mPlusOutput"), resultLabelOf(*form, "mMinusOutput"),
              resultLabelOf(*form, "coreRadiusOutput"), resultLabelOf(*form, "rescaledSaltCoreOutput"),
              resultLabelOf(*form, "bareChargeOutput"), resultLabelOf(*form, "rescaledBareChargeOutput")})
            r.labels << l->text();
        r.record = runControllerOf(*form).result();
        r.rowsDone = runProgressOf(*form)->value();
        r.map = mapViewOf(*form).image();
        return r;
    }

    void finish() {
        Watchdog guard(std::chrono::seconds(600), "the last run");
        ASSERT_TRUE(waitFor([&] { return !runControllerOf(*form).jobsRunning() && solveButtonOf(*form)->isEnabled(); },
                            600000));
        QCoreApplication::processEvents();
    }
};

TEST_P(StressTest, HundredSolveStopPairsLeaveOnlyTheLastRunsResult) {
    configure();
    solveAndWait();
    const WindowCapture clean = capture();
    ASSERT_TRUE(clean.record && clean.record->hasResults());
    ASSERT_FALSE(clean.labels.front().isEmpty());

    // Presses as fast as a user hammering the keys: sometimes no event in between,
    // sometimes one round of events, sometimes a few milliseconds of them, and now and then
    // long enough for a row or a log line to come in before "Stop".
    std::mt19937 pace(7u);
    const auto pause = [&] {
        switch (pace() % 8) {
            case 0:
            case 1:
            case 2:
                break;
            case 3:
            case 4:
                QCoreApplication::processEvents();
                break;
            case 5:
            case 6:
                QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(pace() % 4));
                break;
            default:
                waitFor([] { return false; }, static_cast<int>(10 + pace() % 20));
        }
    };
    for (int press = 0; press < 100; ++press) {
        ASSERT_TRUE(solveButtonOf(*form)->isEnabled()) << press;
        solveButtonOf(*form)->click();
        ASSERT_FALSE(solveButtonOf(*form)->isEnabled()) << press;
        pause();
        // A fast run may already have ended; "Stop" is then disabled and does nothing.
        stopButtonOf(*form)->click();
        EXPECT_TRUE(solveButtonOf(*form)->isEnabled()) << press;
        EXPECT_FALSE(stopButtonOf(*form)->isEnabled()) << press;
        pause();
    }
    EXPECT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(" | ").toStdString();

    solveButtonOf(*form)->click();
    finish();

    // Nothing of the hundred stopped jobs reached the window: the log, labels, progress and
    // record are those of a clean run, to the bit.
    const WindowCapture last = capture();
    EXPECT_EQ(last.log, clean.log);
    EXPECT_EQ(last.labels, clean.labels);
    EXPECT_EQ(last.rowsDone, clean.rowsDone);
    ASSERT_TRUE(last.record && last.record->hasResults());
    EXPECT_NE(last.record, clean.record);  // a new record, not the old one shown again
    EXPECT_EQ(!last.record->byRows(), dh());
    EXPECT_EQ(last.record->index, clean.record->index);
    EXPECT_EQ(last.record->max_shift, clean.record->max_shift);
    EXPECT_EQ(last.record->maxValue, clean.record->maxValue);
    EXPECT_EQ(last.record->minValue, clean.record->minValue);
    EXPECT_TRUE(last.record->Value == clean.record->Value);
    EXPECT_TRUE(last.record->absValue == clean.record->absValue);
    EXPECT_TRUE(last.map == clean.map);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, StressTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("DebyeHueckel") : std::string("PoissonBoltzmann");
                         });

// The window destroyed in the middle of a Poisson-Boltzmann run, at different moments: right
// after "Solve" (chain stage), after a row was reported, and after a pause without events,
// so that the job's next report is likely queued and waiting. Each time the destruction returns once the running
// row is done, nothing crashes, and no event reaches the destroyed window.
TEST_F(WindowTest, DestroyingTheWindowDuringAPoissonBoltzmannRunEndsItsJob) {
    LateEventSpy spy;
    QCoreApplication::instance()->installEventFilter(&spy);
    enum class Moment { AtOnce, AfterARow, AfterAQuietPause };
    for (const Moment moment : {Moment::AtOnce, Moment::AfterARow, Moment::AfterAQuietPause}) {
        for (const bool closeFirst : {true, false}) {
            SCOPED_TRACE(static_cast<int>(moment) * 2 + (closeFirst ? 1 : 0));
            if (!form) form = std::make_unique<MainWindow>();
            form->show();
            debyeHueckelBoxOf(*form)->setChecked(false);
            setRanges(0, 8, 0, 8);
            solveButtonOf(*form)->click();
            ASSERT_TRUE(runControllerOf(*form).jobsRunning());
            if (moment == Moment::AfterARow) {
                ASSERT_TRUE(waitFor([&] { return log().contains("Row 0 is passed..."); }));
            }
            if (moment == Moment::AfterAQuietPause) {
                ASSERT_TRUE(waitFor([&] { return log().contains("Row 0 is passed..."); }));
                // No events from here on: the job's next report stays queued and it waits.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
            QPointer<QTextEdit> logBox = logViewOf(*form);
            const void* destroyed = form.get();
            {
                Watchdog guard(std::chrono::seconds(300), "destroying the window during a run");
                if (closeFirst) form->close();
                form.reset();
            }
            EXPECT_TRUE(logBox.isNull());
            spy.watched = destroyed;
            // Whatever the job had queued for the window is dropped with it.
            for (int round = 0; round < 20; ++round) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            EXPECT_EQ(spy.late, 0);
            spy.watched = nullptr;
        }
    }
    QCoreApplication::instance()->removeEventFilter(&spy);
    EXPECT_TRUE(dialogs->messages.isEmpty()) << dialogs->messages.join(" | ").toStdString();
}

// The Observables tab's sensitivity is estimated on a thread of its own: pressed again and
// again across new runs, and the window destroyed while an estimate runs, its answer reaches
// only the result it was made for and never a destroyed panel.
TEST_F(WindowTest, SensitivityEstimatesAcrossRunsAndADestroyedWindow) {
    LateEventSpy spy;
    QCoreApplication::instance()->installEventFilter(&spy);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        if (!form) form = std::make_unique<MainWindow>();
        form->show();
        setRanges(0, 40, 0, 40);
        solveAndWait();
        auto* panel = form->findChild<ObservablesPanel*>(QStringLiteral("observablesPanel"));
        auto* estimate = childOf<QPushButton>(*panel, "sensitivityButton");
        ASSERT_TRUE(estimate->isEnabled());
        QSignalSpy shown(panel, &ObservablesPanel::sensitivityShown);
        estimate->click();
        if (round % 2 == 0) {
            ASSERT_TRUE(waitFor([&] { return shown.count() == 1; }));
            continue;
        }
        const void* destroyed = panel;
        {
            Watchdog guard(std::chrono::seconds(300), "destroying the window during an estimate");
            form.reset();
        }
        spy.watched = destroyed;
        for (int pass = 0; pass < 20; ++pass) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_EQ(spy.late, 0);
        spy.watched = nullptr;
    }
    QCoreApplication::instance()->removeEventFilter(&spy);
}

}  // namespace
