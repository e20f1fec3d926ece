// The parameter form on its own: a set shown and read back under a comma locale, the one
// message of every field that does not read, the changed signal, the totals; and where its
// range row stands in the window's Tab order.
#include "main_window_support.h"

#include "io/NumberText.h"

#include <QSignalSpy>

#include <clocale>
#include <cmath>
#include <string>

#include <QTest>

using namespace marlinq;
using namespace marlinq::ui;
using namespace marlinq::ui::testing;

namespace {

class ParameterFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        dialogs = std::make_shared<AnsweringDialogs>();
        setUserDialogs(dialogs);
        form = std::make_unique<ParameterForm>();
    }
    void TearDown() override {
        form.reset();
        setUserDialogs(nullptr);
        QLocale::setDefault(QLocale::c());
    }
    // A field of the form or of its range row.
    QLineEdit* field(const char* name) const {
        auto* f = form->findChild<QLineEdit*>(QString::fromLatin1(name));
        return f != nullptr ? f : partOf<QLineEdit>(*form->rangeRow(), name);
    }
    QComboBox* comboBox(const char* name) const { return partOf<QComboBox>(*form, name); }

    std::shared_ptr<AnsweringDialogs> dialogs;
    std::unique_ptr<ParameterForm> form;
};

// Valid, but beyond every slider, with all the digits a field keeps, and ranges that do not
// start at 0.
ParameterSet hostileSet() {
    ParameterSet set;
    Parameters& p = set.params;
    p.zp = 145.812345678901;
    p.zn = 0.75;
    set.plen = 72;
    set.mlen = 3;
    p.kip = p.zp / set.plen;
    p.kim = p.zn / set.mlen;
    p.Np = 5000;
    p.Nm = 1;
    p.ka = 0.23845046936787;
    p.vc10 = 1.5e-17;
    p.vc01 = 0.999999999999999;
    p.mpMin = 3;
    p.mpMax = 100000;
    p.mmMin = 0;
    p.mmMax = 39;
    return set;
}

void expectSameParameters(const Parameters& a, const Parameters& b) {
    EXPECT_EQ(a.zp, b.zp);
    EXPECT_EQ(a.zn, b.zn);
    EXPECT_EQ(a.kip, b.kip);
    EXPECT_EQ(a.kim, b.kim);
    EXPECT_EQ(a.ka, b.ka);
    EXPECT_EQ(a.vc10, b.vc10);
    EXPECT_EQ(a.vc01, b.vc01);
    EXPECT_EQ(a.Np, b.Np);
    EXPECT_EQ(a.Nm, b.Nm);
    EXPECT_EQ(a.mpMin, b.mpMin);
    EXPECT_EQ(a.mpMax, b.mpMax);
    EXPECT_EQ(a.mmMin, b.mmMin);
    EXPECT_EQ(a.mmMax, b.mmMax);
}

}  // namespace

TEST_F(ParameterFormTest, ASetShownUnderACommaLocaleReadsBackToTheBit) {
    const ParameterSet set = hostileSet();
    form->setValue(set);
    EXPECT_EQ(field("plusChargeField")->text(), QStringLiteral("145,812345678901"));
    EXPECT_EQ(field("saltField")->text(), QStringLiteral("0,23845046936787"));
    EXPECT_EQ(field("mpMaxField")->text(), QStringLiteral("100000"));  // no group separator

    const ParameterSet shown = form->value();
    expectSameParameters(shown.params, set.params);
    EXPECT_EQ(shown.plen, 72.0);
    EXPECT_EQ(shown.mlen, 3.0);
    EXPECT_FALSE(shown.totalMode);

    ParameterSet read;
    ASSERT_EQ(form->read(read), std::nullopt);
    expectSameParameters(read.params, set.params);
    expectSameParameters(form->parameters(), set.params);
    ASSERT_EQ(form->readForFile(read), std::nullopt);
    expectSameParameters(read.params, set.params);
    EXPECT_TRUE(dialogs->messages.isEmpty());

    // A set in total mode shows its totals in the concentration fields, and reads them back.
    ParameterSet totals = set;
    totals.totalMode = true;
    totals.totalPlus = 2.5e-3;
    totals.totalMinus = 1e-3;
    totals.params.mpMin = 0;  // totals need the lone chains in the ranges
    form->setValue(totals);
    EXPECT_EQ(comboBox("concentrationModeBox")->currentIndex(), 1);
    EXPECT_EQ(field("plusConcentrationField")->text(), QStringLiteral("0,0025"));
    const ParameterSet shownTotals = form->value();
    EXPECT_TRUE(shownTotals.totalMode);
    EXPECT_EQ(shownTotals.totalPlus, 2.5e-3);
    EXPECT_EQ(shownTotals.params.vc10, 2.5e-3);
    EXPECT_EQ(shownTotals.params.vc01, 1e-3);
}

