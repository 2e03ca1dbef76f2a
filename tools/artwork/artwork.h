#pragma once
// The build-time artwork generator: each picture is a table entry with its resource path, its
// size and the code that draws it. A program's pictures form a named set; the generator writes
// a set's pictures as PNG files and a Qt resource list that the build compiles in.

#include <QImage>
#include <functional>
#include <string>
#include <vector>

namespace orvane::artwork {

struct Picture {
    std::string path;  // inside the resource, e.g. "bitmaps/141.png" or "icons/128.png"
    int width = 0;
    int height = 0;
    std::function<void(QImage&)> draw;  // draws onto a transparent ARGB image of that size
};

// The pictures of Plimo (the encoder front-end).
std::vector<Picture> PlimoPictures();

// The pictures of Tarvo (the CD player).
std::vector<Picture> TarvoPictures();

// The picture table of a set by name ("plimo", "tarvo"); empty for an unknown set.
std::vector<Picture> PictureSet(const std::string& name);

// Draws one picture.
QImage Render(const Picture& picture);

// Writes every picture of the set into folder (creating sub-folders) and a resource list
// "<folder>/<qrcName>.qrc"; returns false and names the failure in error.
bool WriteSet(const std::vector<Picture>& pictures, const std::string& folder,
              const std::string& qrcName, std::string& error);

// The sizes a desktop's icon theme looks for, in pixels.
inline constexpr int kThemeIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// Draws the set's program icon (the picture at "icons/128.png") at every theme size into the
// icon theme folder: "<folder>/<n>x<n>/apps/<name>.png". Returns false and names the failure in
// error (also when the set has no program icon).
bool WriteThemeIcons(const std::vector<Picture>& pictures, const std::string& folder,
                     const std::string& name, std::string& error);

// Shared drawing helpers for the sets.
namespace draw {
// The glyph strip of a digit counter: 12 cells (0-9, blank, minus) of cellW x cellH.
void DigitStrip(QImage& image, QRgb on, QRgb off, QRgb back);
// A seamless background tile.
void Tile(QImage& image, QRgb base, QRgb line);
}  // namespace draw

}  // namespace orvane::artwork
