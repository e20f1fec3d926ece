#include "ui/ResultPanel.h"

#include "io/NumberText.h"
#include "physics/Complex.h"
#include "ui/FieldText.h"
#include "ui/MapModel.h"
#include "ui/PanelParts.h"
#include "ui/Pictures.h"

#include <QLabel>
#include <QPainter>
#include <QPen>

#include <algorithm>

namespace marlinq::ui {

namespace {

using namespace panel;

QPixmap sunCanvas() { return loadRuntimePicture(QStringLiteral("symbols/sun.jpg"), QSize(265, 265)); }

}  // namespace

ResultPanel::ResultPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("resultPanel"));
    setFixedSize(273, 448);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    // The banner of the left panel's width, squeezed into this one's.
    auto* optimal = banner(this, "banner_optimal", 1, 1);
    optimal->setGeometry(1, 1, 269, optimal->height());
    optimal->setScaledContents(true);
    text(this, QStringLiteral("Numbers of '+' and '-' chains"), 10, 36, -1, 16);
    symbol(this, "sym_mplus", 8, 54);
    mPlusOutput = output(this, "mPlusOutput", 52, 54, 75);
    symbol(this, "sym_mminus", 138, 54);
    mMinusOutput = output(this, "mMinusOutput", 182, 54, 75);
    const auto row = [&](const QString& caption, const char* sym, const char* name, int y) {
        text(this, caption, 6, y + 2, 134);
        symbol(this, sym, 138, y, QSize(34, 24));
        return output(this, name, 174, y, 90);
    };
    coreRadiusOutput = row(QStringLiteral("Core radius"), "sym_Rc", "coreRadiusOutput", 88);
    rescaledSaltCoreOutput = row(QStringLiteral("Rescaled salt core"), "sym_kRc", "rescaledSaltCoreOutput", 116);
    bareChargeOutput = row(QStringLiteral("Bare charge"), "sym_Z", "bareChargeOutput", 144);
    rescaledBareChargeOutput =
        row(QStringLiteral("Rescaled bare charge"), "sym_Ztilde", "rescaledBareChargeOutput", 172);
    sunSketch = place(new QLabel(this), "sunSketch", 4, 202, 265, 242);
    sunSketch->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    sunSketch->setPixmap(sunCanvas());
    // Over the top of the sketch, shown only for the result of a stopped run.
    partialLabel = place(new QLabel(this), "partialLabel", 6, 200, 258, 18);
    partialLabel->setStyleSheet(QStringLiteral("color: rgb(178, 34, 34); font-weight: bold;"));
    partialLabel->hide();
}

void ResultPanel::clear() {
    for (QLabel* l : {mPlusOutput, mMinusOutput, coreRadiusOutput, rescaledSaltCoreOutput, bareChargeOutput,
                      rescaledBareChargeOutput})
        l->clear();
}

void ResultPanel::setPartial(int done, int total, const QString& unit) {
    if (total <= 0) {
        partialLabel->hide();
        return;
    }
    partialLabel->setText(QStringLiteral("Partial result: %1 of %2 %3").arg(done).arg(total).arg(unit));
    partialLabel->show();
}

bool ResultPanel::showComplex(const RunResult& rec, std::int32_t mp, std::int32_t mm) {
    mPlusOutput->setText(QString::number(mp));
    mMinusOutput->setText(QString::number(mm));
    if (mp == 0 && mm == 0) return true;
    const SphericalComplex complex = rec.complexAt(mp, mm);
    if (complex.radius == 0.0) return false;
    // The scale of the sun picture: neutral blocks and the core of the largest complex.
    const double Nmax = rec.params().Np > rec.params().Nm ? rec.params().Np : rec.params().Nm;
    const double Rmax = rec.complexAt(rec.params().mpMax, rec.params().mmMax).radius;
    coreRadiusOutput->setText(n2(complex.radius));
    rescaledSaltCoreOutput->setText(n2(complex.kappaR));
    bareChargeOutput->setText(QString::fromStdString(formatGeneral(complex.charge, decimalSeparator())));
    rescaledBareChargeOutput->setText(n2(complex.charge / complex.radius));

    QPixmap sun = sunCanvas();
    const SunPicture picture =
        sunPicture(sunSketch->width(), mp, mm, complex.radius, Nmax, Rmax, rec.params().Np, rec.params().Nm, sunRandom);
    QPainter p(&sun);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0x8C, 0x00));  // dark orange
    p.drawEllipse(QRectF(picture.centre - picture.rc, picture.centre - picture.rc, 2 * picture.rc, 2 * picture.rc));
    // '+' chains in the red of their banner, '-' chains in its blue.
    QPen plusPen{QColor(179, 20, 28)}, minusPen{QColor(20, 60, 170)};
    plusPen.setWidthF(1.2);
    minusPen.setWidthF(0.8);
    for (const SunLine& l : picture.lines) {
        p.setPen(l.plus ? plusPen : minusPen);
        p.drawLine(QPointF(l.x0, l.y0), QPointF(l.x1, l.y1));
    }
    p.end();
    sunSketch->setPixmap(sun);
    return true;
}

}  // namespace marlinq::ui
