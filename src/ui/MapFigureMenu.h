#pragma once
// File > Map Figure: how a saved map is laid out (its caption in the picture or in a text
// file beside it; one or two journal columns wide), kept with the user's settings.

#include "ui/MapView.h"

#include <QMenu>

class QAction;

namespace marlinq::ui {

class MapFigureMenu : public QMenu {
    Q_OBJECT

public:
    // The choices as the user left them last (the caption in the picture, two columns wide
    // at first).
    explicit MapFigureMenu(QWidget* parent = nullptr);

    // How a saved map is laid out now.
    FigureOptions options() const;

private:
    void loadSettings();
    void saveSettings() const;

    QAction* captionAction = nullptr;      // "mapCaptionAction"
    QAction* columnWidthAction = nullptr;  // "mapColumnWidthAction"
    QAction* pageWidthAction = nullptr;    // "mapPageWidthAction"
};

}  // namespace marlinq::ui
