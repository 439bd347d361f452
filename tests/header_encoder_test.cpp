// SPDX-License-Identifier: MIT
// One Encode run through a host: what it says when done and when refused.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "encoder/header_encoder.h"
#include "resources/sample_picture.h"
#include "tests/test_support.h"

namespace pixolan {
namespace {

using testing::TempDir;
using Names = std::vector<std::string>;

class FakeHost : public EncoderHost {
 public:
  explicit FakeHost(std::string directory) : directory_(std::move(directory)) { viewport_.SetPicture(SamplePicture()); }
  const Viewport& GetViewport() const override { return viewport_; }
  int SelectedDepthOption() const override { return 0; }
  bool RemoveColorUnchecked() const override { return remove_unchecked; }
  std::string KeyText() const override { return key; }
  void SetProgressValue(int) override {}
  void SetProgressMaximum(int maximum) override { progress_maximum_ = maximum; }
  int ProgressMaximum() const override { return progress_maximum_; }
  std::string ProgramDirectory() const override { return directory_; }
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
    messages.push_back(text + " | " + title + " | " + std::to_string(static_cast<int>(icon)));
  }

  bool remove_unchecked = true;
  std::string key = "FFFF";
  std::vector<std::string> messages;  // text | title | icon (1 exclamation, 2 critical)

 private:
  Viewport viewport_;
  int progress_maximum_ = 0;
  std::string directory_;
};

TEST(HeaderEncoder, SaysWhatItWroteAndWhyItRefused) {
  TempDir dir;
  FakeHost host(dir.path().string());
  host.remove_unchecked = false;
  ASSERT_TRUE(HeaderEncoder().Run(host));  // FFFF: white at 16 bits; no 8-bit value has four digits
  host.key = "3F";                         // the no-pixel samples at 8 bits, and the cyan bar: 2308 0x3F in the file
  ASSERT_TRUE(HeaderEncoder().Run(host));
  const std::string written = testing::ReadFile(dir / "image.h");
  ::chmod((dir / "image.h").c_str(), 0444);
  EXPECT_FALSE(HeaderEncoder().Run(host));
  EXPECT_EQ(testing::ReadFile(dir / "image.h"), written);
  const std::string generated = "Generated: " + (dir / "image.h");
  EXPECT_EQ(
      host.messages,
      (Names{generated +
                 "\nNo sample matched the key FFFF at 8 bits, so nothing was left out. | Image file generated. | 1",
             generated + "\n2308 samples matched the key and were left out. | Image file generated. | 1",
             (dir / "image.h") + " is read-only, so it was not replaced. Any earlier file there was left as it was. "
                                 "| Image file not generated. | 2"}));
}

// The window waits for the write: a pipe nothing reads would freeze it.
TEST(HeaderEncoder, TheWindowsRunRefusesWhatIsNotARegularFile) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "image.h").c_str(), 0600), 0);
  FakeHost host(dir.path().string());
  ::alarm(30);  // a run that blocks stops the test program instead of hanging
  EXPECT_FALSE(HeaderEncoder().Run(host));
  ::alarm(0);
  EXPECT_EQ(host.messages,
            Names{"Could not write " + (dir / "image.h") + ": not a regular file. | Image file not generated. | 2"});
}

}  // namespace
}  // namespace pixolan
