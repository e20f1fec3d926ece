#include "ui/ObservablesPanel.h"

#include "io/FileAccess.h"
#include "io/NumberText.h"
#include "pipeline/Observables.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/Sensitivity.h"
#include "pipeline/Units.h"
#include "ui/FieldText.h"
#include "ui/NumberInput.h"
#include "ui/UserDialogs.h"

#include <QDir>
#include <QMainWindow>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMetaObject>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include <cmath>

namespace marlinq::ui {

namespace {

QString shown(double v, int digits = 4) {
    if (!std::isfinite(v)) return QStringLiteral("-");
    return QLocale().toString(v, 'g', digits);
}

QString shownCell(const std::optional<MapCell>& cell) {
    return cell ? QStringLiteral("(%1, %2)").arg(cell->first).arg(cell->second) : QStringLiteral("-");
}

// "lower / higher": the answers at -1 and +1 kT per chain.
QString pairText(const QString& lower, const QString& higher) { return lower + QStringLiteral("  /  ") + higher; }

}  // namespace

ObservablesPanel::ObservablesPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("observablesPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("observablesLayout"));
    // Captions and values in a grid: a grid gives a wrapped caption the height of its lines
    // (a form layout gives every label one line, so a two-line caption was cut in half).
    auto* grid = new QGridLayout;
    grid->setObjectName(QStringLiteral("observablesForm"));
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    layout->addLayout(grid);
    int rows = 0;
    const auto addRow = [grid, &rows](QWidget* caption, QWidget* value) {
        grid->addWidget(caption, rows, 0);
        grid->addWidget(value, rows++, 1);
    };
    unitBox = new QLineEdit(this);
    unitBox->setObjectName(QStringLiteral("unitBox"));
    unitBox->setPlaceholderText(QStringLiteral("unset (%1: water)").arg(general(0.714)));
    unitBox->setToolTip(QStringLiteral("The segment size a in nm; the Bjerrum length is a. With it, ka is shown as a "
                                       "1:1 salt concentration and radii in nm."));
    auto* unitCaption = new QLabel(QStringLiteral("Segment size a (nm)"), this);
    unitCaption->setObjectName(QStringLiteral("unitCaption"));
    addRow(unitCaption, unitBox);
    // One row per observable: its caption and its value, both found by the observable's name.
    const auto addValueRow = [&](const ObservableDef* d) {
        const QString name = QString::fromLatin1(d->name.data(), static_cast<qsizetype>(d->name.size()));
        auto* label = new QLabel(QStringLiteral("-"), this);
        label->setObjectName(name);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setWordWrap(true);  // a tie of several cells takes more lines
        label->setToolTip(QString::fromStdString(std::string(d->description)));
        auto* captionLabel = new QLabel(QString::fromStdString(d->caption()), this);
        captionLabel->setObjectName(name + QStringLiteral("Caption"));
        // Long captions wrap: the column keeps the width of the result panel beside it.
        captionLabel->setWordWrap(true);
        addRow(captionLabel, label);
        values.emplace_back(d, label);
    };
    for (const ObservableDef* d : observablesInOutput(true)) addValueRow(d);
    // The molar masses and sizes: rows of their own below a field for the chains' molar masses.
    for (const bool plus : {true, false}) {
        auto* box = new QLineEdit(this);
        box->setObjectName(plus ? QStringLiteral("molarMassPlusBox") : QStringLiteral("molarMassMinusBox"));
        box->setPlaceholderText(QStringLiteral("unset"));
        box->setToolTip(QStringLiteral("The molar mass of a whole %1 chain in g/mol: with both, the molar masses of "
                                       "the complexes, and with the segment size their sizes (a corona in good "
                                       "solvent of neutral segments of size a)")
                            .arg(plus ? QStringLiteral("'+'") : QStringLiteral("'-'")));
        auto* caption = new QLabel(plus ? QStringLiteral("Molar mass of a + chain (g/mol)")
                                        : QStringLiteral("Molar mass of a - chain (g/mol)"),
                                   this);
        caption->setObjectName(box->objectName() + QStringLiteral("Caption"));
        addRow(caption, box);
        connect(box, &QLineEdit::textChanged, this, [this] { refresh(); });
        (plus ? molarMassPlusBox : molarMassMinusBox) = box;
    }
    for (const ObservableDef* d : observablesOfStructure(true)) addValueRow(d);
    // How far the answers move with the model: every complex free energy moved by 1 kT per chain.
    sensitivityButton = new QPushButton(QStringLiteral("Estimate"), this);
    sensitivityButton->setObjectName(QStringLiteral("sensitivityButton"));
    sensitivityButton->setEnabled(false);
    sensitivityButton->setToolTip(QStringLiteral(
        "Forms the distribution again with every complex free energy moved by -1 and +1 kT per chain (nothing is "
        "solved again): the answers a model error of that size would give"));
    auto* sensitivityCaption = new QLabel(QStringLiteral("Sensitivity, -1 / +1 kT per chain"), this);
    sensitivityCaption->setObjectName(QStringLiteral("sensitivityButtonCaption"));
    sensitivityCaption->setWordWrap(true);
    addRow(sensitivityCaption, sensitivityButton);
    const auto addSensitivityRow = [&](const QString& name, const QString& caption) {
        auto* label = new QLabel(QStringLiteral("-"), this);
        label->setObjectName(name);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* captionLabel = new QLabel(caption, this);
        captionLabel->setObjectName(name + QStringLiteral("Caption"));
        captionLabel->setWordWrap(true);
        addRow(captionLabel, label);
        return label;
    };
    sensitivityMostProbable = addSensitivityRow(QStringLiteral("sensitivityMostProbable"),
                                                QStringLiteral("Most probable complex at -1 / +1 kT"));
    sensitivityMassAverage = addSensitivityRow(QStringLiteral("sensitivityMassAverage"),
                                               QStringLiteral("Mass-average aggregation number at -1 / +1 kT"));
    sensitivityCritical = addSensitivityRow(QStringLiteral("sensitivityCritical"),
                                            QStringLiteral("Critical concentration at -1 / +1 kT"));
    connect(sensitivityButton, &QPushButton::clicked, this, [this] { estimateSensitivity(); });
    saveFreeEnergiesButton = new QPushButton(QStringLiteral("Save Free Energies..."), this);
    saveFreeEnergiesButton->setObjectName(QStringLiteral("saveFreeEnergiesButton"));
    saveFreeEnergiesButton->setEnabled(false);
    layout->addWidget(saveFreeEnergiesButton);
    layout->addStretch(1);
    connect(unitBox, &QLineEdit::textChanged, this, [this] {
        refresh();
        emit unitChanged();
    });
    connect(saveFreeEnergiesButton, &QPushButton::clicked, this, [this] { saveFreeEnergiesClicked(); });
}

ObservablesPanel::~ObservablesPanel() = default;  // the worker is joined before the labels go

void ObservablesPanel::estimateSensitivity() {
    if (!record || !record->hasResults() || record->energies.empty()) return;
    sensitivityRunning = true;
    sensitivityButton->setEnabled(false);
    for (QLabel* label : {sensitivityMostProbable, sensitivityMassAverage, sensitivityCritical})
        label->setText(QStringLiteral("..."));
    // The previous estimate (of an older result) ends first: the worker reads only its own
    // snapshot, and its answer is dropped below when the panel has moved on.
    if (sensitivityWorker.joinable()) sensitivityWorker.join();
    const ResultSnapshot of = record;
    sensitivityWorker = std::jthread([this, of] {
        std::optional<MassBalanceTotals> totals;
        if (of->totalMode()) totals = MassBalanceTotals{of->concentrations.totalPlus, of->concentrations.totalMinus};
        const std::optional<Sensitivity> s =
            sensitivityOf(*of, totals, of->concentrations.freePlus, of->concentrations.freeMinus);
        {
            std::lock_guard lock(sensitivityMutex);
            sensitivityOfRecord = of;
            sensitivityHandOver = s ? std::make_shared<const Sensitivity>(*s) : nullptr;
        }
        // A queued call that carries nothing: the answer waits above. The destructor joins this
        // thread before the panel goes, and a destroyed panel's queued calls are dropped.
        QMetaObject::invokeMethod(this, "takeSensitivity", Qt::QueuedConnection);
    });
}

void ObservablesPanel::takeSensitivity() {
    ResultSnapshot of;
    std::shared_ptr<const Sensitivity> s;
    {
        std::lock_guard lock(sensitivityMutex);
        of = std::move(sensitivityOfRecord);
        s = std::move(sensitivityHandOver);
    }
    if (sensitivityWorker.joinable()) sensitivityWorker.join();  // it has handed over: ends at once
    showSensitivity(of, s.get());
}

void ObservablesPanel::showSensitivity(const ResultSnapshot& of, const Sensitivity* s) {
    sensitivityRunning = false;
    sensitivityButton->setEnabled(record && record->hasResults() && !record->energies.empty());
    if (of != record) return;  // a newer result is shown: its rows stay cleared
    if (!s) {
        for (QLabel* label : {sensitivityMostProbable, sensitivityMassAverage, sensitivityCritical})
            label->setText(QStringLiteral("-"));
    } else {
        sensitivityMostProbable->setText(
            pairText(shownCell(s->lower.mostProbableComplex), shownCell(s->higher.mostProbableComplex)));
        sensitivityMassAverage->setText(
            pairText(shown(s->lower.massAverageAggregation), shown(s->higher.massAverageAggregation)));
        sensitivityCritical->setText(
            pairText(shown(s->lower.criticalConcentration), shown(s->higher.criticalConcentration)));
    }
    emit sensitivityShown();
}

void ObservablesPanel::useUnitField(QLineEdit* field) {
    unitBox->hide();
    if (auto* caption = findChild<QLabel*>(QStringLiteral("unitCaption"))) caption->hide();
    field->setPlaceholderText(unitBox->placeholderText());
    field->setToolTip(unitBox->toolTip());
    unitBox = field;
    connect(unitBox, &QLineEdit::textChanged, this, [this] {
        refresh();
        emit unitChanged();
    });
}

std::optional<double> ObservablesPanel::unitNm() const {
    const QString text = unitBox->text().trimmed();
    if (text.isEmpty()) return std::nullopt;
    const double a = tolerantDouble(text);
    if (!unitNmAllowed(a)) return std::nullopt;  // 0.01..100 nm, as the batch command takes
    return a;
}

std::optional<std::pair<double, double>> ObservablesPanel::molarMasses() const {
    const QString plusText = molarMassPlusBox->text().trimmed(), minusText = molarMassMinusBox->text().trimmed();
    if (plusText.isEmpty() || minusText.isEmpty()) return std::nullopt;
    const double plus = tolerantDouble(plusText), minus = tolerantDouble(minusText);
    if (!(plus > 0.0 && plus <= 1e12 && minus > 0.0 && minus <= 1e12)) return std::nullopt;
    return std::pair{plus, minus};
}

void ObservablesPanel::showRecord(ResultSnapshot rec) {
    if (rec != record)
        for (QLabel* label : {sensitivityMostProbable, sensitivityMassAverage, sensitivityCritical})
            label->setText(QStringLiteral("-"));
    record = std::move(rec);
    refresh();
}

void ObservablesPanel::refresh() {
    const bool has = record && record->hasResults();
    saveFreeEnergiesButton->setEnabled(has && !record->energies.empty());
    sensitivityButton->setEnabled(has && !record->energies.empty() && !sensitivityRunning);
    const Observables o = has ? computeObservables(*record) : Observables{};
    std::optional<StructureObservables> structure;
    if (const std::optional<std::pair<double, double>> masses = molarMasses(); has && masses) {
        StructureInputs si;
        si.molarMassPlus = masses->first;
        si.molarMassMinus = masses->second;
        si.unitNm = unitNm();
        si.waterFraction = record->params().waterFraction;
        structure = computeStructureObservables(*record, o, si);
    }
    const ObservableInputs in{o, has ? record->params().ka : 0.0, unitNm(), has ? record->params().bjerrum : 1.0,
                              structure ? &*structure : nullptr};
    for (const auto& [d, label] : values) {
        if (!has) {
            label->setText(QStringLiteral("-"));
        } else if (d->shape == ObservableShape::Cell) {
            const std::optional<MapCell> cell = d->cell(o);
            const std::vector<MapCell> none;
            const std::vector<MapCell>& tied = d->ties ? d->ties(o) : none;
            if (tied.size() >= 2) {
                // A tie is shown as one: "tie: (0, 1), (1, 0)".
                QStringList cells;
                for (const MapCell& c : tied) cells << QStringLiteral("(%1, %2)").arg(c.first).arg(c.second);
                label->setText(QStringLiteral("tie: ") + cells.join(QStringLiteral(", ")));
            } else {
                label->setText(cell ? QStringLiteral("(%1, %2)").arg(cell->first).arg(cell->second)
                                    : QStringLiteral("-"));
            }
        } else {
            label->setText(shown(d->number(in)));
        }
    }
}

QLabel* ObservablesPanel::valueLabel(std::string_view name) const {
    for (const auto& [d, label] : values)
        if (d->name == name) return label;
    return nullptr;
}

bool ObservablesPanel::saveFreeEnergies(const QString& path, QString* error) const {
    if (!record || !record->hasResults()) {
        if (error) *error = QStringLiteral("No results generated, please check your input parameters.");
        return false;
    }
    std::string why;
    const std::string file = QDir::toNativeSeparators(path).toStdString();
    // The place is checked before the landscape is formatted.
    if (const std::optional<std::string> problem = outputFileProblem(file)) {
        if (error) *error = QStringLiteral("can not write ") + path + QStringLiteral(" (") + QString::fromStdString(*problem) + ")";
        return false;
    }
    if (!writeTextFileAtomically(file, freeEnergiesCsv(*record), why)) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    return true;
}

void ObservablesPanel::saveFreeEnergiesClicked() {
    const QString path = userDialogs()->getSaveFileName(this, QStringLiteral("Save Free Energies"), QDir::currentPath(),
                                                        QStringLiteral("CSV file (*.csv)"));
    if (path.isEmpty()) return;
    QString error;
    if (!saveFreeEnergies(path, &error)) userDialogs()->showMessage(this, error);
}


}  // namespace marlinq::ui
