// Form1: the menu bar (File, Parameters, View, Help), the keyboard shortcuts of Solve and Stop, Exit and Help.
#include "ui/Form1.h"

#include "ui/ObservablesPanel.h"
#include "ui/ParameterForm.h"
#include "ui/AboutWindow.h"
#include "ui/SweepWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>

namespace marlinq::ui {

void Form1::sweepToolStripMenuItem_Click() {
    auto* sweep = new SweepWindow(parameterForm->value(), runOptions(), parameterForm->segmentSizeNm(), engine, this);
    connect(sweep, &SweepWindow::loadRequested, parameterForm, &ParameterForm::setValue);
    sweep->show();
}

void Form1::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuStrip1"));
    fileToolStripMenuItem = bar->addMenu(QStringLiteral("File"));
    fileToolStripMenuItem->setObjectName(QStringLiteral("fileToolStripMenuItem"));
    saveToolStripMenuItem = fileToolStripMenuItem->addAction(QStringLiteral("Save Distribution"));
    saveToolStripMenuItem->setObjectName(QStringLiteral("saveToolStripMenuItem"));
    saveToolStripMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    saveMapToolStripMenuItem = fileToolStripMenuItem->addAction(QStringLiteral("Save Map as PNG"));
    saveMapToolStripMenuItem->setObjectName(QStringLiteral("saveMapToolStripMenuItem"));
    saveMapSvgToolStripMenuItem = fileToolStripMenuItem->addAction(QStringLiteral("Save Map as SVG"));
    saveMapSvgToolStripMenuItem->setObjectName(QStringLiteral("saveMapSvgToolStripMenuItem"));
    QMenu* figure = fileToolStripMenuItem->addMenu(QStringLiteral("Map Figure"));
    figure->setObjectName(QStringLiteral("mapFigureToolStripMenuItem"));
    mapCaptionToolStripMenuItem = figure->addAction(QStringLiteral("Caption in the Picture"));
    mapCaptionToolStripMenuItem->setObjectName(QStringLiteral("mapCaptionToolStripMenuItem"));
    mapCaptionToolStripMenuItem->setCheckable(true);
    mapCaptionToolStripMenuItem->setChecked(true);
    mapCaptionToolStripMenuItem->setToolTip(
        QStringLiteral("Off: the caption is written to a text file beside the picture"));
    figure->addSeparator();
    auto* widths = new QActionGroup(figure);
    mapColumnWidthToolStripMenuItem = figure->addAction(QStringLiteral("One Column Wide (85 mm)"));
    mapColumnWidthToolStripMenuItem->setObjectName(QStringLiteral("mapColumnWidthToolStripMenuItem"));
    mapPageWidthToolStripMenuItem = figure->addAction(QStringLiteral("Two Columns Wide (170 mm)"));
    mapPageWidthToolStripMenuItem->setObjectName(QStringLiteral("mapPageWidthToolStripMenuItem"));
    for (QAction* a : {mapColumnWidthToolStripMenuItem, mapPageWidthToolStripMenuItem}) {
        a->setCheckable(true);
        widths->addAction(a);
        connect(a, &QAction::triggered, this, [this] { saveFigureSettings(); });
    }
    mapPageWidthToolStripMenuItem->setChecked(true);
    connect(mapCaptionToolStripMenuItem, &QAction::triggered, this, [this] { saveFigureSettings(); });
    exitToolStripMenuItem = fileToolStripMenuItem->addAction(QStringLiteral("Exit"));
    exitToolStripMenuItem->setObjectName(QStringLiteral("exitToolStripMenuItem"));
    exitToolStripMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    parametersToolStripMenuItem = bar->addMenu(QStringLiteral("Parameters"));
    parametersToolStripMenuItem->setObjectName(QStringLiteral("parametersToolStripMenuItem"));
    loadDefaultToolStripMenuItem1 = parametersToolStripMenuItem->addAction(QStringLiteral("Load Parameters"));
    loadDefaultToolStripMenuItem1->setObjectName(QStringLiteral("loadDefaultToolStripMenuItem1"));
    loadDefaultToolStripMenuItem1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    saveAsDefaultToolStripMenuItem = parametersToolStripMenuItem->addAction(QStringLiteral("Save Parameters"));
    saveAsDefaultToolStripMenuItem->setObjectName(QStringLiteral("saveAsDefaultToolStripMenuItem"));
    saveAsDefaultToolStripMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    sweepToolStripMenuItem = parametersToolStripMenuItem->addAction(QStringLiteral("Sweep..."));
    sweepToolStripMenuItem->setObjectName(QStringLiteral("sweepToolStripMenuItem"));
    connect(sweepToolStripMenuItem, &QAction::triggered, this, [this] { sweepToolStripMenuItem_Click(); });

