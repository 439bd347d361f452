#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>

#include "decoder_reference.h"
#include "picture_image.h"

namespace pixolan {
namespace {

using test::Difference;
using test::kTestBackground;

struct Frame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  int transparent = -1;
  int local_colors = 0;  // a local colour table of this size instead of the global one
};

struct Screen {
  int width = 0, height = 0;
  int background = 0;
  int global_colors = 256;  // 0: none
};

// Index of frame pixel (x, y), and colour of index i in the global table
// and, reversed, in local ones.
int IndexAt(int x, int y, int colors) { return (x * 7 + y * 3) % colors; }
GifColorType ColorOf(int i) {
  return {static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i), static_cast<GifByteType>(i * 5)};
}

ColorMapObject* MakeMap(int colors, bool local) {
  std::vector<GifColorType> table(static_cast<std::size_t>(colors));
  for (int i = 0; i < colors; ++i) table[static_cast<std::size_t>(i)] = ColorOf(local ? 255 - i : i);
  return GifMakeMapObject(colors, table.data());
}

int Append(GifFileType* gif, const GifByteType* data, int size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + size);
  return size;
}

// A GIF of one frame written with giflib's encoder.
std::vector<std::uint8_t> MakeGif(const Screen& screen, const Frame& frame) {
  std::vector<std::uint8_t> bytes;
  int error = 0;
  GifFileType* gif = EGifOpen(&bytes, Append, &error);
  EGifSetGifVersion(gif, true);
  ColorMapObject* global = screen.global_colors ? MakeMap(screen.global_colors, false) : nullptr;
  EGifPutScreenDesc(gif, screen.width, screen.height, 8, screen.background, global);
  if (frame.transparent >= 0) {
    GraphicsControlBlock control{};
    control.TransparentColor = frame.transparent;
    GifByteType block[4];
    EGifGCBToExtension(&control, block);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
  }
  ColorMapObject* local = frame.local_colors ? MakeMap(frame.local_colors, true) : nullptr;
  EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced, local);
  const int colors = frame.local_colors ? frame.local_colors : screen.global_colors;
  std::vector<int> rows;
  if (frame.interlaced) {
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
      for (int y = start; y < frame.height; y += step) rows.push_back(y);
  } else {
    for (int y = 0; y < frame.height; ++y) rows.push_back(y);
  }
  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.width));
  for (const int y : rows) {
    for (int x = 0; x < frame.width; ++x) line[static_cast<std::size_t>(x)] = static_cast<GifPixelType>(IndexAt(x, y, colors));
    EGifPutLine(gif, line.data(), frame.width);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(global);
  GifFreeMapObject(local);
  return bytes;
}

void ExpectSameAsQt(const std::vector<std::uint8_t>& bytes, const std::string& name) {
  const QImage reference = test::QtDecode(bytes);
  ASSERT_FALSE(reference.isNull()) << name;
  for (const Region& region : test::TestRegions()) {
    const DecodeOutcome outcome = DecodeGif(bytes, region, {});
    ASSERT_TRUE(outcome.ok()) << name << ": " << outcome.error;
    EXPECT_EQ(Difference(Composite(outcome.pixels, kTestBackground), PictureFromImage(reference, kTestBackground, region)),
              "")
        << name << " at " << region.x << "," << region.y;
  }
}

TEST(GifFirstFrame, FullScreenFrameMatchesQt) {
  ExpectSameAsQt(MakeGif({300, 200}, {0, 0, 300, 200}), "plain");
  ExpectSameAsQt(MakeGif({300, 200}, {0, 0, 300, 200, true}), "interlaced");
  ExpectSameAsQt(MakeGif({300, 200}, {0, 0, 300, 200, false, 3}), "transparent index 3");
  ExpectSameAsQt(MakeGif({300, 200, 0, 0}, {0, 0, 300, 200, false, -1, 16}), "local table only");
}

TEST(GifFirstFrame, SmallerFrameSitsOnTheScreenAsQtDrawsIt) {
  ExpectSameAsQt(MakeGif({200, 150, 5}, {30, 20, 100, 80}), "background colour around");
  ExpectSameAsQt(MakeGif({200, 150, 5}, {30, 20, 100, 80, false, 3}), "transparent around");
  ExpectSameAsQt(MakeGif({200, 150, 5, 0}, {30, 20, 100, 80, false, -1, 16}), "no global table: black around");
  ExpectSameAsQt(MakeGif({200, 150, 5}, {150, 100, 100, 80}), "frame past the screen's edge");
  ExpectSameAsQt(MakeGif({0, 0, 5}, {10, 10, 100, 80}), "no screen size: the frame's extent");
}

