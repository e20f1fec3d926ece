#include "ui/SweepWindow.h"

#include "io/NumberText.h"
#include "io/FileAccess.h"
#include "pipeline/CriticalSalt.h"
#include "pipeline/ObservableRegistry.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/Units.h"
#include "pipeline/Version.h"
#include "ui/FieldText.h"
#include "ui/MapModel.h"
#include "ui/MapView.h"
#include "ui/ProfileCharts.h"
#include "ui/RunController.h"
#include "ui/SweepPlot.h"
#include "ui/UserDialogs.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLocale>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QScreen>
#include <QStandardPaths>
#include <QStackedWidget>
#include <QSvgGenerator>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <functional>
#include <cmath>
#include <cstdio>
#include <limits>

namespace marlinq::ui {

namespace {

// A picture Qt renders into memory, saved as a file by the one atomic writer (a temporary
// file beside the target, renamed over it when whole).
template <typename Render>
bool savePicture(const QString& path, Render render) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !render(buffer)) return false;
    buffer.close();
    std::string error;
    return writeTextFileAtomically(QFile::encodeName(path).toStdString(), bytes.toStdString(), error);
}

// The numbers of a row of a sweep CSV as the chart takes them: the observable columns
// (17 digits, read back exactly; NaN where the field is empty).
std::vector<double> rowObservables(const std::vector<std::string>& fields, std::size_t first, std::size_t count) {
    std::vector<double> values(count, NAN);
    for (std::size_t k = 0; k < count && first + k < fields.size(); ++k) {
        const std::string& text = fields[first + k];
        double v = NAN;
        if (!text.empty() && std::from_chars(text.data(), text.data() + text.size(), v).ec == std::errc()) values[k] = v;
    }
    return values;
}

// A value axis from lo to hi widened to whole ticks of 1, 2 or 5 times a power of ten.
QValueAxis* niceValueAxis(double lo, double hi) {
    const NiceAxis a = niceAxis(lo, hi);
    auto* axis = new QValueAxis;
    axis->setRange(a.lo, a.hi);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0.0);
    axis->setTickInterval(a.step);
    axis->setLabelFormat(QStringLiteral("%.") + QString::number(a.decimals) + QStringLiteral("f"));
    return axis;
}

// Room for a caption of a few lines under a saved map, at the map's width.
QRect captionRect(const QFontMetrics& fm, int width, const QString& caption) {
    const QRect wanted = fm.boundingRect(QRect(0, 0, width - 16, 10000), Qt::TextWordWrap, caption);
    return QRect(8, 0, width - 16, wanted.height() + 12);
}

}  // namespace

QString sweepAxisTitle(const std::string& name) {
    static const std::pair<const char*, const char*> symbols[] = {
        {"vc10", "c+"}, {"vc01", "c-"}, {"total_plus", "C+"}, {"total_minus", "C-"}};
    for (const auto& [key, symbol] : symbols)
        if (name == key) return QString::fromLatin1(symbol);
    return QString::fromStdString(name);
}

