// The generated header, compiled into a C program, holds what was sampled.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "encoder/header_format.h"
#include "tests/test_support.h"

namespace pixolan {
namespace {

using testing::TempDir;
using testing::WriteFile;

constexpr const char* kProgram = R"(#include <stdio.h>
#include "image.h"
int main(void) {
  unsigned long i;
  printf("%lu\n", (unsigned long)(sizeof Photos / sizeof Photos[0]));
  for (i = 0; i < sizeof Photos / sizeof Photos[0]; ++i) printf("%lX\n", (unsigned long)Photos[i]);
  return 0;
}
)";

std::string RunShell(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  return ::pclose(pipe) == 0 ? output : "failed: " + output;
}

class CompiledHeader : public ::testing::TestWithParam<ColorDepth> {};

TEST_P(CompiledHeader, ElementsEqualTheSamplesPacked) {
  Viewport viewport;
  viewport.SetOuterWidth(kWideWidthTwips);
  Picture p{172, 128, {}};
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 172; ++x) p.pixels.push_back(MakeColor(x * 3, y * 2, x + y));
  viewport.SetPicture(p);

  TempDir dir;
  WriteFile(dir / "image.h", FormatHeader(viewport, {GetParam(), false, ""}));
  WriteFile(dir / "main.c", kProgram);
  const std::string out = RunShell("cc -std=c99 -Wall -Wextra -Werror -pedantic -o " + (dir / "photos") + " " +
                              (dir / "main.c") + " 2>&1 && " + (dir / "photos"));
  ASSERT_FALSE(out.starts_with("failed")) << out;

  std::istringstream printed(out);
  std::size_t count = 0;
  printed >> count;
  ASSERT_EQ(count, 177u * 132u);
  for (int column = 0; column <= 176; ++column) {
    for (int row = 132; row >= 1; --row) {
      const ColorValue c = viewport.Sample(static_cast<float>(column * 15), static_cast<float>(row * 15));
      std::string element;
      printed >> element;
      ASSERT_EQ(element, HexText(PackColor(GetParam(), c))) << "column " << column << ", row " << row;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, CompiledHeader,
                         ::testing::Values(ColorDepth::Depth8, ColorDepth::Depth12, ColorDepth::Depth16),
                         [](const auto& info) { return std::to_string(BitsOf(info.param)) + "Bit"; });

}  // namespace
}  // namespace pixolan
