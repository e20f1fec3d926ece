#include "ui/ProfileChartWindow.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QShowEvent>
#include <QResizeEvent>
#include <QScrollBar>

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <algorithm>

#include "pipeline/ComplexProfile.h"
#include "ui/FieldText.h"
#include "ui/Pictures.h"
#include "ui/ProfileCharts.h"
#include "ui/UserDialogs.h"

namespace marlinq::ui {

namespace {

// The charts share the window in one column, two columns (the fourth place empty) or a row,
// whichever gives them the largest size; below these sizes the panel scrolls.
constexpr int kMinChartWidth = 300;
constexpr int kMinChartHeight = 240;
constexpr int kColumnWidth = 139;  // the column of numbers and buttons right of the charts
constexpr int kMargin = 5;

const QColor kOlive(128, 128, 0);
const QColor kOrange(255, 165, 0);

const char* const kChartNames[ProfileChartWindow::ChartCount] = {"potential", "ions", "charge"};
const char* const kChartLabels[ProfileChartWindow::ChartCount] = {"Potential", "Ion Distribution", "Charge Density"};

std::vector<double> firstPoints(const double* source, int count) {
    // A missing array is shown as zeros rather than read through a null pointer.
    if (!source) return std::vector<double>(count, 0.0);
    return std::vector<double>(source, source + count);
}

// The folder the last chart or profile went to, offered again for the next one.
QString& lastSaveFolder() {
    static QString folder;
    return folder;
}

}  // namespace

QString ProfileChartWindow::ionAxisTitle() { return QStringLiteral("(\u03baRc)\u00b2 exp(\u00b1u)"); }
QString ProfileChartWindow::chargeAxisTitle() {
    return QStringLiteral("\u03c1 Rc\u00b2 l_B  (\u03c1: charge density)");
}
QString ProfileChartWindow::cationCurveName() { return QStringLiteral("cations, (\u03baRc)\u00b2 exp(\u2212u)"); }
QString ProfileChartWindow::anionCurveName() { return QStringLiteral("anions, (\u03baRc)\u00b2 exp(+u)"); }

ProfileChartWindow::ProfileChartWindow(const double* p, const double* d, const double* d2, const double* cations,
                                       const double* anions, const double* charge_d, double bare_charge_,
                                       double Rc_over_l_, double kRc_, double ka_, bool isdh, const double* Dp,
                                       QWidget* parent)
    : QMainWindow(parent),
      potential(firstPoints(p, Points)),
      dis(firstPoints(d, Points)),
      dis2(firstPoints(d2, Points)),
      cation_density(firstPoints(cations, Points)),
      anion_density(firstPoints(anions, Points)),
      charge_density(firstPoints(charge_d, Points)),
      bare_charge(bare_charge_),
      Rc_over_l(Rc_over_l_),
      // Without the Debye-Hueckel curve the caller's buffer may be unfilled: never read it.
      DHpotential(firstPoints(isdh ? Dp : nullptr, Points)),
      dh(isdh),
      kRc(kRc_),
      ka(ka_) {
    setObjectName(QStringLiteral("ProfileChartWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(applicationIcon());
    buildControls();
    buildMenu();
    fitToScreen();

    netChargeValue->setText(formatTwoDecimals(bare_charge));
    chargePerRadiusValue->setText(formatTwoDecimals(bare_charge / Rc_over_l));
    coreRadiusValue->setText(formatTwoDecimals(Rc_over_l));
    screenedRadiusValue->setText(formatTwoDecimals(kRc));
    saltValue->setText(formatTwoDecimals(ka));
}

void ProfileChartWindow::buildControls() {
    auto* scroll = new QScrollArea(this);
    scroll_ = scroll;
    scroll->setObjectName(QStringLiteral("scrollArea"));
    scroll->setWidgetResizable(false);
    scroll->setBackgroundRole(QPalette::Base);
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("chartPanel"));
    panel_ = panel;
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, Qt::white);
    panel->setPalette(palette);

    const QString titles[ChartCount] = {QStringLiteral("Potential"), QStringLiteral("Ion Distribution"),
                                        QStringLiteral("Charge Density")};
    // The ion chart shows both densities relative to the bulk, times (kappa Rc)^2; the charge
    // chart the charge density rho (charges per volume) times Rc^2 and the Bjerrum length.
    const QString yTitles[ChartCount] = {QStringLiteral("u"), ionAxisTitle(), chargeAxisTitle()};
    for (int k = 0; k < ChartCount; ++k) {
        charts_[k] = makeProfileChartView(panel, QStringLiteral("chart_%1").arg(QString::fromLatin1(kChartNames[k])),
                                          titles[k], QStringLiteral("r/Rc"), yTitles[k], kMinChartWidth);
    }

    // The column of numbers: formula picture, "=", value.
    struct Row {
        const char* picture;
        QLabel** label;
        const char* name;
        const char* tip;
    };
    const Row rows[] = {
        {"sym_Z", &netChargeValue, "netChargeValue", "Net charge of the complex"},
        {"sym_Ztilde", &chargePerRadiusValue, "chargePerRadiusValue", "Net charge per core radius, Z / Rc"},
        {"sym_Rc", &coreRadiusValue, "coreRadiusValue", "Core radius in segment lengths"},
        {"sym_kRc", &screenedRadiusValue, "screenedRadiusValue", "Core radius in Debye lengths"},
        {"sym_ka", &saltValue, "saltValue", "Inverse screening length times segment length"},
    };
    QFont valueFont = font();
    valueFont.setPointSizeF(11.0);
    int y = 24;
    for (const Row& row : rows) {
        auto* picture = new QLabel(panel);
        picture->setObjectName(QStringLiteral("symbol_%1").arg(QString::fromLatin1(row.picture)));
        picture->setPixmap(embeddedPicture(QString::fromLatin1(row.picture)));
        picture->resize(40, 24);
        picture->setToolTip(QString::fromLatin1(row.tip));
        auto* equals = new QLabel(QStringLiteral("="), panel);
        equals->setFont(valueFont);
        equals->resize(14, 24);
        auto* value = new QLabel(panel);
        value->setObjectName(QString::fromLatin1(row.name));
        value->setFont(valueFont);
        value->resize(kColumnWidth - 60, 24);
        column_.push_back({picture, equals, value, y});
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setToolTip(QString::fromLatin1(row.tip));
        *row.label = value;
        y += 34;
    }

    auto* csvButton = new QPushButton(QStringLiteral("Save profiles (CSV)..."), panel);
    csvButton->setObjectName(QStringLiteral("saveCsvButton"));
    csvButton->resize(134, 28);
    csvButton_ = csvButton;
    csvTop_ = y + 16;
    connect(csvButton, &QPushButton::clicked, this, &ProfileChartWindow::saveCsvClicked);

    // Under the numbers, per chart: its name and its two save buttons side by side.
    for (int k = 0; k < ChartCount; ++k) {
        auto* caption = new QLabel(QString::fromLatin1(kChartLabels[k]), panel);
        caption->setObjectName(QStringLiteral("saveCaption%1").arg(k + 1));
        caption->resize(kColumnWidth - 5, 20);
        caption->setToolTip(QStringLiteral("Standard accuracy: outside the core the field holds about 3 % less charge "
                                           "than the core (Gauss's law), the grid's error that makes the free energies "
                                           "3-4 % low; converged profiles hold it to 1e-3"));
        saveCaptions_[k] = caption;
        auto* png = new QPushButton(QStringLiteral("PNG..."), panel);
        png->setObjectName(QStringLiteral("savePngButton%1").arg(k + 1));
        png->setToolTip(QStringLiteral("Save the %1 chart as a PNG picture").arg(QString::fromLatin1(kChartLabels[k])));
        png->resize(65, 28);
        pngButtons_[k] = png;
        connect(png, &QPushButton::clicked, this, [this, k] { savePngClicked(k); });
        auto* svg = new QPushButton(QStringLiteral("SVG..."), panel);
        svg->setObjectName(QStringLiteral("saveSvgButton%1").arg(k + 1));
        svg->setToolTip(
            QStringLiteral("Save the %1 chart as an SVG drawing").arg(QString::fromLatin1(kChartLabels[k])));
        svg->resize(65, 28);
        svgButtons_[k] = svg;
        connect(svg, &QPushButton::clicked, this, [this, k] { saveSvgClicked(k); });
    }

    scroll->setWidget(panel);
    setCentralWidget(scroll);
    // The charts follow the viewport's size, which settles after the window's own.
    scroll->viewport()->installEventFilter(this);
    layoutPanel();
}

ProfileChartWindow::ChartArrangement ProfileChartWindow::arrangeCharts(int width, int height) {
    // Try one, two and three columns; the charts get the place their grid leaves, and the
    // arrangement whose charts are largest (a chart reads best a little wider than tall)
    // wins. When even that is below the smallest chart, the panel scrolls.
    const int areaW = std::max(0, width - kColumnWidth - 3 * kMargin);
    const int areaH = std::max(0, height - 2 * kMargin);
    ChartArrangement best;
    double bestScore = -1.0;
    for (int columns = 1; columns <= ChartCount; ++columns) {
        const int rows = (ChartCount + columns - 1) / columns;
        const int w = std::max(kMinChartWidth, areaW / columns);
        const int h = std::max(kMinChartHeight, areaH / rows);
        const bool fits = w * columns <= areaW && h * rows <= areaH;
        const double score = std::min(static_cast<double>(w), 1.25 * h) + (fits ? 1e6 : 0.0);
        if (score > bestScore) {
            bestScore = score;
            best = {columns, w, h};
        }
    }
    return best;
}

void ProfileChartWindow::layoutPanel() {
    if (!panel_ || !scroll_) return;
    const QSize viewport = scroll_->viewport()->size();
    // The column of numbers and buttons needs this much height whatever the charts do.
    const int columnH = csvTop_ + 28 + 16 + ChartCount * 62;
    const ChartArrangement a = arrangeCharts(viewport.width(), std::max(viewport.height(), 1));
    const int rows = (ChartCount + a.columns - 1) / a.columns;
    const int columnX = kMargin + a.columns * a.width + kMargin;
    panel_->setFixedSize(std::max(viewport.width(), columnX + kColumnWidth),
                         std::max({viewport.height(), rows * a.height + 2 * kMargin, columnH}));
    for (int k = 0; k < ChartCount; ++k)
        charts_[k]->setGeometry(kMargin + (k % a.columns) * a.width, kMargin + (k / a.columns) * a.height, a.width,
                                a.height);
    for (const ColumnRow& row : column_) {
        row.picture->move(columnX, row.y);
        row.equals->move(columnX + 42, row.y);
        row.value->move(columnX + 58, row.y);
    }
    csvButton_->move(columnX, csvTop_);
    int y = csvTop_ + 28 + 16;
    for (int k = 0; k < ChartCount; ++k) {
        saveCaptions_[k]->move(columnX, y);
        pngButtons_[k]->move(columnX, y + 22);
        svgButtons_[k]->move(columnX + 69, y + 22);
        y += 62;
    }
}

void ProfileChartWindow::fitToScreen() {
    // Open as large as the screen allows (less its frame), at most as wide as three charts
    // of a comfortable size need; the charts then grow with the window.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect free = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 700);
    const int frame = 40;  // title bar and borders
    const int width = std::min(free.width() - 20, 1400);
    const int height = free.height() - frame;
    resize(std::max(width, 400), std::max(height, 300));
}

void ProfileChartWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    layoutPanel();
}

