#pragma once
// Small helpers shared by the tests: scratch directories and whole-file I/O.

#include <filesystem>
#include <string>
#include <vector>

#include "model/viewport.h"

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

/// A picture of one colour.
Picture UniformPicture(int width, int height, ColorValue color);

/// Splits text at every CR LF; the text after the last one is the last item.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace pixolan::testing
