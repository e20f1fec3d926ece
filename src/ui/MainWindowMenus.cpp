// MainWindow: the menu bar (File, Parameters, View, Help), the keyboard shortcuts of Solve and Stop, Exit and Help.
#include "ui/MainWindow.h"

#include "ui/FileCommands.h"
#include "ui/MapFigureMenu.h"
#include "ui/ObservablesPanel.h"
#include "ui/ParameterForm.h"
#include "ui/RunOptionsBox.h"
#include "ui/RunController.h"
#include "ui/ScatteringChartWindow.h"
#include "ui/AboutWindow.h"
#include "ui/SweepWindow.h"

#include <QAction>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>

namespace marlinq::ui {

void MainWindow::openSweepWindow() {
    auto* sweep =
        new SweepWindow(parameterForm->value(), runOptionsBox->options(), parameterForm->segmentSizeNm(), engine, this);
    connect(sweep, &SweepWindow::loadRequested, parameterForm, &ParameterForm::setValue);
    // Each sweep starts from the fields as they are when it starts, not as they were when
    // the sweep window opened.
    sweep->setBaseSource([this] {
        return SweepBase{parameterForm->value(), runOptionsBox->options().accuracy, parameterForm->segmentSizeNm()};
    });
    sweep->show();
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));
    fileMenu = bar->addMenu(QStringLiteral("File"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    saveDistributionAction = fileMenu->addAction(QStringLiteral("Save Distribution"));
    saveDistributionAction->setObjectName(QStringLiteral("saveDistributionAction"));
    saveDistributionAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    saveMapPngAction = fileMenu->addAction(QStringLiteral("Save Map as PNG"));
    saveMapPngAction->setObjectName(QStringLiteral("saveMapPngAction"));
    saveMapSvgAction = fileMenu->addAction(QStringLiteral("Save Map as SVG"));
    saveMapSvgAction->setObjectName(QStringLiteral("saveMapSvgAction"));
    mapFigureMenu = new MapFigureMenu(fileMenu);
    fileMenu->addMenu(mapFigureMenu);
    exitAction = fileMenu->addAction(QStringLiteral("Exit"));
    exitAction->setObjectName(QStringLiteral("exitAction"));
    exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    parametersMenu = bar->addMenu(QStringLiteral("Parameters"));
    parametersMenu->setObjectName(QStringLiteral("parametersMenu"));
    loadParametersAction = parametersMenu->addAction(QStringLiteral("Load Parameters"));
    loadParametersAction->setObjectName(QStringLiteral("loadParametersAction"));
    loadParametersAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    saveParametersAction = parametersMenu->addAction(QStringLiteral("Save Parameters"));
    saveParametersAction->setObjectName(QStringLiteral("saveParametersAction"));
    saveParametersAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    sweepAction = parametersMenu->addAction(QStringLiteral("Sweep..."));
    sweepAction->setObjectName(QStringLiteral("sweepAction"));
    connect(sweepAction, &QAction::triggered, this, [this] { openSweepWindow(); });

    viewMenu = bar->addMenu(QStringLiteral("View"));
    viewMenu->setObjectName(QStringLiteral("viewMenu"));
    logColoursAction = viewMenu->addAction(QStringLiteral("Logarithmic colours"));
    logColoursAction->setObjectName(QStringLiteral("logColoursAction"));
    logColoursAction->setCheckable(true);
    logColoursAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    viridisAction = viewMenu->addAction(QStringLiteral("Viridis colours"));
    viridisAction->setObjectName(QStringLiteral("viridisAction"));
    viridisAction->setCheckable(true);
    viridisAction->setToolTip(
        QStringLiteral("A colour map whose lightness grows with the share (readable in grey print)"));
    connect(viridisAction, &QAction::triggered, this, [this](bool on) {
        ColourScale s = mapView->colourScale();
        s.colours = on ? ColourMap::Viridis : ColourMap::Classic;
        mapView->setColourScale(s);
    });
    wholeRangeAction = viewMenu->addAction(QStringLiteral("Whole range"));
    wholeRangeAction->setObjectName(QStringLiteral("wholeRangeAction"));
    wholeRangeAction->setCheckable(true);
    wholeRangeAction->setChecked(true);
    wholeRangeAction->setEnabled(false);
    wholeRangeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    // I(q) of the distribution shown, with the inputs it needs beyond the run.
    QAction* scatteringAction = viewMenu->addAction(QStringLiteral("Scattering I(q)..."));
    scatteringAction->setObjectName(QStringLiteral("scatteringAction"));
    connect(scatteringAction, &QAction::triggered, this, [this] {
        const Parameters p = parameterForm->value().params;
        auto* chart = new ScatteringChartWindow(runs->result(), parameterForm->segmentSizeNm(), p.molarMassPlus,
                                                p.molarMassMinus, this);
        chart->setWindowFlag(Qt::Window, true);
        chart->setAttribute(Qt::WA_DeleteOnClose);
        chart->show();
    });

    helpAction = bar->addAction(QStringLiteral("Help"));
    helpAction->setObjectName(QStringLiteral("helpAction"));

    connect(saveDistributionAction, &QAction::triggered, fileCommands, &FileCommands::saveDistribution);
    connect(saveMapPngAction, &QAction::triggered, fileCommands,
            [this] { fileCommands->saveMapPng(mapFigureMenu->options()); });
    connect(saveMapSvgAction, &QAction::triggered, fileCommands,
            [this] { fileCommands->saveMapSvg(mapFigureMenu->options()); });
    connect(logColoursAction, &QAction::triggered, this, [this](bool on) {
        ColourScale s = mapView->colourScale();
        s.logarithmic = on;
        mapView->setColourScale(s);
    });
    connect(wholeRangeAction, &QAction::triggered, this, [this] { mapView->toggleWholeRange(); });
    connect(exitAction, &QAction::triggered, this, [this] { exitProgram(); });
    connect(loadParametersAction, &QAction::triggered, fileCommands, &FileCommands::loadParameters);
    connect(saveParametersAction, &QAction::triggered, fileCommands, &FileCommands::saveParameters);
    connect(helpAction, &QAction::triggered, this, [this] { showAbout(); });

    // Solve and Stop from the keyboard, as their buttons would.
    auto* solve = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(solve, &QShortcut::activated, this, [this] {
        if (solveButton->isEnabled()) solveButton->click();
    });
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] {
        if (stopButton->isEnabled()) stopButton->click();
    });
}

void MainWindow::exitProgram() { close(); }

void MainWindow::showAbout() {
    auto* about = new AboutWindow(this);
    about->setWindowFlag(Qt::Window, true);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
}

}  // namespace marlinq::ui
