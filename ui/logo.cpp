#include "ui/logo.h"

#include <cmath>
#include <initializer_list>
#include <numbers>
#include <string_view>

#include "core/error.h"

namespace bm::ui {

namespace {

Image MakeLogo() {
    constexpr int kWidth = 57, kHeight = 56;
    const Color vaneLight = Rgb(40, 86, 168);
    const Color vaneDark = Rgb(26, 56, 124);
    const Color outline = Rgb(14, 24, 62);
    const Color shaft = Rgb(240, 232, 212);
    const Color nib = Rgb(44, 40, 48);
    const Color ink = Rgb(20, 20, 90);

    // The shaft runs from the nib at the lower left to the tip at the upper
    // right; t is the place along it (0 at the nib, 1 at the tip) and s the
    // distance beside it in pixels, positive on the upper-left side.
    const double x0 = 10, y0 = 47, x1 = 52, y1 = 5;
    const double dx = x1 - x0, dy = y1 - y0;
    const double length = std::hypot(dx, dy);

    auto vane_width = [](double t, bool upper) {
        if (t < 0.30 || t > 0.98) return 0.0;
        const double bulge = std::sin(std::numbers::pi * (t - 0.30) / 0.68);
        return (upper ? 11.0 : 7.0) * bulge;
    };
    // Whether a point lies on the feather's vane.
    auto in_vane = [&](double px, double py) {
        const double t = ((px - x0) * dx + (py - y0) * dy) / (length * length);
        const double s = ((px - x0) * dy - (py - y0) * dx) / length;
        const double width = vane_width(t, s > 0);
        if (std::abs(s) <= 0.8 || std::abs(s) > width) return false;
        // Slanting cuts between the barbs, on the outer half of the vane.
        const double along = t * length + 0.7 * std::abs(s);
        return !(std::abs(s) > 0.5 * width && std::fmod(along, 6.0) < 1.0);
    };

    Image logo(kWidth, kHeight, kKeyGreen);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const double t = ((px - x0) * dx + (py - y0) * dy) / (length * length);
            const double s = ((px - x0) * dy - (py - y0) * dx) / length;
            if (std::hypot(px - 6.5, py - 51.5) <= 2.6) {
                logo.Set(x, y, ink);
            } else if (t >= 0 && t < 0.2 && std::abs(s) <= 0.6 + 1.6 * t / 0.2) {
                logo.Set(x, y, nib);
            } else if (t >= 0.2 && t <= 1.0 && std::abs(s) <= 0.8) {
                logo.Set(x, y, shaft);
            } else if (in_vane(px, py)) {
                const bool edge = !in_vane(px - 1, py) || !in_vane(px + 1, py) || !in_vane(px, py - 1) ||
                                  !in_vane(px, py + 1);
                const bool nextToShaft = std::abs(s) <= 1.8;
                logo.Set(x, y, edge && !nextToShaft ? outline : s > 0 ? vaneLight : vaneDark);
            }
        }
    }
    return logo;
}

Color Palette(char c) {
    switch (c) {
        case '#': return kBlack;
        case 'Y': return Rgb(255, 224, 0);     // yellow face
        case 'L': return Rgb(255, 248, 160);   // lit top
        case 'y': return Rgb(196, 152, 0);     // shaded side
        case 'B': return Rgb(0, 0, 255);       // blue trail
        case 'b': return Rgb(128, 150, 255);   // fading trail
        case 'g': return Rgb(128, 128, 128);   // page fold
        case 'N': return Rgb(0, 0, 128);       // the letter
        default: return kWhite;                // '.', 'W'
    }
}

Image FromRows(std::initializer_list<std::string_view> rows) {
    const std::size_t width = rows.begin()->size();
    Image image(static_cast<std::int32_t>(width), static_cast<std::int32_t>(rows.size()), kWhite);
    std::int32_t y = 0;
    for (std::string_view row : rows) {
        if (row.size() != width) raise(ErrorKind::InvalidArgument, "icon rows of unequal width");
        for (std::int32_t x = 0; x < image.Width(); ++x) {
            image.Set(x, y, Palette(row[static_cast<std::size_t>(x)]));
        }
        ++y;
    }
    return image;
}

}  // namespace

const Image& Logo() {
    static const Image logo = MakeLogo();
    return logo;
}

const std::array<Image, 4>& SelectionIcons() {
    static const std::array<Image, 4> icons = {
        FromRows({
            "...########...",
            "...#LLLLLL#...",
            "...#YYYYYY#...",
            "...#YYYYYY#...",
            "...#yyyyyy#...",
            "##############",
            "#LLLLL##LLLLL#",
            "#YYYYY##YYYYY#",
            "#YYYYY##YYYYY#",
            "#YYYYY##YYYYY#",
            "#yyyyy##yyyyy#",
            "##############",
        }),
        FromRows({
            "...##########.",
            "..#LLLLLLLL##.",
            ".#LLLLLLLL#y#.",
            "##########yy#.",
            "#YYYYYYYY#yy#.",
            "#YYYYYYYY#yy#.",
            "#YYYYYYYY#yy#.",
            "#YYYYYYYY#yy#.",
            "#YYYYYYYY#yy#.",
            "#YYYYYYYY#y#..",
            "#YYYYYYYY##...",
            "##########....",
        }),
        FromRows({
            "..............#######.....",
            "..............#WWWWW#g....",
            "..............#WWWWW#Wg...",
            "..............#WWWWW####..",
            "..............#WWNNNWWW#..",
            "..............#WNWWWWWW#..",
            "..............#WNWWWWWW#..",
            "..............#WNWWWWWW#..",
            "..............#WWNNNWWW#..",
            "..............#WWWWWWWW#..",
            "..............##########..",
        }),
        FromRows({
            "........########",
            "........#LLLLLL#",
            "BBBBBB..#YYYYYY#",
            "........#YYYYYY#",
            ".bbbbbbb#YYYYYY#",
            "........#YYYYYY#",
            "..BBBBBB#YYYYYY#",
            "........#YYYYYY#",
            ".bbbbbbb#YYYYYY#",
            "........#YYYYYY#",
            "BBBBBB..#yyyyyy#",
            "........########",
        }),
    };
    return icons;
}

}  // namespace bm::ui
