// SPDX-License-Identifier: MIT
#include "picture/picture_loader.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "io/descriptor.h"
#include "picture/decode_result.h"
#include "picture/decoder_process.h"

namespace pixolan {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

/// A file descriptor closed when it goes.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  /// Moves the descriptor above standard error, so that placing the
  /// decoder's standard input and output cannot overwrite it.
  void Lift() {
    if (fd_ >= 0 && fd_ <= STDERR_FILENO) Reset(::fcntl(fd_, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
  }

 private:
  int fd_;
};

std::string Errno() { return std::strerror(errno); }

// Every decoding process running, as pidfds, which no later process can
// take the place of.
std::mutex running_mutex;
std::set<int> running;

/// A decoding process listed in running while the object lives.
class RunningDecoder {
 public:
  explicit RunningDecoder(pid_t child) : pidfd_(static_cast<int>(::syscall(SYS_pidfd_open, child, 0))) {
    const std::lock_guard lock(running_mutex);
    if (pidfd_.Get() >= 0) running.insert(pidfd_.Get());
  }
  ~RunningDecoder() {
    const std::lock_guard lock(running_mutex);
    running.erase(pidfd_.Get());
  }
  RunningDecoder(const RunningDecoder&) = delete;
  RunningDecoder& operator=(const RunningDecoder&) = delete;
  /// Readable once the process has ended; -1 where pidfds are missing.
  int Pidfd() const { return pidfd_.Get(); }

 private:
  Fd pidfd_;
};

// What a decoder inherits: the pid it is to die with, and the sanitizers'
// settings in a sanitized build. Nothing else of the caller's environment.
std::vector<std::string> DecoderEnvironment() {
  std::vector<std::string> variables = {std::string(kParentPidVariable) + "=" + std::to_string(::getpid())};
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char* value = std::getenv(name)) variables.push_back(std::string(name) + "=" + value);
  return variables;
}

/// The program that decodes a picture starting with head.
std::string ProgramName(Bytes head) {
  const FormatInfo* format = FormatOf(head);
  return "pixolan-picture-decoder-" + std::string(format ? format->name : "qt");
}

/// Where the decoding program called name is: beside this program, else in
/// ../libexec/pixolan; empty with reason set when it is nowhere.
std::string FindProgram(const std::string& name, std::string& reason) {
  std::error_code ec;
  const fs::path dir = fs::read_symlink("/proc/self/exe", ec).parent_path();
  for (const fs::path& candidate : {dir / name, dir / ".." / "libexec" / "pixolan" / name})
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  reason = "the decoding program " + name + " is neither in " + dir.string() + " nor in " +
           (dir / ".." / "libexec" / "pixolan").lexically_normal().string();
  return {};
}

/// Collects the result until the process closes its end, sends more than a
/// truthful one could, or the deadline passes; false only on the deadline.
bool ReadResult(int fd, std::size_t most, Clock::time_point deadline, std::string& received) {
  // Read in place, into room for one byte more than a truthful process sends.
  received.resize(most + 1);
  std::size_t got = 0;
  bool in_time = true;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      in_time = false;
      break;
    }
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left)) <= 0) continue;
    const ssize_t n = ::read(fd, received.data() + got, received.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
    if (got > most) break;
  }
  received.resize(got);
  return in_time;
}

/// Waits for the process until the deadline, then kills it; false if killed.
/// Polling ended, the wait is not a sleep (the process closes its result
/// pipe a moment before it ends).
bool Reap(pid_t child, const RunningDecoder& ended, Clock::time_point deadline, int& status) {
  for (;;) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child || (done < 0 && errno != EINTR)) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd pfd{ended.Pidfd(), POLLIN, 0};
    if (ended.Pidfd() < 0 || ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left, 1000))) < 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ::kill(child, SIGKILL);
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return false;
}

// What concerns the decoding programs rather than a picture, such as a
// sandbox the kernel would not give: said once a run, not once a picture.
void SayOnce(const std::string& note) {
  static std::once_flag said;
  std::call_once(said, [&] { (void)WriteAll(STDERR_FILENO, "pixolan: " + note + "\n"); });
}

std::string TimeReason(std::chrono::seconds deadline) {
  return "decoding took longer than " + std::to_string(deadline.count()) + " seconds and was stopped";
}

