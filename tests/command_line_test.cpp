// SPDX-License-Identifier: MIT
// pixolan-encode and pixolan-decode as firmware projects use them: options,
// messages and exit codes; headers linked from several files; a round trip
// through pixolan-decode; an offset equal to a crop.

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "tests/test_support.h"

namespace pixolan {
namespace {

using testing::RunCommand;
using testing::TempDir;
using testing::WriteFile;
using Names = std::vector<std::string>;

const std::string kEncode = PIXOLAN_ENCODE_BINARY " ";
const std::string kDecode = PIXOLAN_DECODE_BINARY " ";
const std::string kPictures = PIXOLAN_TESTDATA_DIR "/";
const std::string kCoord = kPictures + "crafted_coord_300x200.bmp";

TEST(PixolanEncode, DefaultsWriteTheSamplePictureAsAlways) {
  TempDir dir;
  ASSERT_EQ(RunCommand("cd " + dir.path().string() + " && " + kEncode).status, 0);
  EXPECT_EQ(RunCommand("sha256sum <" + (dir / "image.h")).out,
            "917ccf9065857d34610a8c7652b570f3470018978cb8987be5f8b6ae85fe2ceb  -\n");
  EXPECT_EQ(dir.Entries(), Names{"image.h"});
}

TEST(PixolanEncode, StandardInputIsReadWhenAskedForAndOnlyThen) {
  TempDir dir;
  WriteFile(dir / "picture.ppm",
            testing::Ppm(200, 150, [](int x, int y) { return MakeColor(x % 251, x % 13 * 19, y); }));
  const auto by_path = RunCommand(kEncode + (dir / "picture.ppm") + " --depth 16 -o -");
  const auto by_stdin = RunCommand(kEncode + "- --depth 16 -o - <" + (dir / "picture.ppm"));
  // Pixel (0, 127) is R 0, G 0, B 127: 0xF in RGB565.
  EXPECT_TRUE(by_stdin.out.starts_with("unsigned int const Photos[17556]={0x7FF,0x7FF,0x7FF,0x7FF,0x7FF,0xF,"))
      << by_stdin.err;
  EXPECT_EQ(by_stdin.out, by_path.out);
  // Piped in without "-": the test card, and a word about it.
  const auto forgotten = RunCommand(kEncode + "--depth 16 -o - <" + (dir / "picture.ppm"));
  EXPECT_EQ(forgotten.out, RunCommand(kEncode + "--depth 16 -o -").out);
  EXPECT_EQ(forgotten.err,
            "pixolan-encode: warning: no PICTURE given, so the built-in test card is encoded; "
            "to encode standard input, give - as the PICTURE\n");
  EXPECT_EQ(RunCommand(kEncode + "--depth 16 -o -").err, "");
}

// RunCommand sends standard error to a file, where a decoder may not write.
TEST(PixolanEncode, AReaderWarningWithStandardErrorInAFileStillLoads) {
  TempDir dir;
  // Two stray bytes after the start marker: Qt's reader takes the file and
  // warns about them.
  const std::string jpeg = testing::ReadFile(kPictures + "libjpegturbo_testorig.jpg");
  WriteFile(dir / "stray.jpg", jpeg.substr(0, 2) + std::string(2, '\0') + jpeg.substr(2));
  const auto run = RunCommand(kEncode + (dir / "stray.jpg") + " -o " + (dir / "image.h"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
}

TEST(PixolanEncode, StandardInputOverTheLimitIsRefusedWithinItsMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space";
#endif
  // 600 MB of address space: the 512 MB limit and a few MB more, nothing like
  // the picture held twice.
  const auto run = RunCommand("head -c 540000000 /dev/zero | (ulimit -v 600000; exec " + kEncode + "- -o -)");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "pixolan-encode: Could not load standard input: more than the 512 MB a picture may take\n");
}

TEST(PixolanEncode, AnOutputThatIsThePictureIsRefused) {
  TempDir dir;
  const std::string picture = testing::ReadFile(kCoord);
  WriteFile(dir / "logo.bmp", picture);
  std::filesystem::create_symlink("logo.bmp", dir / "image.h");
  const auto run = RunCommand(kEncode + (dir / "logo.bmp") + " -o " + (dir / "image.h"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "pixolan-encode: the output " + (dir / "image.h") + " is the picture being encoded; nothing was written\n");
  EXPECT_EQ(testing::ReadFile(dir / "logo.bmp"), picture);

  // The C source file counts as an output too, whatever the picture's other name.
  std::filesystem::create_hard_link(dir / "logo.bmp", dir / "copy.c");
  const auto source =
      RunCommand(kEncode + (dir / "logo.bmp") + " -o " + (dir / "logo.h") + " --source " + (dir / "copy.c"));
  EXPECT_EQ(source.status, 2);
  EXPECT_EQ(source.err,
            "pixolan-encode: the output " + (dir / "copy.c") + " is the picture being encoded; nothing was written\n");
  EXPECT_EQ(testing::ReadFile(dir / "logo.bmp"), picture);
  EXPECT_FALSE(std::filesystem::exists(dir / "logo.h"));
}

TEST(PixolanEncode, FailedRunsSayWhyAndWriteNothing) {
  TempDir dir;
  const auto bad_picture = RunCommand(kEncode + kPictures + "crafted_text_renamed.jpg -o " + (dir / "image.h"));
  EXPECT_EQ(bad_picture.status, 1);
  EXPECT_NE(bad_picture.err.find("crafted_text_renamed.jpg"), std::string::npos) << bad_picture.err;
  const auto depth = RunCommand(kEncode + "--depth 24");
  EXPECT_EQ(depth.status, 2);
  EXPECT_NE(depth.err.find("unknown depth '24'"), std::string::npos) << depth.err;
  for (const std::string& bad : std::vector<std::string>{"--name 9lives",
                                                         "--name a-b",
                                                         "--progmem --section .x",
                                                         "--swap-bytes",
                                                         "--depth 12 --swap-bytes",
                                                         kCoord + " --offset 4",
                                                         kCoord + " --offset 4,-1",
                                                         "--type short",
                                                         "--eol cr",
                                                         "--resolution 132x133",
                                                         kCoord + " --offset 1,2x",
                                                         "--name int",
                                                         "--name _Logo",
                                                         "--pixel rgb444 --depth 16",
                                                         "--layout rows --remove FF",
                                                         "--dither fs",
                                                         kCoord + " --fit --fill",
                                                         kCoord + " --crop 0,0,5,5 --offset 1,1",
                                                         "--fit",
                                                         "--rotate 90",
                                                         kCoord + " --rotate 45",
                                                         kCoord + " --flip d",
                                                         kCoord + " --crop 1,2,3",
                                                         kCoord + " --crop 0,0,0,5"})
    EXPECT_EQ(RunCommand(kEncode + bad + " -o " + (dir / "image.h")).status, 2) << bad;
  EXPECT_EQ(dir.Entries(), Names{});
}

TEST(PixolanEncode, OptionsTakeAttachedValuesAndDoubleDashEndsThem) {
  TempDir dir;
  const auto attached = RunCommand("cd " + dir.path().string() + " && " + kEncode + "--depth=16 --name=Logo -oa.h");
  ASSERT_EQ(attached.status, 0) << attached.err;
  EXPECT_EQ(testing::ReadFile(dir / "a.h"), RunCommand(kEncode + "--depth 16 --name Logo -o -").out);
  const auto dashed = RunCommand(kEncode + "-o - -- -picture.png");
  EXPECT_NE(dashed.err.find("-picture.png: No such file"), std::string::npos) << dashed.err;
  EXPECT_EQ(RunCommand(kEncode + "--static=yes").err,
            "pixolan-encode: --static takes no value\nTry 'pixolan-encode --help'.\n");
  EXPECT_EQ(RunCommand(kEncode + "--s").err,
            "pixolan-encode: ambiguous option '--s': --source, --static, --section, --swap-bytes?\nTry 'pixolan-encode "
            "--help'.\n");
}

TEST(PixolanEncode, GuardsAreNeverReservedAndDoubtfulOptionsAreWarnedAbout) {
  TempDir dir;
  ASSERT_EQ(RunCommand(kEncode + "--guard -o " + (dir / "_my__logo.h")).status, 0);
  EXPECT_NE(testing::ReadFile(dir / "_my__logo.h").find("#ifndef MY_LOGO_H\r\n"), std::string::npos);
  ASSERT_EQ(RunCommand(kEncode + "--guard -o " + (dir / "3d.h")).status, 0);
  EXPECT_NE(testing::ReadFile(dir / "3d.h").find("\n#ifndef H_3D_H\r\n"), std::string::npos);
  EXPECT_NE(RunCommand(kEncode + "--depth 16 --swap-bytes -o -").err.find("warning: --swap-bytes with unsigned int"),
            std::string::npos);
  EXPECT_EQ(RunCommand(kEncode + "--depth 16 --swap-bytes --type stdint -o -").err, "");
  EXPECT_EQ(RunCommand(kEncode + kCoord + " --offset 300,0 -o -").err,
            "pixolan-encode: warning: --offset 300,0 lies outside the picture: the drawing area is left blank\n");
}

// Grey 128 at 12 bits packs as its low nibble 0; dithered, as nibbles 7 and 8.
TEST(PixolanEncode, DitherMixesTheLevelsTheDisplayShows) {
  TempDir dir;
  WriteFile(dir / "grey.ppm", testing::Ppm(200, 150, [](int, int) { return 0x808080; }));
  const std::string plain = RunCommand(kEncode + (dir / "grey.ppm") + " --depth 12 -o -").out;
  EXPECT_EQ(RunCommand(kEncode + (dir / "grey.ppm") + " --depth 12 --dither none -o -").out, plain);
  const std::string ordered = RunCommand(kEncode + (dir / "grey.ppm") + " --depth 12 --dither=ordered -o -").out;
  EXPECT_NE(plain.find("0x79EF0,0x0,0x0,"), std::string::npos);
  EXPECT_NE(ordered.find("0x79EF0,0x41080,0x38E70,"), std::string::npos);
  EXPECT_EQ(ordered.find(",0x0,"), std::string::npos);
}

// A key that cannot match, or matches nothing, and a picture cut short are
// warnings: the run succeeds.
TEST(PixolanEncode, WarningsGoToStandardError) {
  const auto run = RunCommand(kEncode + "--depth 16 --remove ffff -o -");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "pixolan-encode: warning: key 'ffff' can never match at 16 bits; keys are written like FFFF\n");
  const std::string untouched = RunCommand(kEncode + "--depth 16 -o -").out;  // only the closing count differs
  EXPECT_TRUE(run.out.substr(0, run.out.find("/*")) == untouched.substr(0, untouched.find("/*")));
  EXPECT_EQ(RunCommand(kEncode + "--depth 16 --remove 1234 -o -").err,
            "pixolan-encode: warning: no sample matched the key\n");
  EXPECT_EQ(RunCommand(kEncode + "--depth 16 --remove FFFF -o -").err, "");
  const std::string cut = kPictures + "crafted_testorig_trunc50.jpg";
  EXPECT_EQ(RunCommand(kEncode + cut + " -o -").err,
            "pixolan-encode: warning: " + cut +
                ": the JPEG data ends early: only 64 of the picture's 149 rows were read; the rest is grey\n");
}

TEST(PixolanEncode, OffsetEqualsEncodingAPictureCroppedBeforehand) {
  TempDir dir;
  // crafted_coord pixels hold their own coordinates: the crop is written here.
  WriteFile(dir / "cropped.ppm", testing::Ppm(172, 128, [](int x, int y) { return MakeColor(x + 40, y + 16, 0x40); }));
  for (const std::string resolution : {"132x132", "132x176"}) {
    const std::string common = " --depth 16 --resolution " + resolution + " -o - ";
    const auto offset = RunCommand(kEncode + kCoord + " --offset 40,16" + common);
    EXPECT_EQ(offset.status, 0) << offset.err;
    EXPECT_EQ(offset.out, RunCommand(kEncode + (dir / "cropped.ppm") + common).out) << resolution;
  }
}

TEST(PixolanEncode, PlacingEqualsEncodingAPicturePlacedBeforehand) {
  TempDir dir;
  // Coordinate pixels: x and y mod 256 in red and green, 0x40 + 16 (x / 256) + y / 256 in blue.
  auto coord = [](int x, int y) { return MakeColor(x, y, 0x40 + 16 * (x / 256) + y / 256); };
  // The 86 x 64 from 40,16 twice as large; the picture turned half round.
  WriteFile(dir / "doubled.ppm", testing::Ppm(172, 128, [&](int x, int y) { return coord(x / 2 + 40, y / 2 + 16); }));
  WriteFile(dir / "turned.ppm", testing::Ppm(172, 128, [&](int x, int y) { return coord(299 - x, 199 - y); }));
  const std::string common = " --depth 16 --resolution 132x176 -o - ";
  const auto crop = RunCommand(kEncode + kCoord + " --crop 40,16,86,64 --report" + common);
  EXPECT_TRUE(crop.out == RunCommand(kEncode + (dir / "doubled.ppm") + common).out);
  EXPECT_NE(crop.err.find("picture: 300 x 200 pixels, placed at scale 2\n"), std::string::npos) << crop.err;
  // A quarter turn, then a flip, turned back: a flip in between makes that another quarter turn.
  const auto turned = RunCommand(kEncode + kCoord + " --rotate 90 --flip v --rotate 270 --flip v" + common);
  EXPECT_TRUE(turned.out == RunCommand(kEncode + (dir / "turned.ppm") + common).out) << turned.err;
}

// --- Linking ------------------------------------------------------------------

TEST(Linking, GuardedHeaderIncludedTwiceAndFromTwoFilesLinks) {
  for (const std::string form : {"--static", "--source image.c"}) {
    TempDir dir;
    ASSERT_EQ(
        RunCommand("cd " + dir.path().string() + " && " + kEncode + form + " --guard --progmem -o image.h").status, 0);
    WriteFile(dir / "a.c",
              "#include \"image.h\"\n#include \"image.h\"\nint Other(void);\n"
              "int main(void) { return Photos[0] + Other(); }\n");
    WriteFile(dir / "b.c", "#include \"image.h\"\nint Other(void);\nint Other(void) { return Photos[1]; }\n");
    const std::string sources = " a.c b.c" + std::string(form == "--static" ? "" : " image.c");
    const auto linked =
        RunCommand("cd " + dir.path().string() + " && gcc -std=c99 -Wall -Werror -pedantic -o prog" + sources);
    EXPECT_EQ(linked.status, 0) << form << "\n" << linked.err;
    // --source defines the array once, in image.c.
    if (form != "--static") {
      EXPECT_EQ(RunCommand("cd " + dir.path().string() + " && grep -c '={' image.h image.c").out,
                "image.h:0\nimage.c:1\n");
    }
  }
}

TEST(Frames, EachFrameOfAnAnimationIsAnArrayWithItsDelay) {
  TempDir dir;
  const std::vector<std::uint8_t> gif =
      testing::AnimatedGif(40, 30, {{0, 0, 40, 30, 10, 10}, {5, 5, 20, 10, 200, 20, 2}, {0, 0, 10, 10, 100, 30}});
  WriteFile(dir / "anim.gif", std::string(gif.begin(), gif.end()));
  const std::string in = "cd " + dir.path().string() + " && ";
  ASSERT_EQ(RunCommand(in + kEncode + "anim.gif --frames --guard --eol lf -o anim.h").status, 0);
  const std::string header = testing::ReadFile(dir / "anim.h");
  EXPECT_NE(header.find("\n#define PHOTOS_FRAMES 3\n"
                        "unsigned char const* const Photos[3]={Photos_frame0,Photos_frame1,Photos_frame2};\n"
                        "uint16_t const Photos_delays_ms[3]={100,200,300};\n"),
            std::string::npos);
  WriteFile(dir / "play.c", "#include \"anim.h\"\nint main(void) { return Photos[2][5] + Photos_delays_ms[1]; }\n");
  const auto built = RunCommand(in + "gcc -std=c99 -Wall -Wextra -Werror -pedantic -o play play.c");
  EXPECT_EQ(built.status, 0) << built.err;

  // The first frame is what a plain run encodes; the later ones differ.
  ASSERT_EQ(RunCommand(in + kEncode + "anim.gif --guard -o still.h && " + kDecode + "still.h -o still.png").status, 0);
  ASSERT_EQ(RunCommand(in + kDecode + "anim.h -o frame.png").status, 0);
  const std::string first = testing::ReadFile(dir / "frame-Photos_frame0.png");
  EXPECT_EQ(first, testing::ReadFile(dir / "still.png"));
  EXPECT_NE(testing::ReadFile(dir / "frame-Photos_frame1.png"), first);
  EXPECT_NE(testing::ReadFile(dir / "frame-Photos_frame2.png"), testing::ReadFile(dir / "frame-Photos_frame1.png"));

  const auto piped = RunCommand(in + kEncode + "- --frames -o piped.h <anim.gif");
  EXPECT_EQ(piped.err,
            "pixolan-encode: --frames needs one picture file: each frame is read from it anew\n"
            "Try 'pixolan-encode --help'.\n");
}

// --- Round trip through pixolan-decode ---------------------------------------

// What the display shows for a colour, worked out here from the packing rules.
QRgb Shown(int bits, int r, int g, int b) {
  auto level = [](int v, int max) { return static_cast<int>(std::lround(v * max / 255.0)); };
  auto widen = [](int v, int width) { return v << (8 - width) | v >> (2 * width - 8); };
  if (bits == 8) return qRgb(level(r, 3) * 85, level(g, 15) * 17, level(b, 3) * 85);
  if (bits == 12) return qRgb((r & 15) * 17, (g & 15) * 17, (b & 15) * 17);
  return qRgb(widen(level(r, 31), 5), widen(level(g, 63), 6), widen(level(b, 31), 5));
}

// True 4-4-4 and 3-3-2 keep each component's high bits, widened the same way.
QRgb ShownHighBits(int red_bits, int r, int g, int b) {
  auto widen = [](int v, int width) { return width == 2 ? v * 85 : width == 3 ? v << 5 | v << 2 | v >> 1 : v * 17; };
  const int blue_bits = red_bits == 3 ? 2 : 4;
  return qRgb(widen(r >> (8 - red_bits), red_bits), widen(g >> (8 - red_bits), red_bits),
              widen(b >> (8 - blue_bits), blue_bits));
}

// A colour as a panel shows it at a --pixel packing.
QRgb ShownPixel(const std::string& pixel, int r, int g, int b) {
  if (pixel == "rgb444") return ShownHighBits(4, r, g, b);
  if (pixel == "rgb332") return ShownHighBits(3, r, g, b);
  return Shown(pixel == "rgb565" ? 16 : pixel == "low444" ? 12 : 8, r, g, b);
}

// Pixel x, y of the 300 x 200 coordinate picture turned clockwise by degrees,
// as shown: the stored pixel sx, sy it comes from holds sx and sy mod 256 in
// red and green, 0x40 + 16 (sx / 256) + sy / 256 in blue.
QRgb TurnedCoordPixel(const std::string& pixel, int degrees, int x, int y) {
  const int sx = degrees == 90 ? y : degrees == 180 ? 299 - x : degrees == 270 ? 299 - y : x;
  const int sy = degrees == 90 ? 199 - x : degrees == 180 ? 199 - y : degrees == 270 ? x : y;
  return ShownPixel(pixel, sx % 256, sy % 256, 0x40 + 16 * (sx / 256) + sy / 256);
}

class RowLayout : public ::testing::TestWithParam<std::tuple<std::string, std::string, int>> {};

// A firmware loop over the guard's defines, for (y) for (x), prints each
// element; pixolan-decode draws the same header from its first line alone.
TEST_P(RowLayout, PlainDoubleLoopAndDecoderDrawThePlacedPicture) {
  const auto& [pixel, resolution, degrees] = GetParam();
  TempDir dir;
  ASSERT_EQ(
      RunCommand(kEncode + kCoord + " --layout rows --guard --type stdint --pixel " + pixel + " --resolution " +
                 resolution + (degrees ? " --rotate " + std::to_string(degrees) : "") + " -o " + (dir / "image.h"))
          .status,
      0);
  WriteFile(dir / "draw.c",
            "#include <stdio.h>\n#include \"image.h\"\nint main(void) {\n"
            "  for (int y = 0; y < PHOTOS_HEIGHT; ++y)\n    for (int x = 0; x < PHOTOS_WIDTH; ++x)\n"
            "      printf(\"%lx\\n\", (unsigned long)Photos[y * PHOTOS_WIDTH + x]);\n  return 0;\n}\n");
  ASSERT_EQ(RunCommand("gcc -std=c99 -Wall -Werror -pedantic -o " + (dir / "draw") + " " + (dir / "draw.c")).status, 0);
  std::istringstream drawn(RunCommand(dir / "draw").out);
  const auto decoded = RunCommand(kDecode + "- -o " + (dir / "shown.png") + " <" + (dir / "image.h"));
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  const QImage shown(QString::fromStdString(dir / "shown.png"));
  const int width = resolution == "132x132" ? 128 : 172;
  ASSERT_EQ(shown.size(), QSize(width, 128));
  const ColorDepth depth = *PixelNamed(pixel);
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint32_t value = 0;
      ASSERT_TRUE(drawn >> std::hex >> value) << "x " << x << ", y " << y;
      const Components c = Widen(depth, static_cast<std::int32_t>(value));
      ASSERT_EQ(qRgb(c.R, c.G, c.B), TurnedCoordPixel(pixel, degrees, x, y)) << "x " << x << ", y " << y;
      ASSERT_EQ(shown.pixel(x, y), TurnedCoordPixel(pixel, degrees, x, y)) << "x " << x << ", y " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPackingResolutionAndTurn, RowLayout,
                         ::testing::Combine(::testing::Values("rrggggbb", "low444", "rgb565", "rgb444", "rgb332"),
                                            ::testing::Values("132x132", "132x176"),
                                            ::testing::Values(0, 90, 180, 270)),
                         [](const auto& test) {
                           return std::get<0>(test.param) + "_" + std::get<1>(test.param).substr(4) + "_turned_" +
                                  std::to_string(std::get<2>(test.param));
                         });

class RoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(RoundTrip, DecodedPictureIsWhatTheDisplayShows) {
  TempDir dir;
  const int bits = std::stoi(GetParam());
  const std::string depth =
      " --depth " + std::to_string(bits) + (GetParam().ends_with("swapped") ? " --swap-bytes" : "");
  ASSERT_EQ(RunCommand(kEncode + kCoord + " --resolution 132x176 -o " + (dir / "image.h") + depth).status, 0);
  const std::string attached =
      " --depth=" + std::to_string(bits) + (GetParam().ends_with("swapped") ? " --swap-bytes" : "");
  const auto decoded = RunCommand(kDecode + "-o" + (dir / "shown.png") + attached + " -- " + (dir / "image.h"));
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  const QImage shown(QString::fromStdString(dir / "shown.png"));
  ASSERT_EQ(shown.size(), QSize(177, 132));
  for (int y = 0; y < 132; ++y)
    for (int x = 0; x < 177; ++x) {
      // The bottom grid row is drawing row 132. Pixels hold their coordinates;
      // outside the 172x128 area is the no-pixel value, whose red is -1.
      const QRgb expected = x < 172 && y + 1 < 128 ? Shown(bits, x, y + 1, 0x40) : Shown(bits, -1, 255, 255);
      ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF, expected & 0xFFFFFF) << "x " << x << ", y " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, RoundTrip, ::testing::Values("8", "12", "16", "16 swapped"),
                         [](const auto& test) { return "Bits" + std::to_string(test.index); });

TEST(PixolanDecode, UnreadableHeaderNamesLineAndColumn) {
  TempDir dir;
  for (const auto& [text, error] : std::vector<std::pair<std::string, std::string>>{
           {"/* by hand */\r\nunsigned char const Photos[3]={0x1,\r\n  0xG};\r\n",
            ":3:3: expected a number such as 0x1F or 31\n"},
           {"unsigned char const Photos[3]={0x1,0x100};\n", ":1:36: 0x100 is not a sample at 8 bits\n"},
           {"unsigned char const Photos[1]={0xFFFFFFFF};\n", ":1:32: 0xFFFFFFFF is not a sample at 8 bits\n"}}) {
    WriteFile(dir / "a.h", text);
    const auto decoded = RunCommand(kDecode + (dir / "a.h") + " -o " + (dir / "a.png"));
    EXPECT_EQ(decoded.status, 1);
    EXPECT_EQ(decoded.err, "pixolan-decode: " + (dir / "a.h") + error);
  }
  EXPECT_EQ(dir.Entries(), Names{"a.h"});
  EXPECT_EQ(RunCommand(kDecode + (dir / "none.h") + " -o " + (dir / "a.png")).err,
            "pixolan-decode: could not read " + (dir / "none.h") + ": No such file or directory\n");
}

}  // namespace
}  // namespace pixolan
