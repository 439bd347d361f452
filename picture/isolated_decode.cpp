#include "isolated_decode.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PIXOLAN_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define PIXOLAN_ASAN 1
#endif

namespace pixolan {
namespace {

// Result on the wire: ok, width, height, error length, pixels, error text.
std::string Serialize(const LoadResult& r) {
  const std::int32_t head[4] = {r.ok() ? 1 : 0, r.picture.width, r.picture.height,
                                static_cast<std::int32_t>(r.error.size())};
  std::string out(reinterpret_cast<const char*>(head), sizeof head);
  if (!r.picture.pixels.empty())
    out.append(reinterpret_cast<const char*>(r.picture.pixels.data()), r.picture.pixels.size() * sizeof(ColorValue));
  out += r.error;
  return out;
}

bool Deserialize(const std::string& in, LoadResult& r) {
  std::int32_t head[4];
  if (in.size() < sizeof head) return false;
  std::memcpy(head, in.data(), sizeof head);
  const auto [ok, width, height, error_size] = head;
  if (width < 0 || height < 0 || width > kMaxVisibleWidth || height > kMaxVisibleHeight || error_size < 0) return false;
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  if (in.size() != sizeof head + pixels * sizeof(ColorValue) + static_cast<std::size_t>(error_size)) return false;
  r.picture.width = width;
  r.picture.height = height;
  r.picture.pixels.resize(pixels);
  if (pixels > 0) std::memcpy(r.picture.pixels.data(), in.data() + sizeof head, pixels * sizeof(ColorValue));
  r.error = in.substr(sizeof head + pixels * sizeof(ColorValue));
  return (ok == 1) == r.error.empty();
}

void WriteAll(int fd, const std::string& data) {
  for (std::size_t done = 0; done < data.size();) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

void LimitMemory(long long extra_mb) {
#ifndef PIXOLAN_ASAN
  long long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const auto limit = static_cast<rlim_t>(pages * ::sysconf(_SC_PAGESIZE) + extra_mb * 1024 * 1024);
  const rlimit rl{limit, limit};
  ::setrlimit(RLIMIT_AS, &rl);
#else
  (void)extra_mb;
#endif
}

LoadResult DecodeIsolated(const std::string& path, const std::function<LoadResult()>& decode,
                          const DecodeBudget& budget) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return decode();
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return decode();
  }
  if (child == 0) {
    ::close(fds[0]);
    LimitMemory(budget.extra_memory_mb);
    WriteAll(fds[1], Serialize(decode()));
    ::_exit(0);
  }

  ::close(fds[1]);
  std::string received;
  bool timed_out = false;
  const auto deadline = std::chrono::steady_clock::now() + budget.time;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd pfd{fds[0], POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[65536];
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    received.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  if (timed_out) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }

  LoadResult result;
  if (!timed_out && Deserialize(received, result)) return result;
  if (timed_out)
    return LoadFailure(path, "decoding took longer than " + std::to_string(budget.time.count()) + " seconds and was stopped");
  if (WIFSIGNALED(status))
    return LoadFailure(path, "the decoder failed on this file (signal " + std::to_string(WTERMSIG(status)) +
                             "); it may be damaged or need more memory than a picture may use");
  return LoadFailure(path, "the decoder stopped without a result");
}

}  // namespace pixolan
