// Form1: the distribution map, its bars, the result panel and the profile charts.
#include "ui/Form1.h"
#include "physics/Complex.h"

#include "files/NumberFormat.h"
#include "pipeline/ComplexProfile.h"
#include "ui/MapRender.h"
#include "ui/Pictures.h"
#include "ui/Plot2.h"
#include "ui/UserDialogs.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPainter>

namespace marlinq::ui {

namespace {

constexpr int kMapSize = 575;
constexpr int kBarHeight = 26;
constexpr int kBarWidth = 29;

QString n2(double v) { return QLocale().toString(v, 'f', 2); }

char decimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return (!point.isEmpty() && point.at(0).unicode() < 128) ? static_cast<char>(point.at(0).unicode()) : '.';
}

void drawLabels(QPixmap& canvas, const AxisLabels& labels) {
    QPainter p(&canvas);
    p.setPen(toQColor(kGrayColor));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(labels.fontPointSize);
    p.setFont(font);
    const int align = Qt::AlignLeft | (labels.verticallyCentred ? Qt::AlignVCenter : Qt::AlignTop);
    for (const AxisLabel& l : labels.labels)
        p.drawText(QRectF(l.x, l.y, l.width, l.height), align, QString::fromStdString(l.text));
}

}  // namespace

void Form1::paintColorBar() {
    image1 = loadRuntimePicture(QStringLiteral("symbols/colorBar.png"), QSize(45, 420));
    QPainter p(&image1);
    for (int i = 0; i <= 20; ++i) p.fillRect(QRect(0, 20 * i, 45, 20), brushl[static_cast<std::size_t>(i)]);
    p.end();
    pictureBox2->setPixmap(image1);
}

void Form1::drawCoordinateBars() {
    const Parameters& g = params;
    image_bar_x = loadRuntimePicture(QStringLiteral("symbols/coordinateBarX.png"), QSize(kMapSize, kBarHeight));
    drawLabels(image_bar_x, horizontalAxisLabels(g.mpMin, prange, kMapSize, kBarHeight));
    pictureBox4->setPixmap(image_bar_x);
    image_bar_y = loadRuntimePicture(QStringLiteral("symbols/coordinateBarY.png"), QSize(kBarWidth, kMapSize));
    drawLabels(image_bar_y, verticalAxisLabels(g.mmMax, mrange, kMapSize, kBarWidth));
    pictureBox3->setPixmap(image_bar_y);
}

void Form1::drawEmptyMap() {
    image = loadRuntimePicture(QStringLiteral("symbols/matrix.jpg"), QSize(kMapSize, kMapSize))
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
    paintEmptyGrid(image, CellGeometry(kMapSize, kMapSize, prange, mrange));
    pictureBox1->setPixmap(QPixmap::fromImage(image));
    drawnRecord.reset();
}

void Form1::redrawMap() {
    list.clear();
    if (!isb || !isb->hasResults()) return;
    const ResultSnapshot rec = isb;
    const std::int32_t rows = rec->mpMax - rec->mpMin + 1;
    const std::int32_t cols = rec->mmMax - rec->mmMin + 1;
    if (rec->absValue.rows() != rows || rec->absValue.cols() != cols) return;
    Grid<std::int32_t> colours = rec->colourClasses();
    if (const auto error = colorCodeError(colours)) {
        // The map on screen and the result panel stay as they were.
        showMessage(QString::fromStdString(*error));
        return;
    }
    const auto [mpStar, mmStar] = mostProbableComplex(colours, rec->mpMin, rec->mmMin);

    QImage picture = loadRuntimePicture(QStringLiteral("symbols/matrix.jpg"), QSize(kMapSize, kMapSize))
                         .toImage()
                         .convertToFormat(QImage::Format_RGB32);
    drawnColours = std::move(colours);
    MapPaintRequest request;
    request.Mcolor = &drawnColours;
    request.geometry = CellGeometry(kMapSize, kMapSize, rows, cols);
    request.pendingGrey = !rec->dhchecked;
    request.lastRowIndex = rec->index - rec->mpMin;
    if (drawnColours(mpStar - rec->mpMin, mmStar - rec->mmMin) > 0)
        request.outline = std::pair{mpStar - rec->mpMin, mmStar - rec->mmMin};
    paintMap(picture, request);
    image = std::move(picture);
    pictureBox1->setPixmap(QPixmap::fromImage(image));
    drawnRecord = rec;
    list = CellList(request.geometry, rec->mpMin, rec->mmMin, &drawnColours);

    updateResultPanel(mpStar, mmStar);
}

