#include "ui/Pictures.h"

#include <QColor>
#include <QFile>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include "pipeline/Engine.h"

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

namespace {

// Every window draws the same few pictures; each is rendered once and then shared.
QPixmap cachedDrawing(const QString& name, const QSize* size) {
    const QSize wanted = size ? *size : QSize(-1, -1);
    const QString key = QStringLiteral("marlinq/%1/%2x%3").arg(name).arg(wanted.width()).arg(wanted.height());
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) return pixmap;
    ensureResources();
    QSvgRenderer renderer(resourcePath(name));
    if (renderer.isValid()) {
        pixmap = render(renderer, size ? *size : renderer.defaultSize());
    } else {
        pixmap = QPixmap(size ? size->expandedTo(QSize(1, 1)) : QSize(16, 16));
        pixmap.fill(Qt::transparent);
    }
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

}  // namespace

QPixmap embeddedPicture(const QString& name) { return cachedDrawing(name, nullptr); }

QPixmap embeddedPicture(const QString& name, QSize size) { return cachedDrawing(name, &size); }

QIcon applicationIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(embeddedPicture(QStringLiteral("app_icon"), QSize(side, side)));
    return icon;
}

}  // namespace marlinq::ui
