#include "ui/ParameterForm.h"

#include "io/NumberText.h"
#include "pipeline/MassBalance.h"
#include "pipeline/Units.h"
#include "ui/FieldText.h"
#include "ui/NumberInput.h"
#include "ui/PanelParts.h"
#include "ui/Pictures.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <cmath>

namespace marlinq::ui {

namespace {

using namespace panel;

constexpr int kFormHeight = ParameterForm::kSolutionBannerTop + 172;
constexpr int kBannerCentre = 317 / 2;
// The schematics sit just above the next banner.
constexpr int kSchematicTop[2] = {ParameterForm::kMinusBannerTop - 30, ParameterForm::kSolutionBannerTop - 30};
constexpr int kStripHeight[2] = {20, 18};

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

// The rows of one chain kind: 0 the '+' chain, 1 the '-' chain.
struct ChainRows {
    const ParameterRow *charge, *length, *neutral, *density;
};
ChainRows chainRows(int chain) {
    return chain == 0
               ? ChainRows{findParameter("zp"), findParameter("plen"), findParameter("Np"), findParameter("kiplus")}
               : ChainRows{findParameter("zn"), findParameter("mlen"), findParameter("Nm"), findParameter("kiminus")};
}

// The message of a field whose text does not read, as "Solve" gives it: a lenient field
// reads as 0, which its range refuses.
QString unreadableMessage(const ParameterRow& row) {
    return QString::fromLatin1(row.lenient ? row.outOfRange : row.unreadable);
}

// The largest of three, the first when a later one does not compare (NaN).
double largestOf(double a, double b, double c) {
    double m = a;
    if (b > m) m = b;
    if (c > m) m = c;
    return m;
}

}  // namespace

ParameterForm::ParameterForm(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("parameterForm"));
    setFixedSize(320, kFormHeight);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    QWidget* p = this;

    // One chain kind's block: charge, charged length and neutral length, each with its
    // field and slider, and the charge density with its "Get" button; rows of 42 pixels
    // under the 30-pixel banner.
    struct ChainNames {
        const char *chargeSymbol, *lengthSymbol, *densitySymbol, *charge, *length, *neutral, *chargeSlider,
            *lengthSlider, *neutralSlider, *density, *get;
    };
    struct ChainWidgets {
        QLineEdit *&charge, *&length, *&neutral;
        QSlider *&chargeSlider, *&lengthSlider, *&neutralSlider;
        QLabel*& density;
        QPushButton*& get;
    };
    constexpr int kRow = 42;
    const auto section = [&](int top, const ChainNames& n, ChainWidgets w) {
        const int y0 = top + 34;
        text(p, QStringLiteral("Charge"), 8, y0, -1, 16);
        symbol(p, n.chargeSymbol, 6, y0 + 16);
        w.charge = field(p, n.charge, 50, y0 + 16);
        w.chargeSlider = slider(p, n.chargeSlider, 100, 130, y0 + 16);
        text(p, QStringLiteral("Length of charged block"), 8, y0 + kRow, -1, 16);
        symbol(p, n.lengthSymbol, 6, y0 + kRow + 16);
        w.length = field(p, n.length, 50, y0 + kRow + 16);
        w.lengthSlider = slider(p, n.lengthSlider, 1000, 130, y0 + kRow + 16);
        text(p, QStringLiteral("Length of neutral block  "), 8, y0 + 2 * kRow, -1, 16);
        symbol(p, "sym_N", 6, y0 + 2 * kRow + 16);
        w.neutral = field(p, n.neutral, 50, y0 + 2 * kRow + 16);
        w.neutralSlider = slider(p, n.neutralSlider, 1000, 130, y0 + 2 * kRow + 16);
        text(p, QStringLiteral("Linear charge density"), 8, y0 + 3 * kRow, -1, 16);
        symbol(p, n.densitySymbol, 6, y0 + 3 * kRow + 16);
        w.density = output(p, n.density, 50, y0 + 3 * kRow + 16);
        w.get = place(new QPushButton(QStringLiteral("Get"), p), n.get, 130, y0 + 3 * kRow + 15, 80, 26);
    };
    banner(p, "banner_plus", 1, 1);
    section(0,
            ChainNames{"sym_qplus", "sym_Nplus", "sym_xiplus", "plusChargeField", "plusLengthField", "plusNeutralField",
                       "plusChargeSlider", "plusLengthSlider", "plusNeutralSlider", "plusDensityOutput",
                       "plusDensityButton"},
            ChainWidgets{plusChargeField, plusLengthField, plusNeutralField, plusChargeSlider, plusLengthSlider,
                         plusNeutralSlider, plusDensityOutput, plusDensityButton});
    banner(p, "banner_minus", 1, kMinusBannerTop);
    section(kMinusBannerTop,
            ChainNames{"sym_qminus", "sym_Nminus", "sym_ximinus", "minusChargeField", "minusLengthField",
                       "minusNeutralField", "minusChargeSlider", "minusLengthSlider", "minusNeutralSlider",
                       "minusDensityOutput", "minusDensityButton"},
            ChainWidgets{minusChargeField, minusLengthField, minusNeutralField, minusChargeSlider, minusLengthSlider,
                         minusNeutralSlider, minusDensityOutput, minusDensityButton});

