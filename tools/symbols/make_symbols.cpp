// Draws the run-time pictures of symbols/: the canvases the windows draw on and the strip
// of circled plus signs of the '+' chain schematic.
//   marlinq-make-symbols <folder>
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

const QColor kWindowGrey(224, 224, 224);

QImage canvas(int width, int height, const QColor& color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Eight circled plus signs in red on white, 150 x 20.
QImage plusStrip() {
    QImage image = canvas(150, 20, Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double step = 150.0 / 8;
    const QColor red(200, 24, 30);
    for (int i = 0; i < 8; ++i) {
        const QPointF centre(step / 2 + i * step, 10.0);
        painter.setPen(QPen(red, 1.4));
        painter.setBrush(QColor(255, 236, 236));
        painter.drawEllipse(centre, 8.2, 8.2);
        painter.setPen(QPen(red, 2.0, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre + QPointF(-4.2, 0), centre + QPointF(4.2, 0));
        painter.drawLine(centre + QPointF(0, -4.2), centre + QPointF(0, 4.2));
    }
    return image;
}

// White with a faint light towards the centre, where the complex is drawn.
QImage sunCanvas() {
    QImage image = canvas(265, 265, Qt::white);
    QPainter painter(&image);
    QRadialGradient glow(QPointF(132, 132), 132);
    glow.setColorAt(0.0, QColor(255, 250, 236));
    glow.setColorAt(1.0, Qt::white);
    painter.fillRect(image.rect(), glow);
    return image;
}

bool save(const QImage& image, const QDir& folder, const char* name, int quality = -1) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (!image.save(path, nullptr, quality)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    bool ok = true;
    ok &= save(canvas(55, 425, kWindowGrey), folder, "colorBar.png");
    ok &= save(canvas(575, 575, Qt::white), folder, "matrix.jpg", 95);
    ok &= save(sunCanvas(), folder, "sun.jpg", 95);
    ok &= save(canvas(575, 26, kWindowGrey), folder, "coordinateBarX.png");
    ok &= save(canvas(29, 575, kWindowGrey), folder, "coordinateBarY.png");
    ok &= save(plusStrip(), folder, "plussign.png");
    return ok ? 0 : 1;
}