SweepWindow::SweepWindow(ParameterSet base_, RunOptions options, std::optional<double> unitNm_,
                         std::shared_ptr<Engine> engine_, QWidget* parent)
    : QWidget(parent, Qt::Window),
      base(std::move(base_)),
      unitNm(unitNm_),
      engine(std::move(engine_)),
      accuracy(options.accuracy),
      runs(new RunController(this)) {
    setObjectName(QStringLiteral("sweepWindow"));
    setWindowTitle(QStringLiteral("Sweep"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* outer = new QHBoxLayout(this);
    outer->setObjectName(QStringLiteral("sweepLayout"));
    auto* left = new QFormLayout;
    left->setObjectName(QStringLiteral("sweepForm"));
    outer->addLayout(left);

    QStringList names;
    for (const std::string& n : sweepableNames())
        if (n != "salt_mM" || unitNm) names << QString::fromStdString(n);
    const auto nameBox = [&](const char* objectName) {
        auto* box = new QComboBox(this);
        box->setObjectName(QString::fromLatin1(objectName));
        box->addItems(names);
        return box;
    };
    firstNameBox = nameBox("firstNameBox");
    firstNameBox->setCurrentText(QStringLiteral("ka"));
    firstValuesBox = new QLineEdit(QStringLiteral("0.2:10:20:log"), this);
    firstValuesBox->setObjectName(QStringLiteral("firstValuesBox"));
    firstValuesBox->setToolTip(QStringLiteral("0.2,0.5,1 or FROM:TO:COUNT or FROM:TO:COUNT:log"));
    secondCheck = new QCheckBox(QStringLiteral("Second parameter"), this);
    secondCheck->setObjectName(QStringLiteral("secondCheck"));
    secondNameBox = nameBox("secondNameBox");
    secondNameBox->setCurrentText(QStringLiteral("vc10"));
    secondValuesBox = new QLineEdit(QStringLiteral("1e-4:1e-2:5:log"), this);
    secondValuesBox->setObjectName(QStringLiteral("secondValuesBox"));
    secondNameBox->setEnabled(false);
    secondValuesBox->setEnabled(false);
    methodBox = new QComboBox(this);
    methodBox->setObjectName(QStringLiteral("methodBox"));
    // Indices: 0 the program's Debye-Hueckel approximation, 1 Poisson-Boltzmann, 2 the
    // closed-form linear Debye-Hueckel energy.
    methodBox->addItems({QStringLiteral("Debye-Hückel"), QStringLiteral("Poisson-Boltzmann"),
                         QStringLiteral("Debye-Hückel, linear (closed form)")});
    methodBox->setCurrentIndex(options.method == Method::DebyeHueckel ? 0 : options.method == Method::PoissonBoltzmann ? 1 : 2);
    chainsBox = new QComboBox(this);
    chainsBox->setObjectName(QStringLiteral("chainsBox"));
    chainsBox->addItems({QStringLiteral("tables"), QStringLiteral("solved")});
    chainsBox->setCurrentIndex(options.chains == Chains::Tables ? 0 : 1);
    observableBox = new QComboBox(this);
    observableBox->setObjectName(QStringLiteral("observableBox"));
    // The observable columns of the sweep table, shown by label; the item's data is the column name.
    for (const ObservableColumn& c : observableColumns(unitNm.has_value()))
        observableBox->addItem(QString::fromStdString(c.caption()), QString::fromStdString(c.name));
    // The most probable complex's M+ by default: the lone chains' tie at high salt would make
    // the whole map's most probable jump to a lone chain.
    observableBox->setCurrentIndex(observableBox->findData(QStringLiteral("most_probable_complex_mp")));
    const auto row = [&](const char* name, const QString& text, QWidget* field) {
        auto* caption = new QLabel(text, this);
        caption->setObjectName(QString::fromLatin1(name));
        left->addRow(caption, field);
    };
    row("firstNameCaption", QStringLiteral("Parameter"), firstNameBox);
    row("firstValuesCaption", QStringLiteral("Values"), firstValuesBox);
    left->addRow(secondCheck);
    row("secondNameCaption", QStringLiteral("Parameter"), secondNameBox);
    row("secondValuesCaption", QStringLiteral("Values"), secondValuesBox);
    row("methodCaption", QStringLiteral("Method"), methodBox);
    row("chainsCaption", QStringLiteral("Single chains"), chainsBox);
    row("observableCaption", QStringLiteral("Chart"), observableBox);
    runSweepButton = new QPushButton(QStringLiteral("Run"), this);
    runSweepButton->setObjectName(QStringLiteral("runSweepButton"));
    stopSweepButton = new QPushButton(QStringLiteral("Stop"), this);
    stopSweepButton->setObjectName(QStringLiteral("stopSweepButton"));
    stopSweepButton->setEnabled(false);
    left->addRow(runSweepButton, stopSweepButton);
    criticalSaltButton = new QPushButton(QStringLiteral("Critical salt"), this);
    criticalSaltButton->setObjectName(QStringLiteral("criticalSaltButton"));
    criticalSaltButton->setToolTip(QStringLiteral(
        "At the main window's totals (total mode), the ka from 0.2 to 10 at which the larger bound fraction falls "
        "to 1/2: a run per trial ka, with the method and single chains chosen here"));
    left->addRow(criticalSaltButton);
    // Solving for a measured value: the first parameter between its least and largest value.
    targetBox = new QLineEdit(this);
    targetBox->setObjectName(QStringLiteral("targetBox"));
    targetBox->setToolTip(QStringLiteral("A measured value of the chart's observable"));
    solveForButton = new QPushButton(QStringLiteral("Solve for"), this);
    solveForButton->setObjectName(QStringLiteral("solveForButton"));
    solveForButton->setToolTip(QStringLiteral(
        "The value of the first parameter, between the least and the largest of its values, at which the chart's "
        "observable equals the target: a run per trial, refined to 1e-6"));
    left->addRow(solveForButton, targetBox);
    sweepProgress = new QProgressBar(this);
    sweepProgress->setObjectName(QStringLiteral("sweepProgress"));
    sweepProgress->setRange(0, 1);
    sweepProgress->setValue(0);
    left->addRow(sweepProgress);
    sweepStatus = new QLabel(this);
    sweepStatus->setObjectName(QStringLiteral("sweepStatus"));
    sweepStatus->setWordWrap(true);
    left->addRow(sweepStatus);
    saveCsvButton = new QPushButton(QStringLiteral("Save CSV..."), this);
    saveCsvButton->setObjectName(QStringLiteral("saveCsvButton"));
    savePngButton = new QPushButton(QStringLiteral("Save PNG..."), this);
    savePngButton->setObjectName(QStringLiteral("savePngButton"));
    saveSvgButton = new QPushButton(QStringLiteral("Save SVG..."), this);
    saveSvgButton->setObjectName(QStringLiteral("saveSvgButton"));
    left->addRow(saveCsvButton);
    left->addRow(savePngButton, saveSvgButton);

    plotStack = new QStackedWidget(this);
    plotStack->setObjectName(QStringLiteral("plotStack"));
    chartView = new QChartView(new QChart, plotStack);
    chartView->setObjectName(QStringLiteral("chartView"));
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumSize(480, 360);
    sweepMap = new MapView(plotStack);
    sweepMap->setObjectName(QStringLiteral("sweepMap"));
    // A double-click on a cell loads its point: cell (i, j) is point i * (values of the
    // second parameter) + j, finished in that order.
    connect(sweepMap, &MapView::cellActivated, this, [this](std::int32_t i, std::int32_t j) {
        if (current.axes.size() != 2) return;
        const auto k = static_cast<std::int64_t>(i) * static_cast<std::int64_t>(current.axes[1].values.size()) + j;
        if (k < static_cast<std::int64_t>(finished.size())) choosePoint(finished[static_cast<std::size_t>(k)].index);
    });
    plotStack->addWidget(chartView);
    plotStack->addWidget(sweepMap);
    outer->addWidget(plotStack, 1);

    connect(secondCheck, &QCheckBox::toggled, this, [this](bool on) {
        secondNameBox->setEnabled(on);
        secondValuesBox->setEnabled(on);
    });
    connect(runs, &RunController::pointDone, this,
            [this](const std::shared_ptr<const SweepPoint>& point) { pointDone(*point); });
    connect(runs, &RunController::progress, this, [this](qint64 done, qint64 total) {
        if (criticalSaltResult || solveForResult) return;
        // A resumed sweep counts the points it kept.
        sweepProgress->setValue(static_cast<int>(std::min<std::int64_t>(keptPoints + done, 1 << 30)));
        sweepStatus->setText(
            QStringLiteral("Point %1 of %2: %3")
                .arg(keptPoints + done)
                .arg(keptPoints + total)
                .arg(QString::fromStdString(finished.empty() ? std::string() : finished.back().status)));
    });
    // The critical salt tells each trial in the status line.
    connect(runs, &RunController::logText, this, [this](const QString& lines) {
        if (criticalSaltResult || solveForResult)
            sweepStatus->setText(lines.chopped(1).section(QLatin1Char('\n'), -1));
        else
            storeSaid += lines;
    });
    connect(runs, &RunController::ended, this, [this](JobOutcome outcome) {
        if (criticalSaltResult)
            criticalSaltDone();
        else if (solveForResult)
            solveForDone();
        else
            ended(outcome);
    });
    connect(runSweepButton, &QPushButton::clicked, this, [this] { start(); });
    connect(stopSweepButton, &QPushButton::clicked, this, [this] { stop(); });
    connect(criticalSaltButton, &QPushButton::clicked, this, [this] { startCriticalSalt(); });
    connect(solveForButton, &QPushButton::clicked, this, [this] { startSolveFor(); });
    connect(observableBox, &QComboBox::currentIndexChanged, this, [this] { redraw(); });
    connect(saveCsvButton, &QPushButton::clicked, this, [this] { saveClicked(0); });
    connect(savePngButton, &QPushButton::clicked, this, [this] { saveClicked(1); });
    connect(saveSvgButton, &QPushButton::clicked, this, [this] { saveClicked(2); });

    // Opens with room for the chart or the map beside the fields: most of a laptop's screen.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect free = screen->availableGeometry();
        resize(std::min(1200, free.width() * 9 / 10), std::min(720, free.height() * 9 / 10));
    }
}

void SweepWindow::takeBase() {
    if (!baseSource) return;
    SweepBase now = baseSource();
    base = std::move(now.set);
    accuracy = now.accuracy;
    unitNm = now.unitNm;
}

SweepWindow::~SweepWindow() {
    // The sweep finishes its current point; what it still reports is dropped.
    runs->shutDown();
}

bool SweepWindow::running() const { return runs->underWay(); }

bool SweepWindow::start() {
    if (running()) return false;
    takeBase();
    SweepSpec plan;
    plan.base = base;
    plan.unitNm = unitNm;
    plan.options = chosenOptions();
    std::string error;
    const auto axis = [&](QComboBox* name, QLineEdit* values) {
        return parseSweepAxis(name->currentText().toStdString() + "=" + values->text().trimmed().toStdString(), error);
    };
    std::optional<SweepAxis> first = axis(firstNameBox, firstValuesBox);
    if (!first) {
        sweepStatus->setText(QString::fromStdString(error));
        return false;
    }
    plan.axes.push_back(std::move(*first));
    if (secondCheck->isChecked()) {
        std::optional<SweepAxis> second = axis(secondNameBox, secondValuesBox);
        if (!second) {
            sweepStatus->setText(QString::fromStdString(error));
            return false;
        }
        plan.axes.push_back(std::move(*second));
    }
    if (const std::optional<PlanError> bad = validate(plan)) {
        sweepStatus->setText(QString::fromStdString(bad->message));
        return false;
    }
    // The window keeps every point's numbers: a plan of gigabytes is refused at once.
    if (const std::optional<std::string> tooLarge = oversizedSweep(plan)) {
        sweepStatus->setText(QString::fromStdString(*tooLarge + "; use fewer points"));
        return false;
    }
    // The tables' digest is part of the plan (and of the name of the sweep's file).
    const LoadedTables tables = engine->tables(plan.options);
    if (tables.tables) plan.tablesDigest = chainTablesDigest(*tables.tables);

    // The sweep is saved as it runs, in a file of its plan: an unfinished one (the window
    // or the program ended mid-sweep) is offered to be resumed.
    const QString folder = sweepFolder();
    QDir().mkpath(folder);
    char name[48];
    std::snprintf(name, sizeof name, "sweep-%016llx.csv", static_cast<unsigned long long>(sweepPlanFingerprint(plan)));
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    const std::string file = QFile::encodeName(path).toStdString();
    StoredSweep stored;
    stored.plan = plan;
    stored.output = file;
    stored.quiet = true;
    std::vector<SweepPoint> kept;
    std::vector<std::vector<double>> keptObserved;
    if (const std::optional<ResumableSweep> left = resumableSweep(plan, file, true)) {
        const QString question =
            QStringLiteral("This sweep was left unfinished with %1 of its %2 points in %3.\n\nResume it? Only the "
                           "missing points are computed.")
                .arg(left->rows)
                .arg(left->points)
                .arg(QString::fromStdString(left->partialPath));
        switch (userDialogs()->askResumeSweep(this, question)) {
            case UserDialogs::ResumeChoice::Resume:
                stored.resume = true;
                break;
            case UserDialogs::ResumeChoice::StartOver:
                QFile::remove(QFile::decodeName(left->partialPath.c_str()));
                break;
            case UserDialogs::ResumeChoice::Cancel:
                sweepStatus->setText(QStringLiteral("Not started: the unfinished sweep is kept in %1")
                                         .arg(QString::fromStdString(left->partialPath)));
                return false;
        }
        // The kept rows as the chart shows them: values of the plan, numbers of the file.
        const std::size_t observables = sweepObservableNames(plan).size();
        const std::size_t first = 1 + plan.axes.size(), status = first + observables;
        for (const auto& [index, row] : left->kept) {
            if (!stored.resume) break;
            const std::vector<std::string> fields = csvFields(row);
            SweepPoint point;
            point.index = index;
            point.values = sweepPointValues(plan, index);
            point.status = status < fields.size() ? fields[status] : std::string();
            point.ran = status + 2 < fields.size() && !fields[status + 2].empty();
            std::string error;
            if (point.status == "ok")
                if (const std::optional<ParameterSet> set = sweepPointSet(plan, point.values, error)) point.set = *set;
            kept.push_back(std::move(point));
            keptObserved.push_back(rowObservables(fields, first, observables));
        }
    } else if (QFileInfo::exists(path + QStringLiteral(".partial"))) {
        // Left by another version of the program (or damaged): it can not be continued.
        QFile::remove(path + QStringLiteral(".partial"));
    }

    current = plan;
    finished = std::move(kept);
    observed = std::move(keptObserved);
    keptPoints = static_cast<std::int64_t>(finished.size());
    storePath = path;
    storeSaid.clear();
    criticalSaltResult.reset();
    stoppedEarly = false;
    const std::int64_t total = sweepPointCount(plan);
    sweepProgress->setRange(0, static_cast<int>(std::min<std::int64_t>(total, 1 << 30)));
    sweepProgress->setValue(static_cast<int>(std::min<std::int64_t>(keptPoints, 1 << 30)));
    sweepStatus->setText(stored.resume ? QStringLiteral("Resuming after %1 points ...").arg(keptPoints)
                                       : QStringLiteral("Running ..."));
    runSweepButton->setEnabled(false);
    stopSweepButton->setEnabled(true);
    plotStack->setCurrentIndex(plan.axes.size() == 2 ? 1 : 0);
    redraw();

    // The store runs the points side by side on the machine's threads and writes each row
    // as it finishes; the window keeps the numbers of each point, not its maps.
    runs->startJob([tables, stored](std::stop_token token, const JobEvents& sink) {
        StoredSweepEvents events;
        events.say = [&sink](const std::string& text) {
            JobMessage m;
            m.severity = Severity::Warning;
            m.text = text.substr(0, text.find_last_not_of('\n') + 1);
            if (sink.message) sink.message(m);
        };
        events.point = [&sink](const SweepPoint& point, std::int64_t done, std::int64_t total) {
            auto shown = std::make_shared<SweepPoint>(point);
            shown->run.record.reset();
            shown->run.log.clear();
            shown->run.diagnostics.clear();
            if (sink.point) sink.point(std::move(shown));
            if (sink.progress) sink.progress(done, total);
        };
        const int status = runStoredSweep(stored, [&tables](const RunOptions&) { return tables; }, token, events);
        const JobOutcome outcome = status == 0 ? JobOutcome::Finished : status == 130 ? JobOutcome::Cancelled
                                                                                      : JobOutcome::Failed;
        if (sink.finished) sink.finished(outcome, JobCounts{});
    });
    return true;
}

QString SweepWindow::sweepFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("sweeps"));
}

