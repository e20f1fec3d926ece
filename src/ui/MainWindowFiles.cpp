// MainWindow: loading and saving parameter sets, saving the distribution.
#include "ui/MainWindow.h"
#include "ui/FieldText.h"
#include "ui/ParameterForm.h"

#include "files/DistributionExport.h"
#include "files/FileAccess.h"
#include "files/ParameterFile.h"
#include "pipeline/Engine.h"
#include "ui/RunController.h"
#include "ui/UserDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <optional>
#include <string>

namespace marlinq::ui {

void MainWindow::loadParameters() {
    const QString path = dialogs->getOpenFileName(
        this, QStringLiteral("Load Parameters"), dialogDirectory().isEmpty() ? QDir::currentPath() : dialogDirectory(),
        QStringLiteral(".in files (*.in);;All files (*)"), QStringLiteral("All files (*)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);

    ParameterSet base;
    base.params = parameterForm->parameters();
    const LoadResult loaded = loadParameterSet(narrowPath(path), base);
    if (loaded.status == LoadStatus::CannotOpen) {
        // The program goes on; nothing was read. The reason stays in the log as well.
        appendLogLine(QString::fromLatin1(kParameterFileOpenError) + QStringLiteral(": ") + path);
        showMessage(QString::fromLatin1(kParameterFileOpenError));
        return;
    }
    for (const std::string& note : loaded.notes) appendLogLine(QString::fromStdString(note));
    // What the file held is kept even when it cannot be shown.
    parameterForm->parameters() = loaded.set.params;
    if (loaded.status == LoadStatus::WrongFile) {
        appendLogLine(QString::fromLatin1(kWrongParameterFile) + QStringLiteral(" (") + path + QStringLiteral(")"));
        showMessage(QString::fromLatin1(kWrongParameterFile));
        return;
    }
    parameterForm->setValue(loaded.set);
}

void MainWindow::saveParameters() {
    // Each field goes into the held parameters as it is read, in the order of the fields;
    // the first that does not read ends the command with its message.
    ParameterSet set;
    if (const std::optional<QString> failure = parameterForm->readForFile(set)) {
        showMessage(*failure);
        return;
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

bool MainWindow::canWriteChosenFile(const QString& path) {
    const std::optional<std::string> problem = outputFileProblem(narrowPath(path));
    if (!problem) return true;
    const QString text = QStringLiteral("can not write ") + path + QStringLiteral(" (") +
                         QString::fromStdString(*problem) + QStringLiteral(")");
    appendLogLine(text);
    showMessage(text);
    return false;
}

void MainWindow::saveDistribution() {
    // A stopped run's file says so in the name offered.
    QString suggestion = dialogDirectory();
    if (const ResultSnapshot shown = runs->result(); shown && shown->hasResults() && runs->isPartial()) {
        const auto [rowsDone, rows] = runs->partialRows();
        const QString name = QStringLiteral("distribution-partial-%1-of-%2-rows.txt").arg(rowsDone).arg(rows);
        suggestion = suggestion.isEmpty() ? name : QDir(suggestion).filePath(name);
    }
    const QString path =
        dialogs->getSaveFileName(this, QStringLiteral("Save Matrix"), suggestion, QStringLiteral("Text file (*.txt)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    // A place that cannot take the file is said before anything is formatted; the result
    // stays whatever happens to the save.
    if (!canWriteChosenFile(path)) return;
    // The newest snapshot: consistent as of the last finished row.
    const ResultSnapshot result = runs->result();
    if (!result || !result->hasResults()) {
        showMessage(QStringLiteral("No results generated, please check your input parameters."));
        return;
    }
    const DistributionCells distribution(*result);
    const DistributionView& view = distribution.view();
    // The table runs from M = 0 whatever the ranges: never a file of gigabytes by surprise.
    bool longForm = false;
    if (const std::optional<std::uint64_t> bytes = oversizedWideExport(view)) {
        const QString text = QStringLiteral(
                                 "The distribution table would take up to %1 MiB: it runs from M = 0 to the largest M. "
                                 "The computed cells alone, one per line (M+, M-, absValue, Value), are far smaller.")
                                 .arg(*bytes >> 20);
        switch (dialogs->askLargeFile(this, text, QStringLiteral("Save computed cells only"))) {
            case UserDialogs::LargeFileChoice::Save:
                break;
            case UserDialogs::LargeFileChoice::ShortForm:
                longForm = true;
                break;
            case UserDialogs::LargeFileChoice::Cancel:
                return;
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
