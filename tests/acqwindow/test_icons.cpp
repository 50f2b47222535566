// The one set of tool icons: every picture is a valid SVG on the 24-unit
// grid, all are different, and each draws sharp at twice the size.

#include "acquisition/window/Icons.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <set>

namespace quillmar {
namespace {

int opaquePixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) == 255;
    return n;
}

TEST(ToolIcons, EveryPictureIsAValidDistinctSvg) {
    std::set<QByteArray> seen;
    for (ToolIcon which : AllToolIcons) {
        const QString path = toolIconPath(which);
        SCOPED_TRACE(path.toStdString());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(seen.insert(file.readAll()).second);
        QSvgRenderer svg(path);
        ASSERT_TRUE(svg.isValid());
        // The tool pictures share one grid; the program's own icon is larger.
        if (which != ToolIcon::Application) {
            EXPECT_EQ(svg.viewBoxF(), QRectF(0, 0, 24, 24));
        }
    }
}

TEST(ToolIcons, DrawnSharpAtTwiceTheSize) {
    for (ToolIcon which : AllToolIcons) {
        const QIcon icon = toolIcon(which);
        SCOPED_TRACE(toolIconPath(which).toStdString());
        ASSERT_FALSE(icon.isNull());
        const QPixmap normal = icon.pixmap(QSize(24, 24), 1.0);
        const QPixmap doubled = icon.pixmap(QSize(24, 24), 2.0);
        ASSERT_EQ(normal.size(), QSize(24, 24));
        ASSERT_EQ(doubled.size(), QSize(48, 48));
        EXPECT_EQ(doubled.devicePixelRatio(), 2.0);
        // Drawn again at 48 pixels, not blown up: a 24-pixel picture scaled
        // up would look the same as the doubled one scaled down and up again.
        const QImage image = doubled.toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage blown = normal.toImage()
                                 .scaled(48, 48, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                 .convertToFormat(QImage::Format_ARGB32);
        EXPECT_NE(image, blown);
        EXPECT_GT(opaquePixels(image), 48 * 48 / 8);
    }
}

TEST(ToolIcons, WithoutAThemeTheProgramsOwn) {
    // The offscreen tests run without an icon theme.
    if (!QIcon::themeName().isEmpty() && QIcon::hasThemeIcon("document-save")) GTEST_SKIP();
    EXPECT_EQ(themedToolIcon(ToolIcon::Save).pixmap(24).toImage(),
              toolIcon(ToolIcon::Save).pixmap(24).toImage());
    // A picture of the graph has no theme icon that means it.
    EXPECT_NE(themedToolIcon(ToolIcon::SavePicture).pixmap(24).toImage(),
              themedToolIcon(ToolIcon::Save).pixmap(24).toImage());
}

} // namespace
} // namespace quillmar
