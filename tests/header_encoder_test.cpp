#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <stdexcept>

#include "encoder/header_encoder.h"
#include "resources/sample_picture.h"
#include "tests/test_support.h"

namespace pixolan {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

struct Message {
  std::string text, title;
  MessageIcon icon;
};

class FakeHost : public EncoderHost {
 public:
  explicit FakeHost(std::string directory) : directory_(std::move(directory)) {
    viewport_.SetPicture(SamplePicture());
  }

  const Viewport& GetViewport() const override { return viewport_; }
  int SelectedDepthOption() const override { return depth_option; }
  bool RemoveColorUnchecked() const override { return remove_unchecked; }
  std::string KeyText() const override { return key; }
  void SetProgressValue(int value) override {
    if (fail_at_progress && value >= fail_at_progress) throw std::runtime_error("host gave up");
    progress.push_back(value);
  }
  void SetProgressMaximum(int maximum) override { progress_maximum = maximum; }
  int ProgressMaximum() const override { return progress_maximum; }
  std::string ProgramDirectory() const override { return directory_; }
  std::string OutputPath() const override { return output.empty() ? EncoderHost::OutputPath() : output; }
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
    messages.push_back({text, title, icon});
  }

  Viewport viewport_;
  int depth_option = 0;
  bool remove_unchecked = true;
  std::string key = "FFFF";
  int fail_at_progress = 0;
  std::vector<int> progress;
  int progress_maximum = 0;
  std::vector<Message> messages;
  std::string output;  // empty: image.h in the program's directory

 private:
  std::string directory_;
};

TEST(HeaderEncoder, WritesImageHInTheProgramDirectoryAndSaysWhere) {
  TempDir dir;
  FakeHost host(dir.path().string());
  host.depth_option = 2;
  ASSERT_TRUE(HeaderEncoder().Run(host));

  EXPECT_EQ(ReadFile(dir / "image.h"), FormatHeader(host.GetViewport(), {ColorDepth::Depth16, false, "FFFF"}));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Generated: " + (dir / "image.h"));
  EXPECT_EQ(host.messages[0].title, "Image file generated.");
  EXPECT_EQ(host.messages[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"image.h"});
}

TEST(HeaderEncoder, SaysWhenTheKeyLeftNothingOut) {
  TempDir dir;
  FakeHost host(dir.path().string());
  host.remove_unchecked = false;
  host.key = "FFFF";  // white at 16 bits; no 8-bit value has four digits
  ASSERT_TRUE(HeaderEncoder().Run(host));
  host.key = "3F";  // the no-pixel samples at 8 bits: always there
  ASSERT_TRUE(HeaderEncoder().Run(host));
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].text, "Generated: " + (dir / "image.h") +
                                       "\nNo sample matched the key FFFF at 8 bits, so nothing was left out.");
  EXPECT_EQ(host.messages[1].text, "Generated: " + (dir / "image.h"));
}

TEST(HeaderEncoder, ProgressStartsAtOneAndEndsAtTheMaximum) {
  TempDir dir;
  FakeHost host(dir.path().string());
  HeaderEncoder().Run(host);
  EXPECT_EQ(host.progress_maximum, 1980);
  ASSERT_EQ(host.progress.size(), 134u);
  EXPECT_EQ(host.progress[0], 1);
  EXPECT_EQ(host.progress[1], 15);
  EXPECT_EQ(host.progress[132], 1980);
  EXPECT_EQ(host.progress[133], 1980);  // x = 1995 is past the maximum
}

TEST(HeaderEncoder, ReplacesAnExistingFileNeverAppends) {
  TempDir dir;
  WriteFile(dir / "image.h", std::string(500000, '#'));
  ::chmod((dir / "image.h").c_str(), 0640);
  FakeHost host(dir.path().string());
  ASSERT_TRUE(HeaderEncoder().Run(host));
  const std::string written = ReadFile(dir / "image.h");
  EXPECT_TRUE(written.starts_with("unsigned char const Photos[17556]={"));
  EXPECT_EQ(written.size(), FormatHeader(host.GetViewport(), {}).size());
  EXPECT_EQ(written.find('#'), std::string::npos);
  EXPECT_EQ(std::filesystem::status(dir / "image.h").permissions() & std::filesystem::perms::all,
            std::filesystem::perms(0640));
}

TEST(HeaderEncoder, ReadOnlyFileIsKeptAndReported) {
  TempDir dir;
  WriteFile(dir / "image.h", "keep me");
  ::chmod((dir / "image.h").c_str(), 0444);
  FakeHost host(dir.path().string());
  EXPECT_FALSE(HeaderEncoder().Run(host));
  EXPECT_EQ(ReadFile(dir / "image.h"), "keep me");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].icon, MessageIcon::Critical);
  EXPECT_EQ(host.messages[0].text,
            (dir / "image.h") + " is read-only, so it was not replaced. Any earlier file there was left as it was.");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"image.h"});
}

TEST(HeaderEncoder, UnwritableDirectoryIsReported) {
  TempDir dir;
  WriteFile(dir / "plain-file", "");
  for (const std::string& where : {dir / "missing", dir / "plain-file"}) {
    FakeHost host(where);
    EXPECT_FALSE(HeaderEncoder().Run(host));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(host.messages[0].title, "Image file not generated.");
    EXPECT_EQ(host.progress.back(), 0);  // nothing written: the bar does not say otherwise
    EXPECT_NE(host.messages[0].text.find(where + "/image.h"), std::string::npos) << host.messages[0].text;
  }
}

TEST(HeaderEncoder, HostFailingHalfWayLeavesTheOldFile) {
  TempDir dir;
  WriteFile(dir / "image.h", "old");
  FakeHost host(dir.path().string());
  host.fail_at_progress = 900;
  EXPECT_THROW(HeaderEncoder().Run(host), std::runtime_error);
  EXPECT_EQ(ReadFile(dir / "image.h"), "old");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"image.h"});
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
    const bool reported = host.messages.size() == 1 && host.messages[0].icon == MessageIcon::Critical &&
                          host.messages[0].text.find("File too large") != std::string::npos;
    ::_exit(!ok && reported ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the run did not report the failed write";
  EXPECT_EQ(ReadFile(dir / "image.h"), "old");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"image.h"});
}

TEST(HeaderEncoder, OnlyAFileThereIsSaidToBeKept) {
  FakeHost device("/dev");
  device.output = "/dev/full";
  EXPECT_FALSE(HeaderEncoder().Run(device));
  ASSERT_EQ(device.messages.size(), 1u);
  EXPECT_EQ(device.messages[0].text, "Could not write /dev/full: No space left on device.");
}

TEST(HeaderEncoder, AWarningComesBeforeTheGeneratedMessage) {
  TempDir dir;
  WriteFile(dir / "image.h", "old");
  std::filesystem::create_hard_link(dir / "image.h", dir / "copy.h");
  FakeHost host(dir.path().string());
  ASSERT_TRUE(HeaderEncoder().Run(host));
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].text, (dir / "image.h") + " had other hard links, which still hold the earlier content: " +
                                       (dir / "copy.h") + ".");
  EXPECT_EQ(host.messages[0].title, "Image file generated.");
  EXPECT_EQ(host.messages[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(host.messages[1].text, "Generated: " + (dir / "image.h"));
}

}  // namespace
}  // namespace pixolan