void SweepWindow::stop() {
    if (!running()) return;
    runs->stop();
    stopSweepButton->setEnabled(false);
    sweepStatus->setText(QStringLiteral("Stopping after the current point ..."));
}

void SweepWindow::pointDone(SweepPoint point) {
    observed.push_back(sweepObservableValues(current, point));
    finished.push_back(std::move(point));
    redraw();
}

bool SweepWindow::startCriticalSalt() {
    if (running()) return false;
    takeBase();
    if (!base.totalMode) {
        sweepStatus->setText(
            QStringLiteral("The critical salt needs the totals: choose \"total\" in the main "
                           "window's Polymer concentration row"));
        return false;
    }
    Parameters validated;
    if (const std::optional<std::string> message = validate(base, validated)) {
        sweepStatus->setText(QString::fromStdString(*message));
        return false;
    }
    const RunOptions options = chosenOptions();
    runSweepButton->setEnabled(false);
    criticalSaltButton->setEnabled(false);
    stopSweepButton->setEnabled(true);
    sweepProgress->setRange(0, 0);
    sweepStatus->setText(QStringLiteral("Critical salt: running ..."));
    auto result = std::make_shared<CriticalSaltResult>();
    criticalSaltResult = result;
    runs->startJob([engine = engine, set = base, options, result](std::stop_token token, const JobEvents& sink) {
        *result = criticalSalt(set, options, engine->tables(options), token, [&sink](double ka, double bound) {
            if (!sink.message) return;
            JobMessage m;
            m.text = "ka " + std::to_string(ka) + ": larger bound fraction " + std::to_string(bound);
            sink.message(m);
        });
        if (sink.finished) sink.finished(JobOutcome::Finished, JobCounts{});
    });
    return true;
}

