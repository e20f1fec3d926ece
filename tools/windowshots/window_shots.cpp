// Pictures of the chart window and the About window for the documentation:
//   xvfb-run marlinq-window-shots <folder>
// writes chart-window.png (complex (3,5) of the start-up parameters, Debye-Hueckel curve
// shown, the window as it opens on the screen: run it on a 1366 x 768 screen),
// chart-ions-saved.png (the ion chart as "Save PNG" writes it), chart-window-wide.png (the
// window at 1600 x 960, as on a larger screen) and about-window.png.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QThread>

#include <cstdio>

#include "pipeline/ComplexProfile.h"
#include "ui/Pictures.h"
#include "ui/ProfileChartWindow.h"
#include "ui/AboutWindow.h"

namespace {

void settle() {
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
}

bool saveShot(QWidget* window, const QDir& folder, const char* name) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    const QPixmap shot = window->grab();
    if (!shot.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), shot.width(), shot.height());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    QApplication::setWindowIcon(marlinq::ui::applicationIcon());
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    // Start-up values of the main window: q = 18 and N = 72 for both chains, ka = 0.2.
    const int mp = 3, mm = 5;
    const marlinq::ComplexProfile p = marlinq::computeComplexProfile(
        marlinq::SphericalComplex::of(mp, mm, marlinq::ChainBlocks{18.0, 18.0, 72.0, 72.0},
                                      marlinq::ComplexConditions{0.2}),
        marlinq::ProfileOverlay::DebyeHueckel);

    auto* chart = new marlinq::ui::ProfileChartWindow(
        p.potential.data(), p.r.data(), p.cation_density.data(), p.anion_density.data(),
        p.charge_density.data(), p.Z, p.Rc, p.kRc, p.ka, p.dh, p.dhPotential.data());
    chart->setWindowTitle(QStringLiteral("Complex (%1,%2)").arg(mp).arg(mm));
    chart->show();
    settle();
    bool ok = saveShot(chart, folder, "chart-window.png");

    // A saved chart names its complex in its title; PNG at twice the screen size.
    ok &= chart->savePng(marlinq::ui::ProfileChartWindow::IonChart,
                         folder.filePath(QStringLiteral("chart-ions-saved.png")));
    // The same window on a larger screen: the charts grow with it.
    chart->resize(1600, 960);
    settle();
    ok &= saveShot(chart, folder, "chart-window-wide.png");

    auto* about = new marlinq::ui::AboutWindow;
    about->show();
    settle();
    ok &= saveShot(about, folder, "about-window.png");

    chart->close();
    about->close();
    return ok ? 0 : 1;
}
