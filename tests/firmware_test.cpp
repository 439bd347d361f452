// Headers in firmware builds: every declaration form compiles for the host,
// AVR and Cortex-M; pixolan-decode gives back what the display shows; an
// offset equals a picture cropped beforehand.

#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cmath>
#include <functional>

#include "tests/test_support.h"

namespace pixolan {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const std::string kEncode = PIXOLAN_ENCODE_BINARY;
const std::string kDecode = PIXOLAN_DECODE_BINARY;
const std::string kCoord = std::string(PIXOLAN_TESTDATA_DIR) + "/crafted_coord_300x200.bmp";

struct Outcome {
  int status;
  std::string err;  // standard error and standard output
};

Outcome Shell(const std::string& command, const TempDir& dir) {
  const int status = std::system((command + " >" + (dir / "log.txt") + " 2>&1").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir / "log.txt")};
}

bool Installed(const std::string& compiler) { return std::system(("command -v " + compiler + " >/dev/null").c_str()) == 0; }

int Rgb(int r, int g, int b) { return r << 16 | g << 8 | b; }

void WritePng(const std::string& path, int width, int height, const std::function<int(int x, int y)>& rgb_at) {
  std::vector<png_byte> rgb;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int shift : {16, 8, 0}) rgb.push_back(static_cast<png_byte>(rgb_at(x, y) >> shift));
  png_image image{};
  image.version = PNG_IMAGE_VERSION, image.width = width, image.height = height, image.format = PNG_FORMAT_RGB;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr));
}

std::vector<int> ReadPng(const std::string& path, int& width) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
  width = static_cast<int>(image.width);
  std::vector<int> out;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) out.push_back(Rgb(rgb[i], rgb[i + 1], rgb[i + 2]));
  return out;
}

// --- Every declaration form compiles ---------------------------------------

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
    ASSERT_EQ(Shell(kEncode + options + target + " -o " + (dir / "image.h"), dir).status, 0);
    const Outcome built = Shell(command + " -o " + (dir / "user.o") + " " + (dir / "user.c"), dir);
    EXPECT_EQ(built.status, 0) << compiler << options << target << "\n" << built.err;
  }
}

INSTANTIATE_TEST_SUITE_P(TypeStaticGuard, DeclarationForms, ::testing::Range(0, 8));

TEST(Linking, StaticGuardedHeaderIncludedTwiceAndFromTwoFilesLinks) {
  TempDir dir;
  ASSERT_EQ(Shell(kEncode + " --static --guard --type stdint -o " + (dir / "image.h"), dir).status, 0);
  WriteFile(dir / "a.c", "#include \"image.h\"\n#include \"image.h\"\nint Other(void);\n"
                         "int main(void) { return Photos[0] + Other() == PHOTOS_COUNT ? 1 : 0; }\n");
  WriteFile(dir / "b.c", "#include \"image.h\"\nint Other(void);\nint Other(void) { return Photos[1]; }\n");
  const Outcome linked = Shell("gcc -std=c99 -Wall -Werror -pedantic -o " + (dir / "prog") + " " + (dir / "a.c") + " " + (dir / "b.c"), dir);
  EXPECT_EQ(linked.status, 0) << linked.err;
}

