#include "ui/ObservablesPanel.h"

#include "files/NumberFormat.h"
#include "pipeline/AtomicFile.h"
#include "pipeline/Observables.h"
#include "pipeline/ObservablesText.h"
#include "pipeline/Units.h"
#include "ui/NumberInput.h"
#include "ui/UserDialogs.h"

#include <QDir>
#include <QMainWindow>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace marlinq::ui {

namespace {

QString shown(double v, int digits = 4) {
    if (!std::isfinite(v)) return QStringLiteral("-");
    return QLocale().toString(v, 'g', digits);
}

}  // namespace

ObservablesPanel::ObservablesPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("observablesPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("observablesLayout"));
    auto* form = new QFormLayout;
    form->setObjectName(QStringLiteral("observablesForm"));
    layout->addLayout(form);
    const auto value = [&](QLabel*& label, const char* name, const QString& caption, const QString& tip) {
        label = new QLabel(QStringLiteral("-"), this);
        label->setObjectName(QString::fromLatin1(name));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setToolTip(tip);
        auto* captionLabel = new QLabel(caption, this);
        captionLabel->setObjectName(QString::fromLatin1(name) + QStringLiteral("Caption"));
        form->addRow(captionLabel, label);
    };
    unitBox = new QLineEdit(this);
    unitBox->setObjectName(QStringLiteral("unitBox"));
    unitBox->setPlaceholderText(QStringLiteral("unset (0.714: water)"));
    unitBox->setToolTip(QStringLiteral("The segment size a in nm; the Bjerrum length is a. With it, ka is shown as a "
                                       "1:1 salt concentration and radii in nm."));
    auto* unitCaption = new QLabel(QStringLiteral("Segment size a (nm)"), this);
    unitCaption->setObjectName(QStringLiteral("unitCaption"));
    form->addRow(unitCaption, unitBox);
    value(mostProbableLabel, "mostProbableLabel", QStringLiteral("Most probable (M+, M-)"),
          QStringLiteral("The cell with the largest concentration"));
    value(shareLabel, "shareLabel", QStringLiteral("Its share"), QStringLiteral("Share of the distribution it holds"));
    value(meanMpLabel, "meanMpLabel", QStringLiteral("Mean M+"), QStringLiteral("Number average over the complexes"));
    value(meanMmLabel, "meanMmLabel", QStringLiteral("Mean M-"), QStringLiteral("Number average over the complexes"));
    value(massAverageLabel, "massAverageLabel", QStringLiteral("Mass-average M"),
          QStringLiteral("Sum (M+ + M-)^2 c / sum (M+ + M-) c"));
    value(boundPlusLabel, "boundPlusLabel", QStringLiteral("Bound '+' chains"),
          QStringLiteral("Fraction of the '+' chains in complexes"));
    value(boundMinusLabel, "boundMinusLabel", QStringLiteral("Bound '-' chains"),
          QStringLiteral("Fraction of the '-' chains in complexes"));
    value(netChargeLabel, "netChargeLabel", QStringLiteral("Mean net charge"),
          QStringLiteral("Mean of M+ q+ - M- q- over the complexes"));
    value(coreRadiusLabel, "coreRadiusLabel", QStringLiteral("Mean core radius"),
          QStringLiteral("Mean Rc over the complexes, segment units"));
    value(saltLabel, "saltLabel", QStringLiteral("1:1 salt (mM)"),
          QStringLiteral("The salt concentration ka stands for (needs a)"));
    value(coreRadiusNmLabel, "coreRadiusNmLabel", QStringLiteral("Rc (nm), most probable / mean"),
          QStringLiteral("Core radii in nm (needs a)"));
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

void ObservablesPanel::useUnitField(QLineEdit* field) {
    if (auto* form = findChild<QFormLayout*>()) form->setRowVisible(unitBox, false);
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
    if (!(a > 0.0) || !std::isfinite(a)) return std::nullopt;
    return a;
}

void ObservablesPanel::showRecord(ResultSnapshot rec) {
    record = std::move(rec);
    refresh();
}

void ObservablesPanel::refresh() {
    const bool has = record && record->hasResults();
    saveFreeEnergiesButton->setEnabled(has && !record->energies.empty());
    const Observables o = has ? computeObservables(*record) : Observables{};
    mostProbableLabel->setText(o.mostProbable ? QStringLiteral("(%1, %2)").arg(o.mostProbable->first).arg(o.mostProbable->second)
                                              : QStringLiteral("-"));
    shareLabel->setText(o.mostProbable ? shown(o.mostProbableShare) : QStringLiteral("-"));
    meanMpLabel->setText(shown(o.meanMp));
    meanMmLabel->setText(shown(o.meanMm));
    massAverageLabel->setText(shown(o.massAverageAggregation));
    boundPlusLabel->setText(shown(o.boundFractionPlus));
    boundMinusLabel->setText(shown(o.boundFractionMinus));
    netChargeLabel->setText(shown(o.meanNetCharge));
    coreRadiusLabel->setText(shown(o.meanCoreRadius));
    const std::optional<double> a = unitNm();
    saltLabel->setText(a && has ? shown(saltMillimolar(record->ka, *a)) : QStringLiteral("-"));
    coreRadiusNmLabel->setText(a && has ? shown(o.mostProbableCoreRadius * *a) + QStringLiteral(" / ") +
                                              shown(o.meanCoreRadius * *a)
                                        : QStringLiteral("-"));
}

bool ObservablesPanel::saveFreeEnergies(const QString& path, QString* error) const {
    if (!record || !record->hasResults()) {
        if (error) *error = QStringLiteral("No results generated, please check your input parameters.");
        return false;
    }
    std::string why;
    if (!writeTextFileAtomically(QDir::toNativeSeparators(path).toStdString(), freeEnergiesCsv(*record), why)) {
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
