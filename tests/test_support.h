// SPDX-License-Identifier: MIT
#pragma once
// What the tests share: scratch directories, whole files, one way to run a
// command, small pictures, and Qt's decode as the decoders' reference.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "picture/decoder.h"

namespace pixolan::testing {

/// A fresh directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  /// Names of the entries in the directory, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
/// A file of tests/data/pictures.
std::vector<std::uint8_t> TestPicture(const std::string& name);

struct Ran {
  int status;  // exit status, -1 when ended by a signal
  std::string out, err;
};
/// Runs a shell command line, keeping its standard output and error apart.
Ran RunCommand(const std::string& command);

/// A binary PPM, which only Qt reads, whose pixel (x, y) is color(x, y).
std::string Ppm(int width, int height, const std::function<ColorValue(int x, int y)>& color);

/// The decoder's region equals Qt's whole decode cut to it, both composited
/// over a background that shows alpha, for the default corner and two
/// offsets. False when Qt cannot read the bytes: nothing compared.
bool ExpectSameAsQt(DecodeOutcome (*decode)(Bytes, const Region&, const DecodeLimits&, const Placement&),
                    const std::vector<std::uint8_t>& bytes, const std::string& name);

/// One frame of a GIF: a rectangle of one colour index (or, for index -1,
/// of index (7x + 3y) mod the table's size), its top left pixel the
/// transparent index when there is one.
struct GifFrame {
  int left, top, width, height, index;
  int delay_cs = 10;
  int disposal = 0;  // 2: cleared afterwards, 3: what it covered restored
  int transparent = -1;
  bool interlaced = false;
  bool local_table = false;  // of 16 colours, red running backwards
};

/// A GIF written by giflib on a width x height screen; colour i of the global
/// table (left out if asked) is (i, 255 - i, 5i).
std::vector<std::uint8_t> AnimatedGif(int width, int height, const std::vector<GifFrame>& frames, int background = 0,
                                      bool global_table = true);

/// Pixel (x, y) of a decoded region as 0xRRGGBBAA.
std::uint32_t PixelAt(const RgbaPixels& pixels, int x, int y);

}  // namespace pixolan::testing
