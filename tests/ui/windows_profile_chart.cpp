// The profile chart window: what it shows, and the files it saves.
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QValueAxis>

#include <gtest/gtest.h>

#include "pipeline/Version.h"

#include <clocale>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "ui/ProfileChartWindow.h"
#include "ui/UserDialogs.h"

using marlinq::ui::ProfileChartWindow;

namespace {

// Profiles on the full 401-point grid, shaped roughly like those of a charged complex.
struct Profiles {
    std::vector<double> u, r, cations, anions, charge, dhU;
    Profiles() : u(401), r(401), cations(401), anions(401), charge(401), dhU(401) {
        for (int i = 0; i < 401; ++i) {
            r[i] = i * ((8.0 - 0.0) / 400);
            u[i] = -2.5 * std::exp(-r[i]);
            dhU[i] = -2.0 * std::exp(-r[i]);
            cations[i] = 0.25 * std::exp(-u[i]);
            anions[i] = 0.25 * std::exp(u[i]);
            charge[i] = (cations[i] - anions[i]) + (r[i] <= 1.0 ? 0.7 : 0.0);
        }
    }
    ProfileChartWindow* open(bool dh, double Z = -36.0, double Rc = 5.4321, double kRc = 1.08642, double ka = 0.2) {
        auto* w = new ProfileChartWindow(u.data(), r.data(), cations.data(), anions.data(), charge.data(),
                                         Z, Rc, kRc, ka, dh, dh ? dhU.data() : nullptr);
        w->setWindowTitle(QStringLiteral("Complex (3,5)"));
        return w;
    }
};

QString labelText(const ProfileChartWindow& w, const char* name) {
    auto* label = w.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing>");
}

QValueAxis* axis(QChart* chart, Qt::Orientation o) {
    const auto axes = chart->axes(o);
    return axes.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(axes.first());
}

QList<QLineSeries*> curves(QChart* chart) {
    QList<QLineSeries*> out;
    for (auto* s : chart->series()) out.append(qobject_cast<QLineSeries*>(s));
    return out;
}

// Answers save dialogs with a fixed path and records messages.
struct FakeDialogs : marlinq::ui::UserDialogs {
    QString answer;
    QStringList messages;
    QString lastDirectory;
    void showMessage(QWidget*, const QString& text) override { messages << text; }
    QString getOpenFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString getSaveFileName(QWidget*, const QString&, const QString& directory, const QString&) override {
        lastDirectory = directory;
        return answer;
    }
};

}  // namespace

