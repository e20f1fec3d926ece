#include "ui/AboutWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QPushButton>

#include "pipeline/Version.h"
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

QString AboutWindow::helpText() {
    // The manual page, and the README where the package puts it (beside the programs'
    // folder); a program run from its build tree has the README of its sources.
    const QString readme =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../share/doc/marlinq/README.md"));
    return QStringLiteral("man marlinq\n") + (QFileInfo::exists(readme) ? QDir::cleanPath(readme)
                                                                       : QStringLiteral("README.md of the sources"));
}

QString AboutWindow::versionText() {
    return QStringLiteral("%1\ncommit %2")
        .arg(QString::fromUtf8(marlinq::programVersion().data(), static_cast<qsizetype>(marlinq::programVersion().size())),
             QString::fromUtf8(marlinq::buildCommit().data(), static_cast<qsizetype>(marlinq::buildCommit().size())));
}

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
    makeLabel(this, "versionText", versionText(), QRect(x + 16, 53, w - 16, 40), false);
    makeLabel(this, "authorHeading", QStringLiteral("Author:"), QRect(x, 95, w, 28), true);
    makeLabel(this, "authorText", QStringLiteral("Marlinq Solver developers\nSoft Matter Theory Group"),
              QRect(x + 16, 125, w - 16, 44), false);
    makeLabel(this, "helpHeading", QStringLiteral("Help:"), QRect(x, 187, w, 28), true);

    // Where the documentation is: the program's own files, no web address.
    auto* help = makeLabel(this, "helpLocation", helpText(), QRect(x + 16, 217, w - 4, 40), false);
    help->setTextFormat(Qt::PlainText);
    help->setOpenExternalLinks(false);
    help->setTextInteractionFlags(Qt::TextSelectableByMouse);
    help->setToolTip(
        QStringLiteral("The manual pages (man marlinq, man marlinq-batch) and the README describe the window, "
                       "the batch command marlinq-batch and the Python module; marlinq-batch --help lists "
                       "the batch command's options."));

    exitButton = new QPushButton(QStringLiteral("exit"), this);
    exitButton->setObjectName(QStringLiteral("exitButton"));
    exitButton->setGeometry(ClientWidth - 12 - 90, ClientHeight - 12 - 30, 90, 30);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
}

}  // namespace marlinq::ui