RunOptions SweepWindow::chosenOptions() const {
    RunOptions options;
    options.method = methodBox->currentIndex() == 0   ? Method::DebyeHueckel
                     : methodBox->currentIndex() == 1 ? Method::PoissonBoltzmann
                                                      : Method::DebyeHueckelLinear;
    options.chains = chainsBox->currentIndex() == 0 ? Chains::Tables : Chains::Solved;
    options.accuracy = accuracy;
    return options;
}

bool SweepWindow::startSolveFor() {
    if (running()) return false;
    takeBase();
    bool read = false;
    const double target = QLocale().toDouble(targetBox->text().trimmed(), &read);
    if (!read || !std::isfinite(target)) {
        sweepStatus->setText(QStringLiteral("Solve for: type the measured value of the observable as the target"));
        return false;
    }
    std::string error;
    const std::optional<SweepAxis> first = parseSweepAxis(
        firstNameBox->currentText().toStdString() + "=" + firstValuesBox->text().trimmed().toStdString(), error);
    if (!first || first->values.size() < 2) {
        sweepStatus->setText(first ? QStringLiteral("Solve for: give the first parameter two values or more, the "
                                                    "range to search")
                                   : QString::fromStdString(error));
        return false;
    }
    SolveForProblem problem;
    problem.base = base;
    problem.name = first->name;
    problem.observable = observableBox->currentData().toString().toStdString();
    problem.target = target;
    problem.options = chosenOptions();
    problem.unitNm = unitNm;
    const auto [lo, hi] = std::minmax_element(first->values.begin(), first->values.end());
    problem.range = std::make_pair(*lo, *hi);
    runSweepButton->setEnabled(false);
    criticalSaltButton->setEnabled(false);
    solveForButton->setEnabled(false);
    stopSweepButton->setEnabled(true);
    sweepProgress->setRange(0, 0);
    sweepStatus->setText(QStringLiteral("Solve for %1: running ...").arg(QString::fromStdString(problem.name)));
    auto result = std::make_shared<SolveForResult>();
    solveForResult = result;
    solveForAsked = problem;
    runs->startJob([engine = engine, problem, result](std::stop_token token, const JobEvents& sink) {
        *result = solveFor(problem, engine->tables(problem.options), token, [&](double value, double observable) {
            if (!sink.message) return;
            JobMessage m;
            m.text = problem.name + " " + formatGeneral(value, '.') + ": " + problem.observable + " " +
                     formatGeneral(observable, '.');
            sink.message(m);
        });
        if (sink.finished) sink.finished(JobOutcome::Finished, JobCounts{});
    });
    return true;
}

