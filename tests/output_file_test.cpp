#include <fcntl.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "output_file.h"
#include "signal_cleanup.h"
#include "test_support.h"

namespace pixolan {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

int ExitCodeOf(pid_t child) {
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SaveFileLinks, TheLinkStaysAndWhatItLeadsToIsWritten) {
  TempDir dir;
  WriteFile(dir / "real.h", "old");
  fs::create_symlink("real.h", dir / "image.h");
  fs::create_symlink("missing.h", dir / "dangling.h");
  fs::create_symlink(dir / "dangling.h", dir / "chain.h");
  ASSERT_TRUE(SaveFile(dir / "image.h", "new").ok());
  ASSERT_TRUE(SaveFile(dir / "chain.h", "created").ok());
  EXPECT_EQ(ReadFile(dir / "real.h"), "new");
  EXPECT_EQ(ReadFile(dir / "missing.h"), "created");
  EXPECT_EQ(fs::read_symlink(dir / "image.h"), "real.h");
  EXPECT_EQ(fs::read_symlink(dir / "dangling.h"), "missing.h");
  EXPECT_EQ(fs::read_symlink(dir / "chain.h"), dir / "dangling.h");
}

TEST(SaveFileLinks, LoopsAndMissingDirectoriesAreErrorsNamingThePath) {
  TempDir dir;
  fs::create_symlink("b", dir / "a");
  fs::create_symlink("a", dir / "b");
  fs::create_symlink("missing/image.h", dir / "image.h");
  EXPECT_EQ(SaveFile(dir / "a", "x").error, "Could not write " + (dir / "a") + ": Too many levels of symbolic links.");
  EXPECT_EQ(SaveFile(dir / "image.h", "x").error, "Could not write " + (dir / "image.h") + ": No such file or directory.");
  EXPECT_EQ(dir.Entries(), (Names{"a", "b", "image.h"}));
  EXPECT_EQ(fs::read_symlink(dir / "a"), "b");
}

TEST(SaveFileDescriptors, OpenDescriptorsAreWrittenInTheirOwnMode) {
  TempDir dir;
  WriteFile(dir / "log.txt", "earlier\n");
  fs::create_symlink("/dev/stdout", dir / "to-stdout.h");
  const int fd = ::open((dir / "log.txt").c_str(), O_WRONLY | O_APPEND);
  EXPECT_TRUE(SaveFile("/dev/fd/" + std::to_string(fd), "fd\n").ok());
  EXPECT_TRUE(SaveFile("/proc/self/fd/" + std::to_string(fd), "proc\n").ok());
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(fd, STDOUT_FILENO);
    ::_exit(SaveFile("/dev/stdout", "stdout\n").ok() && SaveFile(dir / "to-stdout.h", "link\n").ok() ? 0 : 1);
  }
  EXPECT_EQ(ExitCodeOf(child), 0);
  ::close(fd);
  EXPECT_EQ(ReadFile(dir / "log.txt"), "earlier\nfd\nproc\nstdout\nlink\n");
  EXPECT_EQ(dir.Entries(), (Names{"log.txt", "to-stdout.h"}));
  EXPECT_EQ(SaveFile("/dev/fd/987", "x").error, "Could not write /dev/fd/987: Bad file descriptor.");
}

TEST(SaveFileDescriptors, DevicesAreWrittenStraightAndDirectoriesRefused) {
  EXPECT_TRUE(SaveFile("/dev/null", "anything").ok());
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  const SaveResult full = SaveFile("/dev/full", "x");
  EXPECT_EQ(full.error, "Could not write /dev/full: No space left on device.");
  EXPECT_FALSE(full.earlier_file_kept);
  TempDir dir;
  fs::create_directory(dir / "sub");
  EXPECT_EQ(SaveFile(dir / "sub", "x").error, "Could not write " + (dir / "sub") + ": it is a directory.");
}

TEST(SaveFileReplacement, OwnerAndGroupAreKept) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can write a file another user owns";
  TempDir dir;
  WriteFile(dir / "image.h", "old");
  ASSERT_EQ(::chown((dir / "image.h").c_str(), 65534, 65533), 0);
  ASSERT_TRUE(SaveFile(dir / "image.h", "new").ok());
  struct stat st {};
  ::stat((dir / "image.h").c_str(), &st);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65533u);
  EXPECT_EQ(ReadFile(dir / "image.h"), "new");
}

TEST(SaveFileReplacement, OtherHardLinksKeepTheOldContentAndAreNamed) {
  TempDir dir;
  WriteFile(dir / "image.h", "old");
  fs::create_directory(dir / "sub");
  fs::create_hard_link(dir / "image.h", dir / "copy.h");
  fs::create_hard_link(dir / "image.h", dir / "sub/other.h");
  const SaveResult result = SaveFile(dir / "image.h", "new");
  EXPECT_EQ(result.warning, (dir / "image.h") + " had other hard links, which still hold the earlier content: " +
                                (dir / "copy.h") + ", 1 link in other directories.");
  EXPECT_EQ(ReadFile(dir / "image.h"), "new");
  EXPECT_EQ(ReadFile(dir / "copy.h"), "old");
  EXPECT_EQ(ReadFile(dir / "sub/other.h"), "old");
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
  if (root) {
    ASSERT_EQ(::chown(ro.c_str(), 65534, 65534) + ::chown((ro + "/image.h").c_str(), 65534, 65534), 0);
  }
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    const SaveResult result = SaveFile(ro + "/image.h", "new");
    (void)::write(report[1], result.error.data(), result.error.size());
    ::_exit(result.earlier_file_kept ? 0 : 1);
  }
  ::close(report[1]);
  EXPECT_EQ(ExitCodeOf(child), 0);
  char text[4096];
  const ssize_t n = ::read(report[0], text, sizeof text);
  ::close(report[0]);
  EXPECT_EQ(std::string(text, n > 0 ? n : 0), "Could not write " + ro + ": Permission denied.");
  EXPECT_EQ(ReadFile(ro + "/image.h"), "old");
  ::chmod(ro.c_str(), 0755);
  EXPECT_EQ(std::distance(fs::directory_iterator(ro), fs::directory_iterator()), 1) << "a temporary file is left";
}

// A write past a file-size limit raises SIGXFSZ; this handler holds the
// write there, with the temporary file written in part, until released.
int held_write = -1, release_write = -1;
void HoldTheWrite(int) {
  char byte = 1;
  (void)::write(held_write, &byte, 1);
  (void)::read(release_write, &byte, 1);
}

TEST(SaveFileSignals, ASignalDuringTheWriteRemovesTheTemporaryFile) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir dir;
    WriteFile(dir / "image.h", "old");
    int held[2], release[2];
    ASSERT_EQ(::pipe(held) + ::pipe(release), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      std::signal(signal, SIG_DFL);
      InstallSignalCleanup();
      held_write = held[1];
      release_write = release[0];
      std::signal(SIGXFSZ, HoldTheWrite);
      const rlimit limit{4096, 4096};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      SaveFile(dir / "image.h", std::string(100000, 'x'));
      ::_exit(0);
    }
    ::close(held[1]);
    char byte = 0;
    EXPECT_EQ(::read(held[0], &byte, 1), 1);
    EXPECT_EQ(dir.Entries().size(), 2u) << "image.h and the temporary file while the write is held";
    ::kill(child, signal);
    ::close(release[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_EQ(dir.Entries(), Names{"image.h"}) << signal;
    EXPECT_EQ(ReadFile(dir / "image.h"), "old");
    ::close(held[0]);
    ::close(release[0]);
  }
}

}  // namespace
}  // namespace pixolan