TEST(Plot2Window, ChartsCarryTheirTitlesCurvesAndRanges) {
    Profiles data;
    for (bool dh : {false, true}) {
        SCOPED_TRACE(dh ? "with Debye-Hueckel" : "Poisson-Boltzmann only");
        QPointer<ProfileChartWindow> w = data.open(dh);
        w->show();  // the charts are built when the window is first shown

        const char* titles[] = {"Potential", "Ion Distribution", "Charge Density"};
        const QString yTitles[] = {QStringLiteral("u"), QStringLiteral("(\u03baRc)\u00b2 exp(\u00b1u)"),
                                   QStringLiteral("\u03c1 Rc\u00b2 l_B  (\u03c1: charge density)")};
        for (int k = 0; k < ProfileChartWindow::ChartCount; ++k) {
            QChart* chart = w->chart(k);
            ASSERT_NE(chart, nullptr);
            EXPECT_EQ(chart->title(), QString::fromLatin1(titles[k]));
            ASSERT_NE(axis(chart, Qt::Horizontal), nullptr);
            EXPECT_EQ(axis(chart, Qt::Horizontal)->titleText(), QStringLiteral("r/Rc"));
            EXPECT_EQ(axis(chart, Qt::Vertical)->titleText(), yTitles[k]);
            for (QLineSeries* s : curves(chart)) {
                ASSERT_NE(s, nullptr);
                ASSERT_EQ(s->count(), 251);  // r from 0 to 5, not to 8
                EXPECT_DOUBLE_EQ(s->at(250).x(), 5.0);
                EXPECT_TRUE(s->pointsVisible());
                // The automatic range shows every point of the curve.
                for (const QPointF& p : s->points()) {
                    EXPECT_GE(p.y(), axis(chart, Qt::Vertical)->min());
                    EXPECT_LE(p.y(), axis(chart, Qt::Vertical)->max());
                }
            }
        }

        const auto top = curves(w->chart(ProfileChartWindow::PotentialChart));
        ASSERT_EQ(top.size(), dh ? 2 : 1);
        EXPECT_EQ(top[0]->name(), QStringLiteral("Poisson Boltzmann"));
        EXPECT_EQ(top[0]->color(), QColor(Qt::red));
        EXPECT_DOUBLE_EQ(top[0]->at(0).y(), data.u[0]);
        if (dh) {
            EXPECT_EQ(top[1]->name(), QStringLiteral("Debye Huckel"));
            EXPECT_EQ(top[1]->color(), QColor(Qt::blue));
            EXPECT_DOUBLE_EQ(top[1]->at(100).y(), data.dhU[100]);
        }
        EXPECT_TRUE(w->chart(ProfileChartWindow::PotentialChart)->legend()->isVisible());

        // The two ion kinds share their olive and are told apart by filled and hollow
        // symbols and by their legend entries.
        const auto ions = curves(w->chart(ProfileChartWindow::IonChart));
        ASSERT_EQ(ions.size(), 2);
        EXPECT_DOUBLE_EQ(ions[0]->at(10).y(), data.cations[10]);
        EXPECT_DOUBLE_EQ(ions[1]->at(10).y(), data.anions[10]);
        // A cation (charge +1) has the Boltzmann factor exp(-u).
        EXPECT_EQ(ions[0]->name(), QStringLiteral("cations, (\u03baRc)\u00b2 exp(\u2212u)"));
        EXPECT_EQ(ions[1]->name(), QStringLiteral("anions, (\u03baRc)\u00b2 exp(+u)"));
        EXPECT_TRUE(w->chart(ProfileChartWindow::IonChart)->legend()->isVisible());
        const QImage filled = ions[0]->lightMarker(), hollow = ions[1]->lightMarker();
        ASSERT_FALSE(filled.isNull());
        ASSERT_FALSE(hollow.isNull());
        const QPoint middle(filled.width() / 2, filled.height() / 2);
        EXPECT_EQ(filled.pixelColor(middle).rgb(), QColor(128, 128, 0).rgb());
        EXPECT_EQ(hollow.pixelColor(middle).rgb(), QColor(Qt::white).rgb());
        const auto charge = curves(w->chart(ProfileChartWindow::ChargeChart));
        ASSERT_EQ(charge.size(), 1);
        EXPECT_EQ(charge[0]->color(), QColor(255, 165, 0));
        for (QLineSeries* s : ions + charge) {
            EXPECT_EQ(s->color(), s == charge[0] ? QColor(255, 165, 0) : QColor(128, 128, 0));
            for (auto* marker : s->chart()->legend()->markers(s)) EXPECT_EQ(marker->isVisible(), s != charge[0]);
        }
        // Small symbols on a tenth of the points: a line with points, not a chain of circles.
        for (QLineSeries* s : ions + charge + top) {
            EXPECT_LE(s->markerSize(), 7.0);
            int shown = 0;
            for (int i = 0; i < s->count(); ++i) {
                const auto config = s->pointConfiguration(i);
                const auto hidden = config.find(QXYSeries::PointConfiguration::Visibility);
                shown += (hidden == config.end() || hidden->toBool()) ? 1 : 0;
            }
            EXPECT_EQ(shown, 26);
        }

        w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(w.isNull()) << "closing the window destroys it";
    }
}

TEST(Plot2Window, KeepsItsOwnCopyOfTheProfiles) {
    auto data = std::make_unique<Profiles>();
    std::unique_ptr<ProfileChartWindow> w(data->open(false));
    const double first = data->u[0];
    data.reset();  // the opener releases its buffers as soon as the window exists
    w->buildCharts();
    EXPECT_DOUBLE_EQ(curves(w->chart(ProfileChartWindow::PotentialChart))[0]->at(0).y(), first);
}

TEST(Plot2Window, SideColumnShowsTwoDecimalsInTheUsersFormat) {
    Profiles data;
    {
        std::unique_ptr<ProfileChartWindow> w(data.open(false, -36.0, 2.5, 1234.5678, 0.001));
        EXPECT_EQ(labelText(*w, "netChargeValue"), QStringLiteral("-36.00"));
        EXPECT_EQ(labelText(*w, "chargePerRadiusValue"), QStringLiteral("-14.40"));  // Z / Rc
        EXPECT_EQ(labelText(*w, "coreRadiusValue"), QStringLiteral("2.50"));
        EXPECT_EQ(labelText(*w, "screenedRadiusValue"), QStringLiteral("1234.57"));  // no group separator
        EXPECT_EQ(labelText(*w, "saltValue"), QStringLiteral("0.00"));               // no "-0.00" either
    }
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    {
        std::unique_ptr<ProfileChartWindow> w(data.open(false, 18.0, 2.5, 1234.5678, -0.0001));
        EXPECT_EQ(labelText(*w, "coreRadiusValue"), QStringLiteral("2,50"));
        EXPECT_EQ(labelText(*w, "screenedRadiusValue"), QStringLiteral("1234,57"));
        EXPECT_EQ(labelText(*w, "saltValue"), QStringLiteral("0,00"));
    }
    QLocale::setDefault(previous);
}

