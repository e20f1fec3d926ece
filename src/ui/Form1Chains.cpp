// Form1: the "Get" buttons, the track bars and the chain schematics.
#include "ui/Form1.h"
#include "ui/FieldText.h"

#include "files/DistributionExport.h"
#include "files/NumberFormat.h"
#include "files/ParameterFile.h"
#include "pipeline/ParameterSchema.h"
#include "ui/Pictures.h"
#include "ui/UserDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QSlider>

#include <cmath>
#include <limits>

namespace marlinq::ui {

namespace {

constexpr int kBannerCentre = 317 / 2;
constexpr int kPlusTop = Form1::kMinusBannerTop - 30;  // just above the '-' banner
constexpr int kMinusTop = Form1::kSolutionBannerTop - 30;  // just above the solution banner

// Draws a schematic: the sign strip cut to the charged width, the neutral line after it.
void placeSchematic(QLabel* strip, QWidget* line, const QPixmap& signs, int top, int stripHeight, double width,
                    double neutral) {
    const auto w = static_cast<float>(width);
    const auto n = static_cast<float>(neutral);
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

}  // namespace

void Form1::drawPlusSchematic(double length, double neutral, double scale) {
    // Without a scale the schematic is not defined: it stays as it was.
    if (!(scale > 0.0) || !std::isfinite(scale) || !std::isfinite(length) || !std::isfinite(neutral)) return;
    const QPixmap signs = loadRuntimePicture(QStringLiteral("symbols/plussign.png"), QSize(150, 20));
    placeSchematic(plusStrip, plusLine, signs, kPlusTop, 20, length / scale * 150.0, neutral / scale * 150.0);
}

void Form1::drawMinusSchematic(double length, double neutral, double scale) {
    if (!(scale > 0.0) || !std::isfinite(scale) || !std::isfinite(length) || !std::isfinite(neutral)) return;
    const QPixmap signs = embeddedPicture(QStringLiteral("minus_strip"), QSize(150, 20));
    placeSchematic(minusStrip, minusLine, signs, kMinusTop, 18, length / scale * 150.0, neutral / scale * 150.0);
}

void Form1::button3_Click() {
    const QLocale locale;
    Parameters& g = params;
    bool ok = false;
    double plen = locale.toDouble(plenBox->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Length of charged block +"));
        plen = 0.0;
    }
    g.zp = locale.toDouble(pchgBox->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Charge +"));
        g.zp = 0.0;
    }
    g.Np = locale.toInt(pneuBox->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Length of neutral block +"));
        g.Np = 0;
    }
    g.kip = chargeDensity(g.zp, plen);
    label40->setText(n2(g.kip));
    const double S = Max(g.Np, g.Nm, plen);
    drawPlusSchematic(plen, g.Np, S);
}

void Form1::button4_Click() {
    const QLocale locale;
    Parameters& g = params;
    bool ok = false;
    double mlen = locale.toDouble(textBox3->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Length of charged block -"));
        mlen = 0.0;
    }
    g.zn = locale.toDouble(textBox4->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Charge -"));
        g.zn = 0.0;
    }
    g.Nm = locale.toInt(textBox5->text().trimmed(), &ok);
    if (!ok) {
        showMessage(QStringLiteral("Input error: Length of neutral block -"));
        g.Nm = 0;
    }
    g.kim = chargeDensity(g.zn, mlen);
    label5->setText(n2(g.kim));
    const double S = Max(g.Np, g.Nm, mlen);
    drawMinusSchematic(mlen, g.Nm, S);
}

void Form1::trackBar1_Scroll() { plenBox->setText(QString::number(trackBar1->value())); }
void Form1::trackBar2_Scroll() { pchgBox->setText(QString::number(trackBar2->value())); }
void Form1::trackBar3_Scroll() { textBox3->setText(QString::number(trackBar3->value())); }
void Form1::trackBar4_Scroll() { textBox4->setText(QString::number(trackBar4->value())); }
void Form1::trackBar5_Scroll() { textBox5->setText(QString::number(trackBar5->value())); }
void Form1::trackBar6_Scroll() { pneuBox->setText(QString::number(trackBar6->value())); }

}  // namespace marlinq::ui