bool ProfileChartWindow::eventFilter(QObject* watched, QEvent* event) {
    if (scroll_ && watched == scroll_->viewport() && event->type() == QEvent::Resize) layoutPanel();
    return QMainWindow::eventFilter(watched, event);
}

QString ProfileChartWindow::chartFileTitle(int chartIndex) const {
    // "Potential, complex (3,5)"
    QString complex = windowTitle();
    if (!complex.isEmpty()) complex[0] = complex[0].toLower();
    const QString title = QString::fromLatin1(kChartLabels[chartIndex]);
    return complex.isEmpty() ? title : title + QStringLiteral(", ") + complex;
}

void ProfileChartWindow::buildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    for (int k = 0; k < ChartCount; ++k) {
        const QString label = QString::fromLatin1(kChartLabels[k]);
        QAction* png = file->addAction(QStringLiteral("Save %1 Chart as PNG...").arg(label));
        connect(png, &QAction::triggered, this, [this, k] { savePngClicked(k); });
        QAction* svg = file->addAction(QStringLiteral("Save %1 Chart as SVG...").arg(label));
        connect(svg, &QAction::triggered, this, [this, k] { saveSvgClicked(k); });
    }
    file->addSeparator();
    QAction* csv = file->addAction(QStringLiteral("Save Profiles as CSV..."));
    csv->setShortcut(QKeySequence::Save);
    connect(csv, &QAction::triggered, this, &ProfileChartWindow::saveCsvClicked);
    file->addSeparator();
    QAction* close = file->addAction(QStringLiteral("Close"));
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
}

