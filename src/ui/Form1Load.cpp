// Form1: the "Get" buttons, track bars, chain schematics and the parameter and
// distribution files.
#include "ui/Form1.h"

#include "files/DistributionExport.h"
#include "files/NumberFormat.h"
#include "files/ParameterFile.h"
#include "pipeline/Parameters.h"
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
constexpr int kPlusTop = 306 - 30;   // just above the '-' banner
constexpr int kMinusTop = 626 - 30;  // just above the solution banner

QString n2(double v) { return QLocale().toString(v, 'f', 2); }

char decimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return (!point.isEmpty() && point.at(0).unicode() < 128) ? static_cast<char>(point.at(0).unicode()) : '.';
}

QString general(double v) { return QString::fromStdString(formatGeneral(v, decimalSeparator())); }

// Moves a track bar to value, or to the nearest end of its range, without counting as a
// user's move (which would type the value into its text box).
void setBar(QSlider* bar, double value) {
    const QSignalBlocker block(bar);
    if (std::isnan(value)) value = 0.0;
    value = std::clamp(value, static_cast<double>(bar->minimum()), static_cast<double>(bar->maximum()));
    bar->setValue(static_cast<int>(value));
}

bool fitsInt32(double v) {
    return std::isfinite(v) && v > static_cast<double>(std::numeric_limits<std::int32_t>::min()) - 1.0 &&
           v < static_cast<double>(std::numeric_limits<std::int32_t>::max()) + 1.0;
}

std::string narrowPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

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
    Parameters& g = processParameters();
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
    g.kip = g.zp / plen;
    label40->setText(n2(g.kip));
    const double S = Max(g.Np, g.Nm, plen);
    drawPlusSchematic(plen, g.Np, S);
}

