// orvane-artwork FOLDER QRCNAME SET: writes the pictures of SET as PNG files into FOLDER and
// the resource list FOLDER/QRCNAME.qrc.
// orvane-artwork --icons FOLDER SET NAME: writes SET's program icon at the icon theme's sizes
// into the theme folder FOLDER as NAME.png.

#include <QGuiApplication>
#include <cstdio>
#include <string>

#include "tools/artwork/artwork.h"

int main(int argc, char** argv) {
    // Drawing text needs the font machinery of a GUI application, never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 5 && std::string(argv[1]) == "--icons") {
        std::string error;
        const auto pictures = orvane::artwork::PictureSet(argv[3]);
        if (!orvane::artwork::WriteThemeIcons(pictures, argv[2], argv[4], error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FOLDER QRCNAME SET\n", argv[0]);
        return 2;
    }
    const auto pictures = orvane::artwork::PictureSet(argv[3]);
    if (pictures.empty()) {
        std::fprintf(stderr, "unknown picture set: %s\n", argv[3]);
        return 2;
    }
    std::string error;
    if (!orvane::artwork::WriteSet(pictures, argv[1], argv[2], error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
