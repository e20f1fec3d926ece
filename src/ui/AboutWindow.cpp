#include "ui/AboutWindow.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>

#include "ui/Pictures.h"

namespace marlinq::ui {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry, bool heading) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    QFont font = label->font();
    if (heading) {
        font.setPointSizeF(14.25);
    } else {
        font.setPointSizeF(11.0);
    }
    label->setFont(font);
    return label;
}

}  // namespace

QString AboutWindow::helpText() { return QStringLiteral("README.md and docs/"); }

AboutWindow::AboutWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("AboutWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(applicationIcon());
    setFixedSize(ClientWidth, ClientHeight);

    illustration = new QLabel(this);
    illustration->setObjectName(QStringLiteral("illustration"));
    illustration->setGeometry(10, 25, 210, 262);
    illustration->setPixmap(embeddedPicture(QStringLiteral("about_illustration"), QSize(210, 262)));
    illustration->setFrameShape(QFrame::StyledPanel);

    // Right of the illustration: three headings, each with its text below.
    const int x = 240;
    const int w = ClientWidth - x - 12;
    makeLabel(this, "versionHeading", QStringLiteral("Version: "), QRect(x, 25, w, 28), true);
    makeLabel(this, "versionText", QStringLiteral("Beta 1.0"), QRect(x + 16, 55, w - 16, 22), false);
    makeLabel(this, "authorHeading", QStringLiteral("Author:"), QRect(x, 95, w, 28), true);
    makeLabel(this, "authorText", QStringLiteral("Marlinq Solver developers\nSoft Matter Theory Group"),
              QRect(x + 16, 125, w - 16, 44), false);
    makeLabel(this, "helpHeading", QStringLiteral("Help:"), QRect(x, 187, w, 28), true);

    // Where the documentation is: the program's own files, no web address.
    auto* help = makeLabel(this, "helpLocation", helpText(), QRect(x + 16, 217, w - 16, 22), false);
    help->setTextFormat(Qt::PlainText);
    help->setOpenExternalLinks(false);
    help->setTextInteractionFlags(Qt::TextSelectableByMouse);
    help->setToolTip(
        QStringLiteral("The README beside the program's sources (or in its installed documentation) "
                       "describes the window, the batch command marlinq-batch and the Python module; "
                       "marlinq-batch --help lists the batch command's options."));

    exitButton = new QPushButton(QStringLiteral("exit"), this);
    exitButton->setObjectName(QStringLiteral("exitButton"));
    exitButton->setGeometry(ClientWidth - 12 - 90, ClientHeight - 12 - 30, 90, 30);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
}

}  // namespace marlinq::ui