    const int sol = kSolutionBannerTop;
    banner(p, "banner_solution", 1, sol);
    text(p, QStringLiteral("Salt concentration "), 8, sol + 38);
    symbol(p, "sym_ka", 150, sol + 36);
    saltField = field(p, "saltField", 195, sol + 36, 110);
    text(p, QStringLiteral("Polymer concentration "), 8, sol + 66, -1, 16);
    concentrationModeBox = place(new QComboBox(p), "concentrationModeBox", 160, sol + 60, 92, 22);
    concentrationModeBox->addItems({QStringLiteral("free chains"), QStringLiteral("total")});
    concentrationModeBox->setToolTip(
        QStringLiteral("free chains: c+ and c- are the chains left free, and the complexes follow from them.\n"
                       "total: C+ and C- are all chains of each kind, free and in complexes, as an experiment weighs "
                       "them in; the free chains follow from the mass balance (needs mpMin and mmMin 0)."));
    concentrationUnitBox = place(new QComboBox(p), "concentrationUnitBox", 256, sol + 60, 58, 22);
    concentrationUnitBox->addItems({QStringLiteral("a\u207B\u00B3"), QStringLiteral("mM")});
    concentrationUnitBox->setToolTip(QStringLiteral(
        "Chains per segment volume a^3, or mM of chains, c / (a^3 N_A) (needs the segment size a in nm)"));
    symbol(p, "sym_cplus", 6, sol + 84);
    plusConcentrationField = field(p, "plusConcentrationField", 50, sol + 84, 95);
    symbol(p, "sym_cminus", 160, sol + 84);
    minusConcentrationField = field(p, "minusConcentrationField", 204, sol + 84, 95);
    // Optional: the segment size in nm gives ka as a salt concentration and radii in nm.
    text(p, QStringLiteral("Segment size a (nm)"), 8, sol + 118, -1, 16);
    segmentSizeField = field(p, "segmentSizeField", 195, sol + 114, 110);
    // The model's parameters beyond the first model: the Bjerrum length in segment sizes,
    // the core's surface free energy and its water fraction.
    text(p, QStringLiteral("l_B/a"), 8, sol + 145, -1, 16);
    bjerrumField = field(p, "bjerrumField", 44, sol + 141, 50);
    bjerrumField->setToolTip(QStringLiteral("Bjerrum length in segment sizes, l_B / a (1: l_B = a, water at 25 C "
                                            "with a = 0.714 nm)"));
    text(p, QStringLiteral("γ kT/a²"), 102, sol + 145, -1, 16);
    surfaceField = field(p, "surfaceField", 160, sol + 141, 50);
    surfaceField->setToolTip(QStringLiteral("Surface free energy of a complex's core, kT per a^2: adds "
                                            "gamma 4 pi Rc^2 to every complex (0: none)"));
    text(p, QStringLiteral("water φ"), 218, sol + 145, -1, 16);
    waterFractionField = field(p, "waterFractionField", 264, sol + 141, 50);
    waterFractionField->setToolTip(QStringLiteral("Volume fraction of water in the cores, 0 to 0.95: the core "
                                                  "volume is the charged segments' / (1 - phi)"));