void ProfileChartWindow::showEvent(QShowEvent* event) {
    buildCharts();
    QMainWindow::showEvent(event);
}

ProfileChartWindow::ProfileChartWindow(const ComplexProfile& profile, QWidget* parent)
    : ProfileChartWindow(profile.potential.data(), profile.r.data(), profile.dis2.data(), profile.cation_density.data(),
                         profile.anion_density.data(), profile.charge_density.data(), profile.Z, profile.Rc,
                         profile.kRc, profile.ka, profile.dh, profile.dh ? profile.dhPotential.data() : nullptr,
                         parent) {
    setWindowTitle(QStringLiteral("Complex (%1,%2)").arg(profile.mp).arg(profile.mm));
}

void ProfileChartWindow::buildCharts() {
    if (loaded_) return;
    loaded_ = true;
    const double* x = dis.data();
    QChart* top = chart(PotentialChart);
    addProfileCurve(top, QStringLiteral("Poisson Boltzmann"), Qt::red, x, potential.data(), Points);
    if (dh) addProfileCurve(top, QStringLiteral("Debye Huckel"), Qt::blue, x, DHpotential.data(), Points);
    QChart* middle = chart(IonChart);
    // Both ion kinds keep their olive; the anions get hollow symbols. u is the reduced
    // potential: a cation's Boltzmann factor is exp(-u), an anion's exp(+u).
    addProfileCurve(middle, cationCurveName(), kOlive, x, cation_density.data(), Points);
    addProfileCurve(middle, anionCurveName(), kOlive, x, anion_density.data(), Points, true);
    addProfileCurve(chart(ChargeChart), QString(), kOrange, x, charge_density.data(), Points);
    for (QChartView* view : charts_) fitProfileAxes(view->chart());
}