/// The picture (a regular file open at picture_fd) decoded by a process of
/// its own, composited over background.
LoadResult RunDecodingProgram(int picture_fd, const std::string& name, ColorValue background, const Region& asked,
                              const DecoderProgram& program, const Placement& placement, int frame = kStillPicture) {
  std::uint8_t head[16] = {};
  const ssize_t head_size = ::pread(picture_fd, head, sizeof head, 0);
  if (head_size < 0) return LoadFailure(name, Errno());
  std::string reason;
  const std::string executable =
      program.path.empty() ? FindProgram(ProgramName(Bytes(head, static_cast<std::size_t>(head_size))), reason)
                           : program.path;
  if (executable.empty()) return LoadFailure(name, reason);

  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return LoadFailure(name, "no pipe for the decoder: " + Errno());
  Fd result_read(pipe_fds[0]), result_write(pipe_fds[1]);
  result_write.Lift();

  std::vector<std::string> args = {executable};
  if (frame != kStillPicture) args.insert(args.end(), {"--frame", std::to_string(frame)});
  if (!placement.IsPlain()) args.insert(args.end(), {"--place", PlacementText(placement)});
  args.insert(args.end(), {std::to_string(asked.x), std::to_string(asked.y), std::to_string(asked.width),
                           std::to_string(asked.height)});
  // What bounds a truthful result: the region read, or the drawing area.
  const Region region =
      placement.size == PictureSize::Actual ? asked : Region{0, 0, placement.area_width, placement.area_height};
  args.insert(args.end(), program.arguments.begin(), program.arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables = DecoderEnvironment();
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, picture_fd, STDIN_FILENO);
  ::posix_spawn_file_actions_adddup2(&actions, result_write.Get(), STDOUT_FILENO);
  // What a library prints (Qt's readers warn) must not reach a log file: the
  // decoder may write no file, and the write would end it.
  if (!std::getenv("PIXOLAN_DEBUG_DECODERS"))
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // Nothing else the caller has open reaches the decoder.
  ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  ::posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  ::posix_spawnattr_setsigdefault(&attributes, &all);
  ::posix_spawnattr_setsigmask(&attributes, &none);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t child = -1;
  const int spawned = ::posix_spawn(&child, executable.c_str(), &actions, &attributes, argv.data(), envp.data());
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attributes);
  if (spawned != 0)
    return LoadFailure(name, "the decoding program " + executable + " could not be started: " + std::strerror(spawned));
  const RunningDecoder running_decoder(child);
  result_write.Reset();

  const Clock::time_point deadline = Clock::now() + program.deadline;
  std::string received;
  const bool in_time = ReadResult(result_read.Get(), MaxResultBytes(region), deadline, received);
  const bool too_much = received.size() > MaxResultBytes(region);
  int status = 0;
  const bool exited = Reap(child, running_decoder, in_time && !too_much ? deadline : Clock::now(), status);

  DecodeOutcome outcome;
  if (too_much) return LoadFailure(name, "the decoder gave no usable result");
  const bool parsed = exited && ParseOutcome(received, region, outcome);
  if (!outcome.note.empty()) SayOnce(outcome.note);
  if (!exited) return LoadFailure(name, TimeReason(program.deadline));
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && parsed) {
    if (!outcome.Ok()) return LoadFailure(name, outcome.error);
    return {Composite(outcome.pixels, background),
            {},
            outcome.warning.empty() ? "" : name + ": " + outcome.warning,
            outcome.pixels.picture_width,
            outcome.pixels.picture_height,
            outcome.scale,
            outcome.frames,
            outcome.delay_ms};
  }
  if (WIFSIGNALED(status)) {
    switch (WTERMSIG(status)) {
      case SIGXCPU: return LoadFailure(name, TimeReason(program.deadline));
      case SIGSYS: return LoadFailure(name, "the decoder tried something a decoder may not do and was stopped");
      default:
        return LoadFailure(name, "the decoder crashed on this file (signal " + std::to_string(WTERMSIG(status)) + ")");
    }
  }
  return LoadFailure(name, "the decoder gave no usable result");
}

}  // namespace

LoadResult LoadFailure(const std::string& path, const std::string& reason) {
  LoadResult failure;
  failure.error = CouldNotLoad(path, reason);
  return failure;
}

LoadResult LoadPicture(const std::string& path, ColorValue background, const Region& region,
                       const DecoderProgram& program, const Placement& placement, int frame) {
  // Non-blocking, so that opening a named pipe cannot wait for a writer.
  Fd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.Get() < 0) return LoadFailure(path, Errno());
  file.Lift();
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0) return LoadFailure(path, Errno());
  if (!S_ISREG(st.st_mode)) return LoadFailure(path, "not a regular file");
  if (st.st_size == 0) return LoadFailure(path, "the file is empty");
  return RunDecodingProgram(file.Get(), path, background, region, program, placement, frame);
}

LoadResult LoadPictureStream(int fd, const std::string& name, ColorValue background, const Region& region,
                             const DecoderProgram& program, const Placement& placement) {
  // The decoder maps its picture, so the bytes go into a sealed memory file,
  // read straight into it: no more memory than the picture's own.
  Fd memory(::memfd_create("pixolan-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (memory.Get() < 0) return LoadFailure(name, "no memory file for the picture: " + Errno());
  memory.Lift();
  constexpr std::size_t kLimit = static_cast<std::size_t>(kPictureMemoryBytes);
  char buffer[65536];
  std::size_t total = 0;
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LoadFailure(name, Errno());
    total += static_cast<std::size_t>(n);
    if (total > kLimit)
      return LoadFailure(name, "more than the " + std::to_string(kPictureMemoryMB) + " MB a picture may take");
    if (!WriteAll(memory.Get(), {buffer, static_cast<std::size_t>(n)}))
      return LoadFailure(name, "no memory file for the picture: " + Errno());
  }
  if (total == 0) return LoadFailure(name, "the file is empty");
  ::fcntl(memory.Get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
  return RunDecodingProgram(memory.Get(), name, background, region, program, placement);
}

void EndRunningDecoders() {
  const std::lock_guard lock(running_mutex);
  for (const int pidfd : running) ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
}

}  // namespace pixolan
