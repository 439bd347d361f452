#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "encoder/header_format.h"
#include "tests/test_support.h"

namespace pixolan {
namespace {

using testing::SplitLines;
using testing::UniformPicture;

std::string Repeat(const std::string& token, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += token;
  return out;
}

Viewport WhiteViewport(float width = kNarrowWidthTwips) {
  Viewport v;
  v.SetOuterWidth(width);
  v.SetPicture(UniformPicture(kMaxVisibleWidth, kMaxVisibleHeight, 0xFFFFFF));
  return v;
}

std::vector<std::string> Tokens(const std::string& file) {
  static const std::regex token("0x[0-9A-F]+");
  std::vector<std::string> out;
  const std::string body = file.substr(file.find('{'), file.find("};") - file.find('{'));
  for (std::sregex_iterator it(body.begin(), body.end(), token), end; it != end; ++it) out.push_back(it->str());
  return out;
}

// Every column of the grid: five no-pixel rows (132 down to 128) at the
// bottom, then rows 127 to 1; the last five columns lie wholly outside.
TEST(FormatHeader, WhitePictureAtDepth8IsExactlyThisFile) {
  std::string expected = "unsigned char const Photos[17556]={";
  for (int column = 0; column < 128; ++column) expected += Repeat("0x3F,", 5) + Repeat("0xFF,", 127) + "\r\n";
  for (int column = 128; column < 132; ++column) expected += Repeat("0x3F,", 132) + "\r\n";
  expected += Repeat("0x3F,", 131) + "0x3F};\r\n/* 0 */";
  EXPECT_EQ(FormatHeader(WhiteViewport(), {ColorDepth::Depth8, false, "FFFF"}), expected);
}

TEST(FormatHeader, RemovedSamplesWriteNothingAndAreCounted) {
  std::string expected = "unsigned char const Photos[17556]={";
  for (int column = 0; column < 128; ++column) expected += Repeat("0x3F,", 5) + "\r\n";
  for (int column = 128; column < 132; ++column) expected += Repeat("0x3F,", 132) + "\r\n";
  expected += Repeat("0x3F,", 131) + "0x3F};\r\n/* 17556 */";
  EXPECT_EQ(FormatHeader(WhiteViewport(), {ColorDepth::Depth8, true, "FF"}), expected);
}

TEST(FormatHeader, DroppingTheLastTokenLeavesATrailingComma) {
  Viewport v;  // no picture: white background everywhere inside
  const std::string file = FormatHeader(v, {ColorDepth::Depth8, true, "3F"});
  EXPECT_TRUE(file.ends_with("0xFF,\r\n\r\n\r\n\r\n\r\n};\r\n/* 17556 */")) << file.substr(file.size() - 60);
}

TEST(FormatHeader, ColumnsRunLeftToRightEachFromTheBottomUp) {
  Viewport v;
  Picture p{2, 128, {}};
  for (int row = 0; row < 128; ++row)
    for (int column = 0; column < 2; ++column) p.pixels.push_back(MakeColor(0, row, column));
  v.SetPicture(p);
  const std::vector<std::string> lines = SplitLines(FormatHeader(v, {ColorDepth::Depth16, false, ""}));
  // Depth16 green of row r is round(r * 63 / 255) << 5; column 1's blue rounds to 0.
  const std::string column0 = lines[0].substr(lines[0].find('{') + 1);
  EXPECT_TRUE(column0.starts_with(Repeat("0x7FF,", 5) + "0x3E0,0x3E0,0x3E0,0x3E0,0x3C0,")) << column0.substr(0, 80);
  EXPECT_TRUE(column0.ends_with("0x20,0x20,0x0,0x0,")) << column0;  // rows 4, 3 ... 1
  EXPECT_TRUE(lines[1].starts_with(Repeat("0x7FF,", 5) + "0x3E0,")) << lines[1].substr(0, 80);
  EXPECT_TRUE(lines[2].starts_with(Repeat("0x7FF,", 5) + "0xFFFF,")) << lines[2].substr(0, 80);
}

struct Shape {
  float width;
  ColorDepth depth;
  int columns;
};

class FullRun : public ::testing::TestWithParam<Shape> {};

TEST_P(FullRun, HasOneLinePerColumnAndOneTokenPerGridPoint) {
  const Shape s = GetParam();
  const std::string file = FormatHeader(WhiteViewport(s.width), {s.depth, false, "FFFF"});
  const std::int64_t n = static_cast<std::int64_t>(s.columns) * 132;

  const std::string opening = std::string(s.depth == ColorDepth::Depth8 ? "unsigned char" : "unsigned int") +
                              " const Photos[" + std::to_string(n) + "]={";
  EXPECT_TRUE(file.starts_with(opening));
  EXPECT_TRUE(file.ends_with("};\r\n/* 0 */"));
  EXPECT_EQ(Tokens(file).size(), static_cast<std::size_t>(n));

  const std::vector<std::string> lines = SplitLines(file);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(s.columns) + 1);  // + the count
  EXPECT_EQ(lines[0].substr(opening.size()).find_first_of("\r\n "), std::string::npos);
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].find_first_of("\r\n "), std::string::npos);
  EXPECT_EQ(std::count(file.begin(), file.end(), ','), n - 1);
}

