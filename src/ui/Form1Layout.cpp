// Form1: the controls of the window and where they sit.
#include "ui/Form1.h"
#include "ui/ObservablesPanel.h"
#include "ui/PanelParts.h"
#include "ui/ParameterForm.h"

#include "files/NumberFormat.h"
#include "pipeline/ParameterSchema.h"
#include "ui/MapView.h"
#include "ui/Pictures.h"
#include "ui/AboutWindow.h"
#include "ui/UserDialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSlider>
#include <QBoxLayout>
#include <QGridLayout>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolTip>

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

void Form1::buildLayout() {
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

    richTextBox1 = new QTextEdit(client);
    richTextBox1->setObjectName(QStringLiteral("richTextBox1"));
    richTextBox1->setReadOnly(true);
    richTextBox1->setAcceptRichText(false);
    richTextBox1->setMinimumHeight(56);
    richTextBox1->setMaximumHeight(90);
    richTextBox1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    progressBar1 = new QProgressBar(client);
    progressBar1->setObjectName(QStringLiteral("progressBar1"));
    progressBar1->setFixedHeight(14);
    progressBar1->setRange(0, 1);
    progressBar1->setValue(0);
    progressBar1->setTextVisible(false);

    // ---- result panel ----
    panel2 = new QFrame(client);
    panel2->setObjectName(QStringLiteral("panel2"));
    panel2->setFixedSize(273, 448);
    panel2->setFrameShape(QFrame::Panel);
    panel2->setFrameShadow(QFrame::Sunken);
    QWidget* r = panel2;
    auto* optimal = banner(r, "banner_optimal", 1, 1);
    optimal->setGeometry(1, 1, 269, optimal->height());
    optimal->setScaledContents(true);
    text(r, QStringLiteral("Numbers of '+' and '-' chains"), 10, 36, -1, 16);
    symbol(r, "sym_mplus", 8, 54);
    label21 = output(r, "label21", 52, 54, 75);
    symbol(r, "sym_mminus", 138, 54);
    label61 = output(r, "label61", 182, 54, 75);
    const auto row = [&](const QString& caption, const char* sym, QLabel*& out, const char* name, int y) {
        text(r, caption, 6, y + 2, 134);
        symbol(r, sym, 138, y, QSize(34, 24));
        out = output(r, name, 174, y, 90);
    };
    row(QStringLiteral("Core radius"), "sym_Rc", label62, "label62", 88);
    row(QStringLiteral("Rescaled salt core"), "sym_kRc", label63, "label63", 116);
    row(QStringLiteral("Bare charge"), "sym_Z", label64, "label64", 144);
    row(QStringLiteral("Rescaled bare charge"), "sym_Ztilde", label65, "label65", 172);
    pictureBox5 = place(new QLabel(r), "pictureBox5", 4, 202, 265, 242);
    pictureBox5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pictureBox5->setPixmap(loadRuntimePicture(QStringLiteral("symbols/sun.jpg"), QSize(265, 265)));
    // Over the top of the sketch, shown only for the result of a stopped run.
    partialLabel = place(new QLabel(r), "partialLabel", 6, 200, 258, 18);
    partialLabel->setStyleSheet(QStringLiteral("color: rgb(178, 34, 34); font-weight: bold;"));
    partialLabel->hide();

    checkBox1 = new QCheckBox(QStringLiteral("Interpolation for linear chain (fast)"), client);
    checkBox1->setObjectName(QStringLiteral("checkBox1"));
    checkBox2 = new QCheckBox(QStringLiteral("DH approximation (fast)"), client);
    checkBox2->setObjectName(QStringLiteral("checkBox2"));
    checkBox2->setToolTip(QStringLiteral(
        "The program's Debye-Hueckel approximation: the linearised (Debye-Hueckel) potential of each complex put "
        "into the full nonlinear Poisson-Boltzmann free energy. Fast and the default, but not the Debye-Hueckel "
        "free energy of textbooks: for strongly charged complexes it lies far above both Poisson-Boltzmann and "
        "linear theory, even above the unscreened self-energy 3Z\u00b2/(5Rc) (for (1,3) at the start-up values "
        "567 kT against 72 kT from Poisson-Boltzmann). Untick it for Poisson-Boltzmann."));
    linearDhBox = new QCheckBox(QStringLiteral("linear"), client);
    linearDhBox->setObjectName(QStringLiteral("linearDhBox"));
    linearDhBox->setToolTip(QStringLiteral(
        "With DH approximation: the free energy of linear Debye-Hueckel theory for a uniformly charged core, in "
        "closed form (101 kT for (1,3) at the start-up values). Exact where the charge is weak; above "
        "Poisson-Boltzmann for strongly charged complexes."));
    linearDhBox->setEnabled(false);
    connect(checkBox2, &QCheckBox::toggled, linearDhBox, &QCheckBox::setEnabled);
    checkBox3 = new QCheckBox(QStringLiteral("Converged free energies (slower)"), client);
    checkBox3->setObjectName(QStringLiteral("checkBox3"));
    checkBox3->setToolTip(QStringLiteral(
        "Free energies converged in the grid to 1e-4 relative, with an error estimate in the log; the single "
        "chains are then solved, not interpolated"));
    checkBox1->setChecked(true);
    checkBox2->setChecked(true);
    button1 = new QPushButton(QStringLiteral("Solve"), client);
    button1->setObjectName(QStringLiteral("button1"));
    button2 = new QPushButton(QStringLiteral("Stop"), client);
    button2->setObjectName(QStringLiteral("button2"));
    for (QPushButton* b : {button1, button2}) b->setFixedSize(260, 38);
    button2->setEnabled(false);

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
    centre->addWidget(richTextBox1);
    centre->addWidget(progressBar1);
    columns->addLayout(centre, 1);

    auto* right = new QVBoxLayout;
    right->setSpacing(4);
    // The result panel and the observables of the run, as two tabs of one column.
    resultTabs = new QTabWidget(client);
    resultTabs->setObjectName(QStringLiteral("resultTabs"));
    resultTabs->addTab(panel2, QStringLiteral("Optimal solution"));
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
    right->addWidget(checkBox1);
    auto* dhRow = new QHBoxLayout;
    dhRow->setSpacing(6);
    dhRow->addWidget(checkBox2);
    dhRow->addWidget(linearDhBox);
    dhRow->addStretch(1);
    right->addLayout(dhRow);
    right->addWidget(checkBox3);
    right->addSpacing(4);
    right->addWidget(button1, 0, Qt::AlignHCenter);
    right->addWidget(button2, 0, Qt::AlignHCenter);
    right->addStretch(1);
    columns->addLayout(right);
    // The range fields follow the map's controls in the Tab order, as the row stands.
    putInTabOrderBefore(richTextBox1, parameterForm->rangeRow());

    connect(button1, &QPushButton::clicked, this, [this] { button1_Click(); });
    connect(button2, &QPushButton::clicked, this, [this] { button2_Click(); });
}


}  // namespace marlinq::ui
