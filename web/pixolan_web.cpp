// SPDX-License-Identifier: MIT
// The browser page's way into the core: a few C functions over the viewport,
// the probe and the Encode run the desktop programs use. Strings go out as
// pointers into this module's memory, valid until the next call. The page
// decodes pictures itself and hands over only the stored pixels the
// placement reads, a band of rows at a time, to the decoders' reducer.

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "encoder/firmware_header.h"
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

// What one header may hold: each picture's values are kept until the
// header is written, in memory that does not grow.
constexpr int kMostPictures = 16;
// A placed read's reducer and one band of rows; more would crowd the header out.
constexpr std::int64_t kPlacingBytes = std::int64_t{8} * 1024 * 1024;
constexpr std::int64_t kBandBytes = 1024 * 1024;

struct Page {
  Viewport viewport;
  Viewport staging;  // each picture of several, placed in turn for its array
  PictureSize size = PictureSize::Actual;
  Orientation orientation;           // the window's turns and flips, kept across pictures
  PlacedRead placed;                 // the read under way
  Viewport* placing = nullptr;       // where it goes
  CommandLine command;               // the last Encode's options
  std::vector<NamedArray> arrays;    // several pictures' values, in the header's order
  std::vector<std::uint8_t> buffer;  // bytes the page writes in: a file's head, a region or rows as RGBA
  std::vector<std::uint8_t> shown;   // the drawing area as RGBA
  std::string text;                  // the last string handed out
  std::string header;                // the last Encode's header
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

EncodeSettings Settings(int depth_option, int remove, const char* key, int dither) {
  return {DepthAtOption(depth_option), remove != 0, key, kDitherModes[dither].mode};
}

// Arguments one to a line, as pixolan-encode would be given them.
std::vector<std::string> Lines(const char* text) {
  std::vector<std::string> lines;
  for (std::string_view rest = text; !rest.empty();) {
    const std::size_t end = rest.find('\n');
    lines.emplace_back(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  return lines;
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

/// Picture Size as the window's menu orders it: 0 Actual Pixels, 1 Fit, 2 Fill.
EMSCRIPTEN_KEEPALIVE void PixolanSetPictureSize(int size) {
  ThePage().size = size == 1 ? PictureSize::Fit : size == 2 ? PictureSize::Fill : PictureSize::Actual;
}

/// Rotate Left, Rotate Right, Flip Horizontally, Flip Vertically (0 to 3), after the turns before.
EMSCRIPTEN_KEEPALIVE void PixolanTurn(int which) {
  Orientation& o = ThePage().orientation;
  o = which == 0   ? o.RotatedClockwise(270)
      : which == 1 ? o.RotatedClockwise(90)
      : which == 2 ? o.FlippedHorizontally()
                   : o.FlippedVertically();
}

/// Starts placing a stored width x height picture into the viewport (into 0)
/// or the next of several pictures (1), as the window places a loaded file.
/// Returns why it cannot be placed, in the desktop's words, or what to hand
/// over, as "scaled x y width height band": the stored pixels to read.
/// Scaled, they come as bands of at most band rows (PixolanPlaceRows); else
/// all at once; then PixolanPlaceFinish.
EMSCRIPTEN_KEEPALIVE const char* PixolanPlaceBegin(int width, int height, int into, const char* name) {
  Page& page = ThePage();
  page.placing = into ? &page.staging : &page.viewport;
  page.staging.SetOuterWidth(page.viewport.OuterWidth());
  Placement placement;
  placement.size = page.size;
  placement.orientation = page.orientation;
  if (placement.size != PictureSize::Actual) {
    placement.area_width = page.viewport.DrawingWidth();
    placement.area_height = page.viewport.DrawingHeight();
  }
  page.placed = PlacedRead();
  if (std::string refusal = PlanPlacement(placement, Region{}, width, height, {}, page.placed.plan); !refusal.empty())
    return Hand(CouldNotLoad(name, refusal));
  const PlacementPlan& plan = page.placed.plan;
  const Region read = ClipRegion(plan.stored_source, width, height);
  const std::int64_t row_bytes = std::int64_t{read.width} * 4;
  const std::int64_t band = std::max<std::int64_t>(1, kBandBytes / std::max<std::int64_t>(row_bytes, 1));
  if (plan.scaled) {
    const std::int64_t bytes = page.placed.BytesNeeded(read.width) + band * row_bytes;
    if (bytes > kPlacingBytes) {
      const DecodeLimits limits{kPlacingBytes};
      return Hand(CouldNotLoad(name, TooLarge(width, height, bytes, limits)));
    }
    page.placed.Start(read, read.width, read.height);
  }
  return Hand(std::to_string(plan.scaled) + " " + std::to_string(read.x) + " " + std::to_string(read.y) + " " +
              std::to_string(read.width) + " " + std::to_string(read.height) + " " + std::to_string(band));
}

/// The buffer's rows first to first + count of the read, straight RGBA, to the reducer.
EMSCRIPTEN_KEEPALIVE void PixolanPlaceRows(int first, int count) {
  Page& page = ThePage();
  const std::size_t row_bytes = page.placed.row.size();
  for (int i = 0; i < count; ++i) page.placed.reducer->AddRow(first + i, page.buffer.data() + i * row_bytes);
}

/// The placed picture, composited over the background as every decoder's
/// pixels are, becomes the viewport's (or the next array's); unscaled, from
/// the buffer's straight RGBA of the whole read.
EMSCRIPTEN_KEEPALIVE void PixolanPlaceFinish(int width, int height) {
  Page& page = ThePage();
  RgbaPixels pixels;
  if (!page.placed.reducer) pixels = {width, height, std::move(page.buffer)};
  const DecodeOutcome outcome = page.placed.Finish(std::move(pixels));
  page.placing->SetPicture(Composite(outcome.pixels, page.viewport.GetBackground()));
  page.placed = PlacedRead();
  page.buffer.clear();
  page.buffer.shrink_to_fit();
}

EMSCRIPTEN_KEEPALIVE void PixolanSetResolution(int option) {
  ThePage().viewport.SetOuterWidth(kResolutions[option == 0 ? 0 : 1].outer_width);
}

EMSCRIPTEN_KEEPALIVE int PixolanDrawingWidth() { return ThePage().viewport.DrawingWidth(); }
EMSCRIPTEN_KEEPALIVE int PixolanDrawingHeight() { return ThePage().viewport.DrawingHeight(); }

/// The drawing area as RGBA, as loaded or (preview) as the display shows it encoded.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* PixolanRender(int preview, int depth_option, int remove, const char* key,
                                                       int dither) {
  Page& page = ThePage();
  const EncodeSettings settings = Settings(depth_option, remove, key, dither);
  const int width = page.viewport.DrawingWidth(), height = page.viewport.DrawingHeight();
  page.shown.resize(static_cast<std::size_t>(width) * height * 4);
  std::uint8_t* out = page.shown.data();
  const PackedArea packed = preview ? PackDrawingArea(page.viewport, settings.depth, settings.dither) : PackedArea{};
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column) {
      const ColorValue c =
          preview ? EncodedLook(settings, packed.At(column, row)) : page.viewport.VisibleColor(column, row);
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
  const ColorValue c =
      viewport.Sample(static_cast<float>(column * kTwipsPerPixel), static_cast<float>(row * kTwipsPerPixel));
  const ProbeReadout r = ReadColor(c, viewport.GetBackground());
  const std::string swatch = HexText(0x1000000 | RedOf(r.swatch) << 16 | GreenOf(r.swatch) << 8 | BlueOf(r.swatch));
  return Hand(r.red + "\n" + r.green + "\n" + r.blue + "\n" + r.value + "\n" + swatch.substr(1) + "\n" +
              PackedHint(DepthAtOption(depth_option), c));
}

/// The key that leaves out the pixel at (column, row) at the depth.
EMSCRIPTEN_KEEPALIVE const char* PixolanKeyAt(int column, int row, int depth_option) {
  const ColorValue c =
      ThePage().viewport.Sample(static_cast<float>(column * kTwipsPerPixel), static_cast<float>(row * kTwipsPerPixel));
  return Hand(HexText(PackColor(DepthAtOption(depth_option), c)));
}

/// Reads an Encode's options, pixolan-encode's arguments one to a line
/// (the pictures' names among them); "" or why they do not go together.
/// Several pictures' arrays are then added one by one before PixolanEncode.
EMSCRIPTEN_KEEPALIVE const char* PixolanConfigure(const char* arguments) {
  Page& page = ThePage();
  ParsedCommandLine parsed = ParseCommandLine(Lines(arguments));
  page.arrays.clear();
  if (parsed.error.empty() && parsed.command_line.pictures.size() > kMostPictures)
    parsed.error = "a header made here holds at most " + std::to_string(kMostPictures) + " pictures";
  page.command = std::move(parsed.command_line);
  return Hand(parsed.error);
}

/// The picture placed last (into 1) is the next of several arrays.
EMSCRIPTEN_KEEPALIVE void PixolanAddArray() {
  Page& page = ThePage();
  const CommandLine& cl = page.command;
  page.arrays.push_back({cl.names[page.arrays.size()], PackedArray(page.staging, cl.settings, cl.header)});
}

/// One Encode run with the options read last; the text stays in memory for
/// PixolanHeader. Progress and the completion message go to the page as the
/// run reports them. A firmware header is written as pixolan-encode writes it.
EMSCRIPTEN_KEEPALIVE int PixolanEncode() {
  Page& page = ThePage();
  const CommandLine& cl = page.command;
  PageRunHost host;
  if (FirmwareForm(cl)) {
    if (page.arrays.empty()) page.arrays.push_back({cl.names[0], PackedArray(page.viewport, cl.settings, cl.header)});
    page.header = FormatFirmware(page.arrays, page.viewport, cl.settings, cl.header, cl.output).header;
    page.arrays.clear();
    host.SetProgressMaximum(static_cast<int>(page.viewport.OuterWidth()));
    host.SetProgressValue(host.ProgressMaximum());
    host.ShowMessage(GeneratedText(cl.output), kGeneratedTitle, MessageIcon::Exclamation);
    return 1;
  }
  const EncodeJob job{cl.settings, cl.header, cl.output, [&page](std::string_view text) {
                        page.header.assign(text);
                        return SaveResult{};
                      }};
  return HeaderEncoder().Run(page.viewport, job, host) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const char* PixolanHeader() { return ThePage().header.data(); }
EMSCRIPTEN_KEEPALIVE int PixolanHeaderSize() { return static_cast<int>(ThePage().header.size()); }

/// Texts the window shows, by name: "title", "about-title", "about", "failed-title", "load-failed-title".
EMSCRIPTEN_KEEPALIVE const char* PixolanText(const char* which) {
  const std::string name = which;
  if (name == "failed-title") return kFailedTitle;
  if (name == "title") return kWindowTitle;
  if (name == "about-title") return kAboutTitle;
  if (name == "about") return kAboutText;
  return kLoadFailedTitle;
}

}  // extern "C"
