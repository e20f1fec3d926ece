// Where the main window's regions sit, and the colours in which the map grid and the axis
// labels are drawn.
#include "form1_support.h"

#include "ui/MapRender.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTextEdit>

#include <cmath>

using namespace marlinq;
using namespace marlinq::ui;
using namespace marlinq::ui::testing;

namespace {

// Positions are given in a client area that starts at the top of a 24-pixel menu strip;
// the window puts its controls under its own menu bar instead.
constexpr int kMenuStrip = 24;

QRect inClient(const Form1& form, const QWidget* w) {
    const QWidget* client = form.findChild<QWidget*>(QStringLiteral("client"));
    return QRect(w->mapTo(client, QPoint(0, 0)), w->size());
}

// The colour of a thin neutral-grey line drawn over pure blue: the red channel sees the
// line over black and the blue channel over white, which gives its coverage and then its
// grey level.
int greyOfLineOverBlue(QRgb pixel) {
    const double coverage = 1.0 - (qBlue(pixel) - qRed(pixel)) / 255.0;
    return coverage > 0.0 ? static_cast<int>(std::lround(qRed(pixel) / coverage)) : -1;
}

// Grey levels of the horizontal line pixels in column x between rows y0 and y1.
std::vector<int> lineGreysInColumn(const QImage& image, int x, int y0, int y1) {
    std::vector<int> greys;
    for (int y = y0; y < y1; ++y)
        if (image.pixel(x, y) != qRgb(0, 0, 255)) greys.push_back(greyOfLineOverBlue(image.pixel(x, y)));
    return greys;
}

}  // namespace

TEST_F(WindowTest, RegionsSitWhereTheLayoutPutsThem) {
    struct Region {
        const char* name;
        QRect rect;  // in the client area under the menu strip
    };
    const Region regions[] = {
        {"panel1", {5, 29, 320, 800}},        {"pictureBox2", {340, 78, 55, 425}},
        {"pictureBox3", {429, 61, 29, 575}},  {"pictureBox1", {459, 61, 575, 575}},
        {"pictureBox4", {459, 636, 575, 26}}, {"richTextBox1", {372, 731, 679, 98}},
        {"panel2", {1041, 61, 273, 600}},     {"button1", {1059, 734, 260, 38}},
        {"button2", {1059, 792, 260, 38}},
    };
    for (const Region& r : regions) {
        const auto* w = form->findChild<QWidget*>(QString::fromLatin1(r.name));
        ASSERT_NE(w, nullptr) << r.name;
        EXPECT_EQ(inClient(*form, w), r.rect.translated(0, -kMenuStrip)) << r.name;
    }
    // The three check boxes one under the other, above Solve.
    EXPECT_EQ(inClient(*form, form->checkBox1).topLeft(), QPoint(1063, 664 - kMenuStrip));
    EXPECT_EQ(inClient(*form, form->checkBox2).topLeft(), QPoint(1063, 686 - kMenuStrip));
    EXPECT_EQ(inClient(*form, form->checkBox3).topLeft(), QPoint(1063, 708 - kMenuStrip));
    EXPECT_LE(inClient(*form, form->checkBox3).bottom(), inClient(*form, form->button1).top());
    EXPECT_EQ(inClient(*form, form->pictureBox5).size(), QSize(265, 242));

    // The axis titles beside the bars (the result panel shows the same symbols too).
    std::vector<std::pair<int, int>> axisTitles;
    const QWidget* client = form->findChild<QWidget*>(QStringLiteral("client"));
    for (const char* name : {"symbol_sym_mminus", "symbol_sym_mplus"})
        for (const QLabel* l : client->findChildren<QLabel*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly))
            axisTitles.emplace_back(l->x(), l->y());
    EXPECT_EQ(axisTitles, (std::vector<std::pair<int, int>>{{396, 348 - kMenuStrip}, {700, 656 - kMenuStrip}}));
}

TEST(MapDrawing, GridLinesAreGrayOnTheMapAndLightGrayOnTheEmptyGrid) {
    const CellGeometry geometry(575, 575, 11, 11);
    Grid<std::int32_t> codes(11, 11);
    for (std::int32_t i = 0; i < 11; ++i)
        for (std::int32_t j = 0; j < 11; ++j) codes(i, j) = 1;  // blue cells
    MapPaintRequest request;
    request.Mcolor = &codes;
    request.geometry = geometry;

    QImage map(575, 575, QImage::Format_RGB32);
    map.fill(qRgb(0, 0, 255));
    paintMap(map, request);
    QImage empty(575, 575, QImage::Format_RGB32);
    empty.fill(qRgb(0, 0, 255));
    paintEmptyGrid(empty, geometry);

    // Column 26 crosses the horizontal lines and no vertical one.
    for (const auto& [image, grey] : {std::pair{&map, 128}, std::pair{&empty, 211}}) {
        const std::vector<int> greys = lineGreysInColumn(*image, 26, 40, 540);
        ASSERT_GE(greys.size(), 9U);
        for (int g : greys) EXPECT_NEAR(g, grey, 3);
    }
}

TEST_F(WindowTest, AxisLabelsAreDrawnInGray) {
    solveAndWait();
    for (QLabel* bar : {form->pictureBox4, form->pictureBox3}) {
        const QImage image = bar->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        int darkest = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                // A neutral grey over the neutral canvas stays neutral wherever it is blended.
                ASSERT_LE(std::abs(qRed(p) - qBlue(p)), 1) << bar->objectName().toStdString() << " " << x << "," << y;
                darkest = std::min(darkest, qRed(p));
            }
        EXPECT_GE(darkest, 127) << bar->objectName().toStdString();
        EXPECT_LE(darkest, 150) << bar->objectName().toStdString();
    }
}
