// Form1: the controls of the window and where they sit.
#include "ui/Form1.h"
#include "ui/ObservablesPanel.h"

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

// Positions in the window are counted from the top of a client area that includes a
// 24-pixel menu strip; Qt keeps the menu bar outside the central widget.
constexpr int kPanelHeight = Form1::kSolutionBannerTop + 146;
const QColor kBackground(224, 224, 224);

// The black neutral block of a chain schematic.
class NeutralLine : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
    }
};

template <typename W>
W* place(W* w, const char* name, int x, int y, int width, int height) {
    if (name != nullptr) w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}

QLabel* text(QWidget* parent, const QString& s, int x, int y, int width = -1, int height = 20) {
    auto* l = new QLabel(s, parent);
    if (width < 0) width = l->sizeHint().width() + 4;
    l->setGeometry(x, y, width, height);
    return l;
}

QLabel* symbol(QWidget* parent, const char* name, int x, int y, QSize box = QSize(40, 24)) {
    auto* l = new QLabel(parent);
    l->setObjectName(QStringLiteral("symbol_") + QString::fromLatin1(name));
    const QPixmap pm = embeddedPicture(QString::fromLatin1(name));
    l->setPixmap(pm.size().width() > box.width() || pm.size().height() > box.height()
                     ? pm.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                     : pm);
    l->setGeometry(x, y, box.width(), box.height());
    l->setAlignment(Qt::AlignCenter);
    return l;
}

QLabel* banner(QWidget* parent, const char* name, int x, int y) {
    auto* l = new QLabel(parent);
    l->setObjectName(QStringLiteral("banner_") + QString::fromLatin1(name));
    QPixmap pm = embeddedPicture(QString::fromLatin1(name));
    if (pm.width() != 317 && pm.width() > 0) pm = pm.scaledToWidth(317, Qt::SmoothTransformation);
    l->setPixmap(pm);
    l->setGeometry(x, y, 317, std::max(pm.height(), 20));
    return l;
}

QLineEdit* box(QWidget* parent, const char* name, const QString& s, int x, int y, int width = 70) {
    auto* e = place(new QLineEdit(s, parent), name, x, y, width, 24);
    return e;
}

QSlider* bar(QWidget* parent, const char* name, int maximum, int position, int x, int y) {
    auto* s = place(new QSlider(Qt::Horizontal, parent), name, x, y, 178, 24);
    s->setRange(0, maximum);
    s->setValue(position);
    s->setTickPosition(QSlider::TicksBelow);
    s->setTickInterval(maximum / 10);
    s->setPageStep(maximum / 10);
    return s;
}

