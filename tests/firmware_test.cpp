// SPDX-License-Identifier: MIT
// Headers as firmware builds them: every declaration form compiled and linked
// by the host's, AVR's and Cortex-M's compilers, in C and C++, with --report
// predicting each one that does not fit; and a small firmware run in simavr
// that draws the pictures through split far arrays and the run-length decoder.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/test_support.h"

namespace pixolan {
namespace {

using testing::ReadFile;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteFile;

const std::string kEncode = PIXOLAN_ENCODE_BINARY " ";
const std::string kDecode = PIXOLAN_DECODE_BINARY " ";
const std::string kPictures = PIXOLAN_TESTDATA_DIR "/";
const std::string kCoord = kPictures + "crafted_coord_300x200.bmp";
const std::string kSmall = kPictures + "crafted_coord_100x60.bmp";
const std::string kFirmware = PIXOLAN_SOURCE_DIR "/tests/firmware/draw.c";

bool Installed(const std::string& program) { return RunCommand("command -v " + program).status == 0; }

// --- Every declaration form, every compiler ------------------------------------

struct Compiler {
  std::string program;
  std::string command;               // up to the files
  std::vector<std::string> targets;  // the --report lines that speak for it
};

const std::string kStrict = " -Wall -Wextra -Werror -pedantic";
const std::string kArm = " -mcpu=cortex-m4 -mthumb -Os --specs=nosys.specs";
const Compiler kCompilers[] = {
    {"gcc", "gcc -std=c99" + kStrict, {"host, ARM Cortex-M"}},
    {"g++", "g++ -x c++ -std=c++17" + kStrict, {"host, ARM Cortex-M"}},
    {"clang-14", "clang-14 -std=c11" + kStrict, {"host, ARM Cortex-M", "clang, C with -pedantic"}},
    {"clang++-14", "clang++-14 -x c++ -std=c++17" + kStrict, {"host, ARM Cortex-M"}},
    {"avr-gcc", "avr-gcc -mmcu=atmega328p -Os -std=c99" + kStrict, {"atmega328p"}},
    {"avr-gcc", "avr-gcc -mmcu=atmega2560 -Os -std=c99" + kStrict, {"atmega2560"}},
    {"avr-g++", "avr-g++ -x c++ -mmcu=atmega2560 -Os -std=c++11" + kStrict, {"atmega2560"}},
    {"arm-none-eabi-gcc", "arm-none-eabi-gcc -std=c99" + kArm + kStrict, {"host, ARM Cortex-M"}},
    {"arm-none-eabi-g++",
     "arm-none-eabi-g++ -x c++ -std=c++17 -fno-exceptions" + kArm + kStrict,
     {"host, ARM Cortex-M"}},
};

// Whether every --report line for the targets (there must be one) ends in
// ": fits"; the lines themselves for messages.
std::pair<bool, std::string> Predicted(const std::string& report, const std::vector<std::string>& targets) {
  bool fits = true;
  std::string said;
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);)
    for (const std::string& target : targets)
      if (line.starts_with(target + ": ")) {
        fits = fits && line.ends_with(": fits");
        said += line + "\n";
      }
  if (said.empty()) return {false, "no line for " + targets[0] + " in:\n" + report};
  return {fits, said};
}

struct Form {
  std::string options;  // given to pixolan-encode with the pictures
  std::string element;  // how a program reads element i of the (last) picture
};

class CompileMatrix : public ::testing::TestWithParam<Form> {};

TEST_P(CompileMatrix, BuildsWhereTheReportSaysItFits) {
  const Form& form = GetParam();
  TempDir dir;
  const auto encoded =
      RunCommand("cd " + dir.path().string() + " && " + kEncode + form.options + " --fit --report -o image.h");
  ASSERT_EQ(encoded.status, 0) << encoded.err;
  const bool source = form.options.find("--source") != std::string::npos;
  WriteFile(dir / "main.c",
            "#include \"image.h\"\nvolatile unsigned long at = 5;\n"
            "int main(void) { return (int)(" +
                form.element + " & 1u); }\n");
  for (const Compiler& compiler : kCompilers) {
    if (!Installed(compiler.program)) GTEST_SKIP() << compiler.program << " is not installed";
    const auto built = RunCommand("cd " + dir.path().string() + " && " + compiler.command + " -o program main.c" +
                                  (source ? " image.c" : ""));
    const auto [fits, line] = Predicted(encoded.err, compiler.targets);
    EXPECT_EQ(built.status == 0, fits) << compiler.command << " " << form.options << "\n--report: " << line << "\n"
                                       << built.err;
  }
}