TEST_F(ParameterFormTest, EveryFieldThatDoesNotReadGetsTheOneMessageNamingIt) {
    // The same message whoever reads the field: a run, a saved file, "Get".
    const std::pair<const char*, const char*> cases[] = {
        {"plusLengthField", "Input error: Length of charged block +"},
        {"plusChargeField", "Input error: Charge +"},
        {"plusNeutralField", "Input error: Neutral block length +"},
        {"minusLengthField", "Input error: Length of charged block -"},
        {"minusChargeField", "Input error: Charge -"},
        {"minusNeutralField", "Input error: Neutral length of charged block -"},
        {"saltField", "Stable solution is only for ka between 0.2 and 10"},
        {"plusConcentrationField", "c+ should be between 1e-20  and 1"},
        {"minusConcentrationField", "c- should be between 1e-20  and 1"},
        {"mpMinField", "Error in mpMin"},
        {"mpMaxField", "error in mpMax"},
        {"mmMinField", "error in mmMin"},
        {"mmMaxField", "error in mmMax"},
    };
    for (const auto& [name, message] : cases) {
        QLineEdit* f = field(name);
        const QString before = f->text();
        // A point is a group separator here, so "1.5" is not a number either (but for the
        // lenient fields, which take a point or a comma).
        for (const QString& text : {QStringLiteral("x"), QStringLiteral(""), QStringLiteral("1e")}) {
            f->setText(text);
            ParameterSet set;
            EXPECT_EQ(form->read(set), std::optional<QString>(message)) << name << " '" << text.toStdString() << "'";
            EXPECT_EQ(form->readForFile(set), std::optional<QString>(message))
                << name << " '" << text.toStdString() << "'";
        }
        f->setText(before);
    }
    ParameterSet set;
    EXPECT_EQ(form->read(set), std::nullopt);

    // "Get" names each field of its chain that does not read, in the order of the form.
    for (const char* name : {"minusLengthField", "minusChargeField", "minusNeutralField"}) field(name)->setText("?");
    partOf<QPushButton>(*form, "minusDensityButton")->click();
    EXPECT_EQ(dialogs->messages, (QStringList{"Input error: Length of charged block -", "Input error: Charge -",
                                              "Input error: Neutral length of charged block -"}));
}

TEST_F(ParameterFormTest, ChangedFiresOncePerEditAndNotWhenRead) {
    QSignalSpy changed(form.get(), &ParameterForm::changed);
    QTest::keyClick(field("saltField"), Qt::Key_5);
    EXPECT_EQ(changed.count(), 1);

    // A slider types its value into its field: one change, not two.
    auto* slider = partOf<QSlider>(*form, "minusNeutralSlider");
    slider->setValue(321);
    EXPECT_EQ(field("minusNeutralField")->text(), QStringLiteral("321"));
    EXPECT_EQ(changed.count(), 2);

    field("segmentSizeField")->setText("0,714");  // the unit converts with it
    comboBox("concentrationUnitBox")->setCurrentIndex(1);
    EXPECT_EQ(changed.count(), 3);
    QTest::keyClick(field("mmMaxField"), Qt::Key_Backspace);
    QTest::keyClick(field("segmentSizeField"), Qt::Key_1);
    EXPECT_EQ(changed.count(), 5);

    // A whole set shown is one change; its sliders move without typing anything.
    form->setValue(hostileSet());
    EXPECT_EQ(changed.count(), 6);
    EXPECT_EQ(slider->value(), 1);
    EXPECT_EQ(comboBox("concentrationUnitBox")->currentIndex(), 0);

    ParameterSet set;
    form->read(set);
    form->readForFile(set);
    (void)form->value();
    EXPECT_EQ(changed.count(), 6);
}

