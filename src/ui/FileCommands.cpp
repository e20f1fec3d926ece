// The file commands: loading and saving parameter sets, saving the distribution and the map.
#include "ui/FileCommands.h"
#include "ui/FieldText.h"
#include "ui/ParameterForm.h"

#include "io/FileAccess.h"
#include "pipeline/Engine.h"
#include "ui/RunController.h"
#include "ui/UserDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>

namespace marlinq::ui {

FileCommands::FileCommands(ParameterForm& parameterForm, RunController& runController, MapView& map,
                           std::shared_ptr<UserDialogs> userDialogs, QWidget* parentWindow)
    : QObject(parentWindow),
      form(parameterForm),
      runs(runController),
      mapView(map),
      dialogs(std::move(userDialogs)),
      window(parentWindow) {
    setObjectName(QStringLiteral("fileCommands"));
}

void FileCommands::showMessage(const QString& text) { dialogs->showMessage(window, text); }

void FileCommands::rememberDirectory(const QString& path) {
    const QFileInfo info(path);
    lastDirectory = info.absolutePath();
}

void FileCommands::loadParameters() {
    const QString path =
        dialogs->getOpenFileName(window, QStringLiteral("Load Parameters"),
                                 dialogDirectory().isEmpty() ? QDir::currentPath() : dialogDirectory(),
                                 QStringLiteral(".in files (*.in);;All files (*)"), QStringLiteral("All files (*)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);

    ParameterSet base;
    base.params = form.parameters();
    const LoadResult loaded = loadParameterSet(narrowPath(path), base);
    if (loaded.status == LoadStatus::CannotOpen) {
        // The program goes on; nothing was read. The reason stays in the log as well.
        emit logLine(QString::fromLatin1(kParameterFileOpenError) + QStringLiteral(": ") + path);
        showMessage(QString::fromLatin1(kParameterFileOpenError));
        return;
    }
    for (const std::string& note : loaded.notes) emit logLine(QString::fromStdString(note));
    // What the file held is kept even when it cannot be shown.
    form.parameters() = loaded.set.params;
    if (loaded.status == LoadStatus::WrongFile) {
        emit logLine(QString::fromLatin1(kWrongParameterFile) + QStringLiteral(" (") + path + QStringLiteral(")"));
        showMessage(QString::fromLatin1(kWrongParameterFile));
        return;
    }
    form.setValue(loaded.set);
}

void FileCommands::saveParameters() {
    // Each field goes into the held parameters as it is read, in the order of the fields;
    // the first that does not read ends the command with its message.
    ParameterSet set;
    if (const std::optional<QString> failure = form.readForFile(set)) {
        showMessage(*failure);
        return;
    }

    const QString path = dialogs->getSaveFileName(window, QStringLiteral("Save Parameters"), dialogDirectory(),
                                                  QStringLiteral("Text file (*.txt)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    if (!canWriteChosenFile(path)) return;
    std::string error;
    if (!writeParameterSet(narrowPath(path), set, error)) {
        emit logLine(QString::fromStdString(error));
        showMessage(QStringLiteral("can not write ") + path);
    }
}

bool FileCommands::canWriteChosenFile(const QString& path) {
    const std::optional<std::string> problem = outputFileProblem(narrowPath(path));
    if (!problem) return true;
    const QString text = QStringLiteral("can not write ") + path + QStringLiteral(" (") +
                         QString::fromStdString(*problem) + QStringLiteral(")");
    emit logLine(text);
    showMessage(text);
    return false;
}

void FileCommands::saveDistribution() {
    // A stopped run's file says so in the name offered.
    QString suggestion = dialogDirectory();
    if (const ResultSnapshot shown = runs.result(); shown && shown->hasResults() && runs.isPartial()) {
        const auto [done, total] = runs.partialRows();
        const QString name =
            QStringLiteral("distribution-partial-%1-of-%2-%3.txt").arg(done).arg(total).arg(runs.partialUnit());
        suggestion = suggestion.isEmpty() ? name : QDir(suggestion).filePath(name);
    }
    const QString path = dialogs->getSaveFileName(window, QStringLiteral("Save Matrix"), suggestion,
                                                  QStringLiteral("Text file (*.txt)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    // A place that cannot take the file is said before anything is formatted; the result
    // stays whatever happens to the save.
    if (!canWriteChosenFile(path)) return;
    // The newest snapshot: consistent as of the last finished row.
    const ResultSnapshot result = runs.result();
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
        switch (dialogs->askLargeFile(window, text, QStringLiteral("Save computed cells only"))) {
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
        emit logLine(QString::fromStdString(error));
        showMessage(QStringLiteral("can not write ") + path);
    }
}

void FileCommands::saveMapPng(const FigureOptions& options) {
    saveMap(QStringLiteral("png"), QStringLiteral("PNG image (*.png)"), false, options);
}

void FileCommands::saveMapSvg(const FigureOptions& options) {
    saveMap(QStringLiteral("svg"), QStringLiteral("SVG drawing (*.svg)"), true, options);
}

void FileCommands::saveMap(const QString& suffix, const QString& filter, bool svg, const FigureOptions& options) {
    const QString folder = dialogDirectory();
    const QString name = mapView.suggestedFileName(suffix);
    const QString path = dialogs->getSaveFileName(window, QStringLiteral("Save Map"),
                                                  folder.isEmpty() ? name : QDir(folder).filePath(name), filter);
    if (path.isEmpty()) return;
    rememberDirectory(path);
    if (!mapView.saveFigure(path, svg, options)) showMessage(QStringLiteral("can not write ") + path);
}

}  // namespace marlinq::ui