TEST(Plot2Window, SavesChartsAsPngAndSvg) {
    Profiles data;
    std::unique_ptr<ProfileChartWindow> w(data.open(true));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    const QString png = dir.filePath(QStringLiteral("potential.png"));
    ASSERT_TRUE(w->savePng(ProfileChartWindow::PotentialChart, png));  // works before the window was ever shown
    QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(),
              w->chartView(ProfileChartWindow::PotentialChart)->size() * 2);  // twice its size on the screen
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80) ++red;
        }
    EXPECT_GT(red, 200) << "the red Poisson-Boltzmann curve is drawn";
    const QString madeBy = QStringLiteral("Marlinq Solver ") + QString::fromStdString(marlinq::provenance());
    EXPECT_EQ(image.text(QStringLiteral("Software")), madeBy);

    const QString svg = dir.filePath(QStringLiteral("charge.svg"));
    ASSERT_TRUE(w->saveSvg(ProfileChartWindow::ChargeChart, svg));
    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("<svg"));
    EXPECT_TRUE(text.contains("Charge Density, complex (3,5)"));  // the saved chart names its complex
    EXPECT_TRUE(text.contains(madeBy.toUtf8())) << "the program that made it";
    EXPECT_EQ(w->chart(ProfileChartWindow::ChargeChart)->title(), QStringLiteral("Charge Density"));

    EXPECT_FALSE(w->savePng(ProfileChartWindow::PotentialChart, dir.filePath(QStringLiteral("missing/folder/a.png"))));
    EXPECT_FALSE(w->saveSvg(ProfileChartWindow::IonChart, dir.filePath(QStringLiteral("missing/folder/a.svg"))));
    EXPECT_FALSE(w->savePng(7, png));
}

TEST(Plot2Window, SavesProfilesAsCsvWithAPointUnderACommaLocale) {
    Profiles data;
    const std::string oldCLocale = std::setlocale(LC_ALL, nullptr);
    const bool commaLocale = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir dir;
    for (bool dh : {false, true}) {
        std::unique_ptr<ProfileChartWindow> w(data.open(dh));
        const QString path = dir.filePath(dh ? QStringLiteral("dh.csv") : QStringLiteral("pb.csv"));
        ASSERT_TRUE(w->saveCsv(path));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 1 + 251);
        const int columns = dh ? 6 : 5;
        EXPECT_EQ(lines[0].split(QLatin1Char(',')).size(), columns);
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("r/Rc")));
        for (int i = 1; i < lines.size(); ++i) ASSERT_EQ(lines[i].split(QLatin1Char(',')).size(), columns) << i;
        const QStringList last = lines.last().split(QLatin1Char(','));
        EXPECT_DOUBLE_EQ(last[0].toDouble(), 5.0);
        // Fifteen significant digits.
        auto close = [](double a, double b) { return std::abs(a - b) <= 1e-14 * std::abs(b); };
        EXPECT_TRUE(close(last[1].toDouble(), data.u[250])) << last[1].toStdString();
        if (dh) {
            EXPECT_TRUE(close(last[2].toDouble(), data.dhU[250])) << last[2].toStdString();
        }
        EXPECT_TRUE(close(last[columns - 1].toDouble(), data.charge[250]));
    }
    QLocale::setDefault(previous);
    std::setlocale(LC_ALL, oldCLocale.c_str());
    if (!commaLocale) GTEST_SKIP() << "de_DE.UTF-8 not generated; checked under the Qt German locale only";
}

TEST(Plot2Window, SaveButtonsAskForAFileAndReportFailures) {
    Profiles data;
    std::unique_ptr<ProfileChartWindow> w(data.open(false));
    auto dialogs = std::make_shared<FakeDialogs>();
    marlinq::ui::setUserDialogs(dialogs);
    QTemporaryDir dir;

    dialogs->answer = dir.filePath(QStringLiteral("chart"));  // no suffix typed
    w->findChild<QPushButton*>(QStringLiteral("savePngButton2"))->click();
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("chart.png"))));
    EXPECT_TRUE(dialogs->messages.isEmpty());

    // The next dialog starts in the folder used last, with a name made from the title.
    dialogs->answer = dir.filePath(QStringLiteral("profiles.csv"));
    w->findChild<QPushButton*>(QStringLiteral("saveCsvButton"))->click();
    EXPECT_EQ(dialogs->lastDirectory, QDir(dir.path()).filePath(QStringLiteral("complex_3_5_profiles.csv")));
    EXPECT_TRUE(QFile::exists(dialogs->answer));

    dialogs->answer = dir.filePath(QStringLiteral("no/such/folder/c.svg"));
    w->findChild<QPushButton*>(QStringLiteral("saveSvgButton3"))->click();
    ASSERT_EQ(dialogs->messages.size(), 1);
    EXPECT_TRUE(dialogs->messages[0].contains(QStringLiteral("c.svg")));

    dialogs->answer.clear();  // cancelled: nothing happens
    w->findChild<QPushButton*>(QStringLiteral("saveSvgButton1"))->click();
    EXPECT_EQ(dialogs->messages.size(), 1);
    marlinq::ui::setUserDialogs(nullptr);
}

