// The About window.
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

#include "pipeline/Version.h"
#include "ui/AboutWindow.h"

using marlinq::ui::AboutWindow;

namespace {
void processDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
}  // namespace

TEST(AboutWindow, EveryOpeningIsANewIndependentWindowClosedByExit) {
    QPointer<AboutWindow> first = new AboutWindow;
    QPointer<AboutWindow> second = new AboutWindow;
    first->show();
    second->show();
    ASSERT_NE(first.data(), second.data());
    for (AboutWindow* w : {first.data(), second.data()}) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("About"));
        EXPECT_EQ(w->size(), QSize(486, 322));
        EXPECT_FALSE(w->isModal());
        QStringList texts;
        for (QLabel* label : w->findChildren<QLabel*>()) texts << label->text();
        for (const char* t : {"Version: ", "Author:", "Help:"})
            EXPECT_TRUE(texts.contains(QString::fromLatin1(t))) << t;
        // The release and commit of this build, as --version says them (no "Beta").
        const QString version = w->findChild<QLabel*>(QStringLiteral("versionText"))->text();
        EXPECT_EQ(version, QStringLiteral("%1\ncommit %2")
                               .arg(QString::fromStdString(std::string(marlinq::programVersion())),
                                    QString::fromStdString(std::string(marlinq::buildCommit()))));
        auto* picture = w->findChild<QLabel*>(QStringLiteral("illustration"));
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->geometry(), QRect(10, 25, 210, 262));
        EXPECT_FALSE(picture->pixmap().isNull());
        auto* link = w->findChild<QLabel*>(QStringLiteral("helpLocation"));
        ASSERT_NE(link, nullptr);
        EXPECT_FALSE(link->openExternalLinks());
        // The help names documentation an installation holds (a build tree: the sources'
        // README); no address that leads nowhere.
        EXPECT_EQ(link->text(), QStringLiteral("man marlinq\nREADME.md of the sources"));
        EXPECT_GE(link->width(), link->sizeHint().width());  // not cut off
        for (QLabel* label : w->findChildren<QLabel*>()) {
            EXPECT_FALSE(label->text().contains(QStringLiteral("://"))) << label->text().toStdString();
            EXPECT_FALSE(label->toolTip().contains(QStringLiteral("://"))) << label->toolTip().toStdString();
        }
    }

    first->findChild<QPushButton*>(QStringLiteral("exitButton"))->click();
    processDeletes();
    EXPECT_TRUE(first.isNull());
    ASSERT_FALSE(second.isNull());
    EXPECT_TRUE(second->isVisible()) << "closing one About window leaves the other";
    second->close();
    processDeletes();
    EXPECT_TRUE(second.isNull());
}