void SweepWindow::solveForDone() {
    const std::shared_ptr<const SolveForResult> result = std::exchange(solveForResult, nullptr);
    runSweepButton->setEnabled(true);
    criticalSaltButton->setEnabled(true);
    solveForButton->setEnabled(true);
    stopSweepButton->setEnabled(false);
    sweepProgress->setRange(0, 1);
    sweepProgress->setValue(1);
    const SolveForResult& r = *result;
    const QString name = QString::fromStdString(solveForAsked.name);
    const QString observable = QString::fromStdString(solveForAsked.observable);
    const QLocale locale;
    QString text;
    if (!r.failure.empty())
        text = QString::fromStdString(r.failure);
    else if (r.stopped)
        text = QStringLiteral("Solve for %1: stopped after %2 runs").arg(name).arg(r.runs);
    else if (!r.value)
        text = QStringLiteral("Solve for %1: %2 = %3 is not reached between %4 and %5; it lies %6 what the range "
                              "gives (closest %7), %8 runs")
                   .arg(name, observable, locale.toString(solveForAsked.target, 'g', 7),
                        locale.toString(solveForAsked.range->first, 'g', 7),
                        locale.toString(solveForAsked.range->second, 'g', 7),
                        QString::fromStdString(r.side.empty() ? std::string("beyond") : r.side),
                        locale.toString(r.achieved, 'g', 7))
                   .arg(r.runs);
    else
        text = QStringLiteral("Solve for %1: %1 = %2 gives %3 = %4, %5 runs")
                   .arg(name, locale.toString(*r.value, 'g', 10), observable, locale.toString(r.achieved, 'g', 10))
                   .arg(r.runs);
    sweepStatus->setText(text);
    emit solveForEnded(text);
}

