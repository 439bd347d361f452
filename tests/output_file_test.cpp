// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/xattr.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>

#include "io/descriptor.h"
#include "io/output_file.h"
#include "io/signal_cleanup.h"
#include "tests/test_support.h"

namespace pixolan {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Runs body in a child process and returns the text it reported.
std::string InChild(const std::function<std::string()>& body) {
  int report[2];
  if (::pipe(report) != 0) return "no pipe";
  if (::fork() == 0) {
    const std::string text = body();
    ::_exit(::write(report[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
  }
  ::close(report[1]);
  ::wait(nullptr);
  char text[4096];
  const ssize_t n = ::read(report[0], text, sizeof text);
  ::close(report[0]);
  return std::string(text, n > 0 ? n : 0);
}

TEST(ReadAll, TakesAsMuchAsItsLimitAndRefusesOneByteMore) {
  TempDir dir;
  WriteFile(dir / "five", "12345");
  const int fd = ::open((dir / "five").c_str(), O_RDONLY | O_CLOEXEC);
  std::string whole, cut;
  EXPECT_EQ(ReadAll(fd, 5, whole), 0);
  EXPECT_EQ(whole, "12345");
  ::lseek(fd, 0, SEEK_SET);
  EXPECT_EQ(ReadAll(fd, 4, cut), EFBIG);
  ::close(fd);
}

TEST(SaveFileLinks, TheLinkStaysAndWhatItLeadsToIsWrittenLoopsAreNamed) {
  TempDir dir;
  WriteFile(dir / "real.h", "old");
  fs::create_symlink("real.h", dir / "image.h");
  fs::create_symlink("missing.h", dir / "dangling.h");
  fs::create_symlink("b", dir / "a");
  fs::create_symlink("a", dir / "b");
  fs::create_symlink("missing/image.h", dir / "nowhere.h");
  ASSERT_TRUE(SaveFile(dir / "image.h", "new").Ok());
  ASSERT_TRUE(SaveFile(dir / "dangling.h", "created").Ok());
  EXPECT_EQ(ReadFile(dir / "real.h"), "new");
  EXPECT_EQ(ReadFile(dir / "missing.h"), "created");
  EXPECT_EQ(fs::read_symlink(dir / "image.h").string() + fs::read_symlink(dir / "dangling.h").string(),
            "real.hmissing.h");
  EXPECT_EQ(SaveFile(dir / "a", "x").error, "Could not write " + (dir / "a") + ": Too many levels of symbolic links.");
  EXPECT_EQ(SaveFile(dir / "nowhere.h", "x").error,
            "Could not write " + (dir / "nowhere.h") + ": No such file or directory.");
  EXPECT_EQ(dir.Entries(), (Names{"a", "b", "dangling.h", "image.h", "missing.h", "nowhere.h", "real.h"}));
}

TEST(SaveFileDescriptors, OpenDescriptorsAreWrittenInTheirOwnMode) {
  TempDir dir;
  WriteFile(dir / "log.txt", "earlier\n");
  fs::create_symlink("/dev/stdout", dir / "to-stdout.h");
  const int fd = ::open((dir / "log.txt").c_str(), O_WRONLY | O_APPEND);
  EXPECT_TRUE(SaveFile("/dev/fd/" + std::to_string(fd), "fd\n").Ok());
  EXPECT_TRUE(SaveFile("/proc/self/fd/" + std::to_string(fd), "proc\n").Ok());
  EXPECT_EQ(InChild([&] {
              ::dup2(fd, STDOUT_FILENO);
              const std::string first = SaveFile("/dev/stdout", "stdout\n").error;
              return first + SaveFile(dir / "to-stdout.h", "link\n").error;
            }),
            "");
  ::close(fd);
  EXPECT_EQ(ReadFile(dir / "log.txt"), "earlier\nfd\nproc\nstdout\nlink\n");
  EXPECT_EQ(dir.Entries(), (Names{"log.txt", "to-stdout.h"}));
}

TEST(SaveFileDescriptors, DevicesAreWrittenStraightAndDirectoriesRefused) {
  EXPECT_EQ(SaveFile("/dev/full", "x").error, "Could not write /dev/full: No space left on device.");
  TempDir dir;
  fs::create_directory(dir / "sub");
  EXPECT_EQ(SaveFile(dir / "sub", "x").error, "Could not write " + (dir / "sub") + ": it is a directory.");
}

TEST(SaveFileReplacement, ModeOwnerAndGroupAreKept) {
  TempDir dir;
  WriteFile(dir / "image.h", "old");
  const bool root = ::geteuid() == 0;  // only root can write a file another user owns
  ASSERT_TRUE(!root || ::chown((dir / "image.h").c_str(), 65534, 65533) == 0);
  ::chmod((dir / "image.h").c_str(), 02640);  // after chown, which clears set-group-ID
  ASSERT_TRUE(SaveFile(dir / "image.h", "new").Ok());
  struct stat st {};
  ::stat((dir / "image.h").c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 02640u);
  EXPECT_TRUE(!root || (st.st_uid == 65534 && st.st_gid == 65533)) << st.st_uid << ":" << st.st_gid;
}

TEST(SaveFileReplacement, OtherHardLinksKeepTheOldContentAndAreNamed) {
  TempDir dir;
  WriteFile(dir / "image.h", "old");
  fs::create_directory(dir / "sub");
  fs::create_hard_link(dir / "image.h", dir / "copy.h");
  fs::create_hard_link(dir / "image.h", dir / "sub/other.h");
  EXPECT_EQ(SaveFile(dir / "image.h", "new").warning,
            (dir / "image.h") + " had other hard links, which still hold the earlier content: " + (dir / "copy.h") +
                ", 1 link in other directories.");
  EXPECT_EQ(ReadFile(dir / "image.h"), "new");
  EXPECT_EQ(ReadFile(dir / "copy.h"), "old");
  EXPECT_EQ(ReadFile(dir / "sub/other.h"), "old");
  fs::create_hard_link(dir / "image.h", dir / "twin.h");  // the new file, with one other link
  EXPECT_EQ(
      SaveFile(dir / "image.h", "newer").warning,
      (dir / "image.h") + " had other hard links, which still hold the earlier content: " + (dir / "twin.h") + ".");
}

TEST(SaveFileReplacement, ADirectoryThatCannotTakeANewFileIsNamed) {
  TempDir dir;
  const std::string ro = dir / "ro";
  fs::create_directory(ro);
  WriteFile(ro + "/image.h", "old");
  ::chmod(dir.path().c_str(), 0755);
  ::chmod(ro.c_str(), 0555);
  // Root ignores directory permissions: the write runs as nobody, who owns both.
  const bool root = ::geteuid() == 0;
  if (root && ::chown(ro.c_str(), 65534, 65534) + ::chown((ro + "/image.h").c_str(), 65534, 65534) != 0) FAIL();
  EXPECT_EQ(InChild([&] {
              if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                return std::string();
              const SaveResult result = SaveFile(ro + "/image.h", "new");
              return result.error + (result.earlier_file_kept ? " (kept)" : "");
            }),
            "Could not write " + ro + ": Permission denied. (kept)");
  ::chmod(ro.c_str(), 0755);
  EXPECT_EQ(ReadFile(ro + "/image.h"), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(ro), fs::directory_iterator()), 1) << "a temporary file is left";
}

// Writing past a file-size limit raises SIGXFSZ; this handler holds the write
// there, with the temporary file written in part, until it is released.
int held_write = -1, release_read = -1;
void HoldTheWrite(int) {
  char byte = 1;
  (void)!::write(held_write, &byte, 1);
  (void)!::read(release_read, &byte, 1);
}

// Where the file system has unnamed temporary files, not even SIGKILL can
// leave one behind; elsewhere the signals that can be caught clean up.
TEST(SaveFileSignals, ASignalDuringTheWriteLeavesNoTemporaryFile) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    TempDir dir;
    WriteFile(dir / "image.h", "old");
    const int unnamed = ::open(dir.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (unnamed < 0 && signal == SIGKILL)
      GTEST_SKIP() << "no O_TMPFILE in " << dir.path() << ": " << std::strerror(errno);
    ::close(unnamed);
    int held[2], release[2];
    ASSERT_EQ(::pipe(held) + ::pipe(release), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      std::signal(signal, SIG_DFL);
      InstallSignalCleanup();
      held_write = held[1], release_read = release[0];
      std::signal(SIGXFSZ, HoldTheWrite);
      const rlimit limit{4096, 4096};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ::_exit(SaveFile(dir / "image.h", std::string(100000, 'x')).Ok());
    }
    char byte = 0;
    EXPECT_EQ(::read(held[0], &byte, 1), 1) << "the write was not held";
    ::kill(child, signal);
    ::close(release[1]);  // lets a child the signal did not end go on
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_EQ(dir.Entries(), Names{"image.h"}) << strsignal(signal);
    EXPECT_EQ(ReadFile(dir / "image.h"), "old");
    for (int fd : {held[0], held[1], release[0]}) ::close(fd);
  }
}

// --- ACLs and extended attributes -------------------------------------------

std::string Acl(const std::string& path) { return testing::RunCommand("getfacl --omit-header " + path).out; }

TEST(SaveFileAttributes, TheAclAndUserAttributesAreKeptAndTheGroupGainsNothing) {
  TempDir dir;
  const std::string image = dir / "image.h";
  WriteFile(image, "old");
  ::chmod(image.c_str(), 0644);
  // A named user may write; the owning group may only read, which the mode's
  // group bits (the ACL's mask, rw-) do not show.
  const auto set = testing::RunCommand("setfacl -m u:nobody:rw-,g::r-- " + image);
  if (set.status != 0) GTEST_SKIP() << "no ACL on " << dir.path() << ": " << set.err;
  ASSERT_EQ(::setxattr(image.c_str(), "user.origin", "logo.png", 8, 0), 0) << std::strerror(errno);
  const std::string before = Acl(image);
  ASSERT_NE(before.find("user:nobody:rw-"), std::string::npos) << before;

  const SaveResult saved = SaveFile(image, "new");
  EXPECT_EQ(saved.error + saved.warning, "");
  EXPECT_EQ(Acl(image), before);
  char origin[16] = {};
  EXPECT_EQ(::getxattr(image.c_str(), "user.origin", origin, sizeof origin), 8);
  EXPECT_STREQ(origin, "logo.png");
}

// Replaced by someone outside its group (here nobody, who may write the file
// but is not in group root), the file cannot keep that group: the group it
// gets instead, nobody's own, may not write where others could not.
TEST(SaveFileAttributes, AGroupThatCannotBeKeptGainsNoMoreThanOthers) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file a group its writer is not in";
  constexpr uid_t kNobody = 65534;
  TempDir dir;
  const std::string image = dir / "image.h";
  WriteFile(image, "old");
  ASSERT_EQ(::chown(dir.path().c_str(), kNobody, 0), 0);
  ASSERT_EQ(::chown(image.c_str(), kNobody, 0), 0);
  ASSERT_EQ(::chmod(image.c_str(), 0664), 0);
  const std::string said = InChild([&] {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
      return std::string("no nobody");
    const SaveResult saved = SaveFile(image, "new");
    return saved.error + saved.warning;
  });
  EXPECT_EQ(said, image +
                      " was written without its group (0), which only its members may give; the new group may do "
                      "no more than others.");
  struct stat st {};
  ASSERT_EQ(::stat(image.c_str(), &st), 0);
  EXPECT_EQ(ReadFile(image), "new");
  EXPECT_EQ(st.st_gid, kNobody);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(SaveFileAttributes, AFileWithoutAnAclGetsNoneFromItsDirectory) {
  TempDir dir;
  const std::string image = dir / "image.h";
  WriteFile(image, "old");
  ::chmod(image.c_str(), 0644);
  const auto set = testing::RunCommand("setfacl -d -m u:nobody:rw- " + dir.path().string());
  if (set.status != 0) GTEST_SKIP() << "no ACL on " << dir.path() << ": " << set.err;
  ASSERT_TRUE(SaveFile(image, "new").Ok());
  EXPECT_EQ(Acl(image), "user::rw-\ngroup::r--\nother::r--\n\n");
}

}  // namespace
}  // namespace pixolan