    plusChargedBlock = place(new QLabel(p), "plusChargedBlock", 0, kSchematicTop[0], 0, kStripHeight[0]);
    minusChargedBlock = place(new QLabel(p), "minusChargedBlock", 0, kSchematicTop[1], 0, kStripHeight[1]);
    plusNeutralBlock = place(new NeutralLine(p), "plusNeutralBlock", 158, kSchematicTop[0] + 9, 0, 2);
    minusNeutralBlock = place(new NeutralLine(p), "minusNeutralBlock", 158, kSchematicTop[1] + 9, 0, 2);
    for (QWidget* w : {static_cast<QWidget*>(plusChargedBlock), static_cast<QWidget*>(minusChargedBlock),
                       plusNeutralBlock, minusNeutralBlock})
        w->hide();

    // The ranges: a row of its own, which the window places under its map.
    ranges = new QWidget;
    ranges->setObjectName(QStringLiteral("rangeRow"));
    auto* grid = new QGridLayout(ranges);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    const auto rangeGroup = [&](int column, const QString& caption, QLineEdit*& minField, const char* minName,
                                QLineEdit*& maxField, const char* maxName) {
        grid->addWidget(new QLabel(caption, ranges), 0, column, 1, 4);
        grid->addWidget(new QLabel(QStringLiteral("Min"), ranges), 1, column);
        minField = new QLineEdit(ranges);
        minField->setObjectName(QString::fromLatin1(minName));
        minField->setFixedWidth(60);
        grid->addWidget(minField, 1, column + 1);
        grid->addWidget(new QLabel(QStringLiteral("Max"), ranges), 1, column + 2);
        maxField = new QLineEdit(ranges);
        maxField->setObjectName(QString::fromLatin1(maxName));
        maxField->setFixedWidth(60);
        grid->addWidget(maxField, 1, column + 3);
    };
    rangeGroup(0, QStringLiteral("Range of aggregation numbers of chains '+'"), mpMinField, "mpMinField", mpMaxField,
               "mpMaxField");
    grid->setColumnMinimumWidth(4, 24);
    rangeGroup(5, QStringLiteral("Range of aggregation numbers of chains '-'"), mmMinField, "mmMinField", mmMaxField,
               "mmMaxField");
    grid->setColumnStretch(9, 1);

    // Every field starts at its start-up value in the desktop's number format, as a loaded
    // file shows (the parse reads a point and a comma alike); the sliders where their fields are.
    const ParameterSet start = startupParameterSet();
    for (const ParameterRow& r : parameterSchema()) {
        if (QLineEdit* f = fieldOf(r)) {
            const double v = parameterValue(start, r);
            f->setText(r.integer ? QString::number(static_cast<std::int32_t>(v)) : general(v));
        }
    }
    const std::tuple<QSlider*, QLineEdit*, double> sliders[] = {
        {plusLengthSlider, plusLengthField, start.plen},
        {plusChargeSlider, plusChargeField, start.params.zp},
        {plusNeutralSlider, plusNeutralField, start.params.Np},
        {minusLengthSlider, minusLengthField, start.mlen},
        {minusChargeSlider, minusChargeField, start.params.zn},
        {minusNeutralSlider, minusNeutralField, start.params.Nm}};
    for (const auto& [s, f, v] : sliders) {
        s->setValue(static_cast<int>(v));
        connect(s, &QSlider::valueChanged, this, [this, f](int moved) { sliderMoved(f, moved); });
    }

    connect(plusDensityButton, &QPushButton::clicked, this, [this] { showChargeDensity(0); });
    connect(minusDensityButton, &QPushButton::clicked, this, [this] { showChargeDensity(1); });
    for (const ParameterRow& r : parameterSchema())
        if (QLineEdit* f = fieldOf(r)) connect(f, &QLineEdit::textEdited, this, [this] { emit changed(); });
    connect(segmentSizeField, &QLineEdit::textEdited, this, [this] { emit changed(); });
    connect(concentrationModeBox, &QComboBox::currentIndexChanged, this, [this] {
        if (!showing) emit changed();
    });
    connect(concentrationUnitBox, &QComboBox::currentIndexChanged, this, [this](int unit) { unitSwitched(unit); });
}

ParameterForm::~ParameterForm() {
    if (ranges && ranges->parent() == nullptr) delete ranges;
}