void Form1::updateResultPanel(std::int32_t mp, std::int32_t mm) {
    label21->setText(QString::number(mp));
    label61->setText(QString::number(mm));
    if (mp == 0 && mm == 0) return;
    const InfoSphereBean& rec = *isb;
    const ComplexSummary s = summarizeComplex(mp, mm, rec.zp, rec.zn, rec.plen, rec.mlen, rec.ka);
    if (s.Rc == 0.0) {
        showMessage(QStringLiteral("Rc_over_l is 0"));
        return;
    }
    // The scale of the sun picture: neutral blocks and the core of the largest complex.
    const double Nmax = rec.Np > rec.Nm ? rec.Np : rec.Nm;
    const double Rmax = complex::coreRadius(rec.mmMax * rec.zn / rec.kim + rec.mpMax * rec.zp / rec.kip);
    label62->setText(n2(s.Rc));
    label63->setText(n2(s.kRc));
    label64->setText(QString::fromStdString(formatGeneral(s.Z, decimalSeparator())));
    label65->setText(n2(s.ZoverRc));

    QPixmap sun = loadRuntimePicture(QStringLiteral("symbols/sun.jpg"), QSize(265, 265));
    const SunPicture picture = sunPicture(pictureBox5->width(), mp, mm, s.Rc, Nmax, Rmax, rec.Np, rec.Nm, sunRandom);
    QPainter p(&sun);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0x8C, 0x00));  // dark orange
    p.drawEllipse(QRectF(picture.centre - picture.rc, picture.centre - picture.rc, 2 * picture.rc, 2 * picture.rc));
    QPen pen{toQColor(kGrayColor)};
    pen.setWidthF(0.5);
    p.setPen(pen);
    for (const SunLine& l : picture.lines) p.drawLine(QPointF(l.x0, l.y0), QPointF(l.x1, l.y1));
    p.end();
    pictureBox5->setPixmap(sun);
}

QString Form1::mapToolTip(QPoint position) const {
    if (!drawnRecord || list.empty()) return {};
    const auto hit = list.find(position.x(), position.y());
    if (!hit) return {};
    const InfoSphereBean& rec = *drawnRecord;
    const std::int32_t i = hit->first - rec.mpMin;
    const std::int32_t j = hit->second - rec.mmMin;
    const bool pending = !rec.dhchecked && hit->first > rec.index;
    // The share is the cell's weight over the sum of the weights, for the free chains too.
    return QString::fromStdString(cellTooltip(hit->first, hit->second, rec.absValue(i, j), rec.share(i, j), pending,
                                              decimalSeparator()));
}

void Form1::pictureBox1_MouseDoubleClick(QPoint position) {
    const auto [mp, mm] = list.hitTest(position.x(), position.y());
    if (mp == 0 || mm == 0) return;
    if (!isb || !isb->run) return;
    // Everything from the result record, so the profile belongs to the map shown even
    // when the fields were changed since.
    const InfoSphereBean& rec = *isb;
    const bool dh = checkBox2->isChecked();
    // The profile follows the accuracy of the result it belongs to.
    auto* chart =
        new Plot2(computeComplexProfile(mp, mm, rec.zp, rec.zn, rec.kip, rec.kim, rec.ka, dh, rec.converged), this);
    chart->setWindowFlag(Qt::Window, true);
    chart->setAttribute(Qt::WA_DeleteOnClose);
    chart->show();
}

void Form1::saveMapToolStripMenuItem_Click() {
    const QString path = userDialogs()->getSaveFileName(this, QStringLiteral("Save Map"), dialogDirectory(),
                                                        QStringLiteral("PNG image (*.png)"));
    if (path.isEmpty()) return;
    rememberDirectory(path);
    if (!image.save(path, "PNG")) showMessage(QStringLiteral("can not write ") + path);
}

}  // namespace marlinq::ui