const std::string kTwo = kCoord + " " + kSmall;

INSTANTIATE_TEST_SUITE_P(
    EveryForm, CompileMatrix,
    ::testing::Values(
        Form{kCoord, "Photos[at]"}, Form{kCoord + " --depth 12", "Photos[at]"},
        Form{kCoord + " --depth 16", "Photos[at]"}, Form{kCoord + " --type stdint --depth 12", "Photos[at]"},
        Form{kCoord + " --type stdint --depth 16", "Photos[at]"}, Form{kCoord + " --static --depth 16", "Photos[at]"},
        Form{kCoord + " --guard", "Photos[at]"}, Form{kCoord + " --section .rodata.pixolan", "Photos[at]"},
        Form{kCoord + " --source image.c --depth 16", "Photos[at]"},
        Form{kCoord + " --layout rows --depth 16 --type stdint", "Photos[at]"},
        Form{kCoord + " --progmem", "Photos_at(at)"}, Form{kCoord + " --progmem --depth 12", "Photos_at(at)"},
        Form{kCoord + " --progmem --depth 16", "Photos_at(at)"},
        Form{kCoord + " --progmem --type stdint --depth 12", "Photos_at(at)"},
        Form{kCoord + " --progmem --type stdint --depth 16 --swap-bytes", "Photos_at(at)"},
        Form{kCoord + " --progmem --depth 16 --source image.c --guard", "Photos_at(at)"},
        Form{kCoord + " --compress rle --depth 16", "Photos_at(at)"},
        Form{kCoord + " --compress rle --progmem --depth 16", "Photos_at(at)"},
        Form{kCoord + " --compress rle --progmem --type stdint --depth 12", "Photos_at(at)"},
        Form{kTwo, "Photos[1][at]"}, Form{kTwo + " --progmem --depth 16 --guard", "Photos[1](at)"}),
    [](const ::testing::TestParamInfo<Form>& test) {
      std::string name = test.param.options.substr(test.param.options.find(".bmp") + 4);
      name = std::regex_replace(name, std::regex(kSmall), "two_pictures");
      name = std::regex_replace(name, std::regex("[^A-Za-z0-9]+"), "_");
      return std::to_string(test.index) + name;
    });

// --- A firmware in the simulator -------------------------------------------------

// The packed values the firmware sent to its UART, as simavr prints them.
std::vector<std::string> SentValues(const std::string& printed) {
  // simavr prints a line at a time, coloured, and breaks long lines anywhere.
  const std::string text = std::regex_replace(printed, std::regex("\n?\x1b\\[[0-9;]*m"), "");
  std::vector<std::string> values;
  const std::regex value("[0-9A-F]{4}");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), value); it != std::sregex_iterator(); ++it)
    values.push_back(it->str());
  return values;
}

// What a panel drew, frame by frame, compared with pixolan-decode's
// pictures of the header: each frame as a header of its own, decoded too.
void ExpectFramesDecodeAsTheHeader(const TempDir& dir, const std::vector<std::string>& sent,
                                   const std::vector<std::string>& pictures, int bits) {
  constexpr std::size_t kPixels = 128 * 128;
  ASSERT_EQ(sent.size(), pictures.size() * kPixels);
  const auto decoded = RunCommand(kDecode + (dir / "image.h") + " -o " + (dir / "header.png"));
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  for (std::size_t k = 0; k < pictures.size(); ++k) {
    std::string frame = "/* pixolan: depth=" + std::to_string(bits) +
                        (bits == 8 ? " pixel=rrggggbb" : " pixel=rgb565") +
                        " layout=rows size=128x128 bytes=as-is elements=16384 */\nconst unsigned Frame[16384]={";
    for (std::size_t i = 0; i < kPixels; ++i) frame += "0x" + sent[k * kPixels + i] + ",";
    WriteFile(dir / "frame.h", frame + "};\n");
    const auto drawn = RunCommand(kDecode + (dir / "frame.h") + " -o " + (dir / "frame.png"));
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    const std::string header_png = pictures.size() == 1 ? "header.png" : "header-" + pictures[k] + ".png";
    EXPECT_TRUE(ReadFile(dir / "frame.png") == ReadFile(dir / header_png)) << "picture " << pictures[k];
  }
}

