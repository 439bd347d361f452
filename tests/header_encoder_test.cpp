// SPDX-License-Identifier: MIT
// One Encode run through a host: where it writes, what it says, what it keeps.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "encoder/header_encoder.h"
#include "resources/sample_picture.h"
#include "tests/test_support.h"

namespace pixolan {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using Names = std::vector<std::string>;

class FakeHost : public EncoderHost {
 public:
  explicit FakeHost(std::string directory) : directory_(std::move(directory)) { viewport_.SetPicture(SamplePicture()); }

  const Viewport& GetViewport() const override { return viewport_; }
  int SelectedDepthOption() const override { return depth_option; }
  bool RemoveColorUnchecked() const override { return remove_unchecked; }
  std::string KeyText() const override { return key; }
  void SetProgressValue(int value) override { progress.push_back(value); }
  void SetProgressMaximum(int maximum) override { progress_maximum = maximum; }
  int ProgressMaximum() const override { return progress_maximum; }
  std::string ProgramDirectory() const override { return directory_; }
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
    messages.push_back(text + " | " + title + " | " + std::to_string(static_cast<int>(icon)));
  }

  Viewport viewport_;
  int depth_option = 0;
  bool remove_unchecked = true;
  std::string key = "FFFF";
  std::vector<int> progress;
  int progress_maximum = 0;
  std::vector<std::string> messages;  // text | title | icon (1 exclamation, 2 critical)

 private:
  std::string directory_;
};

TEST(HeaderEncoder, SaysWhenTheKeyLeftNothingOut) {
  TempDir dir;
  FakeHost host(dir.path().string());
  host.remove_unchecked = false;
  host.key = "FFFF";  // white at 16 bits; no 8-bit value has four digits
  ASSERT_TRUE(HeaderEncoder().Run(host));
  host.key = "3F";  // the no-pixel samples at 8 bits: always there
  ASSERT_TRUE(HeaderEncoder().Run(host));
  EXPECT_EQ(host.messages, (Names{"Generated: " + (dir / "image.h") +
                                      "\nNo sample matched the key FFFF at 8 bits, so nothing was left out. | Image file generated. | 1",
                                  "Generated: " + (dir / "image.h") + " | Image file generated. | 1"}));
}

TEST(HeaderEncoder, ReplacesAnExistingFileNeverAppendsAndKeepsItsMode) {
  TempDir dir;
  WriteFile(dir / "image.h", std::string(500000, '#'));
  ::chmod((dir / "image.h").c_str(), 0640);
  FakeHost host(dir.path().string());
  ASSERT_TRUE(HeaderEncoder().Run(host));
  const std::string written = ReadFile(dir / "image.h");
  EXPECT_TRUE(written.starts_with("unsigned char const Photos[17556]={"));
  EXPECT_TRUE(written.ends_with("};\r\n/* 0 */"));
  EXPECT_EQ(written.find('#'), std::string::npos);
  EXPECT_EQ(std::filesystem::status(dir / "image.h").permissions() & std::filesystem::perms::all,
            std::filesystem::perms(0640));
}

TEST(HeaderEncoder, ReadOnlyFileOrUnwritableDirectoryIsReportedAndNothingChanges) {
  TempDir dir;
  WriteFile(dir / "image.h", "keep me");
  ::chmod((dir / "image.h").c_str(), 0444);
  FakeHost host(dir.path().string());
  EXPECT_FALSE(HeaderEncoder().Run(host));
  EXPECT_EQ(ReadFile(dir / "image.h"), "keep me");
  EXPECT_EQ(host.messages, Names{(dir / "image.h") + " is read-only, so it was not replaced. Any earlier file there was "
                                                     "left as it was. | Image file not generated. | 2"});
  EXPECT_EQ(dir.Entries(), Names{"image.h"});
  for (const std::string& where : {dir / "missing", dir / "image.h"}) {
    FakeHost elsewhere(where);
    EXPECT_FALSE(HeaderEncoder().Run(elsewhere));
    ASSERT_EQ(elsewhere.messages.size(), 1u);
    EXPECT_TRUE(elsewhere.messages[0].starts_with("Could not write " + where + "/image.h")) << elsewhere.messages[0];
    EXPECT_TRUE(elsewhere.messages[0].ends_with(" | Image file not generated. | 2"));
    EXPECT_EQ(elsewhere.progress.back(), 0);  // nothing written: the bar does not say otherwise
  }
}

TEST(HeaderEncoder, WriteFailingHalfWayLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  WriteFile(dir / "image.h", "old");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A 4 KiB file-size limit: the write fails part of the way through.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    FakeHost host(dir.path().string());
    const bool ok = HeaderEncoder().Run(host);
    ::_exit(!ok && host.messages.size() == 1 && host.messages[0].find("File too large") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run did not report the failed write";
  EXPECT_EQ(ReadFile(dir / "image.h"), "old");
  EXPECT_EQ(dir.Entries(), Names{"image.h"});
}

}  // namespace
}  // namespace pixolan
