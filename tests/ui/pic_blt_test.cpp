#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "core/error.h"
#include "platform/portable/headless_runtime.h"
#include "platform/portable/memory_raster.h"
#include "ui/pic_blt.h"

namespace bm::ui {
namespace {

using portable::HeadlessRuntime;
using portable::MemoryRaster;

constexpr Color kMagenta = Rgb(255, 0, 255);
constexpr Color kRed = Rgb(255, 0, 0);

// The source's pixels: exact green, green off by one in each component,
// and other colours.
Image SourcePicture() {
    const Color rows[3][8] = {
        {kKeyGreen, Rgb(0, 254, 0), Rgb(1, 255, 0), Rgb(0, 255, 1), kRed, kKeyGreen, kRed, kRed},
        {kWhite, kBlack, kKeyGreen, Rgb(10, 20, 30), kKeyGreen, kMagenta, kRed, kRed},
        {kRed, kRed, kRed, kRed, kRed, kRed, kRed, kRed},
    };
    Image image(8, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 8; ++x) image.Set(x, y, rows[y][x]);
    }
    return image;
}

// A form of 40 x 40 pixels whose backdrop differs at every pixel, with a
// hidden 8 x 3 source and a visible 6 x 2 target at (10, 20).
class Canvas : public PaintedForm {
public:
    Canvas(FormsRuntime& runtime, Raster& raster)
        : PaintedForm(runtime, raster),
          source(*this, "source", {450, 450, 120, 45}, false, SourcePicture()),
          target(*this, "target", {150, 300, 90, 30}, true) {
        SetSize(600, 600);
        backColor = Rgb(1, 2, 3);
        picture = Image(40, 40);
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) picture.Set(x, y, Rgb(std::uint8_t(x * 5), std::uint8_t(y * 5), 99));
        }
        target.backColor = Rgb(200, 100, 0);
    }
    std::string Caption() const override { return "Canvas"; }
    std::string Kind() const override { return "canvas"; }

    PictureBox source, target;
};

class BlitPictureTest : public testing::Test {
protected:
    HeadlessRuntime runtime;
    MemoryRaster raster;
    Canvas form{runtime, raster};
};

TEST_F(BlitPictureTest, TransparentModeShowsTheBackdropOnlyThroughExactKeyPixels) {
    // The second painting must not pick up the first one as its backdrop.
    for (int round = 0; round < 2; ++round) {
        BlitPicture(kBlitTransparent, form, form.source, form.target, kKeyGreen);
        const Image shown = raster.Shown(form.target);
        ASSERT_EQ(shown.Width(), 6);
        ASSERT_EQ(shown.Height(), 2);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 6; ++x) {
                const Color drawn = form.source.picture.At(x, y);
                const Color expected = drawn == kKeyGreen ? form.picture.At(10 + x, 20 + y) : drawn;
                EXPECT_EQ(shown.At(x, y), expected) << "pixel " << x << "," << y << " round " << round;
            }
        }
    }
    EXPECT_TRUE(form.target.visible);
}

TEST_F(BlitPictureTest, OpaqueModeCopiesTheSourceUnchanged) {
    BlitPicture(kBlitOpaque, form, form.source, form.target, kKeyGreen);
    const Image shown = raster.Shown(form.target);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 6; ++x) EXPECT_EQ(shown.At(x, y), form.source.picture.At(x, y)) << x << "," << y;
    }
}

TEST_F(BlitPictureTest, LeavesNoObjectsAndTheDrawingAttributesAsPainted) {
    for (std::int16_t mode : {kBlitOpaque, kBlitTransparent}) {
        BlitPicture(mode, form, form.source, form.target, kKeyGreen);
        EXPECT_EQ(raster.LiveObjects(), 0u) << "mode " << mode;
        EXPECT_EQ(raster.BkColor(raster.WindowDC(form.source)), kWhite) << "mode " << mode;
    }
    EXPECT_EQ(form.scaleMode, ScaleMode::kPixels);
    EXPECT_FALSE(form.persistent);
    EXPECT_TRUE(form.source.persistent);
    EXPECT_FALSE(form.target.persistent);
    // No persistent image: a repaint of the target loses the picture.
    raster.Refresh(form.target);
    EXPECT_EQ(raster.Shown(form.target), Image(6, 2, form.target.backColor));
}

TEST_F(BlitPictureTest, OtherModesAreRefusedBeforeAnythingIsMade) {
    for (std::int16_t mode : {std::int16_t{-1}, std::int16_t{2}}) {
        try {
            BlitPicture(mode, form, form.source, form.target, kKeyGreen);
            FAIL() << "mode " << mode << " accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::InvalidArgument);
        }
    }
    EXPECT_EQ(raster.Shown(form.target), Image(6, 2, form.target.backColor));
}

class BlitPictureFailedCreation : public BlitPictureTest, public testing::WithParamInterface<int> {};

TEST_P(BlitPictureFailedCreation, IsSilentAndLeaksNothing) {
    raster.FailCreation(static_cast<std::size_t>(GetParam()));
    EXPECT_NO_THROW(BlitPicture(kBlitTransparent, form, form.source, form.target, kKeyGreen));
    EXPECT_EQ(raster.LiveObjects(), 0u);
    EXPECT_TRUE(form.target.visible);
}

// Transparent painting makes four contexts and four bitmaps.
INSTANTIATE_TEST_SUITE_P(EachCreation, BlitPictureFailedCreation, testing::Range(0, 8));

TEST(PaintedFormLifetime, ANewFormStartsFromItsOwnBackdrop) {
    HeadlessRuntime runtime;
    MemoryRaster raster;
    for (int round = 0; round < 2; ++round) {
        Canvas form(runtime, raster);
        EXPECT_EQ(raster.Shown(form.target), Image(6, 2, form.target.backColor)) << "round " << round;
        BlitPicture(kBlitOpaque, form, form.source, form.target, kKeyGreen);
    }
}