QLineEdit* ParameterForm::fieldOf(const ParameterRow& row) const {
    // The one place a parameter meets its field: a new parameter adds its line here.
    const std::pair<std::string_view, QLineEdit*> fields[] = {
        {"plen", plusLengthField},
        {"zp", plusChargeField},
        {"Np", plusNeutralField},
        {"mlen", minusLengthField},
        {"zn", minusChargeField},
        {"Nm", minusNeutralField},
        {"ka", saltField},
        {"vc10", plusConcentrationField},
        {"vc01", minusConcentrationField},
        {"mpMin", mpMinField},
        {"mpMax", mpMaxField},
        {"mmMin", mmMinField},
        {"mmMax", mmMaxField},
        {"bjerrum", bjerrumField},
        {"gamma", surfaceField},
        {"water_fraction", waterFractionField},
    };
    for (const auto& [key, f] : fields)
        if (key == row.key) return f;
    return nullptr;
}

std::optional<double> ParameterForm::parse(const ParameterRow& row) const {
    const QLineEdit* f = fieldOf(row);
    if (f == nullptr) return std::nullopt;
    if (row.lenient) return tolerantNumber(f->text());
    bool ok = false;
    const QLocale locale;
    const double v = row.integer ? locale.toInt(f->text().trimmed(), &ok) : locale.toDouble(f->text().trimmed(), &ok);
    if (!ok) return std::nullopt;
    return v;
}

void ParameterForm::showMessage(const QString& text) const { dialogs->showMessage(window(), text); }

double ParameterForm::parseOrSay(const ParameterRow& row) const {
    const std::optional<double> v = parse(row);
    if (!v) showMessage(unreadableMessage(row));
    return v.value_or(0.0);
}

bool ParameterForm::totalModeChosen() const { return concentrationModeBox->currentIndex() == 1; }

std::optional<double> ParameterForm::segmentSizeNm() const {
    const QString text = segmentSizeField->text().trimmed();
    if (text.isEmpty()) return std::nullopt;
    const double a = tolerantDouble(text);
    if (!unitNmAllowed(a)) return std::nullopt;  // 0.01..100 nm, as the batch command takes
    return a;
}

bool ParameterForm::millimolarChosen() const { return concentrationUnitBox->currentIndex() == 1; }

std::optional<QString> ParameterForm::concentrationsPerSegmentVolume(std::optional<double>& plus,
                                                                     std::optional<double>& minus) const {
    plus = tolerantNumber(plusConcentrationField->text());
    minus = tolerantNumber(minusConcentrationField->text());
    if (!millimolarChosen()) return std::nullopt;
    const std::optional<double> a = segmentSizeNm();
    if (!a)
        return totalModeChosen() ? QStringLiteral("Totals in mM need the segment size a (nm), from 0.01 to 100")
                                 : QStringLiteral("Concentrations in mM need the segment size a (nm), from 0.01 to 100");
    for (std::optional<double>* c : {&plus, &minus})
        if (c->has_value()) **c = asShown(chainsPerSegmentVolume(**c, *a));
    return std::nullopt;
}

void ParameterForm::unitSwitched(int unit) {
    if (showing || unit == shownUnit) {
        shownUnit = unit;
        return;
    }
    const std::optional<double> a = segmentSizeNm();
    if (!a) {
        // Nothing to convert with: the fields keep their values and their unit.
        {
            const QSignalBlocker block(concentrationUnitBox);
            concentrationUnitBox->setCurrentIndex(shownUnit);
        }
        showMessage(QStringLiteral("Concentrations in mM need the segment size a (nm), from 0.01 to 100"));
        return;
    }
    for (QLineEdit* f : {plusConcentrationField, minusConcentrationField}) {
        const std::optional<double> v = tolerantNumber(f->text());
        if (!v) continue;  // a text that is not a number stays for "Solve" to name
        f->setText(general(unit == 1 ? chainsMillimolar(*v, *a) : chainsPerSegmentVolume(*v, *a)));
        f->setCursorPosition(0);
    }
    shownUnit = unit;
    emit changed();
}

std::optional<QString> ParameterForm::readTotals(ParameterSet& set) const {
    if (!totalModeChosen()) return std::nullopt;
    std::optional<double> plus, minus;
    if (std::optional<QString> failure = concentrationsPerSegmentVolume(plus, minus)) return failure;
    set.totalMode = true;
    set.totalPlus = asShown(plus.value_or(0.0));
    set.totalMinus = asShown(minus.value_or(0.0));
    return std::nullopt;
}

