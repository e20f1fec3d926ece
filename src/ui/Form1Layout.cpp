// Form1: construction of the controls, menus, start-up and shut-down.
#include "ui/Form1.h"

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

constexpr int kClientWidth = 1341;
constexpr int kClientHeight = 742;
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

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Marlinq Solver"));
    setWindowIcon(applicationIcon());
    channel = JobChannel::create([this](std::function<void()> fn) {
        {
            std::lock_guard lock(handOverMutex);
            handedOver.push_back(std::move(fn));
        }
        QMetaObject::invokeMethod(this, "runHandedOverCall", Qt::QueuedConnection);
    });
    buildLayout();
    buildMenus();
    // The start-up record: no matrices, nothing computed.
    isb = std::make_shared<InfoSphereBean>();
    for (int row = 20; row >= 0; --row) {
        const auto& c = colorArray[static_cast<std::size_t>(row)];
        brushl.emplace_back(QColor(c[0], c[1], c[2]));
    }
    statusBar()->showMessage(QStringLiteral("Ready"));
    resize(kClientWidth, kClientHeight - kMenuStrip + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
}

Form1::~Form1() { shutDownJobs(); }

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
    const auto section = [&](int top, const char* q, const char* n, const char* xi, QLineEdit*& charge,
                             const char* chargeName, QLineEdit*& length, const char* lengthName,
                             QLineEdit*& neutral, const char* neutralName, const QString& chargeText,
                             const QString& neutralText, QSlider*& chargeBar, const char* chargeBarName,
                             int chargePos, QSlider*& lengthBar, const char* lengthBarName, int lengthPos,
                             QSlider*& neutralBar, const char* neutralBarName, int neutralPos, QLabel*& xiLabel,
                             const char* xiName, QPushButton*& get, const char* getName) {
        text(p, QStringLiteral("Charge"), 8, top + 40);
        symbol(p, q, 6, top + 60);
        charge = box(p, chargeName, chargeText, 50, top + 60);
        chargeBar = bar(p, chargeBarName, 100, chargePos, 130, top + 60);
        text(p, QStringLiteral("Length of charged block"), 8, top + 88);
        symbol(p, n, 6, top + 108);
        length = box(p, lengthName, QStringLiteral("72"), 50, top + 108);
        lengthBar = bar(p, lengthBarName, 1000, lengthPos, 130, top + 108);
        text(p, QStringLiteral("Length of neutral block  "), 8, top + 136);
        symbol(p, "sym_N", 6, top + 156);
        neutral = box(p, neutralName, neutralText, 50, top + 156);
        neutralBar = bar(p, neutralBarName, 1000, neutralPos, 130, top + 156);
        text(p, QStringLiteral("Linear charge density"), 8, top + 184);
        symbol(p, xi, 6, top + 204);
        xiLabel = output(p, xiName, 50, top + 204);
        get = place(new QPushButton(QStringLiteral("Get"), p), getName, 130, top + 203, 80, 26);
    };
    section(0, "sym_qplus", "sym_Nplus", "sym_xiplus", pchgBox, "pchgBox", plenBox, "plenBox", pneuBox, "pneuBox",
            QStringLiteral("18"), QStringLiteral("1"), trackBar2, "trackBar2", 18, trackBar1, "trackBar1", 72,
            trackBar6, "trackBar6", 500, label40, "label40", button3, "button3");
    banner(p, "banner_minus", 1, 306);
    section(306, "sym_qminus", "sym_Nminus", "sym_ximinus", textBox4, "textBox4", textBox3, "textBox3", textBox5,
            "textBox5", QStringLiteral("18"), QStringLiteral("200"), trackBar4, "trackBar4", 78, trackBar3,
            "trackBar3", 312, trackBar5, "trackBar5", 200, label5, "label5", button4, "button4");
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
    pictureBox5 = place(new QLabel(r), "pictureBox5", 4, 340, 265, 242);
    pictureBox5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pictureBox5->setPixmap(loadRuntimePicture(QStringLiteral("symbols/sun.jpg"), QSize(265, 265)));

    checkBox1 = place(new QCheckBox(QStringLiteral("Interpolation for linear chain (fast)"), client), "checkBox1",
                      1063, 669 + dy, 260, 24);
    checkBox2 = place(new QCheckBox(QStringLiteral("DH approximation (fast)"), client), "checkBox2", 1063,
                      704 + dy, 260, 24);
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

    helpToolStripMenuItem = bar->addAction(QStringLiteral("Help"));
    helpToolStripMenuItem->setObjectName(QStringLiteral("helpToolStripMenuItem"));

    connect(saveToolStripMenuItem, &QAction::triggered, this, [this] { saveToolStripMenuItem_Click(); });
    connect(saveMapToolStripMenuItem, &QAction::triggered, this, [this] { saveMapToolStripMenuItem_Click(); });
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

void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!loaded) {
        loaded = true;
        Form1_Load();
    }
}

