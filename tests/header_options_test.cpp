// Declaration options, key checks and the report: what firmware projects ask
// of the header beyond the window's default file.

#include <gtest/gtest.h>

#include "encoder/header_format.h"
#include "tests/test_support.h"

// Each case names only the options it changes; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace pixolan {
namespace {

Viewport Filled(ColorValue color, float width = kNarrowWidthTwips) {
  Viewport v;
  v.SetOuterWidth(width);
  v.SetPicture(testing::UniformPicture(kMaxVisibleWidth, kMaxVisibleHeight, color));
  return v;
}

std::string Opening(ColorDepth depth, const HeaderOptions& o, ColorValue color = 0) {
  return FormatHeader(Filled(color), {depth, true, "F8"}, o).substr(0, 120);
}

TEST(HeaderOptions, GuardDefinesIncludesAndLineBreaksSurroundTheArray) {
  const HeaderOptions o{.name = "Logo", .form = ElementForm::Stdint, .is_static = true, .guard = "LOGO_H", .lf = true};
  const std::string file = FormatHeader(Filled(0xFFFFFF, kWideWidthTwips), {ColorDepth::Depth12, false, ""}, o);
  EXPECT_TRUE(file.starts_with("#ifndef LOGO_H\n#define LOGO_H\n#include <stdint.h>\n#define LOGO_WIDTH 172\n"
                               "#define LOGO_HEIGHT 128\n#define LOGO_COUNT 23364\nstatic uint32_t const Logo[23364]={0x79EF0,"))
      << file.substr(0, 200);
  EXPECT_TRUE(file.ends_with("0x79EF0};\n/* 0 */\n#endif\n")) << file.substr(file.size() - 40);
  EXPECT_EQ(file.find('\r'), std::string::npos);
  EXPECT_TRUE(FormatHeader(Filled(0), {}, {.final_break = true}).ends_with("0x3F};\r\n/* 0 */\r\n"));
}

TEST(HeaderOptions, TypesPlacementAndSwappedBytes) {
  EXPECT_TRUE(Opening(ColorDepth::Depth8, {.form = ElementForm::Stdint}).starts_with("#include <stdint.h>\r\nuint8_t const Photos[17556]={"));
  EXPECT_TRUE(Opening(ColorDepth::Depth16, {.form = ElementForm::Stdint}).starts_with("#include <stdint.h>\r\nuint16_t const Photos["));
  EXPECT_TRUE(Opening(ColorDepth::Depth16, {.progmem = true}).starts_with("#include <avr/pgmspace.h>\r\nunsigned int const Photos[17556] PROGMEM={0x7FF,"));
  EXPECT_TRUE(Opening(ColorDepth::Depth8, {.section = ".rodata.x"}).starts_with("unsigned char const Photos[17556] __attribute__((section(\".rodata.x\")))={0x3F,"));
  // No-pixel 0x7FF and red 0xF800, bytes exchanged: the key matches red as written.
  EXPECT_TRUE(Opening(ColorDepth::Depth16, {.swap_bytes = true}, 0x0000FF).starts_with("unsigned int const Photos[17556]={0xFF07,0xFF07,0xFF07,0xFF07,0xFF07,\r\n"));
}

TEST(HeaderStats, CountMatchesValuesBeyond16BitsAndTheLargest) {
  HeaderStats stats;
  FormatHeader(Filled(0xFFFFFF), {ColorDepth::Depth8, true, "FF"}, HeaderOptions{}, &stats);
  EXPECT_EQ(stats.declared, 17556);
  EXPECT_EQ(stats.matched, 128 * 127);  // every white pixel the drawing area shows
  EXPECT_EQ(stats.over_16_bits, 0);
  FormatHeader(Filled(0x000000), {ColorDepth::Depth12, false, ""}, HeaderOptions{}, &stats);
  EXPECT_EQ(stats.over_16_bits, 17556 - 128 * 127);  // black is 0, no-pixel 0x79EF0
  EXPECT_EQ(stats.largest, 0x79EF0u);
}

TEST(KeyWarning, NamesTheFormThatWouldMatch) {
  EXPECT_EQ(KeyWarning(ColorDepth::Depth16, "ffff"), "key 'ffff' can never match at 16 bits; keys are written like FFFF");
  EXPECT_EQ(KeyWarning(ColorDepth::Depth16, "0xF800"), "key '0xF800' can never match at 16 bits; keys are written like F800");
  EXPECT_EQ(KeyWarning(ColorDepth::Depth12, "000F0"), "key '000F0' can never match at 12 bits; keys are written like F0");
  EXPECT_EQ(KeyWarning(ColorDepth::Depth8, "FFFF"), "key 'FFFF' can never match at 8 bits; keys are written like FF (white), with no bits beyond it");
  for (const char* key : {"79EF1", "80000", "white"}) EXPECT_NE(KeyWarning(ColorDepth::Depth12, key), "") << key;
  for (const char* key : {"79EF0", "0", "F0"}) EXPECT_EQ(KeyWarning(ColorDepth::Depth12, key), "") << key;
  EXPECT_EQ(KeyWarning(ColorDepth::Depth16, "FFFF") + KeyWarning(ColorDepth::Depth8, "FF"), "");
}

TEST(ReportText, FlashSizesFollowTheTypeAndCutValuesAreNamed) {
  const HeaderStats stats{23364, 0, 5, 0x79EF0};
  const std::string too_large = "too large for one object where int is 16 bits (AVR)\n";
  EXPECT_EQ(ReportText(stats, ColorDepth::Depth12, ElementForm::Legacy),
            "23364 elements of unsigned int\nflash: 23364 bytes with an 8-bit int, 46728 with a 16-bit int, 93456 with a 32-bit int\n"
            "a 16-bit int would cut 5 values, the largest 0x79EF0 to 0x9EF0; use --type stdint\n" + too_large);
  EXPECT_EQ(ReportText(stats, ColorDepth::Depth12, ElementForm::Stdint),
            "23364 elements of uint32_t\nflash: 93456 bytes with an 8-bit int, 93456 with a 16-bit int, 93456 with a 32-bit int\n"
            "a 16-bit int cuts no value\n" + too_large);
  EXPECT_TRUE(ReportText(stats, ColorDepth::Depth8, ElementForm::Legacy).ends_with(
      ": 23364 bytes with an 8-bit int, 23364 with a 16-bit int, 23364 with a 32-bit int\na 16-bit int cuts no value\n"));
}

}  // namespace
}  // namespace pixolan
