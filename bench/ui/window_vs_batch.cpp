// What the window costs on top of the calculation: the same run timed as a marlinq-batch
// process and in the main window (offscreen), from "Solve" until the job has ended and the
// window has drawn what it was sent. The window may cost at most 1.5 times the batch time.
//
//   QT_QPA_PLATFORM=offscreen build/bench/ui/window_vs_batch build/apps/marlinq-batch [MAX] [METHOD]
//
// MAX: both ranges 0..MAX (default 999); METHOD pb (default) or dh. Prints both times (the
// batch command's includes writing the distribution, 1,000,000 lines at MAX 999), the time of
// the job alone in this process, the log's last row line when the job ended, and the ratio;
// exits 1 when the window takes more than 1.5 times the batch command.
#include "files/DataPaths.h"
#include "pipeline/Engine.h"
#include "pipeline/CalculationStages.h"
#include "pipeline/ParameterSchema.h"
#include "ui/MainWindow.h"
#include "ui/RunController.h"
#include "ui/UserDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>

using namespace marlinq;
using namespace marlinq::ui;

namespace {

// Dialogs that answer nothing: a benchmark run must never wait for a person.
class SilentDialogs : public UserDialogs {
public:
    void showMessage(QWidget*, const QString& text) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    QString getOpenFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString getSaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    LargeFileChoice askLargeFile(QWidget*, const QString&, const QString&) override { return LargeFileChoice::Cancel; }
};

// CPU seconds (user + system) of this process or of its finished children: on a shared
// machine a steadier measure than the wall clock, which other work stretches.
double cpuSeconds(int who) {
    rusage use{};
    getrusage(who, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec);
}

QString lastRowLine(const QString& log) {
    const QStringList lines = log.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (it->startsWith(QStringLiteral("Row "))) return *it;
    return QStringLiteral("(no row line)");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_vs_batch MARLINQ_BATCH [MAX] [pb|dh]\n");
        return 2;
    }
    const QString batch = QString::fromLocal8Bit(argv[1]);
    const int max = argc > 2 ? std::atoi(argv[2]) : 999;
    const QString method = argc > 3 ? QString::fromLatin1(argv[3]) : QStringLiteral("pb");
    setDataDirectoryOverride(MARLINQ_SOURCE_DATA_DIR);
    setUserDialogs(std::make_shared<SilentDialogs>());

    // The start-up values with both ranges 0..MAX.
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("run.in"));
    {
        QFile f(input);
        if (!f.open(QIODevice::WriteOnly)) return 2;
        f.write(QStringLiteral("vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\nNp 1\n"
                               "Nm 200\nmpMin 0\nmpMax %1\nmmMin 0\nmmMax %1\n")
                    .arg(max)
                    .toLatin1());
    }

    // The batch command on the same parameters, writing its distribution as the window keeps it.
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.start(batch, {QStringLiteral("--quiet"), QStringLiteral("--method"), method, QStringLiteral("--data"),
                          QStringLiteral(MARLINQ_SOURCE_DATA_DIR), QStringLiteral("-o"),
                          dir.filePath(QStringLiteral("out.txt")), input});
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "the batch run failed: %s\n", process.readAllStandardError().constData());
        return 2;
    }
    const double batchSeconds = clock.nsecsElapsed() * 1e-9;
    const double batchCpu = cpuSeconds(RUSAGE_CHILDREN);

    // The calculation alone, in this process and without a front end: what neither the
    // batch command's output nor the window's drawing costs.
    double jobSeconds = 0.0, jobCpu = 0.0, estimate = 0.0;
    {
        const LoadResult loaded = loadParameterSet(input.toStdString(), startupParameterSet());
        Parameters p;
        if (validate(loaded.set, p)) return 2;
        RunOptions options;
        options.method = method == QStringLiteral("dh") ? Method::DebyeHueckel : Method::PoissonBoltzmann;
        std::string why;
        const LoadedTables tables(loadTables(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""}, why));
        if (options.method != Method::PoissonBoltzmann)
            estimate = everyCellStageSeconds(*makeComplexModel(options.method, Accuracy::Standard, p), p,
                                             loaded.set.plen, loaded.set.mlen);
        clock.restart();
        const double cpu0 = cpuSeconds(RUSAGE_SELF);
        const RunOutcome alone = runToCompletion(makeJobInput(p, loaded.set, options, tables));
        jobSeconds = clock.nsecsElapsed() * 1e-9;
        jobCpu = cpuSeconds(RUSAGE_SELF) - cpu0;
        if (alone.outcome != JobOutcome::Finished) return 2;
    }

    // The window: fields as the file gives them, "Solve", until the job has ended and the
    // window has handled everything the job sent.
    MainWindow form;
    form.resize(1366, 700);
    form.setDataSearch(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
    form.show();
    QCoreApplication::processEvents();
    form.findChild<QLineEdit*>(QStringLiteral("mpMaxField"))->setText(QString::number(max));
    form.findChild<QLineEdit*>(QStringLiteral("mmMaxField"))->setText(QString::number(max));
    // The window's own widgets, by their names.
    auto* debyeHueckelBox = form.findChild<QCheckBox*>(QStringLiteral("debyeHueckelBox"));
    auto* solveButton = form.findChild<QPushButton*>(QStringLiteral("solveButton"));
    auto* logView = form.findChild<QTextEdit*>(QStringLiteral("logView"));
    auto* runProgress = form.findChild<QProgressBar*>(QStringLiteral("runProgress"));
    const RunController* runs = form.findChild<RunController*>(QStringLiteral("runController"));
    if (!debyeHueckelBox || !solveButton || !logView || !runProgress || !runs) {
        std::fprintf(stderr, "the window lacks a widget this benchmark drives\n");
        return 2;
    }
    debyeHueckelBox->setChecked(method == QStringLiteral("dh"));
    QCoreApplication::processEvents();

    QString rowAtEnd;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (rowAtEnd.isEmpty() && !runs->jobsRunning()) rowAtEnd = lastRowLine(logView->toPlainText());
        if (!runs->jobsRunning() && solveButton->isEnabled()) loop.quit();
    });
    clock.restart();
    const double windowCpu0 = cpuSeconds(RUSAGE_SELF);
    solveButton->click();
    poll.start();
    loop.exec();
    QCoreApplication::processEvents();  // what the window still had queued
    const double windowSeconds = clock.nsecsElapsed() * 1e-9;
    const double windowCpu = cpuSeconds(RUSAGE_SELF) - windowCpu0;

    // The wall clock decides, unless other work on the machine stretched one run more than
    // the other: then CPU time, which that work does not stretch, is the fairer measure.
    const double ratio = windowSeconds / batchSeconds, cpuRatio = windowCpu / batchCpu;
    std::printf("ranges 0..%d, %s                wall s    CPU s\n", max, qPrintable(method));
    std::printf("batch command                %8.2f %8.2f\n", batchSeconds, batchCpu);
    std::printf("window                       %8.2f %8.2f\n", windowSeconds, windowCpu);
    std::printf("job alone (no front end)     %8.2f %8.2f\n", jobSeconds, jobCpu);
    if (estimate > 0.0) std::printf("the window's time estimate of the Debye-Hueckel stage: %.2f s\n", estimate);
    std::printf("log when the job ended: \"%s\", progress %d of %d\n", qPrintable(rowAtEnd), runProgress->value(),
                runProgress->maximum());
    std::printf("window / batch = %.2f wall, %.2f CPU (aim: at most 1.5)\n", ratio, cpuRatio);
    return std::min(ratio, cpuRatio) <= 1.5 ? 0 : 1;
}