QChartView* ProfileChartWindow::chartView(int index) const {
    return index >= 0 && index < ChartCount ? charts_[index] : nullptr;
}

QChart* ProfileChartWindow::chart(int index) const {
    QChartView* view = chartView(index);
    return view ? view->chart() : nullptr;
}

bool ProfileChartWindow::savePng(int chartIndex, const QString& path) {
    QChartView* view = chartView(chartIndex);
    if (!view || path.isEmpty()) return false;
    buildCharts();
    return saveChartPng(view, path, chartFileTitle(chartIndex));
}

bool ProfileChartWindow::saveSvg(int chartIndex, const QString& path) {
    QChartView* view = chartView(chartIndex);
    if (!view || path.isEmpty()) return false;
    buildCharts();
    return saveChartSvg(view, path, windowTitle(), chartFileTitle(chartIndex));
}

std::string ProfileChartWindow::profileCsv() const {
    ComplexProfile profile;
    profile.dh = dh;
    profile.r = dis;
    profile.potential = potential;
    if (dh) profile.dhPotential = DHpotential;
    profile.dis2 = dis2;
    profile.cation_density = cation_density;
    profile.anion_density = anion_density;
    profile.charge_density = charge_density;
    profile.Z = bare_charge;
    profile.Rc = Rc_over_l;
    profile.kRc = kRc;
    profile.ka = ka;
    return formatProfileCsv(profile, Points);
}

bool ProfileChartWindow::saveCsv(const QString& path) {
    if (path.isEmpty()) return false;
    return saveFileBytes(path, profileCsv());
}

QString ProfileChartWindow::fileStem() const {
    // "Complex (3,5)" -> "complex_3_5"
    QString stem = windowTitle().toLower();
    stem.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("_"));
    stem.remove(QRegularExpression(QStringLiteral("^_+|_+$")));
    return stem.isEmpty() ? QStringLiteral("complex") : stem;
}

QString ProfileChartWindow::askSavePath(const QString& title, const QString& fileName, const QString& filter) {
    QString& folder = lastSaveFolder();
    const QString start = QDir(folder.isEmpty() ? QDir::currentPath() : folder).filePath(fileName);
    QString path = userDialogs()->getSaveFileName(this, title, start, filter);
    if (path.isEmpty()) return path;
    const QString suffix = QFileInfo(fileName).suffix();
    if (QFileInfo(path).suffix().isEmpty()) path += QLatin1Char('.') + suffix;
    folder = QFileInfo(path).absolutePath();
    return path;
}

void ProfileChartWindow::savePngClicked(int chartIndex) {
    if (!chartView(chartIndex)) return;
    const QString path = askSavePath(
        QStringLiteral("Save Chart as PNG"),
        fileStem() + QLatin1Char('_') + QString::fromLatin1(kChartNames[chartIndex]) + QStringLiteral(".png"),
        QStringLiteral("PNG image (*.png)"));
    if (path.isEmpty()) return;
    if (!savePng(chartIndex, path)) userDialogs()->showMessage(this, QStringLiteral("Could not write ") + path);
}

void ProfileChartWindow::saveSvgClicked(int chartIndex) {
    if (!chartView(chartIndex)) return;
    const QString path = askSavePath(
        QStringLiteral("Save Chart as SVG"),
        fileStem() + QLatin1Char('_') + QString::fromLatin1(kChartNames[chartIndex]) + QStringLiteral(".svg"),
        QStringLiteral("SVG drawing (*.svg)"));
    if (path.isEmpty()) return;
    if (!saveSvg(chartIndex, path)) userDialogs()->showMessage(this, QStringLiteral("Could not write ") + path);
}

void ProfileChartWindow::saveCsvClicked() {
    const QString path = askSavePath(QStringLiteral("Save Profiles"), fileStem() + QStringLiteral("_profiles.csv"),
                                     QStringLiteral("CSV file (*.csv)"));
    if (path.isEmpty()) return;
    if (!saveCsv(path)) userDialogs()->showMessage(this, QStringLiteral("Could not write ") + path);
}

}  // namespace marlinq::ui