INSTANTIATE_TEST_SUITE_P(BothWidthsAllDepths, FullRun,
                         ::testing::Values(Shape{kNarrowWidthTwips, ColorDepth::Depth8, 133},
                                           Shape{kNarrowWidthTwips, ColorDepth::Depth12, 133},
                                           Shape{kNarrowWidthTwips, ColorDepth::Depth16, 133},
                                           Shape{kWideWidthTwips, ColorDepth::Depth8, 177},
                                           Shape{kWideWidthTwips, ColorDepth::Depth12, 177},
                                           Shape{kWideWidthTwips, ColorDepth::Depth16, 177}),
                         [](const auto& info) {
                           return std::to_string(info.param.columns) + "Columns" +
                                  std::to_string(BitsOf(info.param.depth)) + "Bit";
                         });

TEST(FormatHeader, Depth16WhiteKeyKeepsNoPixelTokens) {
  const std::string file = FormatHeader(WhiteViewport(kWideWidthTwips), {ColorDepth::Depth16, true, "FFFF"});
  const std::vector<std::string> tokens = Tokens(file);
  EXPECT_EQ(std::count(tokens.begin(), tokens.end(), "0xFFFF"), 0);
  EXPECT_EQ(tokens.size(), 23364u - 172u * 127u);
  EXPECT_TRUE(std::all_of(tokens.begin(), tokens.end(), [](const std::string& t) { return t == "0x7FF"; }));
  EXPECT_TRUE(file.ends_with("/* 23364 */"));
}

TEST(FormatHeader, Depth12WhiteKeyAlsoDropsNoPixelSamples) {
  const std::string file = FormatHeader(WhiteViewport(), {ColorDepth::Depth12, true, "79EF0"});
  EXPECT_TRUE(Tokens(file).empty());
  EXPECT_EQ(SplitLines(file).size(), 134u);  // the empty column lines remain
}

TEST(FormatHeader, KeysAreComparedVerbatim) {
  const EncodeSettings keep_all{ColorDepth::Depth16, false, ""};
  const std::string untouched = FormatHeader(WhiteViewport(), keep_all);
  const std::string body = untouched.substr(0, untouched.find("/*"));
  for (const char* key : {"ffff", "0xFFFF", "0FFFF", "FFFF ", ""}) {
    const std::string file = FormatHeader(WhiteViewport(), {ColorDepth::Depth16, true, key});
    EXPECT_EQ(file.substr(0, file.find("/*")), body) << "key '" << key << "' must match nothing";
    EXPECT_TRUE(file.ends_with("/* 17556 */"));
  }
  // With removal off the key is ignored, whatever it holds.
  EXPECT_EQ(FormatHeader(WhiteViewport(), {ColorDepth::Depth16, false, "FFFF"}), untouched);
  // 0FFF never matches FFF: a blue-only pixel at depth 16 is 0x1F, not 0x01F.
  Viewport v;
  v.SetPicture(UniformPicture(128, 128, MakeColor(0, 0, 255)));
  const std::string with_zeros = FormatHeader(v, {ColorDepth::Depth16, true, "01F"});
  EXPECT_NE(with_zeros.find("0x1F,"), std::string::npos);
}

}  // namespace
}  // namespace pixolan
