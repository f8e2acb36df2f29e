#include "platform/portable/memory_raster.h"

#include <algorithm>

#include "core/convert.h"

namespace bm::portable {

using ui::Color;
using ui::Hdc;
using ui::HGdiObj;
using ui::Image;

namespace {

// The 1 x 1 monochrome bitmap every fresh memory context holds; it is
// shared, never made and never deleted.
constexpr HGdiObj kStockBitmap = 0x10;

std::int32_t Pixels(float twips, float twipsPerPixel) {
    return round_to_long(static_cast<double>(twips) / static_cast<double>(twipsPerPixel));
}

void Draw(Image& onto, const Image& picture, std::int32_t left, std::int32_t top) {
    for (std::int32_t y = 0; y < picture.Height(); ++y) {
        for (std::int32_t x = 0; x < picture.Width(); ++x) {
            if (onto.Contains(left + x, top + y)) onto.Set(left + x, top + y, picture.At(x, y));
        }
    }
}

bool KnownRop(std::uint32_t rop) {
    return rop == ui::kSrcCopy || rop == ui::kNotSrcCopy || rop == ui::kSrcAnd || rop == ui::kSrcInvert;
}

Color Apply(std::uint32_t rop, Color dest, Color src) {
    switch (rop) {
        case ui::kSrcCopy: return src;
        case ui::kNotSrcCopy: return ~src;
        case ui::kSrcAnd: return dest & src;
        default: return dest ^ src;  // kSrcInvert
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Windows

Image MemoryRaster::fresh(const ui::PictureBox& box) const {
    ui::FormsRuntime& screen = box.Parent().Runtime();
    Image image(Pixels(box.place.width, screen.TwipsPerPixelX()), Pixels(box.place.height, screen.TwipsPerPixelY()),
                box.backColor);
    Draw(image, box.picture, 0, 0);
    return image;
}

Image MemoryRaster::fresh(const ui::PaintedForm& form) const {
    ui::FormsRuntime& screen = form.Runtime();
    Image image(Pixels(form.ClientWidth(), screen.TwipsPerPixelX()),
                Pixels(form.ClientHeight(), screen.TwipsPerPixelY()), form.backColor);
    Draw(image, form.picture, 0, 0);
    return image;
}

MemoryRaster::FormState& MemoryRaster::state(ui::PaintedForm& form) {
    auto [it, added] = forms_.try_emplace(&form);
    if (added) it->second.layer = fresh(form);
    return it->second;
}

MemoryRaster::BoxState& MemoryRaster::state(ui::PictureBox& box) {
    auto [it, added] = boxes_.try_emplace(&box);
    if (added) {
        it->second.form = &box.Parent();
        it->second.surface = fresh(box);
    }
    return it->second;
}

Hdc MemoryRaster::WindowDC(ui::PaintedForm& form) {
    FormState& s = state(form);
    if (s.dc == 0) {
        s.dc = nextHandle_++;
        contexts_[s.dc] = Context{DcKind::kForm, 0, &form, nullptr, ui::kWhite};
    }
    return s.dc;
}

Hdc MemoryRaster::WindowDC(ui::PictureBox& box) {
    BoxState& s = state(box);
    if (s.dc == 0) {
        s.dc = nextHandle_++;
        contexts_[s.dc] = Context{DcKind::kBox, 0, nullptr, &box, ui::kWhite};
    }
    return s.dc;
}

void MemoryRaster::SetDrawing(ui::PaintedForm& form, ui::ScaleMode scale, bool persistent) {
    form.scaleMode = scale;
    form.persistent = persistent;
}

void MemoryRaster::SetDrawing(ui::PictureBox& box, ui::ScaleMode scale, bool persistent) {
    if (persistent && !box.persistent) state(box).surface = fresh(box);
    box.scaleMode = scale;
    box.persistent = persistent;
}

void MemoryRaster::SetVisible(ui::PictureBox& box, bool visible) {
    if (box.visible && !visible) {
        // What the box showed stays on the screen until the form repaints.
        ui::FormsRuntime& screen = box.Parent().Runtime();
        Draw(state(box.Parent()).layer, state(box).surface, Pixels(box.place.left, screen.TwipsPerPixelX()),
             Pixels(box.place.top, screen.TwipsPerPixelY()));
    }
    box.visible = visible;
}

void MemoryRaster::Refresh(ui::PaintedForm& form) {
    if (!form.persistent) state(form).layer = fresh(form);
}

void MemoryRaster::Refresh(ui::PictureBox& box) {
    if (!box.persistent) state(box).surface = fresh(box);
}

void MemoryRaster::Release(const ui::PaintedForm& form) {
    forms_.erase(&form);
    std::erase_if(boxes_, [&](const auto& entry) { return entry.second.form == &form; });
    std::erase_if(contexts_, [&](const auto& entry) {
        const Context& c = entry.second;
        return (c.kind == DcKind::kForm && c.form == &form) ||
               (c.kind == DcKind::kBox && !boxes_.count(c.box));
    });
}

Image MemoryRaster::Shown(ui::PictureBox& box) { return state(box).surface; }

Image MemoryRaster::Shown(ui::PaintedForm& form) {
    Image screen = state(form).layer;
    ui::FormsRuntime& runtime = form.Runtime();
    for (ui::PictureBox* box : form.Pictures()) {
        if (!box->visible) continue;
        Draw(screen, state(*box).surface, Pixels(box->place.left, runtime.TwipsPerPixelX()),
             Pixels(box->place.top, runtime.TwipsPerPixelY()));
    }
    return screen;
}

// ---------------------------------------------------------------------------
// Device contexts and bitmaps

std::size_t MemoryRaster::LiveObjects() const {
    const auto memory = std::count_if(contexts_.begin(), contexts_.end(),
                                      [](const auto& entry) { return entry.second.kind == DcKind::kMemory; });
    return static_cast<std::size_t>(memory) + bitmaps_.size();
}

Color MemoryRaster::BkColor(Hdc dc) const {
    const auto it = contexts_.find(dc);
    return it == contexts_.end() ? ui::kWhite : it->second.back;
}

Image* MemoryRaster::BitmapPixels(HGdiObj bitmap) {
    const auto it = bitmaps_.find(bitmap);
    return it == bitmaps_.end() ? nullptr : &it->second.pixels;
}

bool MemoryRaster::failNext() {
    const bool fail = failAt_ && *failAt_ == created_;
    ++created_;
    return fail;
}

HGdiObj MemoryRaster::addBitmap(std::int32_t width, std::int32_t height, bool mono) {
    if (width <= 0 || height <= 0) return 0;
    const HGdiObj handle = nextHandle_++;
    bitmaps_[handle] = Bitmap{Image(width, height, mono ? 0 : ui::kBlack), mono, 0};
    return handle;
}

Hdc MemoryRaster::CreateCompatibleDC(Hdc dc) {
    if (failNext()) return 0;
    if (dc != 0 && !contexts_.count(dc)) return 0;
    const Hdc handle = nextHandle_++;
    contexts_[handle] = Context{DcKind::kMemory, kStockBitmap, nullptr, nullptr, ui::kWhite};
    return handle;
}

HGdiObj MemoryRaster::CreateCompatibleBitmap(Hdc dc, std::int32_t width, std::int32_t height) {
    if (failNext()) return 0;
    const auto it = contexts_.find(dc);
    if (it == contexts_.end()) return 0;
    const Context& c = it->second;
    const bool mono = c.kind == DcKind::kMemory && (c.bitmap == kStockBitmap || bitmaps_.at(c.bitmap).mono);
    return addBitmap(width, height, mono);
}

HGdiObj MemoryRaster::CreateBitmap(std::int32_t width, std::int32_t height, std::uint32_t planes,
                                   std::uint32_t bitsPerPixel) {
    if (failNext()) return 0;
    if (planes != 1) return 0;
    if (bitsPerPixel == 1) return addBitmap(width, height, true);
    if (bitsPerPixel == 24 || bitsPerPixel == 32) return addBitmap(width, height, false);
    return 0;
}

HGdiObj MemoryRaster::SelectObject(Hdc dc, HGdiObj object) {
    const auto it = contexts_.find(dc);
    if (it == contexts_.end() || it->second.kind != DcKind::kMemory) return 0;
    Context& c = it->second;
    if (object != kStockBitmap) {
        const auto bm = bitmaps_.find(object);
        if (bm == bitmaps_.end()) return 0;
        if (bm->second.selectedInto != 0 && bm->second.selectedInto != dc) return 0;
        bm->second.selectedInto = dc;
    }
    const HGdiObj previous = c.bitmap;
    if (previous != kStockBitmap && previous != object) bitmaps_.at(previous).selectedInto = 0;
    c.bitmap = object;
    return previous;
}

Color MemoryRaster::SetBkColor(Hdc dc, Color color) {
    const auto it = contexts_.find(dc);
    if (it == contexts_.end()) return 0xFFFFFFFF;  // CLR_INVALID
    const Color previous = it->second.back;
    it->second.back = color;
    return previous;
}

std::optional<Image> MemoryRaster::readable(const Context& c, bool& mono) {
    mono = false;
    switch (c.kind) {
        case DcKind::kMemory:
            if (c.bitmap == kStockBitmap) {
                mono = true;
                return Image(1, 1, 0);
            }
            mono = bitmaps_.at(c.bitmap).mono;
            return bitmaps_.at(c.bitmap).pixels;
        case DcKind::kForm: return Shown(*c.form);
        case DcKind::kBox: {
            const Image& surface = state(*c.box).surface;
            if (c.box->persistent || c.box->visible) return surface;
            return Image(surface.Width(), surface.Height(), ui::kBlack);
        }
    }
    return std::nullopt;
}

Image* MemoryRaster::writable(const Context& c, bool& mono) {
    mono = false;
    switch (c.kind) {
        case DcKind::kMemory:
            if (c.bitmap == kStockBitmap) return nullptr;
            mono = bitmaps_.at(c.bitmap).mono;
            return &bitmaps_.at(c.bitmap).pixels;
        case DcKind::kForm: return &state(*c.form).layer;
        case DcKind::kBox:
            if (c.box->persistent || c.box->visible) return &state(*c.box).surface;
            return nullptr;
    }
    return nullptr;
}

bool MemoryRaster::BitBlt(Hdc dest, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Hdc src,
                          std::int32_t srcX, std::int32_t srcY, std::uint32_t rop) {
    const auto d = contexts_.find(dest);
    const auto s = contexts_.find(src);
    if (d == contexts_.end() || s == contexts_.end() || !KnownRop(rop)) return false;
    bool srcMono = false, destMono = false;
    const std::optional<Image> from = readable(s->second, srcMono);
    Image* to = writable(d->second, destMono);
    if (!from || !to) return true;  // drawn where nothing keeps it
    const Color mask = destMono ? 1 : 0x00FFFFFF;
    for (std::int32_t j = 0; j < height; ++j) {
        for (std::int32_t i = 0; i < width; ++i) {
            if (!from->Contains(srcX + i, srcY + j) || !to->Contains(x + i, y + j)) continue;
            Color pixel = from->At(srcX + i, srcY + j);
            if (srcMono && !destMono) pixel = pixel ? d->second.back : ui::kBlack;
            if (!srcMono && destMono) pixel = pixel == s->second.back ? 1 : 0;
            to->Set(x + i, y + j, Apply(rop, to->At(x + i, y + j), pixel) & mask);
        }
    }
    return true;
}

bool MemoryRaster::DeleteObject(HGdiObj object) {
    if (object == kStockBitmap) return true;
    const auto it = bitmaps_.find(object);
    if (it == bitmaps_.end() || it->second.selectedInto != 0) return false;
    bitmaps_.erase(it);
    return true;
}

bool MemoryRaster::DeleteDC(Hdc dc) {
    const auto it = contexts_.find(dc);
    if (it == contexts_.end() || it->second.kind != DcKind::kMemory) return false;
    if (it->second.bitmap != kStockBitmap) bitmaps_.at(it->second.bitmap).selectedInto = 0;
    contexts_.erase(it);
    return true;
}

}  // namespace bm::portable