TEST_F(ParameterFormTest, TotalsInMillimolarNeedTheSegmentSizeAndAreConvertedWithIt) {
    comboBox("concentrationModeBox")->setCurrentIndex(1);
    field("segmentSizeField")->setText("0,714");
    comboBox("concentrationUnitBox")->setCurrentIndex(1);
    field("plusConcentrationField")->setText("2");
    field("minusConcentrationField")->setText("1,5");
    const QString needsSize = "Totals in mM need the segment size a (nm), from 0.01 to 100";
    ParameterSet set;
    for (const QString& size : {QString(), QStringLiteral("0,001"), QStringLiteral("abc"), QStringLiteral("101")}) {
        field("segmentSizeField")->setText(size);
        EXPECT_EQ(form->segmentSizeNm(), std::nullopt) << size.toStdString();
        EXPECT_EQ(form->read(set), std::optional<QString>(needsSize)) << size.toStdString();
        EXPECT_EQ(form->readForFile(set), std::optional<QString>(needsSize)) << size.toStdString();
    }
    // a = 0.714 nm: chains per a^3 = c [mol/m^3] x N_A x a^3.
    field("segmentSizeField")->setText("0,714");
    EXPECT_EQ(form->segmentSizeNm(), 0.714);
    const double perSegmentVolume = 6.02214076e23 * std::pow(0.714e-9, 3);  // of 1 mol/m^3 = 1 mM
    ASSERT_EQ(form->read(set), std::nullopt);
    EXPECT_TRUE(set.totalMode);
    EXPECT_NEAR(set.totalPlus / (2.0 * perSegmentVolume), 1.0, 1e-13);
    EXPECT_NEAR(set.totalMinus / (1.5 * perSegmentVolume), 1.0, 1e-13);
    EXPECT_EQ(set.params.vc10, set.totalPlus);
    EXPECT_EQ(set.params.vc01, set.totalMinus);

    // Totals need the ranges to start at 0 (the free chains are in the mass balance).
    field("mpMinField")->setText("1");
    EXPECT_EQ(form->read(set), std::optional<QString>("Total concentrations need the lone chains (1, 0) and (0, 1) in "
                                                      "the ranges: set mpMin and mmMin to 0"));
}