void SweepWindow::criticalSaltDone() {
    const std::shared_ptr<const CriticalSaltResult> result = std::exchange(criticalSaltResult, nullptr);
    runSweepButton->setEnabled(true);
    criticalSaltButton->setEnabled(true);
    stopSweepButton->setEnabled(false);
    sweepProgress->setRange(0, 1);
    sweepProgress->setValue(1);
    const CriticalSaltResult& r = *result;
    QString text;
    if (!r.failure.empty())
        text = QString::fromStdString(r.failure);
    else if (r.stopped)
        text = QStringLiteral("Critical salt: stopped after %1 runs").arg(r.runs);
    else if (!r.ka)
        text = QString::fromStdString(r.note());
    else {
        text = QStringLiteral("Critical salt: ka = %1").arg(significant(*r.ka, 7));
        if (unitNm) text += QStringLiteral(" (%1 mM)").arg(significant(saltMillimolar(*r.ka, *unitNm), 6));
        text += QStringLiteral(", %1 runs").arg(r.runs);
        if (r.jump()) text += QStringLiteral(". ") + QString::fromStdString(r.note());
    }
    sweepStatus->setText(text);
    emit criticalSaltEnded(text);
}

void SweepWindow::ended(JobOutcome outcome) {
    stoppedEarly = outcome != JobOutcome::Finished;
    runSweepButton->setEnabled(true);
    stopSweepButton->setEnabled(false);
    if (outcome == JobOutcome::Failed)
        // The store could not start or write the sweep's file: what it said.
        sweepStatus->setText(storeSaid.trimmed());
    else
        sweepStatus->setText(outcome == JobOutcome::Cancelled
                                 ? QStringLiteral("Stopped: %1 points computed.").arg(finished.size())
                                 : QStringLiteral("Finished: %1 points.").arg(finished.size()));
    sweepStatus->setToolTip(QStringLiteral("The sweep is saved in %1").arg(storePath));
    emit sweepEnded();
}

