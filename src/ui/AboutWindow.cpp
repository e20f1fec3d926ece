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

    pictureBox1 = new QLabel(this);
    pictureBox1->setObjectName(QStringLiteral("pictureBox1"));
    pictureBox1->setGeometry(10, 25, 210, 262);
    pictureBox1->setPixmap(embeddedPicture(QStringLiteral("about_illustration"), QSize(210, 262)));
    pictureBox1->setFrameShape(QFrame::StyledPanel);

    // Right of the illustration: three headings, each with its text below.
    const int x = 240;
    const int w = ClientWidth - x - 12;
    makeLabel(this, "label1", QStringLiteral("Version: "), QRect(x, 25, w, 28), true);
    makeLabel(this, "label2", QStringLiteral("Beta 1.0"), QRect(x + 16, 55, w - 16, 22), false);
    makeLabel(this, "label3", QStringLiteral("Author:"), QRect(x, 95, w, 28), true);
    makeLabel(this, "label4", QStringLiteral("Marlinq Solver developers\nSoft Matter Theory Group"),
              QRect(x + 16, 125, w - 16, 44), false);
    makeLabel(this, "label5", QStringLiteral("Help:"), QRect(x, 187, w, 28), true);

    // Where the documentation is: the program's own files, no web address.
    auto* help = makeLabel(this, "linkLabel1", helpText(), QRect(x + 16, 217, w - 16, 22), false);
    help->setTextFormat(Qt::PlainText);
    help->setOpenExternalLinks(false);
    help->setTextInteractionFlags(Qt::TextSelectableByMouse);
    help->setToolTip(
        QStringLiteral("The README beside the program's sources (or in its installed documentation) "
                       "describes the window, the batch command marlinq-batch and the Python module; "
                       "marlinq-batch --help lists the batch command's options."));

    button1 = new QPushButton(QStringLiteral("exit"), this);
    button1->setObjectName(QStringLiteral("button1"));
    button1->setGeometry(ClientWidth - 12 - 90, ClientHeight - 12 - 30, 90, 30);
    connect(button1, &QPushButton::clicked, this, &AboutWindow::button1_Click);
}

void AboutWindow::button1_Click() { close(); }

}  // namespace marlinq::ui