// The unit of the concentrations holds in both modes, and switching it converts what is
// typed; under the German desktop and C locale the fields show commas, a saved set points.
TEST_F(ParameterFormTest, UnitConvertsTheTypedValuesAndHoldsInFreeModeToo) {
    const std::string previousLocale = std::setlocale(LC_ALL, nullptr);
    const bool commaLocale = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    QComboBox* unit = comboBox("concentrationUnitBox");
    QSignalSpy changed(form.get(), &ParameterForm::changed);
    // Without a segment size there is nothing to convert with: refused, nothing moves.
    unit->setCurrentIndex(1);
    EXPECT_EQ(dialogs->messages, QStringList{"Concentrations in mM need the segment size a (nm), from 0.01 to 100"});
    EXPECT_EQ(unit->currentIndex(), 0);
    EXPECT_EQ(field("plusConcentrationField")->text(), "0,001");  // as the desktop writes it
    EXPECT_EQ(changed.count(), 0);

    // At a = 0.714 nm, 1e-3 chains per a^3 is 4.56199140054178 mM; and back.
    const double perSegmentVolume = 6.02214076e23 * std::pow(0.714e-9, 3);  // of 1 mM
    field("segmentSizeField")->setText("0,714");
    field("minusConcentrationField")->setText("2e-3");
    unit->setCurrentIndex(1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(field("plusConcentrationField")->text(), "4,56199140054178");
    EXPECT_EQ(field("minusConcentrationField")->text(), "9,12398280108357");
    ParameterSet set;
    ASSERT_EQ(form->read(set), std::nullopt);
    EXPECT_FALSE(set.totalMode);
    EXPECT_NEAR(set.params.vc10, 1e-3, 1e-16);
    EXPECT_NEAR(set.params.vc01, 2e-3, 2e-16);
    unit->setCurrentIndex(0);
    EXPECT_EQ(field("plusConcentrationField")->text(), "0,001");
    EXPECT_EQ(field("minusConcentrationField")->text(), "0,002");

    // Free chains typed in mM: 4.562 mM is taken (not "should be between 1e-20 and 1"); the
    // file keeps chains per a^3, with a point.
    unit->setCurrentIndex(1);
    field("plusConcentrationField")->setText("4,562");
    field("minusConcentrationField")->setText("abc");
    EXPECT_EQ(form->read(set), std::optional<QString>("c- should be between 1e-20  and 1"));
    field("minusConcentrationField")->setText("45620");  // 10 chains per a^3
    EXPECT_EQ(form->read(set), std::optional<QString>("c- should be between 1e-20  and 1"));
    field("minusConcentrationField")->setText("4,562");
    ASSERT_EQ(form->read(set), std::nullopt);
    EXPECT_NEAR(set.params.vc10 / (4.562 * perSegmentVolume), 1.0, 1e-13);
    EXPECT_EQ(set.params.vc01, set.params.vc10);
    EXPECT_EQ(form->value().params.vc10, set.params.vc10);
    ParameterSet saved;
    ASSERT_EQ(form->readForFile(saved), std::nullopt);
    EXPECT_EQ(saved.params.vc10, set.params.vc10);
    EXPECT_EQ(formatGeneral(saved.params.vc10, '.'), "0.00100000188502289");

    // Total mode in mM alike; a text that is not a number stays as typed when switching.
    comboBox("concentrationModeBox")->setCurrentIndex(1);
    field("minusConcentrationField")->setText("?");
    unit->setCurrentIndex(0);
    EXPECT_EQ(field("plusConcentrationField")->text(), "0,00100000188502289");
    EXPECT_EQ(field("minusConcentrationField")->text(), "?");
    field("minusConcentrationField")->setText("0,002");
    unit->setCurrentIndex(1);
    ASSERT_EQ(form->read(set), std::nullopt);
    EXPECT_TRUE(set.totalMode);
    EXPECT_NEAR(set.totalMinus, 2e-3, 1e-16);
    std::setlocale(LC_ALL, previousLocale.c_str());
    if (!commaLocale) GTEST_SKIP() << "de_DE.UTF-8 not generated; checked under the Qt German locale only";
}

TEST_F(WindowTest, TabWalksTheFormThenTheMapControlsThenTheRangesUnderTheMap) {
    // The Tab order of the widgets that take focus, from the window on.
    QList<QWidget*> order;
    for (QWidget* w = form->nextInFocusChain(); w != form.get() && order.size() < 400; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible()) order << w;
    const auto at = [&](const char* name) { return order.indexOf(partOf<QWidget>(*form, name)); };
    const auto log = std::find_if(order.begin(), order.end(), [](QWidget* w) { return qobject_cast<QTextEdit*>(w); });
    ASSERT_NE(log, order.end());
    const auto logAt = static_cast<int>(log - order.begin());
    // The ranges stand between the map and the log: after the form's last field and the
    // map's controls, just before the log.
    EXPECT_GT(at("mpMinField"), at("segmentSizeField") + 1);
    EXPECT_EQ(at("mpMaxField"), at("mpMinField") + 1);
    EXPECT_EQ(at("mmMinField"), at("mpMinField") + 2);
    EXPECT_EQ(at("mmMaxField"), at("mpMinField") + 3);
    EXPECT_EQ(logAt, at("mmMaxField") + 1);
}
