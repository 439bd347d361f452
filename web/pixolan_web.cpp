// SPDX-License-Identifier: MIT
// The browser page's way into the core: a few C functions over the viewport,
// the probe and the Encode run the desktop programs use. Strings go out as
// pointers into this module's memory, valid until the next call; the page
// decodes pictures itself and hands over only the region the viewport shows.

#include <emscripten/emscripten.h>

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/header_encoder.h"
#include "picture/decoder.h"
#include "picture/picture_head.h"
#include "resources/sample_picture.h"
#include "ui/color_probe.h"
#include "ui/window_text.h"

namespace pixolan {
namespace {

// The page's functions, called while a run goes on.
EM_JS(void, ShowProgress, (int value, int maximum), { Module.onProgress(value, maximum); });
EM_JS(void, ShowRunMessage, (const char* text, const char* title, int icon),
      { Module.onMessage(UTF8ToString(text), UTF8ToString(title), icon); });

struct Page {
  Viewport viewport;
  std::vector<std::uint8_t> buffer;  // bytes the page writes in: a file's head or a region's RGBA
  std::vector<std::uint8_t> shown;   // the drawing area as RGBA
  std::string text;                  // the last string handed out
  std::string header;                // the last Encode's image.h
};

Page& ThePage() {
  static Page page = [] {
    Page p;
    p.viewport.SetPicture(SamplePicture());
    return p;
  }();
  return page;
}

const char* Hand(std::string text) {
  ThePage().text = std::move(text);
  return ThePage().text.c_str();
}

class PageRunHost : public RunHost {
 public:
  void SetProgressValue(int value) override { ShowProgress(value_ = value, maximum_); }
  void SetProgressMaximum(int maximum) override { ShowProgress(value_, maximum_ = maximum); }
  int ProgressMaximum() const override { return maximum_; }
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
    ShowRunMessage(text.c_str(), title.c_str(), static_cast<int>(icon));
  }

 private:
  int value_ = 0;
  int maximum_ = 100;
};

EncodeSettings Settings(int depth_option, int remove, const char* key) {
  return {DepthAtOption(depth_option), remove != 0, key};
}

}  // namespace
}  // namespace pixolan

using namespace pixolan;

extern "C" {

/// Room for bytes the page writes in before the next call.
EMSCRIPTEN_KEEPALIVE std::uint8_t* PixolanBuffer(int bytes) {
  ThePage().buffer.assign(static_cast<std::size_t>(bytes), 0);
  return ThePage().buffer.data();
}

EMSCRIPTEN_KEEPALIVE std::uint8_t* PixolanBufferData() { return ThePage().buffer.data(); }

/// The desktop's words for a picture that could not be loaded.
EMSCRIPTEN_KEEPALIVE const char* PixolanLoadFailure(const char* name, const char* reason) {
  return Hand(CouldNotLoad(name, reason));
}

/// With a file's first bytes in the buffer: the refusal for a picture too
/// large to decode (the browser holds it whole, as RGBA), else "". Clears a
/// JPEG's Exif orientation in the buffer; the page copies the head back.
EMSCRIPTEN_KEEPALIVE const char* PixolanCheckHead(const char* name) {
  std::vector<std::uint8_t>& head = ThePage().buffer;
  ClearExifOrientation(head);
  const std::optional<ClaimedSize> size = SizeClaimedBy(Bytes(head.data(), head.size()));
  const DecodeLimits limits;
  if (size && size->width * size->height * 4 > limits.max_bytes)
    return Hand(CouldNotLoad(name, TooLarge(size->width, size->height, size->width * size->height * 4, limits)));
  return Hand("");
}

/// The region to read back: what the widest drawing area can show.
EMSCRIPTEN_KEEPALIVE int PixolanRegionWidth() { return Region{}.width; }
EMSCRIPTEN_KEEPALIVE int PixolanRegionHeight() { return Region{}.height; }

/// The buffer's straight RGBA, width x height, composited over the
/// background as every decoder's pixels are, becomes the picture.
EMSCRIPTEN_KEEPALIVE void PixolanSetPicture(int width, int height) {
  Page& page = ThePage();
  RgbaPixels pixels{width, height, std::move(page.buffer)};
  page.viewport.SetPicture(Composite(pixels, page.viewport.GetBackground()));
  page.buffer.clear();
}

EMSCRIPTEN_KEEPALIVE void PixolanSetResolution(int option) {
  ThePage().viewport.SetOuterWidth(kResolutions[option == 0 ? 0 : 1].outer_width);
}

EMSCRIPTEN_KEEPALIVE int PixolanDrawingWidth() { return ThePage().viewport.DrawingWidth(); }
EMSCRIPTEN_KEEPALIVE int PixolanDrawingHeight() { return ThePage().viewport.DrawingHeight(); }

/// The drawing area as RGBA, as loaded or (preview) as the display shows it encoded.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* PixolanRender(int preview, int depth_option, int remove, const char* key) {
  Page& page = ThePage();
  const EncodeSettings settings = Settings(depth_option, remove, key);
  const int width = page.viewport.DrawingWidth(), height = page.viewport.DrawingHeight();
  page.shown.resize(static_cast<std::size_t>(width) * height * 4);
  std::uint8_t* out = page.shown.data();
  const PackedArea packed = preview ? PackDrawingArea(page.viewport, settings.depth, settings.dither) : PackedArea{};
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column) {
      const ColorValue c = preview ? EncodedLook(settings, packed.At(column, row)) : page.viewport.VisibleColor(column, row);
      *out++ = static_cast<std::uint8_t>(RedOf(c));
      *out++ = static_cast<std::uint8_t>(GreenOf(c));
      *out++ = static_cast<std::uint8_t>(BlueOf(c));
      *out++ = 255;
    }
  return page.shown.data();
}