ParameterSet ParameterForm::value() const {
    ParameterSet set;
    Parameters& p = set.params;
    for (const ParameterRow& r : parameterSchema()) {
        if (fieldOf(r) == nullptr) continue;
        setParameterMember(set, r, parse(r).value_or(0.0));
    }
    if (!readTotals(set) && set.totalMode) {
        p.vc10 = set.totalPlus;
        p.vc01 = set.totalMinus;
    } else if (!set.totalMode && millimolarChosen()) {
        std::optional<double> plus, minus;
        if (!concentrationsPerSegmentVolume(plus, minus)) {
            p.vc10 = plus.value_or(0.0);
            p.vc01 = minus.value_or(0.0);
        }
    }
    p.kip = set.plen != 0.0 ? chargeDensity(p.zp, set.plen) : 0.0;
    p.kim = set.mlen != 0.0 ? chargeDensity(p.zn, set.mlen) : 0.0;
    return set;
}

std::optional<QString> ParameterForm::read(ParameterSet& set, Chains chains) {
    set = ParameterSet{};
    const std::span<const ParameterRow> rows = parameterSchema();
    InputFields in(rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) in[k] = parse(rows[k]);
    // In total mode the two fields hold the totals, checked as totals once the rest passed.
    ParameterSet totals;
    if (totalModeChosen()) {
        if (std::optional<QString> failure = readTotals(totals)) return failure;
        in[parameterIndex("vc10")] = in[parameterIndex("vc01")] = 1e-3;
    } else if (millimolarChosen()) {
        // Free chains in mM: checked, like every concentration, in chains per a^3.
        std::optional<double> plus, minus;
        if (std::optional<QString> failure = concentrationsPerSegmentVolume(plus, minus)) return failure;
        in[parameterIndex("vc10")] = plus;
        in[parameterIndex("vc01")] = minus;
    }
    if (const auto failure = validateInput(in, held, &set, chains == Chains::Solved))
        return QString::fromStdString(*failure);
    if (totals.totalMode) {
        if (const auto failure = checkTotals(MassBalanceTotals{totals.totalPlus, totals.totalMinus}, held))
            return QString::fromStdString(*failure);
        held.vc10 = totals.totalPlus;
        held.vc01 = totals.totalMinus;
        set.totalMode = true;
        set.totalPlus = totals.totalPlus;
        set.totalMinus = totals.totalMinus;
    }
    set.params = held;
    return std::nullopt;
}

std::optional<QString> ParameterForm::readForFile(ParameterSet& set) {
    set = ParameterSet{};
    set.params = held;
    for (const ParameterRow* row : parameterRowsInCheckOrder()) {
        if (fieldOf(*row) == nullptr) continue;
        const std::optional<double> v = parse(*row);
        setParameterMember(set, *row, v.value_or(0.0));
        held = set.params;
        if (!v) return unreadableMessage(*row);
    }
    set.params.kip = held.kip = chargeDensity(set.params.zp, set.plen);
    set.params.kim = held.kim = chargeDensity(set.params.zn, set.mlen);
    // Total mode: the fields are the totals; the file keeps them, and as vc10, vc01 too.
    if (std::optional<QString> failure = readTotals(set)) return failure;
    if (set.totalMode) {
        set.params.vc10 = set.totalPlus;
        set.params.vc01 = set.totalMinus;
    } else if (millimolarChosen()) {
        // The file keeps chains per a^3.
        std::optional<double> plus, minus;
        if (std::optional<QString> failure = concentrationsPerSegmentVolume(plus, minus)) return failure;
        held.vc10 = set.params.vc10 = plus.value_or(0.0);
        held.vc01 = set.params.vc01 = minus.value_or(0.0);
    }
    return std::nullopt;
}

