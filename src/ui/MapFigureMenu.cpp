// File > Map Figure and its settings.
#include "ui/MapFigureMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QSettings>

namespace marlinq::ui {

namespace {

QSettings settingsStore() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Marlinq"),
                     QStringLiteral("Marlinq Solver"));
}

}  // namespace

MapFigureMenu::MapFigureMenu(QWidget* parent) : QMenu(QStringLiteral("Map Figure"), parent) {
    setObjectName(QStringLiteral("mapFigureMenu"));
    captionAction = addAction(QStringLiteral("Caption in the Picture"));
    captionAction->setObjectName(QStringLiteral("mapCaptionAction"));
    captionAction->setCheckable(true);
    captionAction->setChecked(true);
    captionAction->setToolTip(QStringLiteral("Off: the caption is written to a text file beside the picture"));
    addSeparator();
    auto* widths = new QActionGroup(this);
    columnWidthAction = addAction(QStringLiteral("One Column Wide (85 mm)"));
    columnWidthAction->setObjectName(QStringLiteral("mapColumnWidthAction"));
    pageWidthAction = addAction(QStringLiteral("Two Columns Wide (170 mm)"));
    pageWidthAction->setObjectName(QStringLiteral("mapPageWidthAction"));
    for (QAction* a : {columnWidthAction, pageWidthAction}) {
        a->setCheckable(true);
        widths->addAction(a);
        connect(a, &QAction::triggered, this, [this] { saveSettings(); });
    }
    pageWidthAction->setChecked(true);
    connect(captionAction, &QAction::triggered, this, [this] { saveSettings(); });
    loadSettings();
}

FigureOptions MapFigureMenu::options() const {
    FigureOptions options;
    options.captionInPicture = captionAction->isChecked();
    options.widthMm = columnWidthAction->isChecked() ? 85.0 : 170.0;
    return options;
}

void MapFigureMenu::loadSettings() {
    QSettings s = settingsStore();
    captionAction->setChecked(s.value(QStringLiteral("figure/captionInPicture"), true).toBool());
    const bool column = s.value(QStringLiteral("figure/widthMm"), 170).toInt() == 85;
    (column ? columnWidthAction : pageWidthAction)->setChecked(true);
}

void MapFigureMenu::saveSettings() const {
    QSettings s = settingsStore();
    s.setValue(QStringLiteral("figure/captionInPicture"), captionAction->isChecked());
    s.setValue(QStringLiteral("figure/widthMm"), columnWidthAction->isChecked() ? 85 : 170);
}

}  // namespace marlinq::ui