/// The probe at drawing-area pixel (column, row): R, G, B, hex value, swatch
/// (RRGGBB for CSS) and the key tooltip, one per line.
EMSCRIPTEN_KEEPALIVE const char* PixolanProbe(int column, int row, int depth_option) {
  const Viewport& viewport = ThePage().viewport;
  const ColorValue c = viewport.Sample(static_cast<float>(column * kTwipsPerPixel),
                                       static_cast<float>(row * kTwipsPerPixel));
  const ProbeReadout r = ReadColor(c, viewport.GetBackground());
  const std::string swatch = HexText(0x1000000 | RedOf(r.swatch) << 16 | GreenOf(r.swatch) << 8 | BlueOf(r.swatch));
  return Hand(r.red + "\n" + r.green + "\n" + r.blue + "\n" + r.value + "\n" + swatch.substr(1) + "\n" +
              PackedHint(DepthAtOption(depth_option), c));
}

/// The key that leaves out the pixel at (column, row) at the depth.
EMSCRIPTEN_KEEPALIVE const char* PixolanKeyAt(int column, int row, int depth_option) {
  const ColorValue c = ThePage().viewport.Sample(static_cast<float>(column * kTwipsPerPixel),
                                                 static_cast<float>(row * kTwipsPerPixel));
  return Hand(HexText(PackColor(DepthAtOption(depth_option), c)));
}

/// One Encode run; the text stays in memory for PixolanHeader. Progress and
/// the completion message go to the page as the run reports them.
EMSCRIPTEN_KEEPALIVE int PixolanEncode(int depth_option, int remove, const char* key) {
  Page& page = ThePage();
  const EncodeJob job{Settings(depth_option, remove, key), {}, "image.h", [&page](std::string_view text) {
                        page.header.assign(text);
                        return SaveResult{};
                      }};
  PageRunHost host;
  return HeaderEncoder().Run(page.viewport, job, host) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const char* PixolanHeader() { return ThePage().header.data(); }
EMSCRIPTEN_KEEPALIVE int PixolanHeaderSize() { return static_cast<int>(ThePage().header.size()); }

/// Texts the window shows, by name: "title", "about-title", "about", "load-failed-title".
EMSCRIPTEN_KEEPALIVE const char* PixolanText(const char* which) {
  const std::string name = which;
  if (name == "title") return kWindowTitle;
  if (name == "about-title") return kAboutTitle;
  if (name == "about") return kAboutText;
  return kLoadFailedTitle;
}

}  // extern "C"
