#include "ui/Pictures.h"

#include <QColor>
#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include "files/DataPaths.h"

// The drawings live in the static ui library; make sure its resources are registered
// even when no translation unit of the executable refers to them.
static void ensureResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)registered;
}

namespace marlinq::ui {

namespace {

QPixmap whiteCanvas(QSize size) {
    QPixmap canvas(size.expandedTo(QSize(1, 1)));
    canvas.fill(Qt::white);
    return canvas;
}

QString resourcePath(const QString& name) { return QStringLiteral(":/images/") + name + QStringLiteral(".svg"); }

QPixmap render(QSvgRenderer& renderer, QSize size) {
    QPixmap pixmap(size.expandedTo(QSize(1, 1)));
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

}  // namespace

QPixmap loadRuntimePicture(const QString& relativeName, QSize minimumSize) {
    const QString path = QString::fromStdString(locateDataFile(relativeName.toStdString()));
    QPixmap picture;
    if (!QFile::exists(path) || !picture.load(path)) return whiteCanvas(minimumSize);
    if (picture.width() < minimumSize.width() || picture.height() < minimumSize.height())
        return whiteCanvas(minimumSize);
    return picture;
}

QPixmap embeddedPicture(const QString& name) {
    ensureResources();
    QSvgRenderer renderer(resourcePath(name));
    if (!renderer.isValid()) {
        QPixmap empty(16, 16);
        empty.fill(Qt::transparent);
        return empty;
    }
    return render(renderer, renderer.defaultSize());
}

QPixmap embeddedPicture(const QString& name, QSize size) {
    ensureResources();
    QSvgRenderer renderer(resourcePath(name));
    if (!renderer.isValid()) {
        QPixmap empty(size.expandedTo(QSize(1, 1)));
        empty.fill(Qt::transparent);
        return empty;
    }
    return render(renderer, size);
}

QIcon applicationIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(embeddedPicture(QStringLiteral("app_icon"), QSize(side, side)));
    return icon;
}

}  // namespace marlinq::ui
