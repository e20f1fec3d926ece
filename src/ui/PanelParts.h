#pragma once
// The pieces the window's fixed panels are built of, each put at a position of its panel:
// captions, symbol pictures, banners, input fields, sliders and sunken output boxes.

#include "ui/Pictures.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QSlider>
#include <QString>

#include <algorithm>

namespace marlinq::ui::panel {

template <typename W>
W* place(W* w, const char* name, int x, int y, int width, int height) {
    if (name != nullptr) w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}

inline QLabel* text(QWidget* parent, const QString& s, int x, int y, int width = -1, int height = 20) {
    auto* l = new QLabel(s, parent);
    if (width < 0) width = l->sizeHint().width() + 4;
    l->setGeometry(x, y, width, height);
    return l;
}

inline QLabel* symbol(QWidget* parent, const char* name, int x, int y, QSize box = QSize(40, 24)) {
    auto* l = new QLabel(parent);
    l->setObjectName(QStringLiteral("symbol_") + QString::fromLatin1(name));
    const QPixmap pm = embeddedPicture(QString::fromLatin1(name));
    l->setPixmap(pm.size().width() > box.width() || pm.size().height() > box.height()
                     ? pm.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                     : pm);
    l->setGeometry(x, y, box.width(), box.height());
    l->setAlignment(Qt::AlignCenter);
    return l;
}

inline QLabel* banner(QWidget* parent, const char* name, int x, int y) {
    auto* l = new QLabel(parent);
    l->setObjectName(QStringLiteral("banner_") + QString::fromLatin1(name));
    QPixmap pm = embeddedPicture(QString::fromLatin1(name));
    if (pm.width() != 317 && pm.width() > 0) pm = pm.scaledToWidth(317, Qt::SmoothTransformation);
    l->setPixmap(pm);
    l->setGeometry(x, y, 317, std::max(pm.height(), 20));
    return l;
}

inline QLineEdit* field(QWidget* parent, const char* name, int x, int y, int width = 70) {
    return place(new QLineEdit(parent), name, x, y, width, 24);
}

inline QSlider* slider(QWidget* parent, const char* name, int maximum, int x, int y) {
    auto* s = place(new QSlider(Qt::Horizontal, parent), name, x, y, 178, 24);
    s->setRange(0, maximum);
    s->setTickPosition(QSlider::TicksBelow);
    s->setTickInterval(maximum / 10);
    s->setPageStep(maximum / 10);
    return s;
}

inline QLabel* output(QWidget* parent, const char* name, int x, int y, int width = 70, int height = 24) {
    auto* l = place(new QLabel(parent), name, x, y, width, height);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setAutoFillBackground(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::Window, Qt::white);
    l->setPalette(pal);
    l->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    return l;
}

}  // namespace marlinq::ui::panel
