#pragma once
// The main window's file commands: loading and saving parameter sets, saving the
// distribution and the map. They share the folder the last dialog was left in.

#include "ui/MapView.h"

#include <QObject>
#include <QString>

#include <memory>

class QWidget;

namespace marlinq::ui {

class ParameterForm;
class RunController;
class UserDialogs;

class FileCommands : public QObject {
    Q_OBJECT

public:
    // Reads and writes the form's parameters and the runs' current result; window owns the
    // commands and their dialogs and message boxes.
    FileCommands(ParameterForm& form, RunController& runs, MapView& map, std::shared_ptr<UserDialogs> dialogs,
                 QWidget* window);

    void loadParameters();    // Parameters / Load Parameters
    void saveParameters();    // Parameters / Save Parameters
    void saveDistribution();  // File / Save Distribution
    // File / Save Map as PNG, as SVG: the map laid out as options say.
    void saveMapPng(const FigureOptions& options);
    void saveMapSvg(const FigureOptions& options);
    // Whether a file can be written at the path a save dialog gave; if not, says why (log
    // and message box) and returns false before anything is written.
    bool canWriteChosenFile(const QString& path);

signals:
    // A line for the window's log (without its line end).
    void logLine(const QString& text);

private:
    void saveMap(const QString& suffix, const QString& filter, bool svg, const FigureOptions& options);
    // The folder the next file dialog opens in: that of the file chosen last (empty at first).
    QString dialogDirectory() const { return lastDirectory; }
    void rememberDirectory(const QString& path);
    void showMessage(const QString& text);

    ParameterForm& form;
    RunController& runs;
    MapView& mapView;
    std::shared_ptr<UserDialogs> dialogs;
    QWidget* window;
    QString lastDirectory;
};

}  // namespace marlinq::ui