void SweepWindow::redraw() {
    if (current.axes.empty()) return;
    const int column = observableBox->currentIndex();
    // The observable's label and unit, as the registry gives them ("Mean M+", "Mean core radius (a)").
    const QString observable = observableBox->currentText();
    if (current.axes.size() == 2) {
        std::vector<double> values;
        for (const std::vector<double>& o : observed) values.push_back(o[static_cast<std::size_t>(column)]);
        const auto axis = [](const SweepAxis& a) {
            MapAxis m;
            m.values = a.values;
            m.name = sweepAxisTitle(a.name);
            return m;
        };
        sweepMap->setValueGrid(axis(current.axes[0]), axis(current.axes[1]), std::move(values), observable);
        return;
    }
    QChart* chart = chartView->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* a : chart->axes()) {
        chart->removeAxis(a);
        delete a;
    }
    auto* line = new QLineSeries;
    line->setObjectName(QStringLiteral("sweepLine"));
    auto* dots = new QScatterSeries;
    dots->setObjectName(QStringLiteral("sweepDots"));
    dots->setMarkerSize(7.0);
    line->setName(observable);
    dots->setName(QStringLiteral("points"));
    double ylo = std::numeric_limits<double>::infinity(), yhi = -ylo;
    for (std::size_t k = 0; k < finished.size(); ++k) {
        const SweepPoint& p = finished[k];
        const double y = observed[k][static_cast<std::size_t>(column)];
        if (!std::isfinite(y)) continue;
        line->append(p.values[0], y);
        dots->append(p.values[0], y);
        ylo = std::min(ylo, y);
        yhi = std::max(yhi, y);
    }
    chart->addSeries(line);
    chart->addSeries(dots);
    // The points are the line's own: one legend entry; clicking them is the chart's tooltip.
    for (QLegendMarker* marker : chart->legend()->markers(dots)) marker->setVisible(false);
    chartView->setToolTip(QStringLiteral("Click a point to load its parameters into the main window"));
    chart->setTitle(observable + QStringLiteral(" against ") + sweepAxisTitle(current.axes[0].name));
    const std::vector<double>& xs = current.axes[0].values;
    const double xlo = *std::min_element(xs.begin(), xs.end()), xhi = *std::max_element(xs.begin(), xs.end());
    QAbstractAxis* x = nullptr;
    if (current.axes[0].log && xlo > 0.0) {
        // Whole decades, each labelled, with the 2..9 between them as minor ticks.
        auto* lx = new QLogValueAxis;
        const auto [a, b] = decadeRange(xlo, xhi);
        // A hair beyond the decades: the axis labels the powers of ten inside its range, and
        // log10(0.1) rounds to just above -1.
        lx->setRange(a * (1.0 - 1e-9), b * (1.0 + 1e-9));
        lx->setLabelFormat(QStringLiteral("%g"));
        lx->setMinorTickCount(8);
        x = lx;
    } else {
        x = niceValueAxis(xlo, xhi);
    }
    x->setObjectName(QStringLiteral("sweepAxisX"));
    x->setTitleText(sweepAxisTitle(current.axes[0].name));
    // The points at the ends keep a little room from the plot's edges, where a dot would be
    // cut in half (on the screen and in a saved picture); an axis of counts, shares or
    // sizes does not go below zero for it.
    const double room = 0.03 * (yhi > ylo ? yhi - ylo : std::max(std::fabs(yhi), 1.0));
    const double bottom = ylo >= 0.0 ? std::max(0.0, ylo - room) : ylo - room;
    QValueAxis* y = std::isfinite(ylo) ? niceValueAxis(bottom, yhi + room) : new QValueAxis;
    y->setObjectName(QStringLiteral("sweepAxisY"));
    y->setTitleText(observable);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* s : {static_cast<QAbstractSeries*>(line), static_cast<QAbstractSeries*>(dots)}) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    connect(dots, &QScatterSeries::clicked, this, [this](const QPointF& at) {
        // The finished point nearest to the click along the swept parameter.
        std::int64_t best = -1;
        double distance = std::numeric_limits<double>::infinity();
        for (const SweepPoint& p : finished) {
            const double d = std::fabs(p.values[0] - at.x());
            if (d < distance) distance = d, best = p.index;
        }
        if (best >= 0) choosePoint(best);
    });
}

void SweepWindow::choosePoint(std::int64_t index) {
    for (const SweepPoint& p : finished) {
        if (p.index != index) continue;
        if (p.status != "ok") {
            sweepStatus->setText(QString::fromStdString(p.status));
            return;
        }
        sweepStatus->setText(QStringLiteral("Point %1 loaded into the main window.").arg(index));
        emit loadRequested(p.set);
        return;
    }
}

std::optional<std::string> SweepWindow::storedCsv() const {
    // The sweep's own file, byte for byte what marlinq-batch writes: FILE.partial while
    // the sweep runs or when it was stopped (ending with its mark), FILE once complete.
    if (storePath.isEmpty()) return std::nullopt;
    for (const QString& path : {storePath + QStringLiteral(".partial"), storePath}) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) return file.readAll().toStdString();
    }
    return std::nullopt;
}

QString SweepWindow::csvText() const { return QString::fromStdString(storedCsv().value_or(std::string())); }

bool SweepWindow::saveCsv(const QString& path, QString* error) const {
    const std::optional<std::string> csv = storedCsv();
    std::string why = csv                  ? std::string()
                      : storePath.isEmpty() ? std::string("no sweep has run yet")
                                            : "can not read the sweep's file " + QFile::encodeName(storePath).toStdString();
    if (csv && writeTextFileAtomically(QFile::encodeName(path).toStdString(), *csv, why)) return true;
    if (error) *error = QString::fromStdString(why);
    return false;
}