void Form1::button4_Click() {
    const QLocale locale;
    Parameters& g = processParameters();
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
    g.kim = g.zn / mlen;
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

void Form1::loadDefaultToolStripMenuItem1_Click() {
    const QString path = userDialogs()->getOpenFileName(
        this, QStringLiteral("Load Parameters"), dialogDirectory().isEmpty() ? QDir::currentPath() : dialogDirectory(),
        QStringLiteral(".in files (*.in);;All files (*)"), QStringLiteral("All files (*)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);

    Parameters& g = processParameters();
    std::int32_t pid = kUnknownKeyPid;
    if (!readParameter(g.kip, g.kim, g.ka, g.vc01, g.vc10, g.zp, g.zn, narrowPath(path), g.Np, g.Nm, g.mpMin, g.mpMax,
                       g.mmMin, g.mmMax, pid)) {
        // The program goes on; nothing was read. The reason stays in the log as well.
        UpdateUIText(QString::fromLatin1(kParameterFileOpenError));
        showMessage(QString::fromLatin1(kParameterFileOpenError));
        return;
    }
    // Charged lengths recovered from charge and charge density; a density of 0 (or a value
    // beyond the integer range) cannot give a length, and the file is treated as wrong.
    const double plenValue = std::trunc(g.zp / g.kip);
    const double mlenValue = std::trunc(g.zn / g.kim);
    if (pid == kUnknownKeyPid || !fitsInt32(plenValue) || !fitsInt32(mlenValue)) {
        showMessage(QStringLiteral("Some input parameters are wrong, please check it."));
        return;
    }
    const auto plen = static_cast<std::int32_t>(plenValue);
    const double mlen = mlenValue;

    plenBox->setText(QString::number(plen));
    pchgBox->setText(general(g.zp));
    pneuBox->setText(QString::number(g.Np));
    label40->setText(n2(g.kip));
    setBar(trackBar1, plen);
    setBar(trackBar2, std::trunc(g.zp));
    setBar(trackBar6, g.Np);

    textBox3->setText(general(mlen));
    textBox4->setText(general(g.zn));
    textBox5->setText(QString::number(g.Nm));
    label5->setText(n2(g.kim));
    setBar(trackBar3, mlen);
    setBar(trackBar4, std::trunc(g.zn));
    setBar(trackBar5, g.Nm);

    textBox7->setText(general(g.ka));
    pminBox->setText(QString::number(g.mpMin));
    pmaxBox->setText(QString::number(g.mpMax));
    mminBox->setText(QString::number(g.mmMin));
    mmaxBox->setText(QString::number(g.mmMax));
    textBox1->setText(general(g.vc10));
    textBox2->setText(general(g.vc01));

    drawMinusSchematic(mlen, g.Nm, Max(g.Np, g.Nm, plen));
    drawPlusSchematic(plen, g.Np, 1000.0);
}

void Form1::saveAsDefaultToolStripMenuItem_Click() {
    const QLocale locale;
    Parameters& g = processParameters();
    bool ok = false;
    // Each field goes into its variable as it is read (0 when it does not parse); the
    // first that does not parse ends the command with its message.
    const auto real = [&](QLineEdit* box, double& into, const char* message) {
        into = locale.toDouble(box->text().trimmed(), &ok);
        if (!ok) {
            into = 0.0;
            showMessage(QString::fromLatin1(message));
        }
        return ok;
    };
    const auto integer = [&](QLineEdit* box, std::int32_t& into, const char* message) {
        into = locale.toInt(box->text().trimmed(), &ok);
        if (!ok) {
            into = 0;
            showMessage(QString::fromLatin1(message));
        }
        return ok;
    };
    double plen = 0.0, mlen = 0.0;
    if (!real(plenBox, plen, "error for length of the + polymer input")) return;
    if (!real(pchgBox, g.zp, "error for charge of the + polymer input")) return;
    if (!integer(pneuBox, g.Np, "error for neutral tail length of the + polymer input")) return;
    g.kip = g.zp / plen;
    if (!real(textBox3, mlen, "error for length of the - polymer input")) return;
    if (!real(textBox4, g.zn, "error for charge of the - polymer input")) return;
    if (!integer(textBox5, g.Nm, "error for neutral tail of the n polymer input")) return;
    g.kim = g.zn / mlen;
    if (!real(textBox7, g.ka, "error for ka input")) return;
    if (!real(textBox1, g.vc10, "error for vc10 input")) return;
    if (!real(textBox2, g.vc01, "error for vc01 input")) return;
    if (!integer(pminBox, g.mpMin, "error for mpMin input")) return;
    if (!integer(pmaxBox, g.mpMax, "error for mpMax input")) return;
    if (!integer(mminBox, g.mmMin, "error for mmMin input")) return;
    if (!integer(mmaxBox, g.mmMax, "error for mmMax input")) return;

    const QString path = userDialogs()->getSaveFileName(this, QStringLiteral("Save Parameters"), dialogDirectory(),
                                                        QStringLiteral("Text file (*.txt)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    const ParameterFileValues values{g.vc01, g.vc10, g.zp, g.zn, g.kip, g.kim, g.ka,
                                     g.Np,   g.Nm,   g.mpMin, g.mpMax, g.mmMin, g.mmMax};
    if (!writeParameterFile(narrowPath(path), values)) showMessage(QStringLiteral("can not write ") + path);
}

void Form1::saveToolStripMenuItem_Click() {
    const QString path = userDialogs()->getSaveFileName(this, QStringLiteral("Save Matrix"), dialogDirectory(),
                                                        QStringLiteral("Text file (*.txt)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    // The copy taken when the job last waited: consistent as of the last finished row.
    if (!isb || !isb->hasResults()) {
        showMessage(QStringLiteral("No results generated, please check your input parameters."));
        return;
    }
    const InfoSphereBean& rec = *isb;
    const DistributionView view{rec.mpMin, rec.mpMax, rec.mmMin, rec.mmMax, rec.vc10, rec.vc01, rec.absValue.data()};
    if (!writeDistribution(narrowPath(path), view, decimalSeparator()))
        showMessage(QStringLiteral("can not write ") + path);
}

}  // namespace marlinq::ui
