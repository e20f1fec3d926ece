// The About window and the single charge-density chart.
#include <QApplication>
#include <QChart>
#include <QLabel>
#include <QLineSeries>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

#include <vector>

#include "ui/Plot3.h"
#include "ui/Plot4.h"

using marlinq::ui::Plot3;
using marlinq::ui::Plot4;

namespace {
void processDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
}  // namespace

TEST(AboutWindow, EveryOpeningIsANewIndependentWindowClosedByExit) {
    QPointer<Plot3> first = new Plot3;
    QPointer<Plot3> second = new Plot3;
    first->show();
    second->show();
    ASSERT_NE(first.data(), second.data());
    for (Plot3* w : {first.data(), second.data()}) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("About"));
        EXPECT_EQ(w->size(), QSize(486, 322));
        EXPECT_FALSE(w->isModal());
        QStringList texts;
        for (QLabel* label : w->findChildren<QLabel*>()) texts << label->text();
        for (const char* t : {"Version: ", "Beta 1.0", "Author:", "Help:"})
            EXPECT_TRUE(texts.contains(QString::fromLatin1(t))) << t;
        auto* picture = w->findChild<QLabel*>(QStringLiteral("pictureBox1"));
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->geometry(), QRect(10, 25, 210, 262));
        EXPECT_FALSE(picture->pixmap().isNull());
        auto* link = w->findChild<QLabel*>(QStringLiteral("linkLabel1"));
        ASSERT_NE(link, nullptr);
        EXPECT_FALSE(link->openExternalLinks());
        // The help names the program's own documentation; no address that leads nowhere.
        EXPECT_EQ(link->text(), QStringLiteral("README.md and docs/"));
        EXPECT_GE(link->width(), link->sizeHint().width());  // not cut off
        for (QLabel* label : w->findChildren<QLabel*>()) {
            EXPECT_FALSE(label->text().contains(QStringLiteral("://"))) << label->text().toStdString();
            EXPECT_FALSE(label->toolTip().contains(QStringLiteral("://"))) << label->toolTip().toStdString();
        }
    }

    first->findChild<QPushButton*>(QStringLiteral("button1"))->click();
    processDeletes();
    EXPECT_TRUE(first.isNull());
    ASSERT_FALSE(second.isNull());
    EXPECT_TRUE(second->isVisible()) << "closing one About window leaves the other";
    second->close();
    processDeletes();
    EXPECT_TRUE(second.isNull());
}

TEST(ChargeDensityWindow, ShowsTheWholeGridInBlue) {
    std::vector<double> r(401), rho(401);
    for (int i = 0; i < 401; ++i) {
        r[i] = i * 0.02;
        rho[i] = r[i] <= 1.0 ? 1.0 : -0.1;
    }
    QPointer<Plot4> w = new Plot4(r.data(), rho.data());
    w->show();
    QChart* chart = w->chart();
    EXPECT_EQ(chart->title(), QStringLiteral("Charge Density"));
    ASSERT_EQ(chart->series().size(), 1);
    auto* curve = qobject_cast<QLineSeries*>(chart->series().first());
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve->count(), 401);
    EXPECT_DOUBLE_EQ(curve->at(400).x(), 8.0);
    EXPECT_EQ(curve->color(), QColor(Qt::blue));
    w->findChild<QPushButton*>(QStringLiteral("button1"))->click();
    processDeletes();
    EXPECT_TRUE(w.isNull());
}