void Form1::Form1_Load() {
    paintColorBar();
    isb = std::make_shared<InfoSphereBean>();
    const QLocale locale;
    bool ok = false;
    double plen = locale.toDouble(plenBox->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Length of charged block +"));
        plen = 0.0;
    }
    Parameters& g = processParameters();
    double zp = locale.toDouble(pchgBox->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Charge +"));
        zp = 0.0;
    }
    g.zp = zp;
    double mlen = locale.toDouble(textBox3->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Length of charged block -"));
        mlen = 0.0;
    }
    double zn = locale.toDouble(textBox4->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Charge -"));
        zn = 0.0;
    }
    g.zn = zn;
    g.kip = zp / plen;
    label40->setText(locale.toString(g.kip, 'f', 2));
    label5->setText(locale.toString(zn / mlen, 'f', 2));
    // The schematics as the default fields describe them.
    const double Np = locale.toInt(pneuBox->text().trimmed());
    const double Nm = locale.toInt(textBox5->text().trimmed());
    drawPlusSchematic(plen, Np, Max(Np, Nm, plen));
    drawMinusSchematic(mlen, Nm, Max(Np, Nm, mlen));
}

double Form1::Max(double a, double b, double c) {
    double m = a;
    if (b > m) m = b;
    if (c > m) m = c;
    return m;
}

namespace {

// One locale's attempt of the tolerant parse.
std::optional<double> tolerantParse(QString s, const QLocale& locale) {
    s = s.trimmed();
    bool negative = false;
    if (s.startsWith(QLatin1Char('(')) && s.endsWith(QLatin1Char(')'))) {
        negative = true;
        s = s.mid(1, s.size() - 2).trimmed();
    }
    const QString currency = locale.currencySymbol();
    if (!currency.isEmpty()) {
        if (s.startsWith(currency)) s = s.mid(currency.size()).trimmed();
        if (s.endsWith(currency)) s.chop(currency.size());
        s = s.trimmed();
    }
    if (s.endsWith(QLatin1Char('-')) || s.endsWith(QLatin1Char('+'))) {
        if (s.endsWith(QLatin1Char('-'))) negative = !negative;
        s.chop(1);
        s = s.trimmed();
    }
    if (s.isEmpty()) return std::nullopt;
    bool ok = false;
    const double v = locale.toDouble(s, &ok);
    if (!ok) return std::nullopt;
    return negative ? -v : v;
}

}  // namespace

double Form1::GetDouble(const QString& text) {
    QString s = text;
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    // The text now uses a point as its decimal separator. A culture whose decimal separator
    // is not the point would read it as a group separator ("0.5" as 5), so the user's own
    // culture is asked only when it agrees.
    const QLocale current;
    if (current.decimalPoint() == QStringLiteral(".") && current.groupSeparator() != QStringLiteral(".")) {
        if (auto v = tolerantParse(s, current)) return *v;
    }
    if (auto v = tolerantParse(s, QLocale(QLocale::English, QLocale::UnitedStates))) return *v;
    if (auto v = tolerantParse(s, QLocale::c())) return *v;
    return 0.0;
}

void Form1::closeEvent(QCloseEvent* event) {
    // A running job is cancelled and released from its callbacks at once; its thread is
    // joined when the window is destroyed.
    channel->close();
    for (RunningJob& job : jobs) job.stop.request_stop();
    QMainWindow::closeEvent(event);
}

void Form1::shutDownJobs() {
    channel->close();
    for (RunningJob& job : jobs) job.stop.request_stop();
    for (RunningJob& job : jobs)
        if (job.thread.joinable()) job.thread.join();
    jobs.clear();
}

void Form1::reapFinishedJobs() {
    for (auto it = jobs.begin(); it != jobs.end();) {
        if (it->finished->load()) {
            if (it->thread.joinable()) it->thread.join();
            it = jobs.erase(it);
        } else {
            ++it;
        }
    }
}

void Form1::runHandedOverCall() {
    std::function<void()> fn;
    {
        std::lock_guard lock(handOverMutex);
        if (handedOver.empty()) return;
        fn = std::move(handedOver.front());
        handedOver.pop_front();
    }
    fn();
}

bool Form1::jobsRunning() const {
    for (const RunningJob& job : jobs)
        if (!job.finished->load()) return true;
    return false;
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pictureBox1) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            auto* me = static_cast<QMouseEvent*>(event);
            pictureBox1_MouseDoubleClick(me->position().toPoint());
            return true;
        }
        if (event->type() == QEvent::ToolTip) {
            auto* he = static_cast<QHelpEvent*>(event);
            const QString tip = mapToolTip(he->pos());
            if (tip.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(he->globalPos(), tip, pictureBox1);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::exitToolStripMenuItem_Click_1() { close(); }

void Form1::helpToolStripMenuItem_Click() {
    auto* about = new Plot3(this);
    about->setWindowFlag(Qt::Window, true);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
}

void Form1::showMessage(const QString& text) { userDialogs()->showMessage(this, text); }

QString Form1::dialogDirectory() const { return lastDirectory; }

void Form1::rememberDirectory(const QString& path) {
    const QFileInfo info(path);
    lastDirectory = info.absolutePath();
}

}  // namespace marlinq::ui
