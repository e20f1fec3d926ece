// Run-time and embedded pictures: present at their sizes, and a plain canvas in place of a
// picture that is missing or too small.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "files/DataPaths.h"
#include "ui/Pictures.h"

using marlinq::ui::embeddedPicture;
using marlinq::ui::loadRuntimePicture;

namespace {
bool allWhite(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) return false;
    return true;
}
bool anyOpaque(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0) return true;
    return false;
}
}  // namespace

TEST(RuntimePictures, ShippedPicturesAreAtLeastTheSizesDrawnOn) {
    const struct {
        const char* name;
        QSize size;
    } pictures[] = {{"symbols/colorBar.png", {55, 425}},     {"symbols/matrix.jpg", {575, 575}},
                    {"symbols/sun.jpg", {265, 265}},         {"symbols/coordinateBarX.png", {575, 26}},
                    {"symbols/coordinateBarY.png", {29, 575}}, {"symbols/plussign.png", {150, 20}}};
    for (const auto& p : pictures) {
        const QString path = QString::fromStdString(marlinq::locateDataFile(p.name));
        QImage image(path);
        ASSERT_FALSE(image.isNull()) << p.name << " not found at " << path.toStdString();
        EXPECT_GE(image.width(), p.size.width()) << p.name;
        EXPECT_GE(image.height(), p.size.height()) << p.name;
    }
    EXPECT_FALSE(allWhite(loadRuntimePicture(QStringLiteral("symbols/plussign.png"), {150, 20})))
        << "the plus strip shows its signs";
}

TEST(RuntimePictures, MissingOrTooSmallGivesAWhiteCanvasOfTheNeededSize) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("symbols")));
    QImage small(100, 100, QImage::Format_RGB32);
    small.fill(Qt::red);
    ASSERT_TRUE(small.save(dir.filePath(QStringLiteral("symbols/matrix.jpg")), "JPG"));
    QFile garbage(dir.filePath(QStringLiteral("symbols/sun.jpg")));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("not a picture");
    garbage.close();

    marlinq::setDataDirectoryOverride(dir.path().toStdString());
    const QPixmap missing = loadRuntimePicture(QStringLiteral("symbols/coordinateBarX.png"), {575, 26});
    const QPixmap tooSmall = loadRuntimePicture(QStringLiteral("symbols/matrix.jpg"), {575, 575});
    const QPixmap unreadable = loadRuntimePicture(QStringLiteral("symbols/sun.jpg"), {265, 265});
    const QPixmap bigEnough = loadRuntimePicture(QStringLiteral("symbols/matrix.jpg"), {50, 50});
    marlinq::setDataDirectoryOverride("");

    EXPECT_EQ(missing.size(), QSize(575, 26));
    EXPECT_EQ(tooSmall.size(), QSize(575, 575));
    EXPECT_EQ(unreadable.size(), QSize(265, 265));
    EXPECT_TRUE(allWhite(missing));
    EXPECT_TRUE(allWhite(tooSmall));
    EXPECT_EQ(bigEnough.size(), QSize(100, 100)) << "a large enough picture is used as it is";
    EXPECT_FALSE(allWhite(bigEnough));
}

TEST(EmbeddedPictures, EveryDrawingRendersAtItsSize) {
    const struct {
        const char* name;
        QSize size;
    } drawings[] = {{"banner_plus", {317, 30}}, {"banner_minus", {317, 30}}, {"banner_solution", {317, 30}},
                    {"banner_optimal", {317, 30}}, {"minus_strip", {150, 20}}, {"app_icon", {256, 256}},
                    {"about_illustration", {210, 262}}};
    for (const auto& d : drawings) {
        const QPixmap p = embeddedPicture(QString::fromLatin1(d.name));
        EXPECT_EQ(p.size(), d.size) << d.name;
        EXPECT_TRUE(anyOpaque(p)) << d.name;
    }
    for (const char* name : {"sym_qplus", "sym_Nplus", "sym_N", "sym_xiplus", "sym_qminus", "sym_Nminus",
                             "sym_ximinus", "sym_ka", "sym_cplus", "sym_cminus", "sym_mplus", "sym_mminus", "sym_Rc",
                             "sym_kRc", "sym_Z", "sym_Ztilde"}) {
        const QPixmap p = embeddedPicture(QString::fromLatin1(name));
        EXPECT_FALSE(p.isNull()) << name;
        EXPECT_TRUE(anyOpaque(p)) << name;
    }
    EXPECT_EQ(embeddedPicture(QStringLiteral("minus_strip"), {75, 10}).size(), QSize(75, 10));
    EXPECT_FALSE(anyOpaque(embeddedPicture(QStringLiteral("no_such_drawing")))) << "an unknown name draws nothing";
    EXPECT_FALSE(marlinq::ui::applicationIcon().isNull());
}
