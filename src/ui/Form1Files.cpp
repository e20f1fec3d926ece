// Form1: loading and saving parameter sets, saving the distribution.
#include "ui/Form1.h"
#include "ui/FieldText.h"

#include "files/DistributionExport.h"
#include "files/FileAccess.h"
#include "files/NumberFormat.h"
#include "files/ParameterFile.h"
#include "pipeline/Engine.h"
#include "ui/Pictures.h"
#include "ui/RunController.h"
#include "ui/UserDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QSlider>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>

namespace marlinq::ui {

namespace {


constexpr int kBannerCentre = 317 / 2;
constexpr int kPlusTop = Form1::kMinusBannerTop - 30;  // just above the '-' banner
constexpr int kMinusTop = Form1::kSolutionBannerTop - 30;  // just above the solution banner

}  // namespace

void Form1::loadDefaultToolStripMenuItem1_Click() {
    const QString path = dialogs->getOpenFileName(
        this, QStringLiteral("Load Parameters"), dialogDirectory().isEmpty() ? QDir::currentPath() : dialogDirectory(),
        QStringLiteral(".in files (*.in);;All files (*)"), QStringLiteral("All files (*)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);

    ParameterSet base;
    base.params = params;
    const LoadResult loaded = loadParameterSet(narrowPath(path), base);
    if (loaded.status == LoadStatus::CannotOpen) {
        // The program goes on; nothing was read. The reason stays in the log as well.
        appendLogLine(QString::fromLatin1(kParameterFileOpenError) + QStringLiteral(": ") + path);
        showMessage(QString::fromLatin1(kParameterFileOpenError));
        return;
    }
    for (const std::string& note : loaded.notes) appendLogLine(QString::fromStdString(note));
    // What the file held is kept even when it cannot be shown.
    params = loaded.set.params;
    if (loaded.status == LoadStatus::WrongFile) {
        appendLogLine(QString::fromLatin1(kWrongParameterFile) + QStringLiteral(" (") + path + QStringLiteral(")"));
        showMessage(QString::fromLatin1(kWrongParameterFile));
        return;
    }
    showParameterSet(loaded.set);
}

void Form1::showParameterSet(const ParameterSet& set) {
    params = set.params;
    const Parameters& g = params;
    const double plen = set.plen, mlen = set.mlen;

    for (const ParameterRow& r : parameterSchema()) {
        if (QLineEdit* box = parameterField(r)) {
            const double v = parameterValue(set, r);
            box->setText(r.integer ? QString::number(static_cast<std::int32_t>(v)) : general(v));
            // A number longer than the field shows its first digits, not its last.
            box->setCursorPosition(0);
        }
    }
    label40->setText(n2(g.kip));
    setBar(trackBar1, plen);
    setBar(trackBar2, std::trunc(g.zp));
    setBar(trackBar6, g.Np);
    label5->setText(n2(g.kim));
    setBar(trackBar3, mlen);
    setBar(trackBar4, std::trunc(g.zn));
    setBar(trackBar5, g.Nm);

    // Each sketch on the scale "Get" gives it: its chain's charged length against the
    // neutral blocks.
    drawMinusSchematic(mlen, g.Nm, Max(g.Np, g.Nm, mlen));
    drawPlusSchematic(plen, g.Np, Max(g.Np, g.Nm, plen));
    showConcentrations(set);
}

void Form1::saveAsDefaultToolStripMenuItem_Click() {
    // Each field goes into its variable as it is read (0 when it does not read), in the
    // order of the fields; the first that does not read ends the command with its message.
    // The salt and the concentrations are read as "Solve" reads them (a comma or a point,
    // whatever the desktop's format), so that a value Solve accepts can be saved.
    const QLocale locale;
    ParameterSet set;
    set.params = params;
    for (const ParameterRow* row : parameterRowsInCheckOrder()) {
        const ParameterRow& r = *row;
        const QLineEdit* box = parameterField(r);
        if (box == nullptr || r.unsaved == nullptr) continue;
        bool ok = false;
        double value = 0.0;
        const QString text = box->text();
        if (r.lenient) {
            value = GetDouble(text);
            ok = std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
        } else if (r.integer) {
            value = locale.toInt(text.trimmed(), &ok);
        } else {
            value = locale.toDouble(text.trimmed(), &ok);
        }
        if (!ok) value = 0.0;
        setParameterMember(set, r, value);
        params = set.params;
        if (!ok) {
            showMessage(QString::fromLatin1(r.unsaved));
            return;
        }
    }
    set.params.kip = params.kip = chargeDensity(set.params.zp, set.plen);
    set.params.kim = params.kim = chargeDensity(set.params.zn, set.mlen);
    // Total mode: the fields are the totals; the file keeps them, and as vc10, vc01 too.
    if (const std::optional<QString> failure = readTotals(set)) {
        showMessage(*failure);
        return;
    }
    if (set.totalMode) {
        set.params.vc10 = set.totalPlus;
        set.params.vc01 = set.totalMinus;
    }

    const QString path = dialogs->getSaveFileName(this, QStringLiteral("Save Parameters"), dialogDirectory(),
                                                        QStringLiteral("Text file (*.txt)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    if (!canWriteChosenFile(path)) return;
    std::string error;
    if (!writeParameterSet(narrowPath(path), set, error)) {
        appendLogLine(QString::fromStdString(error));
        showMessage(QStringLiteral("can not write ") + path);
    }
}

bool Form1::canWriteChosenFile(const QString& path) {
    const std::optional<std::string> problem = outputFileProblem(narrowPath(path));
    if (!problem) return true;
    const QString text = QStringLiteral("can not write ") + path + QStringLiteral(" (") +
                         QString::fromStdString(*problem) + QStringLiteral(")");
    appendLogLine(text);
    showMessage(text);
    return false;
}

void Form1::saveToolStripMenuItem_Click() {
    // A stopped run's file says so in the name offered.
    QString suggestion = dialogDirectory();
    if (resultRecord && resultRecord->hasResults() && runs->isPartial()) {
        const auto [rowsDone, rows] = runs->partialRows();
        const QString name = QStringLiteral("distribution-partial-%1-of-%2-rows.txt").arg(rowsDone).arg(rows);
        suggestion = suggestion.isEmpty() ? name : QDir(suggestion).filePath(name);
    }
    const QString path = dialogs->getSaveFileName(this, QStringLiteral("Save Matrix"), suggestion,
                                                        QStringLiteral("Text file (*.txt)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    // A place that cannot take the file is said before anything is formatted; the result
    // stays whatever happens to the save.
    if (!canWriteChosenFile(path)) return;
    // The newest snapshot: consistent as of the last finished row.
    if (!resultRecord || !resultRecord->hasResults()) {
        showMessage(QStringLiteral("No results generated, please check your input parameters."));
        return;
    }
    const DistributionCells distribution(*resultRecord);
    const DistributionView& view = distribution.view();
    // The table runs from M = 0 whatever the ranges: never a file of gigabytes by surprise.
    bool longForm = false;
    if (const std::optional<std::uint64_t> bytes = oversizedWideExport(view)) {
        const QString text =
            QStringLiteral("The distribution table would take up to %1 MiB: it runs from M = 0 to the largest M. "
                           "The computed cells alone, one per line (M+, M-, absValue, Value), are far smaller.")
                .arg(*bytes >> 20);
        switch (dialogs->askLargeFile(this, text, QStringLiteral("Save computed cells only"))) {
        case UserDialogs::LargeFileChoice::Save: break;
        case UserDialogs::LargeFileChoice::ShortForm: longForm = true; break;
        case UserDialogs::LargeFileChoice::Cancel: return;
        }
    }
    std::string error;
    const bool ok = longForm ? writeDistributionLong(narrowPath(path), view, nullptr, error)
                             : writeDistribution(narrowPath(path), view, decimalSeparator(), error);
    if (!ok) {
        appendLogLine(QString::fromStdString(error));
        showMessage(QStringLiteral("can not write ") + path);
    }
}

}  // namespace marlinq::ui

