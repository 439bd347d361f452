#include <gif_lib.h>
#include <gtest/gtest.h>

#include "tests/decoder_reference.h"

namespace pixolan {
namespace {

struct Gif {
  int screen_width, screen_height, background = 5;
  int left = 0, top = 0, width = screen_width, height = screen_height;
  bool interlaced = false, global_table = true, local_table = false;  // tables of 256 and 16
  int transparent = -1;
};

// Colour i of the global table is (i, 255 - i, 5i); local tables run backwards.
ColorMapObject* Table(int colors, bool local) {
  std::vector<GifColorType> table;
  for (int i = 0; i < colors; ++i)
    table.push_back({GifByteType(local ? 255 - i : i), GifByteType(255 - i), GifByteType(i * 5)});
  return GifMakeMapObject(colors, table.data());
}

// One frame of index (7x + 3y) mod colours, written by giflib.
std::vector<std::uint8_t> MakeGif(const Gif& g) {
  std::vector<std::uint8_t> bytes;
  int error = 0;
  GifFileType* gif = EGifOpen(
      &bytes,
      [](GifFileType* f, const GifByteType* data, int size) {
        auto* out = static_cast<std::vector<std::uint8_t>*>(f->UserData);
        out->insert(out->end(), data, data + size);
        return size;
      },
      &error);
  EGifSetGifVersion(gif, true);
  ColorMapObject *global = g.global_table ? Table(256, false) : nullptr,
                 *local = g.local_table ? Table(16, true) : nullptr;
  EGifPutScreenDesc(gif, g.screen_width, g.screen_height, 8, g.background, global);
  GraphicsControlBlock control{0, false, 0, g.transparent};
  GifByteType block[4];
  EGifGCBToExtension(&control, block);
  EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
  EGifPutImageDesc(gif, g.left, g.top, g.width, g.height, g.interlaced, local);
  std::vector<GifPixelType> line(static_cast<std::size_t>(g.width));
  for (const auto& [start, step] : g.interlaced ? std::vector<std::pair<int, int>>{{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                                                : std::vector<std::pair<int, int>>{{0, 1}})
    for (int y = start; y < g.height; y += step) {
      for (int x = 0; x < g.width; ++x) line[x] = GifPixelType((x * 7 + y * 3) % (g.local_table ? 16 : 256));
      EGifPutLine(gif, line.data(), g.width);
    }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(global), GifFreeMapObject(local);
  return bytes;
}

// gif with change applied.
template <typename Change>
Gif With(Gif gif, Change change) {
  change(gif);
  return gif;
}

TEST(GifFirstFrame, DrawnOnItsScreenAsQtDrawsIt) {
  const Gif whole{300, 200}, small{200, 150, 5, 30, 20, 100, 80};
  for (const Gif& gif :
       {whole, With(whole, [](Gif& g) { g.interlaced = true; }), With(whole, [](Gif& g) { g.transparent = 3; }), small,
        With(small, [](Gif& g) { g.interlaced = true, g.transparent = 3; }),
        With(small, [](Gif& g) { g.global_table = false, g.local_table = true; }),
        With(small, [](Gif& g) { g.left = 150, g.top = 100; }),  // past the screen's edge
        With(small, [](Gif& g) { g.screen_width = g.screen_height = 0; })})
    EXPECT_TRUE(
        test::ExpectSameAsQt(DecodeGif, MakeGif(gif), std::to_string(gif.left) + "," + std::to_string(gif.top)));
}

TEST(GifFirstFrame, ScreenAroundASmallFrameIsTheScreensBackground) {
  // Index 9 of the global table, even beside a local one (which Qt reads the
  // background from before it has read the table itself: heap contents).
  const Gif gif{200, 150, 9, 30, 20, 100, 80, false, true, true};
  EXPECT_EQ(test::PixelAt(DecodeGif(MakeGif(gif), {}, {}).pixels, 0, 0), 0x09F62DFFu);
}

TEST(GifLimits, ScreenAndInterlacedFrameCount) {
  std::vector<std::uint8_t> bytes = MakeGif({30, 20});
  bytes[6] = bytes[7] = bytes[8] = bytes[9] = 0xFF;
  // 65535 x 65535 x 4 bytes of canvas: 16384 MB.
  EXPECT_EQ(DecodeGif(bytes, {}, {}).error,
            "the picture is 65535 x 65535 pixels and would need 16384 MB, more than the 512 MB a picture may take");
  // 1000 x 1000: canvas 4 000 000 bytes, and an interlaced frame 1 000 000 more.
  EXPECT_TRUE(DecodeGif(MakeGif({1000, 1000}), {}, {4'500'000}).Ok());
  EXPECT_EQ(DecodeGif(MakeGif({1000, 1000, 5, 0, 0, 1000, 1000, true}), {}, {4'500'000}).error,
            "the picture is 1000 x 1000 pixels and would need 5 MB, more than the 4 MB a picture may take");
}

TEST(GifErrors, GiflibsOwnWords) {
  std::vector<std::uint8_t> bytes = MakeGif({30, 20});
  bytes.resize(13 + 3 * 256 + 8 + 4);  // header, screen, table, control block, half a frame descriptor
  EXPECT_EQ(DecodeGif(bytes, {}, {}).error, "Failed to read from given file");
}

}  // namespace
}  // namespace pixolan
