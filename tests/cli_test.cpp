#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "encoder/header_format.h"
#include "picture/picture_loader.h"
#include "resources/sample_picture.h"
#include "tests/test_support.h"

namespace pixolan {
namespace {

using testing::ReadFile;
using testing::TempDir;

const std::string kPictures = PIXOLAN_TESTDATA_DIR;

struct Outcome {
  int status;
  std::string out;  // standard output
  std::string err;  // standard error
};

Outcome Encode(const std::string& arguments, const TempDir& scratch, const std::vector<std::string>& environment = {}) {
  const std::string err_file = scratch / "stderr.txt";
  std::string command;
  for (const std::string& assignment : environment) command += assignment + " ";
  command += std::string(PIXOLAN_ENCODE_BINARY) + " " + arguments + " 2>" + err_file;
  Outcome outcome{-1, {}, {}};
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) outcome.out.append(buffer, n);
  const int status = ::pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.err = ReadFile(err_file);
  std::filesystem::remove(err_file);
  return outcome;
}

std::string Expected(const Picture& picture, float width, const EncodeSettings& settings) {
  Viewport viewport;
  viewport.SetOuterWidth(width);
  viewport.SetPicture(picture);
  return FormatHeader(viewport, settings);
}

TEST(PixolanEncode, DefaultsEncodeTheSamplePictureIntoImageH) {
  TempDir dir;
  const Outcome o = Encode("-o " + (dir / "image.h"), dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(ReadFile(dir / "image.h"), Expected(SamplePicture(), kNarrowWidthTwips, {}));
}

TEST(PixolanEncode, WritesTheSameBytesAsTheEncoder) {
  TempDir dir;
  const std::string picture = kPictures + "/crafted_coord_300x200.bmp";
  const LoadResult loaded = LoadPicture(picture);
  ASSERT_TRUE(loaded.Ok());
  const Outcome o = Encode(picture + " --resolution 132x176 --depth 12 --remove 79EF0 -o -", dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, Expected(loaded.picture, kWideWidthTwips, {ColorDepth::Depth12, true, "79EF0"}));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
}

TEST(PixolanEncode, StandardInputGivesWhatThePathGives) {
  TempDir dir;
  std::string ppm = "P6\n200 150\n255\n";
  for (int i = 0; i < 200 * 150; ++i) ppm += {char(i % 251), char(i % 13 * 19), char(i / 200)};
  testing::WriteFile(dir / "picture.ppm", ppm);
  const Outcome by_path = Encode((dir / "picture.ppm") + " --depth 16 -o -", dir);
  const Outcome by_stdin = Encode("- --depth 16 -o - <" + (dir / "picture.ppm"), dir);
  EXPECT_EQ(by_path.status, 0) << by_path.err;
  EXPECT_EQ(by_stdin.status, 0) << by_stdin.err;
  EXPECT_TRUE(by_path.out.starts_with("unsigned int const Photos[17556]={")) << by_path.out.substr(0, 80);
  EXPECT_EQ(by_stdin.out, by_path.out);
  const Outcome nothing = Encode("- -o - </dev/null", dir);
  EXPECT_EQ(nothing.status, 1);
  EXPECT_EQ(nothing.err, "pixolan-encode: Could not load standard input: the file is empty\n");
}

TEST(PixolanEncode, BadPictureFailsWithAMessageAndNoFile) {
  TempDir dir;
  const Outcome o = Encode(kPictures + "/crafted_text_renamed.jpg -o " + (dir / "image.h"), dir);
  EXPECT_NE(o.status, 0);
  EXPECT_NE(o.err.find("crafted_text_renamed.jpg"), std::string::npos) << o.err;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
}

TEST(PixolanEncode, UnwritableOutputFailsWithAMessageAndNoFile) {
  TempDir dir;
  const Outcome o = Encode("-o " + (dir / "missing/image.h"), dir);
  EXPECT_NE(o.status, 0);
  EXPECT_NE(o.err.find(dir / "missing/image.h"), std::string::npos) << o.err;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
}

TEST(PixolanEncode, UsageErrorsExitWithTwo) {
  TempDir dir;
  const Outcome o = Encode("--depth 24", dir);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("unknown depth '24'"), std::string::npos) << o.err;
  const Outcome help = Encode("--help", dir);
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: pixolan-encode")) << help.out;
  EXPECT_EQ(Encode("--version", dir).out, "pixolan-encode 1.0.0\n");
}

// Damaged BMPs whose decoder leaves pixels unwritten still give one output,
// whatever glibc fills fresh and freed memory with.
TEST(PixolanEncode, SameFileSameOutputWhateverTheHeapHolds) {
  TempDir dir;
  for (const char* name : {"bmpsuite_b_shortfile.bmp", "bmpsuite_b_badrle.bmp", "bmpsuite_q_pal8rlecut.bmp"}) {
    std::vector<std::string> outputs;
    for (const char* perturb : {"0", "1", "170", "255"})
      outputs.push_back(Encode(kPictures + "/" + name + " --depth 16 -o -", dir, {"MALLOC_PERTURB_=" + std::string(perturb)}).out);
    for (const std::string& out : outputs) {
      EXPECT_EQ(out, outputs.front()) << name;
      EXPECT_TRUE(out.starts_with("unsigned int const Photos[17556]={")) << name;
    }
  }
}

}  // namespace
}  // namespace pixolan
