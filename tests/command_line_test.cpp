// SPDX-License-Identifier: MIT
// pixolan-encode and pixolan-decode as firmware projects use them: options,
// messages and exit codes; headers that compile for the host, AVR and
// Cortex-M; a round trip through pixolan-decode; an offset equal to a crop.

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

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

bool Installed(const std::string& program) { return RunCommand("command -v " + program).status == 0; }

TEST(PixolanEncode, DefaultsWriteTheSamplePictureAsAlways) {
  TempDir dir;
  ASSERT_EQ(RunCommand("cd " + dir.path().string() + " && " + kEncode).status, 0);
  EXPECT_EQ(RunCommand("sha256sum <" + (dir / "image.h")).out, "917ccf9065857d34610a8c7652b570f3470018978cb8987be5f8b6ae85fe2ceb  -\n");
  EXPECT_EQ(dir.Entries(), Names{"image.h"});
}

TEST(PixolanEncode, StandardInputGivesWhatThePathGives) {
  TempDir dir;
  WriteFile(dir / "picture.ppm", testing::Ppm(200, 150, [](int x, int y) { return MakeColor(x % 251, x % 13 * 19, y); }));
  const auto by_path = RunCommand(kEncode + (dir / "picture.ppm") + " --depth 16 -o -");
  const auto by_stdin = RunCommand(kEncode + "- --depth 16 -o - <" + (dir / "picture.ppm"));
  // Pixel (0, 127) is R 0, G 0, B 127: 0xF in RGB565.
  EXPECT_TRUE(by_stdin.out.starts_with("unsigned int const Photos[17556]={0x7FF,0x7FF,0x7FF,0x7FF,0x7FF,0xF,")) << by_stdin.err;
  EXPECT_EQ(by_stdin.out, by_path.out);
}

TEST(PixolanEncode, FailedRunsSayWhyAndWriteNothing) {
  TempDir dir;
  const auto bad_picture = RunCommand(kEncode + kPictures + "crafted_text_renamed.jpg -o " + (dir / "image.h"));
  EXPECT_EQ(bad_picture.status, 1);
  EXPECT_NE(bad_picture.err.find("crafted_text_renamed.jpg"), std::string::npos) << bad_picture.err;
  const auto depth = RunCommand(kEncode + "--depth 24");
  EXPECT_EQ(depth.status, 2);
  EXPECT_NE(depth.err.find("unknown depth '24'"), std::string::npos) << depth.err;
  for (const std::string& bad : std::vector<std::string>{"--name 9lives", "--name a-b", "--progmem --section .x", "--swap-bytes",
                                 "--depth 12 --swap-bytes", kCoord + " --offset 4", kCoord + " --offset 4,-1", "--type short", "--eol cr",
                                 "--resolution 132x133", kCoord + " --offset 1,2x"})
    EXPECT_EQ(RunCommand(kEncode + bad + " -o " + (dir / "image.h")).status, 2) << bad;
  EXPECT_EQ(dir.Entries(), Names{});
}