bool SweepWindow::savePng(const QString& path) {
    if (plotStack->currentIndex() == 0) return saveChartPng(chartView, path);
    return savePicture(path, [this](QBuffer& out) {
        QImage image = mapFigure();
        image.setText(QStringLiteral("Software"), QStringLiteral("Marlinq Solver ") + QString::fromStdString(provenance()));
        image.setText(QStringLiteral("Description"), mapCaption());
        return image.save(&out, "PNG");
    });
}

bool SweepWindow::saveSvg(const QString& path) {
    if (plotStack->currentIndex() == 0) return saveChartSvg(chartView, path, QStringLiteral("Marlinq Solver sweep"));
    return savePicture(path, [this](QBuffer& out) {
        const QString caption = mapCaption();
        const QRect below = captionRect(QFontMetrics(font()), sweepMap->width(), caption);
        const QSize size(sweepMap->width(), sweepMap->height() + below.height());
        QSvgGenerator generator;
        generator.setOutputDevice(&out);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setDescription(QStringLiteral("Marlinq Solver sweep\n") + caption + QStringLiteral("\nMarlinq Solver ") +
                                 QString::fromStdString(provenance()));
        QPainter p;
        if (!p.begin(&generator)) return false;
        sweepMap->renderWithoutControls(&p);
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(below.translated(0, sweepMap->height()).adjusted(0, 4, 0, 0), Qt::TextWordWrap, caption);
        return p.end();
    });
}

QString SweepWindow::mapCaption() const {
    if (current.axes.size() != 2) return {};
    const auto axisText = [](const SweepAxis& a) {
        const auto [lo, hi] = std::minmax_element(a.values.begin(), a.values.end());
        return QStringLiteral("%1 from %2 to %3 (%4 values%5)")
            .arg(sweepAxisTitle(a.name))
            .arg(QString::fromStdString(significantText(*lo, 6)))
            .arg(QString::fromStdString(significantText(*hi, 6)))
            .arg(a.values.size())
            .arg(a.log ? QStringLiteral(", logarithmic") : QString());
    };
    const Parameters& g = base.params;
    QString caption = QStringLiteral("%1 over %2 (across) and %3 (up). ")
                          .arg(observableBox->currentText(), axisText(current.axes[0]), axisText(current.axes[1]));
    caption += QStringLiteral("Other parameters: ") +
               QString::fromStdString(parameterCaption(g.zp, base.plen, g.Np, g.zn, base.mlen, g.Nm, g.ka, g.vc10,
                                                       g.vc01, current.options.method));
    if (current.options.method == Method::DebyeHueckelLinear) caption += QStringLiteral(" (linear, closed form)");
    if (base.totalMode)
        caption += QStringLiteral("; totals C+ = %1, C- = %2").arg(QString::fromStdString(significantText(base.totalPlus, 6)),
                                                                         QString::fromStdString(significantText(base.totalMinus, 6)));
    caption += current.options.chains == Chains::Tables ? QStringLiteral("; single chains from the tables.")
                                                       : QStringLiteral("; single chains solved.");
    if (stoppedEarly)
        caption += QStringLiteral(" Partial: %1 of %2 points.").arg(finished.size()).arg(sweepPointCount(current));
    return caption;
}

QImage SweepWindow::mapFigure() {
    const QImage map = sweepMap->pictureWithoutControls();
    const qreal ratio = map.devicePixelRatio();
    const QString caption = mapCaption();
    const QFontMetrics fm(font());
    const QRect below = captionRect(fm, sweepMap->width(), caption);
    QImage figure(QSize(map.width(), map.height() + static_cast<int>(std::ceil(below.height() * ratio))),
                  QImage::Format_ARGB32_Premultiplied);
    figure.setDevicePixelRatio(ratio);
    figure.fill(palette().color(QPalette::Window));
    QPainter p(&figure);
    p.drawImage(QPoint(0, 0), map);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(below.translated(0, sweepMap->height()).adjusted(0, 4, 0, 0), Qt::TextWordWrap, caption);
    p.end();
    return figure;
}

void SweepWindow::saveClicked(int kind) {
    static const char* const filters[] = {"CSV file (*.csv)", "PNG picture (*.png)", "SVG picture (*.svg)"};
    static const char* const titles[] = {"Save CSV", "Save PNG", "Save SVG"};
    const QString path = userDialogs()->getSaveFileName(this, QString::fromLatin1(titles[kind]), QDir::currentPath(),
                                                        QString::fromLatin1(filters[kind]));
    if (path.isEmpty()) return;
    QString error;
    const bool ok = kind == 0 ? saveCsv(path, &error) : kind == 1 ? savePng(path) : saveSvg(path);
    if (!ok) userDialogs()->showMessage(this, error.isEmpty() ? QStringLiteral("can not write file ") + path : error);
}

}  // namespace marlinq::ui