// The window opens inside the screen's free area with all three charts in view, and its
// charts grow with it; on a tall narrow window they stack, on a wide one they share rows.
TEST(Plot2Window, OpensToFitTheScreenWithEveryChartInViewAndGrows) {
    Profiles data;
    std::unique_ptr<ProfileChartWindow> w(data.open(true));
    w->show();
    QCoreApplication::processEvents();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(w->frameGeometry().width(), screen.width());
    EXPECT_LE(w->frameGeometry().height(), screen.height());
    const auto inView = [&](int k) {
        const auto* area = w->findChild<QScrollArea*>(QStringLiteral("scrollArea"));
        const QWidget* view = w->chartView(k);
        return area->viewport()->rect().contains(QRect(view->mapTo(area->viewport(), QPoint(0, 0)), view->size()));
    };
    // The charts are laid out for the viewport as it settled, not for the window's first size.
    const QSize viewport = w->findChild<QScrollArea*>(QStringLiteral("scrollArea"))->viewport()->size();
    const ProfileChartWindow::ChartArrangement expected =
        ProfileChartWindow::arrangeCharts(viewport.width(), viewport.height());
    EXPECT_EQ(w->chartView(ProfileChartWindow::PotentialChart)->size(), QSize(expected.width, expected.height));
    for (int k = 0; k < ProfileChartWindow::ChartCount; ++k) {
        EXPECT_TRUE(inView(k)) << "chart " << k << " on a " << screen.width() << " x " << screen.height() << " screen";
        EXPECT_GE(w->chartView(k)->width(), 250);
        EXPECT_GE(w->chartView(k)->height(), 200);
    }
    // A 1366 x 768 screen less its title and task bars: three charts of a readable size.
    w->resize(1346, 690);
    QCoreApplication::processEvents();
    const QSize onLaptop = w->chartView(ProfileChartWindow::ChargeChart)->size();
    for (int k = 0; k < ProfileChartWindow::ChartCount; ++k)
        EXPECT_TRUE(inView(k)) << "chart " << k << " at 1346 x 690";
    EXPECT_GE(onLaptop.width(), 400);
    EXPECT_GE(onLaptop.height(), 280);
    // A larger window: larger charts, still all in view.
    w->resize(1900, 1100);
    QCoreApplication::processEvents();
    EXPECT_GT(w->chartView(ProfileChartWindow::ChargeChart)->width(), onLaptop.width() + 150);
    EXPECT_GT(w->chartView(ProfileChartWindow::ChargeChart)->height(), onLaptop.height() + 150);
    for (int k = 0; k < ProfileChartWindow::ChartCount; ++k)
        EXPECT_TRUE(inView(k)) << "chart " << k << " at 1900 x 1100";
    // No chart overlaps another or the column of numbers and buttons.
    const QRect column(w->findChild<QWidget*>(QStringLiteral("netChargeValue"))->pos(), QSize(1, 1));
    for (int a = 0; a < ProfileChartWindow::ChartCount; ++a) {
        EXPECT_LT(w->chartView(a)->geometry().right(), column.left());
        for (int b = a + 1; b < ProfileChartWindow::ChartCount; ++b)
            EXPECT_FALSE(w->chartView(a)->geometry().intersects(w->chartView(b)->geometry())) << a << " and " << b;
    }

    // Tall and narrow: one column; wide and low: one row; too small for three: it scrolls.
    EXPECT_EQ(ProfileChartWindow::arrangeCharts(700, 1500).columns, 1);
    EXPECT_EQ(ProfileChartWindow::arrangeCharts(2200, 600).columns, 3);
    w->resize(500, 400);
    QCoreApplication::processEvents();
    EXPECT_GT(w->findChild<QScrollArea*>(QStringLiteral("scrollArea"))->verticalScrollBar()->maximum(), 0);
}