// A key that cannot match, or matches nothing, and a picture cut short are
// warnings: the run succeeds.
TEST(PixolanEncode, WarningsGoToStandardError) {
  const auto run = RunCommand(kEncode + "--depth 16 --remove ffff -o -");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "pixolan-encode: warning: key 'ffff' can never match at 16 bits; keys are written like FFFF\n");
  const std::string untouched = RunCommand(kEncode + "--depth 16 -o -").out;  // only the closing count differs
  EXPECT_TRUE(run.out.substr(0, run.out.find("/*")) == untouched.substr(0, untouched.find("/*")));
  EXPECT_EQ(RunCommand(kEncode + "--depth 16 --remove 1234 -o -").err, "pixolan-encode: warning: no sample matched the key\n");
  EXPECT_EQ(RunCommand(kEncode + "--depth 16 --remove FFFF -o -").err, "");
  const std::string cut = kPictures + "crafted_testorig_trunc50.jpg";
  EXPECT_EQ(RunCommand(kEncode + cut + " -o -").err, "pixolan-encode: warning: " + cut +
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

// --- Every declaration form compiles -------------------------------------------

constexpr const char* kUser = "#include \"image.h\"\nunsigned long Element(int i);\n"
                              "unsigned long Element(int i) { return (unsigned long)Photos[i]; }\n";

class DeclarationForms : public ::testing::TestWithParam<int> {};

TEST_P(DeclarationForms, CompileWithoutWarningForHostAvrAndCortexM) {
  std::string options = GetParam() & 1 ? " --type stdint" : " --type legacy";
  if (GetParam() & 2) options += " --static";
  if (GetParam() & 4) options += " --guard";
  const std::string strict = " -Wall -Wextra -Werror -pedantic -c";
  for (const auto& [compiler, command] : std::vector<std::pair<std::string, std::string>>{
           {"gcc", "gcc -std=c99" + strict},
           {"avr-gcc", "avr-gcc -mmcu=atmega328p -std=c99" + strict},
           {"clang-14", "clang-14 --target=thumbv7m-none-eabi -ffreestanding -std=c11" + strict}}) {
    if (!Installed(compiler)) GTEST_SKIP() << compiler << " is not installed";
    TempDir dir;
    WriteFile(dir / "user.c", kUser);
    // Only 8-bit samples fit an AVR object, whose size is at most 32767 bytes.
    const std::string target = compiler == "avr-gcc" ? " --progmem --depth 8" : " --depth 16";
    ASSERT_EQ(RunCommand(kEncode + options + target + " -o " + (dir / "image.h")).status, 0);
    const auto built = RunCommand(command + " -o " + (dir / "user.o") + " " + (dir / "user.c"));
    EXPECT_EQ(built.status, 0) << compiler << options << target << "\n" << built.err;
  }
}

INSTANTIATE_TEST_SUITE_P(TypeStaticGuard, DeclarationForms, ::testing::Range(0, 8));

TEST(Linking, StaticGuardedHeaderIncludedTwiceAndFromTwoFilesLinks) {
  TempDir dir;
  ASSERT_EQ(RunCommand(kEncode + "--static --guard -o " + (dir / "image.h")).status, 0);
  WriteFile(dir / "a.c", "#include \"image.h\"\n#include \"image.h\"\nint Other(void);\n"
                         "int main(void) { return Photos[0] + Other(); }\n");
  WriteFile(dir / "b.c", "#include \"image.h\"\nint Other(void);\nint Other(void) { return Photos[1]; }\n");
  const auto linked = RunCommand("gcc -std=c99 -Wall -Werror -pedantic -o " + (dir / "prog") + " " + (dir / "a.c") + " " +
                                 (dir / "b.c"));
  EXPECT_EQ(linked.status, 0) << linked.err;
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

class RoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(RoundTrip, DecodedPictureIsWhatTheDisplayShows) {
  TempDir dir;
  const int bits = std::stoi(GetParam());
  const std::string depth = " --depth " + std::to_string(bits) + (GetParam().ends_with("swapped") ? " --swap-bytes" : "");
  ASSERT_EQ(RunCommand(kEncode + kCoord + " --resolution 132x176 -o " + (dir / "image.h") + depth).status, 0);
  const auto decoded = RunCommand(kDecode + (dir / "image.h") + " -o " + (dir / "shown.png") + depth);
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
                         [](const auto& info) { return "Bits" + std::to_string(info.index); });

TEST(PixolanDecode, UnreadableHeaderNamesLineAndColumn) {
  TempDir dir;
  for (const auto& [text, error] : std::vector<std::pair<std::string, std::string>>{
           {"/* by hand */\r\nunsigned char const Photos[3]={0x1,\r\n  0xG};\r\n", ":3:3: expected a number such as 0x1F or 31\n"},
           {"unsigned char const Photos[3]={0x1,0x100};\n", ":1:36: 0x100 is not a sample at 8 bits\n"}}) {
    WriteFile(dir / "a.h", text);
    const auto decoded = RunCommand(kDecode + (dir / "a.h") + " -o " + (dir / "a.png"));
    EXPECT_EQ(decoded.status, 1);
    EXPECT_EQ(decoded.err, "pixolan-decode: " + (dir / "a.h") + error);
  }
  EXPECT_EQ(dir.Entries(), Names{"a.h"});
}

}  // namespace
}  // namespace pixolan