// The report predicts what AVR compilers say: clang (which accepts the
// 35112-byte array) warns of every cut value, avr-gcc refuses any object
// over 32767 bytes.
TEST(Linking, ReportPredictsWhatAvrCompilersSay) {
  if (!Installed("avr-gcc") || !Installed("clang-14")) GTEST_SKIP() << "avr-gcc or clang-14 is not installed";
  TempDir dir;
  WriteFile(dir / "user.c", kUser);
  const std::string user = " -std=c99 -pedantic -c -o " + (dir / "user.o") + " " + (dir / "user.c");
  for (const std::string type : {"legacy", "stdint"}) {
    const Outcome encoded = Shell(kEncode + " --depth 12 --report --type " + type + " -o " + (dir / "image.h"), dir);
    ASSERT_EQ(encoded.status, 0);
    const bool legacy = type == "legacy";
    EXPECT_EQ(encoded.err.find("a 16-bit int would cut") != std::string::npos, legacy) << encoded.err;
    const Outcome clang = Shell("clang-14 --target=avr -mmcu=atmega328p -ffreestanding" + user, dir);
    EXPECT_EQ(clang.err.find("changes value from 499440 to 40688") != std::string::npos, legacy) << clang.err.substr(0, 300);
    EXPECT_NE(encoded.err.find("too large for one object"), std::string::npos) << encoded.err;
    EXPECT_NE(Shell("avr-gcc -mmcu=atmega328p" + user, dir).err.find("too large"), std::string::npos);
  }
}

// --- Round trip through pixolan-decode ---------------------------------------

// What the display shows for a colour, worked out here from the packing rules.
int Shown(int bits, int r, int g, int b) {
  auto level = [](int v, int max) { return static_cast<int>(std::lround(v * max / 255.0)); };
  auto widen = [](int v, int width) { return v << (8 - width) | v >> (2 * width - 8); };
  if (bits == 8) return Rgb(level(r, 3) * 85, level(g, 15) * 17, level(b, 3) * 85);
  if (bits == 12) return Rgb((r & 15) * 17, (g & 15) * 17, (b & 15) * 17);
  return Rgb(widen(level(r, 31), 5), widen(level(g, 63), 6), widen(level(b, 31), 5));
}

class RoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(RoundTrip, DecodedPictureIsWhatTheDisplayShows) {
  TempDir dir;
  const int bits = std::stoi(GetParam());
  const std::string depth = " --depth " + GetParam().substr(0, GetParam().find(' ')) +
                            (GetParam().ends_with("swapped") ? " --swap-bytes" : "");
  ASSERT_EQ(Shell(kEncode + " " + kCoord + " --resolution 132x176 -o " + (dir / "image.h") + depth, dir).status, 0);
  const Outcome decoded = Shell(kDecode + " " + (dir / "image.h") + " -o " + (dir / "shown.png") + depth, dir);
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  int width = 0;
  const std::vector<int> shown = ReadPng(dir / "shown.png", width);
  ASSERT_EQ(width, 177);
  ASSERT_EQ(shown.size(), 177u * 132u);
  for (int y = 0; y < 132; ++y)
    for (int x = 0; x < 177; ++x) {
      // The bottom grid row is drawing row 132. Pixels hold their coordinates;
      // outside the 172x128 area is the no-pixel value, whose red is -1.
      const int row = y + 1;
      const int expected = x < 172 && row < 128 ? Shown(bits, x, row, 0x40) : Shown(bits, -1, 255, 255);
      ASSERT_EQ(shown[y * 177 + x], expected) << "x " << x << ", y " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, RoundTrip, ::testing::Values("8", "12", "16", "16 swapped"),
                         [](const auto& info) { return "Bits" + std::to_string(info.index); });

// Left-out samples have no place in the file: each column is drawn from the
// bottom as written, the rest marked, and the count is said.
TEST(Decoding, LeftOutSamplesAreMarkedAndCounted) {
  TempDir dir;
  WritePng(dir / "half.png", 172, 128, [](int x, int) { return x < 86 ? 0xFFFFFF : 0xFF0000; });
  ASSERT_EQ(Shell(kEncode + " " + (dir / "half.png") + " --depth 16 --remove FFFF -o " + (dir / "image.h"), dir).status, 0);
  const Outcome decoded = Shell(kDecode + " " + (dir / "image.h") + " -o " + (dir / "shown.png") + " --depth 16", dir);
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  EXPECT_NE(decoded.err.find("10922 samples are missing"), std::string::npos) << decoded.err;  // 86 x 127
  EXPECT_NE(decoded.err.find("places are unknown"), std::string::npos) << decoded.err;
  int width = 0;
  const std::vector<int> shown = ReadPng(dir / "shown.png", width);
  ASSERT_EQ(width, 133);
  EXPECT_EQ(shown[131 * 133 + 85], 0x00FFFF);  // the bottom five: no-pixel samples, as written
  EXPECT_EQ(shown[127 * 133 + 85], 0x00FFFF);
  EXPECT_EQ(shown[126 * 133 + 85], 0xFF00FF);  // above them: unknown
  EXPECT_EQ(shown[0 * 133 + 86], 0xFF0000);    // red columns are whole
}

TEST(Decoding, UnreadableHeaderNamesLineAndColumn) {
  TempDir dir;
  WriteFile(dir / "a.h", "/* made by hand */\r\nunsigned char const Photos[3]={0x1,\r\n  0xG};\r\n");
  const Outcome bad_number = Shell(kDecode + " " + (dir / "a.h") + " -o " + (dir / "a.png"), dir);
  EXPECT_EQ(bad_number.status, 1);
  EXPECT_NE(bad_number.err.find(dir / "a.h" + ":3:3: expected a number"), std::string::npos) << bad_number.err;
  WriteFile(dir / "b.h", "unsigned char const Photos[3]={0x1,0x100};\n");
  EXPECT_NE(Shell(kDecode + " " + (dir / "b.h") + " -o " + (dir / "b.png"), dir).err.find(":1:36: 0x100 is not a sample at 8 bits"),
            std::string::npos);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a.h", "b.h", "log.txt"}));
}

// --- Offset, keys, usage ---------------------------------------------------------

TEST(Offset, EqualsEncodingAPictureCroppedBeforehand) {
  TempDir dir;
  // crafted_coord pixels hold their own coordinates: the crop is written here.
  WritePng(dir / "cropped.png", 172, 128, [](int x, int y) { return Rgb(x + 40, y + 16, 0x40); });
  for (const std::string resolution : {"132x132", "132x176"}) {
    const std::string common = " --depth 16 --resolution " + resolution + " -o ";
    ASSERT_EQ(Shell(kEncode + " " + kCoord + " --offset 40,16" + common + (dir / "offset.h"), dir).status, 0);
    ASSERT_EQ(Shell(kEncode + " " + (dir / "cropped.png") + common + (dir / "cropped.h"), dir).status, 0);
    EXPECT_EQ(ReadFile(dir / "offset.h"), ReadFile(dir / "cropped.h")) << resolution;
  }
}

TEST(Keys, WarningsGoToStandardErrorAndTheRunSucceeds) {
  TempDir dir;
  const Outcome lower = Shell(kEncode + " --depth 16 --remove ffff -o " + (dir / "a.h"), dir);
  EXPECT_EQ(lower.status, 0);
  EXPECT_NE(lower.err.find("key 'ffff' can never match at 16 bits; keys are written like FFFF"), std::string::npos) << lower.err;
  const Outcome unmatched = Shell(kEncode + " --depth 16 --remove 1234 -o " + (dir / "b.h"), dir);
  EXPECT_EQ(unmatched.status, 0);
  EXPECT_NE(unmatched.err.find("no sample matched the key"), std::string::npos) << unmatched.err;
  EXPECT_EQ(Shell(kEncode + " --depth 16 --remove FFFF -o " + (dir / "c.h"), dir).err, "");
}

TEST(Usage, ConflictingOrMalformedOptionsAreUsageErrors) {
  TempDir dir;
  for (const std::string& bad : std::vector<std::string>{"--name 9lives", "--name a-b", "--progmem --section .x", "--swap-bytes",
                                                         "--depth 12 --swap-bytes", "--offset 4", "--offset 4,-1",
                                                         "--type short", "--eol cr", kCoord + " --offset 1,2x"})
    EXPECT_EQ(Shell(kEncode + " " + bad + " -o " + (dir / "image.h"), dir).status, 2) << bad;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"log.txt"});
}

}  // namespace
}  // namespace pixolan
