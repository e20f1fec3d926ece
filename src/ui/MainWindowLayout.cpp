// MainWindow: the controls of the window and where they sit.
#include "ui/MainWindow.h"
#include "ui/ObservablesPanel.h"
#include "ui/PanelParts.h"
#include "ui/ParameterForm.h"
#include "ui/ResultPanel.h"
#include "ui/RunOptionsBox.h"

#include "ui/MapView.h"

#include <QFrame>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QBoxLayout>
#include <QTabWidget>
#include <QTextEdit>

#include <cmath>
#include <optional>

namespace marlinq::ui {

namespace {

using namespace panel;

const QColor kBackground(224, 224, 224);

// Puts the fields of row into the Tab order just before next.
void putInTabOrderBefore(QWidget* next, QWidget* row) {
    QWidget* before = next->previousInFocusChain();
    while (before != next && !(before->focusPolicy() & Qt::TabFocus)) before = before->previousInFocusChain();
    for (QLineEdit* field : row->findChildren<QLineEdit*>()) {
        QWidget::setTabOrder(before, field);
        before = field;
    }
}

}  // namespace

void MainWindow::buildLayout() {
    scrollArea = new QScrollArea(this);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setFrameShape(QFrame::NoFrame);
    // The client follows the window; below its minimum size the window scrolls.
    scrollArea->setWidgetResizable(true);
    client = new QWidget;
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, kBackground);
    client->setPalette(pal);
    scrollArea->setWidget(client);
    scrollArea->setPalette(pal);
    setCentralWidget(scrollArea);

    // ---- left panel: '+' chains, '-' chains, solution; the ranges go under the map ----
    parameterForm = new ParameterForm(client);

    // ---- centre: the map with its title and controls, ranges, log ----
    mapView = new MapView(client);

    logView = new QTextEdit(client);
    logView->setObjectName(QStringLiteral("logView"));
    logView->setReadOnly(true);
    logView->setAcceptRichText(false);
    logView->setMinimumHeight(56);
    logView->setMaximumHeight(90);
    logView->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    runProgress = new QProgressBar(client);
    runProgress->setObjectName(QStringLiteral("runProgress"));
    runProgress->setFixedHeight(14);
    runProgress->setRange(0, 1);
    runProgress->setValue(0);
    runProgress->setTextVisible(false);

    // ---- result panel, the run's choices, Solve and Stop ----
    resultPanel = new ResultPanel(client);
    runOptionsBox = new RunOptionsBox(client);
    solveButton = new QPushButton(QStringLiteral("Solve"), client);
    solveButton->setObjectName(QStringLiteral("solveButton"));
    stopButton = new QPushButton(QStringLiteral("Stop"), client);
    stopButton->setObjectName(QStringLiteral("stopButton"));
    for (QPushButton* b : {solveButton, stopButton}) b->setFixedSize(260, 38);
    stopButton->setEnabled(false);

    // ---- the three columns ----
    auto* columns = new QHBoxLayout(client);
    columns->setContentsMargins(5, 5, 5, 5);
    columns->setSpacing(8);
    auto* left = new QVBoxLayout;
    left->addWidget(parameterForm);
    left->addStretch(1);
    columns->addLayout(left);

    auto* centre = new QVBoxLayout;
    centre->setSpacing(4);
    centre->addWidget(mapView, 1);
    centre->addWidget(parameterForm->rangeRow());
    centre->addWidget(logView);
    centre->addWidget(runProgress);
    columns->addLayout(centre, 1);

    auto* right = new QVBoxLayout;
    right->setSpacing(4);
    // The result panel and the observables of the run, as two tabs of one column.
    resultTabs = new QTabWidget(client);
    resultTabs->setObjectName(QStringLiteral("resultTabs"));
    resultTabs->addTab(resultPanel, QStringLiteral("Optimal solution"));
    auto* observablesScroll = new QScrollArea;
    observablesScroll->setObjectName(QStringLiteral("observablesScroll"));
    observablesScroll->setWidgetResizable(true);
    observablesScroll->setFrameShape(QFrame::NoFrame);
    // Never wider than the column: the panel wraps its rows instead of hiding their ends.
    observablesScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    observablesPanel = new ObservablesPanel;
    observablesScroll->setWidget(observablesPanel);
    observablesPanel->useUnitField(parameterForm->segmentSizeInput());
    resultTabs->addTab(observablesScroll, QStringLiteral("Observables"));
    right->addWidget(resultTabs);
    right->addSpacing(4);
    right->addWidget(runOptionsBox);
    right->addSpacing(4);
    right->addWidget(solveButton, 0, Qt::AlignHCenter);
    right->addWidget(stopButton, 0, Qt::AlignHCenter);
    right->addStretch(1);
    columns->addLayout(right);
    // The range fields follow the map's controls in the Tab order, as the row stands.
    putInTabOrderBefore(logView, parameterForm->rangeRow());

    connect(solveButton, &QPushButton::clicked, this, [this] { solve(); });
    connect(stopButton, &QPushButton::clicked, this, [this] { stop(); });
}

}  // namespace marlinq::ui
