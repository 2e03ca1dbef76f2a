#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <set>

#include "support/temp_dir.h"
#include "tools/artwork/artwork.h"
#include "tools/artwork/resources.h"

namespace orvane::artwork {
namespace {

QImage Compiled(const char* path) { return QImage(QString(":/") + path); }

TEST(ArtworkTest, CompiledPicturesHaveTheirSizes) {
    struct Expect {
        const char* path;
        int w, h;
    };
    for (const Expect& e : {Expect{"bitmaps/141.png", 305, 346},
                            Expect{"bitmaps/157.png", 305, 346}, Expect{"bitmaps/152.png", 32, 32},
                            Expect{"bitmaps/153.png", 32, 32}, Expect{"bitmaps/163.png", 16, 16},
                            Expect{"bitmaps/169.png", 96, 13}, Expect{"bitmaps/184.png", 312, 312},
                            Expect{"icons/128.png", 64, 64}, Expect{"bitmaps/100.png", 340, 120}}) {
        const QImage image = Compiled(e.path);
        ASSERT_FALSE(image.isNull()) << e.path;
        EXPECT_EQ(image.width(), e.w) << e.path;
        EXPECT_EQ(image.height(), e.h) << e.path;
    }
}

TEST(ArtworkTest, SplashMaskIsBlackOnlyOutsideTheOutline) {
    const QImage mask = Compiled("bitmaps/157.png");
    const QImage splash = Compiled("bitmaps/141.png");
    ASSERT_FALSE(mask.isNull());
    // Corners are cut, the middle stays; the mask holds only black and white.
    EXPECT_EQ(mask.pixel(0, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(mask.pixel(304, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(mask.pixel(0, 345) & 0xFFFFFF, 0u);
    EXPECT_EQ(mask.pixel(152, 200) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(mask.pixel(152, 1) & 0xFFFFFF, 0xFFFFFFu);  // the disc rises to the top
    for (int y = 0; y < mask.height(); y += 7) {
        for (int x = 0; x < mask.width(); x += 5) {
            const QRgb m = mask.pixel(x, y) & 0xFFFFFF;
            ASSERT_TRUE(m == 0 || m == 0xFFFFFF) << x << "," << y;
            // Every pixel the window keeps is painted on the splash picture.
            if (m) {
                EXPECT_GT(qAlpha(splash.pixel(x, y)), 0) << x << "," << y;
            }
        }
    }
}

TEST(ArtworkTest, DigitCellsAreDistinctAndBlankIsEmpty) {
    const QImage digits = Compiled("bitmaps/169.png");
    ASSERT_FALSE(digits.isNull());
    std::set<QByteArray> cells;
    for (int c = 0; c < 12; ++c) {
        const QImage cell = digits.copy(c * 8, 0, 8, 13);
        cells.insert(QByteArray(reinterpret_cast<const char*>(cell.constBits()),
                                static_cast<int>(cell.sizeInBytes())));
        if (c == 10) {
            for (int y = 0; y < 13; ++y) {
                for (int x = 0; x < 8; ++x) {
                    EXPECT_EQ(cell.pixel(x, y) & 0xFFFFFF, 0u);
                }
            }
        }
    }
    EXPECT_EQ(cells.size(), 12u);
}

TEST(ArtworkTest, BackgroundTileRepeatsWithoutSeams) {
    const QImage tile = Compiled("bitmaps/184.png").convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(tile.isNull());
    // The pattern repeats every 24 pixels across and down, including across the tile's
    // edges, so tiles laid side by side show no seam.
    const int w = tile.width(), h = tile.height();
    int differences = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (tile.pixel(x, y) != tile.pixel((x + 24) % w, y)) ++differences;
            if (tile.pixel(x, y) != tile.pixel(x, (y + 24) % h)) ++differences;
        }
    }
    EXPECT_EQ(differences, 0);
}

TEST(ArtworkTest, WriteSetWritesPicturesAndResourceList) {
    orvane::test::TempDir dir;
    std::string error;
    const std::vector<Picture> set = {
        {"bitmaps/1.png", 4, 3, [](QImage& i) { i.fill(qRgb(1, 2, 3)); }},
        {"icons/2.png", 2, 2, nullptr}};
    ASSERT_TRUE(WriteSet(set, dir.path().string(), "x", error)) << error;
    const QImage one(QString::fromStdString((dir / "bitmaps/1.png").string()));
    EXPECT_EQ(one.size(), QSize(4, 3));
    EXPECT_EQ(one.pixel(3, 2) & 0xFFFFFF, 0x010203u);
    const std::string qrc = orvane::test::ReadFile(dir / "x.qrc");
    EXPECT_NE(qrc.find("<file>bitmaps/1.png</file>"), std::string::npos);
    EXPECT_NE(qrc.find("<file>icons/2.png</file>"), std::string::npos);
    EXPECT_TRUE(PictureSet("none").empty());
    // A folder that cannot be created is reported.
    orvane::test::WriteFile(dir / "file", "x");
    EXPECT_FALSE(WriteSet(set, (dir / "file" / "sub").string(), "x", error));
    EXPECT_FALSE(error.empty());
}

TEST(ArtworkTest, ThemeIconsAreDrawnAtEverySizeFromTheProgramIcon) {
    orvane::test::TempDir dir;
    std::string error;
    ASSERT_TRUE(WriteThemeIcons(PictureSet("tarvo"), dir.path().string(), "player", error))
        << error;
    for (int size : kThemeIconSizes) {
        const auto file =
            dir / (std::to_string(size) + "x" + std::to_string(size)) / "apps" / "player.png";
        const QImage icon(QString::fromStdString(file.string()));
        ASSERT_FALSE(icon.isNull()) << file;
        EXPECT_EQ(icon.size(), QSize(size, size)) << file;
        // Drawn, not blank: the player's body left of the disc is painted at every size.
        EXPECT_EQ(qAlpha(icon.pixel(size / 10, size / 2)), 255) << file;
    }
    // A set without a program icon, or a theme folder that cannot be made, is reported.
    const std::vector<Picture> noIcon = {{"bitmaps/1.png", 4, 3, nullptr}};
    EXPECT_FALSE(WriteThemeIcons(noIcon, dir.path().string(), "x", error));
    EXPECT_FALSE(error.empty());
    orvane::test::WriteFile(dir / "file", "x");
    error.clear();
    EXPECT_FALSE(WriteThemeIcons(PictureSet("plimo"), (dir / "file").string(), "x", error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace orvane::artwork

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    orvane::artwork::InitPlimoResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