void ParameterForm::setValue(const ParameterSet& set) {
    showing = true;
    held = set.params;
    for (const ParameterRow& r : parameterSchema()) {
        if (QLineEdit* f = fieldOf(r)) {
            const double v = parameterValue(set, r);
            f->setText(r.integer ? QString::number(static_cast<std::int32_t>(v)) : general(v));
            // A number longer than the field shows its first digits, not its last.
            f->setCursorPosition(0);
        }
    }
    plusDensityOutput->setText(n2(held.kip));
    setBar(plusLengthSlider, set.plen);
    setBar(plusChargeSlider, std::trunc(held.zp));
    setBar(plusNeutralSlider, held.Np);
    minusDensityOutput->setText(n2(held.kim));
    setBar(minusLengthSlider, set.mlen);
    setBar(minusChargeSlider, std::trunc(held.zn));
    setBar(minusNeutralSlider, held.Nm);
    // Each schematic on the scale "Get" gives it: its chain's charged length against the
    // neutral blocks.
    drawSchematic(1, set.mlen, held.Nm, largestOf(held.Np, held.Nm, set.mlen));
    drawSchematic(0, set.plen, held.Np, largestOf(held.Np, held.Nm, set.plen));
    concentrationModeBox->setCurrentIndex(set.totalMode ? 1 : 0);
    concentrationUnitBox->setCurrentIndex(0);  // a set holds chains per a^3
    shownUnit = 0;
    if (set.totalMode) {
        plusConcentrationField->setText(general(set.totalPlus));
        minusConcentrationField->setText(general(set.totalMinus));
    }
    showing = false;
    emit changed();
}

void ParameterForm::showChainsFromFields() {
    const ChainRows plus = chainRows(0), minus = chainRows(1);
    const double plen = parseOrSay(*plus.length);
    held.zp = parseOrSay(*plus.charge);
    const double mlen = parseOrSay(*minus.length);
    held.zn = parseOrSay(*minus.charge);
    held.kip = chargeDensity(held.zp, plen);
    plusDensityOutput->setText(n2(held.kip));
    minusDensityOutput->setText(n2(chargeDensity(held.zn, mlen)));
    // The schematics as the neutral fields describe them.
    const double Np = parse(*plus.neutral).value_or(0.0), Nm = parse(*minus.neutral).value_or(0.0);
    drawSchematic(0, plen, Np, largestOf(Np, Nm, plen));
    drawSchematic(1, mlen, Nm, largestOf(Np, Nm, mlen));
}

void ParameterForm::showChargeDensity(int chain) {
    const ChainRows rows = chainRows(chain);
    const double length = parseOrSay(*rows.length);
    held.*rows.charge->real = parseOrSay(*rows.charge);
    held.*rows.neutral->whole = static_cast<std::int32_t>(parseOrSay(*rows.neutral));
    held.*rows.density->real = chargeDensity(held.*rows.charge->real, length);
    (chain == 0 ? plusDensityOutput : minusDensityOutput)->setText(n2(held.*rows.density->real));
    drawSchematic(chain, length, held.*rows.neutral->whole, largestOf(held.Np, held.Nm, length));
}

void ParameterForm::sliderMoved(QLineEdit* field, int value) {
    field->setText(QString::number(value));
    emit changed();
}

void ParameterForm::drawSchematic(int chain, double length, double neutral, double scale) {
    // Without a scale the schematic is not defined: it stays as it was.
    if (!(scale > 0.0) || !std::isfinite(scale) || !std::isfinite(length) || !std::isfinite(neutral)) return;
    QLabel* strip = chain == 0 ? plusChargedBlock : minusChargedBlock;
    QWidget* line = chain == 0 ? plusNeutralBlock : minusNeutralBlock;
    const QPixmap signs = chain == 0 ? loadRuntimePicture(QStringLiteral("symbols/plussign.png"), QSize(150, 20))
                                     : embeddedPicture(QStringLiteral("minus_strip"), QSize(150, 20));
    const int top = kSchematicTop[chain], stripHeight = kStripHeight[chain];
    // The sign strip cut to the charged width left of the centre, the neutral line after it.
    const auto w = static_cast<float>(length / scale * 150.0);
    const auto n = static_cast<float>(neutral / scale * 150.0);
    const int stripWidth = static_cast<int>(w);
    if (stripWidth > 0) {
        strip->setPixmap(signs.copy(0, 0, std::min(stripWidth, signs.width()), std::min(stripHeight, signs.height())));
        strip->setGeometry(static_cast<int>(static_cast<float>(kBannerCentre) - w), top, stripWidth, stripHeight);
        strip->show();
    } else {
        strip->hide();
    }
    const int end = static_cast<int>(static_cast<float>(kBannerCentre) + n);
    if (end > kBannerCentre) {
        line->setGeometry(kBannerCentre, top + 9, end - kBannerCentre, 2);
        line->show();
        line->raise();
    } else {
        line->hide();
    }
}

}  // namespace marlinq::ui