QLabel* output(QWidget* parent, const char* name, int x, int y, int width = 70, int height = 24) {
    auto* l = place(new QLabel(parent), name, x, y, width, height);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setAutoFillBackground(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::Window, Qt::white);
    l->setPalette(pal);
    l->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    return l;
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

    // ---- left panel: '+' chains, '-' chains, solution ----
    panel1 = new QFrame(client);
    panel1->setObjectName(QStringLiteral("panel1"));
    panel1->setFixedSize(320, kPanelHeight);
    panel1->setFrameShape(QFrame::Panel);
    panel1->setFrameShadow(QFrame::Sunken);
    QWidget* p = panel1;
    banner(p, "banner_plus", 1, 1);
    // One chain kind's block of controls: charge, charged length and neutral length, each
    // with its box and slider, and the charge density with its "Get" button.
    struct ChainControls {
        const char *chargeSymbol, *lengthSymbol, *densitySymbol;
        const char *chargeBox, *lengthBox, *neutralBox, *chargeBar, *lengthBar, *neutralBar, *density, *get;
    };
    struct ChainWidgets {
        QLineEdit *&charge, *&length, *&neutral;
        QSlider *&chargeBar, *&lengthBar, *&neutralBar;
        QLabel*& density;
        QPushButton*& get;
    };
    // Rows of a section under its 30-pixel banner: a caption, then symbol, box and slider.
    constexpr int kRow = 42;
    const auto section = [&](int top, const ChainControls& c, ChainWidgets w) {
        const int y0 = top + 34;
        text(p, QStringLiteral("Charge"), 8, y0, -1, 16);
        symbol(p, c.chargeSymbol, 6, y0 + 16);
        w.charge = box(p, c.chargeBox, QString(), 50, y0 + 16);
        w.chargeBar = bar(p, c.chargeBar, 100, 0, 130, y0 + 16);
        text(p, QStringLiteral("Length of charged block"), 8, y0 + kRow, -1, 16);
        symbol(p, c.lengthSymbol, 6, y0 + kRow + 16);
        w.length = box(p, c.lengthBox, QString(), 50, y0 + kRow + 16);
        w.lengthBar = bar(p, c.lengthBar, 1000, 0, 130, y0 + kRow + 16);
        text(p, QStringLiteral("Length of neutral block  "), 8, y0 + 2 * kRow, -1, 16);
        symbol(p, "sym_N", 6, y0 + 2 * kRow + 16);
        w.neutral = box(p, c.neutralBox, QString(), 50, y0 + 2 * kRow + 16);
        w.neutralBar = bar(p, c.neutralBar, 1000, 0, 130, y0 + 2 * kRow + 16);
        text(p, QStringLiteral("Linear charge density"), 8, y0 + 3 * kRow, -1, 16);
        symbol(p, c.densitySymbol, 6, y0 + 3 * kRow + 16);
        w.density = output(p, c.density, 50, y0 + 3 * kRow + 16);
        w.get = place(new QPushButton(QStringLiteral("Get"), p), c.get, 130, y0 + 3 * kRow + 15, 80, 26);
    };
    // The boxes and their sliders start at the start-up values (at the end of the layout).
    section(0,
            ChainControls{"sym_qplus", "sym_Nplus", "sym_xiplus", "pchgBox", "plenBox", "pneuBox", "trackBar2",
                          "trackBar1", "trackBar6", "label40", "button3"},
            ChainWidgets{pchgBox, plenBox, pneuBox, trackBar2, trackBar1, trackBar6, label40, button3});
    banner(p, "banner_minus", 1, kMinusBannerTop);
    section(kMinusBannerTop,
            ChainControls{"sym_qminus", "sym_Nminus", "sym_ximinus", "textBox4", "textBox3", "textBox5", "trackBar4",
                          "trackBar3", "trackBar5", "label5", "button4"},
            ChainWidgets{textBox4, textBox3, textBox5, trackBar4, trackBar3, trackBar5, label5, button4});
    const int sol = kSolutionBannerTop;
    banner(p, "banner_solution", 1, sol);
    text(p, QStringLiteral("Salt concentration "), 8, sol + 38);
    symbol(p, "sym_ka", 150, sol + 36);
    textBox7 = box(p, "textBox7", QString(), 195, sol + 36, 110);
    text(p, QStringLiteral("Polymer concentration "), 8, sol + 66, -1, 16);
    concentrationModeBox = place(new QComboBox(p), "concentrationModeBox", 160, sol + 60, 92, 22);
    concentrationModeBox->addItems({QStringLiteral("free chains"), QStringLiteral("total")});
    concentrationModeBox->setToolTip(QStringLiteral(
        "free chains: c+ and c- are the chains left free, and the complexes follow from them.\n"
        "total: C+ and C- are all chains of each kind, free and in complexes, as an experiment weighs "
        "them in; the free chains follow from the mass balance (needs mpMin and mmMin 0)."));
    concentrationUnitBox = place(new QComboBox(p), "concentrationUnitBox", 256, sol + 60, 58, 22);
    concentrationUnitBox->addItems({QStringLiteral("a\u207B\u00B3"), QStringLiteral("mM")});
    concentrationUnitBox->setToolTip(QStringLiteral(
        "Chains per segment volume a^3, or mM of chains, c / (a^3 N_A) (needs the segment size a in nm)"));
    symbol(p, "sym_cplus", 6, sol + 84);
    textBox1 = box(p, "textBox1", QString(), 50, sol + 84, 95);
    symbol(p, "sym_cminus", 160, sol + 84);
    textBox2 = box(p, "textBox2", QString(), 204, sol + 84, 95);
    // Optional: the segment size in nm gives ka as a salt concentration and radii in nm.
    text(p, QStringLiteral("Segment size a (nm)"), 8, sol + 118, -1, 16);
    unitNmBox = box(p, "unitNmBox", QString(), 195, sol + 114, 110);

    // Chain schematics: a strip of sign symbols for the charged block, a black line for
    // the neutral one. Hidden until a scale is known.
    plusStrip = place(new QLabel(p), "plusStrip", 0, kMinusBannerTop - 30, 0, 20);
    minusStrip = place(new QLabel(p), "minusStrip", 0, kSolutionBannerTop - 30, 0, 18);
    plusLine = place(new NeutralLine(p), "plusLine", 158, kMinusBannerTop - 21, 0, 2);
    minusLine = place(new NeutralLine(p), "minusLine", 158, kSolutionBannerTop - 21, 0, 2);
    for (QWidget* w : {static_cast<QWidget*>(plusStrip), static_cast<QWidget*>(minusStrip), plusLine, minusLine})
        w->hide();

    // ---- centre: the map with its title and controls, ranges, log ----
    mapView = new MapView(client);

    auto* ranges = new QGridLayout;
    ranges->setHorizontalSpacing(6);
    ranges->setVerticalSpacing(2);
    const auto rangeGroup = [&](int column, const QString& caption, QLineEdit*& minBox, const char* minName,
                                QLineEdit*& maxBox, const char* maxName) {
        ranges->addWidget(new QLabel(caption, client), 0, column, 1, 4);
        ranges->addWidget(new QLabel(QStringLiteral("Min"), client), 1, column);
        minBox = new QLineEdit(client);
        minBox->setObjectName(QString::fromLatin1(minName));
        minBox->setFixedWidth(60);
        ranges->addWidget(minBox, 1, column + 1);
        ranges->addWidget(new QLabel(QStringLiteral("Max"), client), 1, column + 2);
        maxBox = new QLineEdit(client);
        maxBox->setObjectName(QString::fromLatin1(maxName));
        maxBox->setFixedWidth(60);
        ranges->addWidget(maxBox, 1, column + 3);
    };
    rangeGroup(0, QStringLiteral("Range of aggregation numbers of chains '+'"), pminBox, "pminBox", pmaxBox, "pmaxBox");
    ranges->setColumnMinimumWidth(4, 24);
    rangeGroup(5, QStringLiteral("Range of aggregation numbers of chains '-'"), mminBox, "mminBox", mmaxBox, "mmaxBox");
    ranges->setColumnStretch(9, 1);

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
    left->addWidget(panel1);
    left->addStretch(1);
    columns->addLayout(left);

    auto* centre = new QVBoxLayout;
    centre->setSpacing(4);
    centre->addWidget(mapView, 1);
    centre->addLayout(ranges);
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
    observablesPanel->useUnitField(unitNmBox);
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

    // Every parameter's field starts at its start-up value, with a point as separator as the
    // parameter file writes it; the sliders where their boxes are.
    const ParameterSet start = startupParameterSet();
    for (const ParameterRow& r : parameterSchema()) {
        if (QLineEdit* field = parameterField(r)) {
            const double v = parameterValue(start, r);
            field->setText(r.integer ? QString::number(static_cast<std::int32_t>(v))
                                     : QString::fromStdString(formatGeneral(v, '.')));
        }
    }
    const std::pair<QSlider*, double> bars[] = {{trackBar1, start.plen},      {trackBar2, start.params.zp},
                                                {trackBar6, start.params.Np}, {trackBar3, start.mlen},
                                                {trackBar4, start.params.zn}, {trackBar5, start.params.Nm}};
    for (const auto& [slider, value] : bars) slider->setValue(static_cast<int>(value));

    connect(button1, &QPushButton::clicked, this, [this] { button1_Click(); });
    connect(button2, &QPushButton::clicked, this, [this] { button2_Click(); });
    connect(button3, &QPushButton::clicked, this, [this] { button3_Click(); });
    connect(button4, &QPushButton::clicked, this, [this] { button4_Click(); });
    connect(trackBar1, &QSlider::valueChanged, this, [this] { trackBar1_Scroll(); });
    connect(trackBar2, &QSlider::valueChanged, this, [this] { trackBar2_Scroll(); });
    connect(trackBar3, &QSlider::valueChanged, this, [this] { trackBar3_Scroll(); });
    connect(trackBar4, &QSlider::valueChanged, this, [this] { trackBar4_Scroll(); });
    connect(trackBar5, &QSlider::valueChanged, this, [this] { trackBar5_Scroll(); });
    connect(trackBar6, &QSlider::valueChanged, this, [this] { trackBar6_Scroll(); });
}


}  // namespace marlinq::ui