    viewToolStripMenuItem = bar->addMenu(QStringLiteral("View"));
    viewToolStripMenuItem->setObjectName(QStringLiteral("viewToolStripMenuItem"));
    logColoursToolStripMenuItem = viewToolStripMenuItem->addAction(QStringLiteral("Logarithmic colours"));
    logColoursToolStripMenuItem->setObjectName(QStringLiteral("logColoursToolStripMenuItem"));
    logColoursToolStripMenuItem->setCheckable(true);
    logColoursToolStripMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    viridisToolStripMenuItem = viewToolStripMenuItem->addAction(QStringLiteral("Viridis colours"));
    viridisToolStripMenuItem->setObjectName(QStringLiteral("viridisToolStripMenuItem"));
    viridisToolStripMenuItem->setCheckable(true);
    viridisToolStripMenuItem->setToolTip(
        QStringLiteral("A colour map whose lightness grows with the share (readable in grey print)"));
    connect(viridisToolStripMenuItem, &QAction::triggered, this, [this](bool on) {
        ColourScale s = mapView->colourScale();
        s.colours = on ? ColourMap::Viridis : ColourMap::Classic;
        mapView->setColourScale(s);
    });
    wholeRangeToolStripMenuItem = viewToolStripMenuItem->addAction(QStringLiteral("Whole range"));
    wholeRangeToolStripMenuItem->setObjectName(QStringLiteral("wholeRangeToolStripMenuItem"));
    wholeRangeToolStripMenuItem->setCheckable(true);
    wholeRangeToolStripMenuItem->setChecked(true);
    wholeRangeToolStripMenuItem->setEnabled(false);
    wholeRangeToolStripMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));

    helpToolStripMenuItem = bar->addAction(QStringLiteral("Help"));
    helpToolStripMenuItem->setObjectName(QStringLiteral("helpToolStripMenuItem"));

    connect(saveToolStripMenuItem, &QAction::triggered, this, [this] { saveToolStripMenuItem_Click(); });
    connect(saveMapToolStripMenuItem, &QAction::triggered, this, [this] { saveMapToolStripMenuItem_Click(); });
    connect(saveMapSvgToolStripMenuItem, &QAction::triggered, this, [this] { saveMapSvgToolStripMenuItem_Click(); });
    connect(logColoursToolStripMenuItem, &QAction::triggered, this, [this](bool on) {
        ColourScale s = mapView->colourScale();
        s.logarithmic = on;
        mapView->setColourScale(s);
    });
    connect(wholeRangeToolStripMenuItem, &QAction::triggered, this, [this] { mapView->toggleWholeRange(); });
    connect(exitToolStripMenuItem, &QAction::triggered, this, [this] { exitToolStripMenuItem_Click_1(); });
    connect(loadDefaultToolStripMenuItem1, &QAction::triggered, this,
            [this] { loadDefaultToolStripMenuItem1_Click(); });
    connect(saveAsDefaultToolStripMenuItem, &QAction::triggered, this,
            [this] { saveAsDefaultToolStripMenuItem_Click(); });
    connect(helpToolStripMenuItem, &QAction::triggered, this, [this] { helpToolStripMenuItem_Click(); });

    // Solve and Stop from the keyboard, as their buttons would.
    auto* solve = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(solve, &QShortcut::activated, this, [this] {
        if (button1->isEnabled()) button1->click();
    });
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] {
        if (button2->isEnabled()) button2->click();
    });
}


void Form1::exitToolStripMenuItem_Click_1() { close(); }

void Form1::helpToolStripMenuItem_Click() {
    auto* about = new AboutWindow(this);
    about->setWindowFlag(Qt::Window, true);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
}

}  // namespace marlinq::ui
