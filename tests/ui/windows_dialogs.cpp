// The save dialog of the program, answered as a user would type a file name.
#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "ui/UserDialogs.h"

using marlinq::ui::QtUserDialogs;

namespace {

// Opens the save dialog with the filter, types name into it and presses Save.
QString saveAs(const QString& directory, const QString& filter, const QString& name) {
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        dialog->selectFile(name);
        static_cast<QDialog*>(dialog)->accept();  // the Save button
        answered = true;
    });
    QtUserDialogs dialogs;
    const QString path = dialogs.getSaveFileName(nullptr, QStringLiteral("Save Matrix"), directory, filter);
    EXPECT_TRUE(answered);
    return path;
}

std::string in(const QTemporaryDir& dir, const char* name) { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

}  // namespace

TEST(SaveDialog, ANameWithoutExtensionGetsTheFiltersOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString txt = QStringLiteral("Text file (*.txt)");
    EXPECT_EQ(saveAs(dir.path(), txt, QStringLiteral("results")).toStdString(), in(dir, "results.txt"));
    // An extension of the user's own choice is kept.
    EXPECT_EQ(saveAs(dir.path(), txt, QStringLiteral("results.dat")).toStdString(), in(dir, "results.dat"));
    EXPECT_EQ(saveAs(dir.path(), QStringLiteral("PNG image (*.png)"), QStringLiteral("map")).toStdString(),
              in(dir, "map.png"));
}
