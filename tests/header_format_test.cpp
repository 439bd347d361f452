// SPDX-License-Identifier: MIT
// The text of image.h: grid order, tokens, keys, declaration options, report.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "encoder/firmware_header.h"
#include "encoder/header_format.h"

// Each case names only the options it changes; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace pixolan {
namespace {

std::string Repeat(const std::string& token, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += token;
  return out;
}

Viewport Filled(ColorValue color, float width = kNarrowWidthTwips) {
  Viewport v;
  v.SetOuterWidth(width);
  v.SetPicture(
      {kMaxVisibleWidth, kMaxVisibleHeight, std::vector<ColorValue>(kMaxVisibleWidth * kMaxVisibleHeight, color)});
  return v;
}

std::vector<std::string> Tokens(const std::string& file) {
  static const std::regex token("0x[0-9A-F]+");
  const std::string body = file.substr(file.find('{'), file.find("};") - file.find('{'));
  std::vector<std::string> out;
  for (std::sregex_iterator it(body.begin(), body.end(), token), end; it != end; ++it) out.push_back(it->str());
  return out;
}

// Every column of the grid: five no-pixel rows (132 down to 128) at the
// bottom, then rows 127 to 1; the last five columns lie wholly outside.
TEST(FormatHeader, WhitePictureAtDepth8IsExactlyThisFile) {
  for (const bool remove : {false, true}) {
    std::string expected = "unsigned char const Photos[17556]={";
    for (int column = 0; column < 128; ++column)
      expected += Repeat("0x3F,", 5) + (remove ? "" : Repeat("0xFF,", 127)) + "\r\n";
    for (int column = 128; column < 132; ++column) expected += Repeat("0x3F,", 132) + "\r\n";
    expected += Repeat("0x3F,", 131) + "0x3F};\r\n/* " + (remove ? "17556" : "0") + " */";
    EXPECT_EQ(FormatHeader(Filled(0xFFFFFF), {ColorDepth::Depth8, remove, "FF"}), expected);
  }
}

TEST(FormatHeader, KeysDropEveryMatchingSampleNoPixelsIncluded) {
  const std::string file = FormatHeader(Filled(0xFFFFFF, kWideWidthTwips), {ColorDepth::Depth16, true, "FFFF"});
  const std::vector<std::string> tokens = Tokens(file);
  EXPECT_EQ(tokens.size(), 23364u - 172u * 127u);
  EXPECT_TRUE(std::all_of(tokens.begin(), tokens.end(), [](const std::string& t) { return t == "0x7FF"; }));
  EXPECT_TRUE(file.ends_with("/* 23364 */"));
  const std::string twelve = FormatHeader(Filled(0xFFFFFF), {ColorDepth::Depth12, true, "79EF0"});
  EXPECT_TRUE(Tokens(twelve).empty());
  EXPECT_EQ(std::count(twelve.begin(), twelve.end(), '\n'), 133);  // the empty column lines remain
  // Dropping the last token leaves the comma before it.
  EXPECT_TRUE(FormatHeader(Viewport(), {ColorDepth::Depth8, true, "3F"})
                  .ends_with("0xFF,\r\n\r\n\r\n\r\n\r\n};\r\n/* 17556 */"));
}

// Grey 128 at 12 bits: packed as is, its low nibble 0 everywhere; dithered,
// 0x38E70 (119s) and 0x41080 (136s), which the key then compares with.
TEST(FormatHeader, TheKeyComparesWithTheDitheredValues) {
  const Viewport grey = Filled(0x808080);
  const EncodeSettings settings{ColorDepth::Depth12, true, "41080", DitherMode::Diffusion};
  HeaderStats stats;
  const std::vector<std::string> tokens = Tokens(FormatHeader(grey, settings, HeaderOptions{}, &stats));
  EXPECT_EQ(std::count(tokens.begin(), tokens.end(), "0x41080"), 0);
  EXPECT_EQ(tokens.front(), "0x79EF0");  // a no-pixel sample keeps its value
  const auto kept = std::count(tokens.begin(), tokens.end(), "0x38E70");
  EXPECT_EQ(kept + stats.matched, 128 * 127);
  EXPECT_GT(stats.matched, 128 * 127 / 3);
  EXPECT_GT(kept, 128 * 127 / 3);
  EXPECT_EQ(FormatHeader(grey, {ColorDepth::Depth12, true, "0", DitherMode::Diffusion}).find("0x0,"),
            std::string::npos);
}

std::string Opening(ColorDepth depth, const HeaderOptions& o, ColorValue color = 0) {
  return FormatHeader(Filled(color), {depth, true, "F8"}, o).substr(0, 200);
}

TEST(HeaderOptions, GuardDefinesIncludesAndLineBreaksSurroundTheArray) {
  const HeaderOptions o{.name = "Logo", .form = ElementForm::Stdint, .is_static = true, .guard = "LOGO_H", .lf = true};
  const std::string file = FormatHeader(Filled(0xFFFFFF, kWideWidthTwips), {ColorDepth::Depth12, false, ""}, o);
  EXPECT_TRUE(
      file.starts_with("#ifndef LOGO_H\n#define LOGO_H\n#include <stdint.h>\n#define LOGO_WIDTH 172\n"
                       "#define LOGO_HEIGHT 128\n#define LOGO_COUNT 23364\n"));
  EXPECT_NE(file.find("\n#define LOGO_ROW_ORDER 0\n#define LOGO_COLUMNS 177\n#define LOGO_COLUMN_SAMPLES 132\n"
                      "static uint32_t const Logo[23364]={0x79EF0,"),
            std::string::npos)
      << file.substr(0, 400);
  EXPECT_TRUE(file.ends_with("0x79EF0};\n/* 0 */\n#endif\n")) << file.substr(file.size() - 40);
  EXPECT_EQ(file.find('\r'), std::string::npos);
  EXPECT_TRUE(FormatHeader(Filled(0), {}, {.final_break = true}).ends_with("0x3F};\r\n/* 0 */\r\n"));
}

TEST(HeaderOptions, TypesPlacementAndSwappedBytes) {
  EXPECT_TRUE(Opening(ColorDepth::Depth8, {.form = ElementForm::Stdint})
                  .starts_with("#include <stdint.h>\r\nuint8_t const Photos[17556]={"));
  EXPECT_TRUE(Opening(ColorDepth::Depth16, {.form = ElementForm::Stdint})
                  .starts_with("#include <stdint.h>\r\nuint16_t const Photos["));
  EXPECT_TRUE(Opening(ColorDepth::Depth16, {.progmem = true})
                  .starts_with("#if defined(__AVR__)\r\n#include <avr/pgmspace.h>\r\n"
                               "#elif !defined(PROGMEM)\r\n#define PROGMEM\r\n#endif\r\n"
                               "unsigned int const Photos[17556] PROGMEM={0x7FF,"));
  EXPECT_TRUE(Opening(ColorDepth::Depth8, {.section = ".rodata.x"})
                  .starts_with("unsigned char const Photos[17556] __attribute__((section(\".rodata.x\")))={0x3F,"));
  // No-pixel 0x7FF and red 0xF800, bytes exchanged: the key matches red as written.
  EXPECT_TRUE(Opening(ColorDepth::Depth16, {.swap_bytes = true}, 0x0000FF)
                  .starts_with("unsigned int const Photos[17556]={0xFF07,0xFF07,0xFF07,0xFF07,0xFF07,\r\n"));
}

TEST(HeaderStats, CountMatchesValuesBeyond16BitsAndTheLargest) {
  HeaderStats stats;
  FormatHeader(Filled(0xFFFFFF), {ColorDepth::Depth8, true, "FF"}, HeaderOptions{}, &stats);
  EXPECT_EQ(std::tie(stats.declared, stats.matched, stats.over_16_bits), std::tuple(17556, 128 * 127, 0));
  FormatHeader(Filled(0x000000), {ColorDepth::Depth12, false, ""}, HeaderOptions{}, &stats);
  EXPECT_EQ(stats.over_16_bits, 17556 - 128 * 127);  // black is 0, no-pixel 0x79EF0
  EXPECT_EQ(stats.largest, 0x79EF0u);
  FormatHeader(Filled(0xFFFFFF), {ColorDepth::Depth16, false, ""}, HeaderOptions{}, &stats);
  EXPECT_EQ(stats.over_16_bits, 0);  // white is 0xFFFF: still 16 bits
}

TEST(KeyWarning, NamesTheFormThatWouldMatch) {
  EXPECT_EQ(KeyWarning(ColorDepth::Depth16, "0xF800"),
            "key '0xF800' can never match at 16 bits; keys are written like F800");
  EXPECT_EQ(KeyWarning(ColorDepth::Depth12, "000F0"),
            "key '000F0' can never match at 12 bits; keys are written like F0");
  EXPECT_EQ(KeyWarning(ColorDepth::Depth8, "FFFF"),
            "key 'FFFF' can never match at 8 bits; keys are written like FF (white), with no bits beyond it");
  EXPECT_EQ(KeyWarning(ColorDepth::Depth12, "79EF1"),
            "key '79EF1' can never match at 12 bits; keys are written like 79EF0 (white), with no bits beyond it");
  EXPECT_EQ(KeyWarning(ColorDepth::Depth12, "white"),
            "key 'white' can never match at 12 bits; keys are written like 79EF0 (white), with no bits beyond it");
  for (const char* key : {"79EF0", "0", "F0"}) EXPECT_EQ(KeyWarning(ColorDepth::Depth12, key), "") << key;
}

// Two equal values already repeat (control 128 + n - 2); other values go as
// they are (control n - 1); values low byte first.
TEST(Rle, PairsAreRepeatsAndSinglesGoAsTheyAre) {
  EXPECT_EQ(RleEncode({5, 5, 7, 0x1234, 0x1234, 0x1234}, 2),
            (std::vector<std::uint8_t>{128, 5, 0, 0, 7, 0, 129, 0x34, 0x12}));
}

TEST(FirmwareHeader, CodedBytesGoThirtyTwoToALine) {
  const std::string header =
      FormatFirmware({{"Logo", PackedArray(Viewport(), {}, {})}}, Viewport(), {}, {.compress = true}).header;
  const std::size_t first = header.find("={", header.find("const Logo[")) + 2;
  const std::string line = header.substr(first, header.find("\r\n", first) - first);
  EXPECT_EQ(std::count(line.begin(), line.end(), ','), 32) << line;
}

TEST(ReportText, FlashSizesFollowTheTypeAndCutValuesAreNamed) {
  const HeaderStats stats{23364, 0, 5, 0x79EF0};
  const std::string too_large = "too large for one object where int is 16 bits (AVR)\n";
  EXPECT_EQ(ReportText(stats, ColorDepth::Depth12, ElementForm::Legacy),
            "23364 elements of unsigned int\nflash: 23364 bytes with an 8-bit int, 46728 with a 16-bit int, 93456 with "
            "a 32-bit int\n"
            "a 16-bit int would cut 5 values, the largest 0x79EF0 to 0x9EF0; use --type stdint\n" +
                too_large);
  EXPECT_EQ(ReportText(stats, ColorDepth::Depth12, ElementForm::Stdint),
            "23364 elements of uint32_t\nflash: 93456 bytes with an 8-bit int, 93456 with a 16-bit int, 93456 with a "
            "32-bit int\n"
            "a 16-bit int cuts no value\n" +
                too_large);
  EXPECT_EQ(ReportText({16383, 0, 0, 0}, ColorDepth::Depth16, ElementForm::Stdint),
            "16383 elements of uint16_t\nflash: 32766 bytes with an 8-bit int, 32766 with a 16-bit int, 32766 with a "
            "32-bit int\n"
            "a 16-bit int cuts no value\n");
}

}  // namespace
}  // namespace pixolan
