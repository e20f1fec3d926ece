// Form1: the controls of the window and where they sit.
#include "ui/Form1.h"
#include "ui/ObservablesPanel.h"

#include "files/NumberFormat.h"
#include "pipeline/Parameters.h"
#include "ui/Pictures.h"
#include "ui/Plot3.h"
#include "ui/UserDialogs.h"

#include <QAction>
#include <QCheckBox>
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
#include <QStatusBar>
#include <QTextEdit>
#include <QToolTip>

#include <cmath>
#include <optional>

namespace marlinq::ui {

namespace {

// Positions in the window are counted from the top of a client area that includes a
// 24-pixel menu strip; Qt keeps the menu bar outside the central widget.
constexpr int kMenuStrip = 24;
constexpr int kContentWidth = 1325;
constexpr int kContentHeight = 852 - kMenuStrip;  // the window scrolls to the lower controls
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
    client = new QWidget;
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kContentWidth, kContentHeight);
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, kBackground);
    client->setPalette(pal);
    scrollArea->setWidget(client);
    scrollArea->setPalette(pal);
    setCentralWidget(scrollArea);

    // ---- left panel: '+' chains, '-' chains, solution ----
    const int dy = -kMenuStrip;
    panel1 = place(new QFrame(client), "panel1", 5, 29 + dy, 320, 800);
    panel1->setFrameShape(QFrame::Panel);
    panel1->setFrameShadow(QFrame::Sunken);
    QWidget* p = panel1;
    banner(p, "banner_plus", 1, 1);
    // One chain kind's block of controls: charge, charged length and neutral length, each
    // with its box and slider, and the charge density with its "Get" button.
    struct ChainControls {
        const char *chargeSymbol, *lengthSymbol, *densitySymbol;
        const char *chargeBox, *lengthBox, *neutralBox, *chargeBar, *lengthBar, *neutralBar, *density, *get;
        QString chargeText, neutralText;
        int chargePos, lengthPos, neutralPos;
    };
    struct ChainWidgets {
        QLineEdit *&charge, *&length, *&neutral;
        QSlider *&chargeBar, *&lengthBar, *&neutralBar;
        QLabel*& density;
        QPushButton*& get;
    };
    const auto section = [&](int top, const ChainControls& c, ChainWidgets w) {
        text(p, QStringLiteral("Charge"), 8, top + 40);
        symbol(p, c.chargeSymbol, 6, top + 60);
        w.charge = box(p, c.chargeBox, c.chargeText, 50, top + 60);
        w.chargeBar = bar(p, c.chargeBar, 100, c.chargePos, 130, top + 60);
        text(p, QStringLiteral("Length of charged block"), 8, top + 88);
        symbol(p, c.lengthSymbol, 6, top + 108);
        w.length = box(p, c.lengthBox, QStringLiteral("72"), 50, top + 108);
        w.lengthBar = bar(p, c.lengthBar, 1000, c.lengthPos, 130, top + 108);
        text(p, QStringLiteral("Length of neutral block  "), 8, top + 136);
        symbol(p, "sym_N", 6, top + 156);
        w.neutral = box(p, c.neutralBox, c.neutralText, 50, top + 156);
        w.neutralBar = bar(p, c.neutralBar, 1000, c.neutralPos, 130, top + 156);
        text(p, QStringLiteral("Linear charge density"), 8, top + 184);
        symbol(p, c.densitySymbol, 6, top + 204);
        w.density = output(p, c.density, 50, top + 204);
        w.get = place(new QPushButton(QStringLiteral("Get"), p), c.get, 130, top + 203, 80, 26);
    };
    // The sliders start where the boxes do: charge 18, charged length 72, neutral 1 / 200.
    section(0,
            ChainControls{"sym_qplus", "sym_Nplus", "sym_xiplus", "pchgBox", "plenBox", "pneuBox", "trackBar2",
                          "trackBar1", "trackBar6", "label40", "button3", QStringLiteral("18"), QStringLiteral("1"), 18,
                          72, 1},
            ChainWidgets{pchgBox, plenBox, pneuBox, trackBar2, trackBar1, trackBar6, label40, button3});
    banner(p, "banner_minus", 1, 306);
    section(306,
            ChainControls{"sym_qminus", "sym_Nminus", "sym_ximinus", "textBox4", "textBox3", "textBox5", "trackBar4",
                          "trackBar3", "trackBar5", "label5", "button4", QStringLiteral("18"), QStringLiteral("200"),
                          18, 72, 200},
            ChainWidgets{textBox4, textBox3, textBox5, trackBar4, trackBar3, trackBar5, label5, button4});
    banner(p, "banner_solution", 1, 626);
    text(p, QStringLiteral("Salt concentration "), 8, 668);
    symbol(p, "sym_ka", 150, 665);
    textBox7 = box(p, "textBox7", QStringLiteral("0.2"), 195, 665, 110);
    text(p, QStringLiteral("Polymer concentration "), 8, 700);
    symbol(p, "sym_cplus", 6, 724);
    textBox1 = box(p, "textBox1", QStringLiteral("1e-3"), 50, 724, 95);
    symbol(p, "sym_cminus", 160, 724);
    textBox2 = box(p, "textBox2", QStringLiteral("1e-3"), 204, 724, 95);

    // Chain schematics: a strip of sign symbols for the charged block, a black line for
    // the neutral one. Hidden until a scale is known.
    plusStrip = place(new QLabel(p), "plusStrip", 0, 276, 0, 20);
    minusStrip = place(new QLabel(p), "minusStrip", 0, 596, 0, 18);
    plusLine = place(new NeutralLine(p), "plusLine", 158, 285, 0, 2);
    minusLine = place(new NeutralLine(p), "minusLine", 158, 605, 0, 2);
    for (QWidget* w : {static_cast<QWidget*>(plusStrip), static_cast<QWidget*>(minusStrip), plusLine, minusLine})
        w->hide();

    // ---- map, its bars and the colour bar ----
    auto* title = text(client, QStringLiteral("Size distribution of complexes"), 331, 30 + dy, 300, 22);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(10.8);
    title->setFont(bold);
    title->setObjectName(QStringLiteral("label1"));
    text(client, QStringLiteral("max"), 343, 58 + dy);
    pictureBox2 = place(new QLabel(client), "pictureBox2", 340, 78 + dy, 55, 425);
    text(client, QStringLiteral("min"), 343, 504 + dy);
    pictureBox3 = place(new QLabel(client), "pictureBox3", 429, 61 + dy, 29, 575);
    symbol(client, "sym_mminus", 396, 348 + dy);
    pictureBox1 = place(new QLabel(client), "pictureBox1", 459, 61 + dy, 575, 575);
    pictureBox1->setMouseTracking(true);
    pictureBox1->installEventFilter(this);
    pictureBox4 = place(new QLabel(client), "pictureBox4", 459, 636 + dy, 575, 26);
    symbol(client, "sym_mplus", 700, 656 + dy);

    text(client, QStringLiteral("Range of aggregation numbers of chains '+'"), 372, 674 + dy + 2);
    text(client, QStringLiteral("Min"), 372, 702 + dy);
    pminBox = box(client, "pminBox", QStringLiteral("0"), 402, 699 + dy, 60);
    text(client, QStringLiteral("Max"), 475, 702 + dy);
    pmaxBox = box(client, "pmaxBox", QStringLiteral("10"), 507, 699 + dy, 60);
    text(client, QStringLiteral("Range of aggregation numbers of chains '-'"), 780, 674 + dy + 2);
    text(client, QStringLiteral("Min"), 780, 702 + dy);
    mminBox = box(client, "mminBox", QStringLiteral("0"), 810, 699 + dy, 60);
    text(client, QStringLiteral("Max"), 883, 702 + dy);
    mmaxBox = box(client, "mmaxBox", QStringLiteral("10"), 915, 699 + dy, 60);

    richTextBox1 = place(new QTextEdit(client), "richTextBox1", 372, 731 + dy, 679, 98);
    richTextBox1->setReadOnly(true);
    richTextBox1->setAcceptRichText(false);
    progressBar1 = place(new QProgressBar(client), "progressBar1", 372, 832 + dy, 679, 14);
    progressBar1->setRange(0, 1);
    progressBar1->setValue(0);
    progressBar1->setTextVisible(false);

    // ---- result panel ----
    panel2 = place(new QFrame(client), "panel2", 1041, 61 + dy, 273, 600);
    panel2->setFrameShape(QFrame::Panel);
    panel2->setFrameShadow(QFrame::Sunken);
    QWidget* r = panel2;
    auto* optimal = banner(r, "banner_optimal", 1, 1);
    optimal->setGeometry(1, 1, 269, optimal->height());
    optimal->setScaledContents(true);
    text(r, QStringLiteral("Numbers of '+' and '-' chains"), 10, 46);
    symbol(r, "sym_mplus", 8, 70);
    label21 = output(r, "label21", 52, 70, 75);
    symbol(r, "sym_mminus", 138, 70);
    label61 = output(r, "label61", 182, 70, 75);
    const auto row = [&](const QString& caption, const char* sym, QLabel*& out, const char* name, int y) {
        text(r, caption, 10, y);
        symbol(r, sym, 8, y + 22);
        out = output(r, name, 52, y + 22, 205);
    };
    row(QStringLiteral("Core radius"), "sym_Rc", label62, "label62", 104);
    row(QStringLiteral("Rescaled salt core"), "sym_kRc", label63, "label63", 160);
    row(QStringLiteral("Bare charge"), "sym_Z", label64, "label64", 216);
    row(QStringLiteral("Rescaled bare charge"), "sym_Ztilde", label65, "label65", 272);
    partialLabel = place(new QLabel(r), "partialLabel", 10, 318, 250, 20);
    partialLabel->setStyleSheet(QStringLiteral("color: rgb(178, 34, 34); font-weight: bold;"));
    partialLabel->hide();
    pictureBox5 = place(new QLabel(r), "pictureBox5", 4, 340, 265, 242);
    pictureBox5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pictureBox5->setPixmap(loadRuntimePicture(QStringLiteral("symbols/sun.jpg"), QSize(265, 265)));

    checkBox1 = place(new QCheckBox(QStringLiteral("Interpolation for linear chain (fast)"), client), "checkBox1",
                      1063, 664 + dy, 260, 24);
    checkBox2 = place(new QCheckBox(QStringLiteral("DH approximation (fast)"), client), "checkBox2", 1063,
                      686 + dy, 260, 24);
    checkBox3 = place(new QCheckBox(QStringLiteral("Converged free energies (slower)"), client), "checkBox3", 1063,
                      708 + dy, 260, 24);
    checkBox3->setToolTip(QStringLiteral(
        "Free energies converged in the grid to 1e-4 relative, with an error estimate in the log; the single "
        "chains are then solved, not interpolated"));
    checkBox1->setChecked(true);
    checkBox2->setChecked(true);
    button1 = place(new QPushButton(QStringLiteral("Solve"), client), "button1", 1059, 734 + dy, 260, 38);
    button2 = place(new QPushButton(QStringLiteral("Stop"), client), "button2", 1059, 792 + dy, 260, 38);
    button2->setEnabled(false);

    // The map and the bars start as their canvases.
    image = loadRuntimePicture(QStringLiteral("symbols/matrix.jpg"), QSize(575, 575)).toImage();
    pictureBox1->setPixmap(QPixmap::fromImage(image));
    pictureBox3->setPixmap(loadRuntimePicture(QStringLiteral("symbols/coordinateBarY.png"), QSize(29, 575)));
    pictureBox4->setPixmap(loadRuntimePicture(QStringLiteral("symbols/coordinateBarX.png"), QSize(575, 26)));
    for (QLabel* l : {pictureBox1, pictureBox2, pictureBox3, pictureBox4})
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);

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

    addObservablesDock(this, observablesPanel);
}


}  // namespace marlinq::ui