// The graphics rules the painting relies on.
struct RopCase {
    const char* name;
    bool srcMono, destMono;
    Color src, srcBack, dest, destBack;
    std::uint32_t rop;
    Color expected;
};

void PrintTo(const RopCase& c, std::ostream* os) { *os << c.name; }

class MemoryRasterRop : public testing::TestWithParam<RopCase> {};

TEST_P(MemoryRasterRop, CombinesOnePixel) {
    const RopCase& c = GetParam();
    MemoryRaster raster;
    const Hdc src = raster.CreateCompatibleDC(0);
    const Hdc dest = raster.CreateCompatibleDC(0);
    const HGdiObj srcBitmap = raster.CreateBitmap(1, 1, 1, c.srcMono ? 1 : 24);
    const HGdiObj destBitmap = raster.CreateBitmap(1, 1, 1, c.destMono ? 1 : 24);
    raster.SelectObject(src, srcBitmap);
    raster.SelectObject(dest, destBitmap);
    raster.BitmapPixels(srcBitmap)->Set(0, 0, c.src);
    raster.BitmapPixels(destBitmap)->Set(0, 0, c.dest);
    raster.SetBkColor(src, c.srcBack);
    raster.SetBkColor(dest, c.destBack);

    EXPECT_TRUE(raster.BitBlt(dest, 0, 0, 1, 1, src, 0, 0, c.rop));
    EXPECT_EQ(raster.BitmapPixels(destBitmap)->At(0, 0), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pixels, MemoryRasterRop,
    testing::Values(
        RopCase{"ColourToMonoMatchingBack", false, true, kKeyGreen, kKeyGreen, 0, kWhite, kSrcCopy, 1},
        RopCase{"ColourToMonoOtherColour", false, true, Rgb(0, 254, 0), kKeyGreen, 1, kWhite, kSrcCopy, 0},
        RopCase{"MonoOneToColourIsDestBack", true, false, 1, kWhite, kRed, Rgb(9, 9, 9), kSrcCopy, Rgb(9, 9, 9)},
        RopCase{"MonoZeroToColourIsBlack", true, false, 0, kWhite, kRed, kWhite, kSrcCopy, kBlack},
        RopCase{"MonoInverse", true, true, 1, kWhite, 1, kWhite, kNotSrcCopy, 0},
        RopCase{"ColourAnd", false, false, Rgb(0xF0, 0x0F, 0xFF), kWhite, Rgb(0x3C, 0x3C, 0x3C), kWhite, kSrcAnd,
                Rgb(0x30, 0x0C, 0x3C)},
        RopCase{"ColourXor", false, false, Rgb(0xF0, 0x0F, 0xFF), kWhite, Rgb(0x3C, 0x3C, 0x3C), kWhite,
                kSrcInvert, Rgb(0xCC, 0x33, 0xC3)},
        RopCase{"ColourInverseStays24Bit", false, false, Rgb(1, 2, 3), kWhite, 0, kWhite, kNotSrcCopy,
                Rgb(254, 253, 252)}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(MemoryRasterObjects, KeepsTheClassicSelectionRules) {
    MemoryRaster raster;
    const Hdc dc = raster.CreateCompatibleDC(0);
    const Hdc other = raster.CreateCompatibleDC(0);
    // A fresh memory context holds a monochrome bitmap, so this one is too.
    const HGdiObj bitmap = raster.CreateCompatibleBitmap(dc, 2, 2);
    raster.BitmapPixels(bitmap)->Set(0, 0, 1);
    const HGdiObj stock = raster.SelectObject(dc, bitmap);
    ASSERT_NE(stock, 0u);
    EXPECT_EQ(raster.SelectObject(other, bitmap), 0u) << "a bitmap lives in one context at a time";
    EXPECT_FALSE(raster.DeleteObject(bitmap)) << "a selected bitmap cannot be deleted";
    EXPECT_EQ(raster.SelectObject(dc, stock), bitmap);
    EXPECT_TRUE(raster.DeleteObject(bitmap));
    EXPECT_TRUE(raster.DeleteDC(dc));
    EXPECT_TRUE(raster.DeleteDC(other));
    EXPECT_EQ(raster.LiveObjects(), 0u);
}

TEST(MemoryRasterObjects, CompatibleBitmapFollowsTheSelectedBitmap) {
    MemoryRaster raster;
    const Hdc colourDC = raster.CreateCompatibleDC(0);
    const HGdiObj colour = raster.CreateBitmap(1, 1, 1, 24);
    raster.SelectObject(colourDC, colour);
    raster.BitmapPixels(colour)->Set(0, 0, kRed);
    const HGdiObj fromFresh = raster.CreateCompatibleBitmap(raster.CreateCompatibleDC(0), 1, 1);
    const HGdiObj fromColour = raster.CreateCompatibleBitmap(colourDC, 1, 1);

    // Red copied in: a monochrome bitmap can only say "not the background".
    const Hdc dest = raster.CreateCompatibleDC(0);
    for (auto [bitmap, expected] : {std::pair{fromFresh, kBlack}, std::pair{fromColour, kRed}}) {
        const HGdiObj stock = raster.SelectObject(dest, bitmap);
        raster.BitBlt(dest, 0, 0, 1, 1, colourDC, 0, 0, kSrcCopy);
        EXPECT_EQ(raster.BitmapPixels(bitmap)->At(0, 0), expected);
        raster.SelectObject(dest, stock);
    }
}

}  // namespace
}  // namespace bm::ui