TEST(GifFirstFrame, CanvasColoursAreTheOnesQtChooses) {
  // Index 5 of the global table is (5, 250, 25), index 9 (9, 246, 45). With a
  // local table Qt takes the background from it before reading it (heap
  // contents, so not compared with Qt); the screen's own table is right.
  auto corner = [](const std::vector<std::uint8_t>& bytes) {
    const DecodeOutcome outcome = DecodeGif(bytes, Region{}, {});
    const std::uint8_t* p = outcome.pixels.rgba.data();
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
  };
  EXPECT_EQ(corner(MakeGif({200, 150, 5}, {30, 20, 100, 80})), 0x05FA19FFu);
  EXPECT_EQ(corner(MakeGif({200, 150, 9}, {30, 20, 100, 80, false, -1, 16})), 0x09F62DFFu);
  EXPECT_EQ(corner(MakeGif({200, 150, 5}, {30, 20, 100, 80, false, 3})) & 0xFF, 0u);
  EXPECT_EQ(corner(MakeGif({200, 150, 5, 0}, {30, 20, 100, 80, false, -1, 16})), 0x000000FFu);
}

TEST(GifFirstFrame, CutOffFrameKeepsTheRowsThatArrived) {
  std::vector<std::uint8_t> bytes = MakeGif({300, 200}, {0, 0, 300, 200});
  const QImage whole = test::QtDecode(bytes);
  bytes.resize(bytes.size() / 3);
  const DecodeOutcome outcome = DecodeGif(bytes, Region{}, {});
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  const Picture got = Composite(outcome.pixels, kTestBackground);
  // giflib reads whole 255-byte blocks, so it stops up to a block (a row or
  // two here) before Qt, which decodes every byte that arrived: compare the
  // rows both have, then the untouched black screen below.
  const Picture want = PictureFromImage(whole, kTestBackground, Region{0, 0, 172, 30});
  EXPECT_EQ(Difference(Crop(got, 172, 30), want), "");
  EXPECT_EQ(got.At(0, 127), 0);
  EXPECT_EQ(got.At(171, 60), 0);
}

TEST(GifLimits, ScreenClaimingMorePixelsThanTheFileHoldsIsRefusedBySize) {
  std::vector<std::uint8_t> bytes = MakeGif({30, 20}, {0, 0, 30, 20});
  bytes[6] = bytes[7] = bytes[8] = bytes[9] = 0xFF;  // screen 65535 x 65535
  const DecodeOutcome outcome = DecodeGif(bytes, Region{}, {});
  // 65535 x 65535 x 4 bytes of canvas, 30 of line: 16384 MB.
  EXPECT_NE(outcome.error.find("the picture is 65535 x 65535 pixels and would need 16384 MB"), std::string::npos)
      << outcome.error;
}

TEST(GifLimits, InterlacedFrameCountsWholeAgainstTheLimit) {
  // 1000 x 1000: canvas 4 000 000 bytes, frame 1 000 000, line 1000.
  const DecodeLimits limits{4'500'000};
  EXPECT_TRUE(DecodeGif(MakeGif({1000, 1000}, {0, 0, 1000, 1000}), Region{}, limits).ok());
  const DecodeOutcome outcome = DecodeGif(MakeGif({1000, 1000}, {0, 0, 1000, 1000, true}), Region{}, limits);
  EXPECT_NE(outcome.error.find("the picture is 1000 x 1000 pixels and would need 5 MB"), std::string::npos)
      << outcome.error;
}

TEST(GifErrors, GiflibsWordsForAFileCutBeforeAnyPicture) {
  std::vector<std::uint8_t> bytes = MakeGif({30, 20}, {0, 0, 30, 20});
  bytes.resize(13 + 3 * 256 + 4);  // header, screen, table, half a frame descriptor
  EXPECT_EQ(DecodeGif(bytes, Region{}, {}).error, "Failed to read from given file");
  bytes.resize(10);
  EXPECT_EQ(DecodeGif(bytes, Region{}, {}).error, "No screen descriptor detected");
}

}  // namespace
}  // namespace pixolan
