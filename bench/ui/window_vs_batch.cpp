// What the window costs on top of the calculation: the same run timed as a marlinq-batch
// process and in the main window (offscreen), from "Solve" until the job has ended and the
// window has drawn what it was sent. The window may cost at most 1.5 times the batch time.
//
//   QT_QPA_PLATFORM=offscreen build/bench/ui/window_vs_batch build/apps/marlinq-batch [MAX] [METHOD]
//
// MAX: both ranges 0..MAX (default 999); METHOD pb (default) or dh. Prints both times, the
// log's last row line when the job ended, and the ratio; exits 1 when the ratio is above 1.5.
#include "files/DataPaths.h"
#include "ui/Form1.h"
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

#include <cstdio>

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

    // The window: fields as the file gives them, "Solve", until the job has ended and the
    // window has handled everything the job sent.
    Form1 form;
    form.resize(1366, 700);
    form.setDataSearch(DataSearch{MARLINQ_SOURCE_DATA_DIR, ""});
    form.show();
    QCoreApplication::processEvents();
    form.pmaxBox->setText(QString::number(max));
    form.mmaxBox->setText(QString::number(max));
    form.checkBox2->setChecked(method == QStringLiteral("dh"));
    QCoreApplication::processEvents();

    QString rowAtEnd;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (rowAtEnd.isEmpty() && !form.jobsRunning()) rowAtEnd = lastRowLine(form.richTextBox1->toPlainText());
        if (!form.jobsRunning() && form.button1->isEnabled()) loop.quit();
    });
    clock.restart();
    form.button1->click();
    poll.start();
    loop.exec();
    QCoreApplication::processEvents();  // what the window still had queued
    const double windowSeconds = clock.nsecsElapsed() * 1e-9;

    const double ratio = windowSeconds / batchSeconds;
    std::printf("ranges 0..%d, %s\n", max, qPrintable(method));
    std::printf("batch  %8.2f s\nwindow %8.2f s  (log when the job ended: \"%s\", progress %d of %d)\n", batchSeconds,
                windowSeconds, qPrintable(rowAtEnd), form.progressBar1->value(), form.progressBar1->maximum());
    std::printf("window / batch = %.2f (aim: at most 1.5)\n", ratio);
    return ratio <= 1.5 ? 0 : 1;
}