// Builds tests/firmware/draw.c against dir's image.h for mcu, runs it in
// simavr and returns what it sent; the ARM build of the same logic must link.
std::vector<std::string> RunFirmware(const TempDir& dir, const std::string& mcu, const std::string& defines) {
  const std::string files = " -I" + dir.path().string() + " " + kFirmware + " -o ";
  const auto built =
      RunCommand("avr-gcc -mmcu=" + mcu + " -Os -std=c99" + kStrict + defines + files + (dir / "fw.elf"));
  EXPECT_EQ(built.status, 0) << built.err;
  if (Installed("arm-none-eabi-gcc")) {
    const auto arm = RunCommand("arm-none-eabi-gcc -std=c99" + kArm + kStrict + defines + files + (dir / "arm.elf"));
    EXPECT_EQ(arm.status, 0) << arm.err;
  }
  const auto ran = RunCommand("timeout 120 simavr -m " + mcu + " -f 16000000 " + (dir / "fw.elf"));
  EXPECT_EQ(ran.status, 0) << ran.err.substr(0, 2000);
  return SentValues(ran.err);
}

bool FirmwareToolsOrSkip(std::string& missing) {
  for (const std::string program : {"avr-gcc", "simavr"})
    if (!Installed(program)) missing += program + " ";
  return missing.empty();
}

// Two 16-bit pictures take 64 KB and more: their parts lie beyond the reach
// of 16-bit addresses, which the accessor reads by far address.
TEST(Firmware, Atmega2560DrawsSplitFarArraysAndCodedOnesAsTheHeaderHoldsThem) {
  std::string missing;
  if (!FirmwareToolsOrSkip(missing)) GTEST_SKIP() << "not installed: " << missing;
  const std::vector<std::string> pictures = {"crafted_coord_300x200", "crafted_coord_100x60"};
  for (const std::string coded : {"", " --compress rle"}) {
    SCOPED_TRACE(coded.empty() ? "split" : "coded");
    TempDir dir;
    const auto encoded = RunCommand(kEncode + kTwo + " --fit --depth 16 --layout rows --guard --progmem --report" +
                                    coded + " -o " + (dir / "image.h"));
    ASSERT_EQ(encoded.status, 0) << encoded.err;
    if (coded.empty()) {
      EXPECT_NE(encoded.err.find("atmega2560: 65536 bytes of program memory in 2 parts read by far address: fits"),
                std::string::npos)
          << encoded.err;
    }
    const std::vector<std::string> sent = RunFirmware(dir, "atmega2560", coded.empty() ? "" : " -DCODED");
    ExpectFramesDecodeAsTheHeader(dir, sent, pictures, 16);
  }
}

TEST(Firmware, Atmega328pDrawsAnEightBitPictureFromProgramMemory) {
  std::string missing;
  if (!FirmwareToolsOrSkip(missing)) GTEST_SKIP() << "not installed: " << missing;
  TempDir dir;
  const auto encoded = RunCommand(
      kEncode + kCoord + " --fit --rotate 90 --depth 8 --layout rows --guard --progmem -o " + (dir / "image.h"));
  ASSERT_EQ(encoded.status, 0) << encoded.err;
  ExpectFramesDecodeAsTheHeader(dir, RunFirmware(dir, "atmega328p", ""), {"Photos"}, 8);
}

}  // namespace
}  // namespace pixolan
