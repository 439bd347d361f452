// SPDX-License-Identifier: MIT
#include "picture/decoder_process.h"

#include <fcntl.h>
#include <malloc.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "io/descriptor.h"
#include "picture/decode_result.h"

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

constexpr int kPictureFd = STDIN_FILENO;
constexpr int kResultFd = STDOUT_FILENO;

void SetLimit(int resource, rlim_t soft, rlim_t hard) {
  const rlimit limit{soft, hard};
  ::setrlimit(resource, &limit);
}

// The first argument equals value (SCMP_A0 is a C compound literal).
scmp_arg_cmp FirstArgumentIs(long value) { return {0, SCMP_CMP_EQ, static_cast<scmp_datum_t>(value), 0}; }

bool ParseInt(const char* text, int& value) {
  const char* end = text + std::strlen(text);
  const auto [ptr, ec] = std::from_chars(text, end, value);
  return ec == std::errc() && ptr == end && value >= 0;
}

// The pages this process has mapped, the first figure of /proc/self/statm;
// read without iostreams, which would set up locales for one number.
long long MappedPages() {
  char text[64] = {};
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  long long pages = 0;
  std::from_chars(text, text + std::max<ssize_t>(n, 0), pages);
  return pages;
}

// Ends this process with the program that started it. The pid that program
// gave is checked too: it may have ended before the signal was asked for.
void FollowParent() {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  const char* parent = std::getenv(kParentPidVariable);
  int pid = 0;
  if (parent && ParseInt(parent, pid) && ::getppid() != pid) ::_exit(1);
}

// glibc's fstat() is newfstatat(fd, "", buf, AT_EMPTY_PATH), and a filter
// cannot see the path: the filter traps the call, and this answers it with
// fstat() on the descriptor alone, so that no path is ever looked up.
void AnswerDescriptorStat(int, siginfo_t* info, void* context) {
#if defined(__x86_64__)
  greg_t* const regs = static_cast<ucontext_t*>(context)->uc_mcontext.gregs;
  long long* const result = &regs[REG_RAX];
  const long long args[4] = {regs[REG_RDI], regs[REG_RSI], regs[REG_RDX], regs[REG_R10]};
#elif defined(__aarch64__)
  auto* const regs = reinterpret_cast<long long*>(static_cast<ucontext_t*>(context)->uc_mcontext.regs);
  long long* const result = &regs[0];
  const long long args[4] = {regs[0], regs[1], regs[2], regs[3]};
#else
  long long unused = 0, *const result = &unused;
  const long long args[4] = {};
#endif
  constexpr int kBySeccomp = 1;  // SYS_SECCOMP, which glibc's headers lack
  if (info->si_code != kBySeccomp) return;
  const auto* path = reinterpret_cast<const char*>(args[1]);
  *result = -EPERM;
  if (path && *path == '\0' && (args[3] & AT_EMPTY_PATH)) {
    const int saved = errno;
    const long answer = ::syscall(SYS_fstat, args[0], args[2]);
    *result = answer < 0 ? -errno : answer;
    errno = saved;
  }
}

// The reader sees a short result as no result: nothing to do when this fails.
void SendResult(const DecodeOutcome& outcome) { (void)WriteOutcome(kResultFd, outcome); }

DecodeOutcome DecodeGuarded(const DecodeFunction& decode, const FrameFunction& frames, Bytes file, const Region& region,
                            const Placement& placement, int frame) {
  try {
    DecodeLimits limits;
    limits.file_mapped = true;
    if (frame == kStillPicture) return decode(file, region, limits, placement);
    if (frames) return frames(file, region, limits, placement, frame);
    if (frame > 0) return {{}, "the picture has 1 frame"};
    DecodeOutcome still = decode(file, region, limits, placement);
    still.frames = 1;
    return still;
  } catch (const std::bad_alloc&) {
    return {{}, "decoding needed more memory than a picture may use"};
  } catch (const std::exception& e) {
    return {{}, std::string("the decoder failed: ") + e.what()};
  }
}

}  // namespace

void LimitResources(const ResourceLimits& limits) {
#ifndef PIXOLAN_ASAN
  const auto memory =
      static_cast<rlim_t>(MappedPages() * ::sysconf(_SC_PAGESIZE) + limits.extra_memory_mb * 1024 * 1024);
  SetLimit(RLIMIT_AS, memory, memory);
#endif
  // SIGXCPU at the soft limit, SIGKILL a second later if that is caught.
  SetLimit(RLIMIT_CPU, limits.cpu_seconds, limits.cpu_seconds + 1);
  SetLimit(RLIMIT_CORE, 0, 0);
  SetLimit(RLIMIT_FSIZE, 0, 0);
}

std::string InstallSyscallFilter() {
  // Anything not listed fails with EPERM, so that a library opening a file
  // or reading the clock in a new way fails gracefully with a message.
  // What only an attacker wants (new programs, processes, the network,
  // signals to others) kills the process instead.
  scmp_filter_ctx ctx = ::seccomp_init(SCMP_ACT_ERRNO(EPERM));
  if (!ctx) return "the filter could not be set up";
  // The kernel's own reason when it refuses, not libseccomp's ECANCELED.
  ::seccomp_attr_set(ctx, SCMP_FLTATR_API_SYSRAWRC, 1);
  int failed = 0;  // the first error libseccomp returned, negated
  auto add = [&](std::uint32_t action, int call, auto... conditions) {
    const int error = ::seccomp_rule_add(ctx, action, call, sizeof...(conditions), conditions...);
    if (error != 0 && failed == 0) failed = error;
  };
  auto allow = [&](int call, auto... conditions) { add(SCMP_ACT_ALLOW, call, conditions...); };
  auto kill = [&](int call) { add(SCMP_ACT_KILL_PROCESS, call); };

  for (int call : {SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(lseek), SCMP_SYS(fstat)})
    allow(call, FirstArgumentIs(kPictureFd));
#if defined(__x86_64__) || defined(__aarch64__)
  struct sigaction answer {};
  answer.sa_sigaction = AnswerDescriptorStat;
  answer.sa_flags = SA_SIGINFO;
  ::sigaction(SIGSYS, &answer, nullptr);
  add(SCMP_ACT_TRAP, SCMP_SYS(newfstatat), FirstArgumentIs(kPictureFd));
#endif
  // Memory, but no new machine code: nothing mapped or turned executable.
  const scmp_arg_cmp not_executable{2, SCMP_CMP_MASKED_EQ, PROT_EXEC, 0};
  allow(SCMP_SYS(mmap), not_executable);
  allow(SCMP_SYS(mprotect), not_executable);
#ifndef PIXOLAN_ASAN
  for (int fd : {kResultFd, STDERR_FILENO}) {
    allow(SCMP_SYS(write), FirstArgumentIs(fd));
    allow(SCMP_SYS(writev), FirstArgumentIs(fd));
  }
#else
  // The sanitizer runtimes test whether memory is readable by writing it
  // into a pipe of their own.
  for (int call : {SCMP_SYS(write), SCMP_SYS(writev), SCMP_SYS(pipe), SCMP_SYS(pipe2)}) allow(call);
#endif
  allow(SCMP_SYS(tgkill), FirstArgumentIs(::getpid()));  // raise() and abort() on ourselves
  for (int call :
       {SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(brk), SCMP_SYS(madvise), SCMP_SYS(futex), SCMP_SYS(exit),
        SCMP_SYS(exit_group), SCMP_SYS(rt_sigreturn), SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigaction),
        SCMP_SYS(sigaltstack), SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(clock_gettime), SCMP_SYS(gettimeofday),
        SCMP_SYS(getrandom), SCMP_SYS(sched_yield), SCMP_SYS(close)})
    allow(call);
  for (int call : {SCMP_SYS(execve),
                   SCMP_SYS(execveat),
                   SCMP_SYS(fork),
                   SCMP_SYS(vfork),
                   SCMP_SYS(clone),
                   SCMP_SYS(clone3),
                   SCMP_SYS(socket),
                   SCMP_SYS(socketpair),
                   SCMP_SYS(connect),
                   SCMP_SYS(bind),
                   SCMP_SYS(listen),
                   SCMP_SYS(accept),
                   SCMP_SYS(accept4),
                   SCMP_SYS(sendto),
                   SCMP_SYS(sendmsg),
                   SCMP_SYS(kill),
                   SCMP_SYS(tkill),
                   SCMP_SYS(ptrace),
                   SCMP_SYS(process_vm_readv),
                   SCMP_SYS(process_vm_writev)})
    kill(call);
  if (failed == 0) failed = ::seccomp_load(ctx);
  ::seccomp_release(ctx);
  return failed == 0 ? std::string() : std::strerror(-failed);
}

int RunDecoder(int argc, char** argv, const DecodeFunction& decode, const PrepareFunction& prepare,
               const FrameFunction& frames) {
  FollowParent();
  int frame = kStillPicture;
  if (argc > 2 && std::strcmp(argv[1], "--frame") == 0) {
    if (!ParseInt(argv[2], frame) || frame >= kMaxFrames) argc = 0;  // a usage error below
    argv += 2;
    argc = std::max(argc - 2, 0);
  }
  Placement placement;
  if (argc > 2 && std::strcmp(argv[1], "--place") == 0) {
    const std::optional<Placement> parsed = ParsePlacement(argv[2]);
    if (!parsed) argc = 0;  // a usage error below
    else placement = *parsed;
    argv += 2;
    argc = std::max(argc - 2, 0);
  }
  Region region;
  if (argc < 5 || !ParseInt(argv[1], region.x) || !ParseInt(argv[2], region.y) || !ParseInt(argv[3], region.width) ||
      !ParseInt(argv[4], region.height)) {
    (void)WriteAll(
        STDERR_FILENO,
        "usage: pixolan-picture-decoder-FORMAT [--frame N] [--place PLACEMENT] X Y WIDTH HEIGHT <picture >result\n");
    return 2;
  }
  struct stat st {};
  if (::fstat(kPictureFd, &st) != 0 || !S_ISREG(st.st_mode)) {
    SendResult({{}, "not a regular file"});
    return 0;
  }
  const std::size_t size = static_cast<std::size_t>(st.st_size);
  void* mapped = size ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, kPictureFd, 0) : nullptr;
  if (mapped == MAP_FAILED) {
    SendResult({{}, std::strerror(errno)});
    return 0;
  }
  const Bytes file(static_cast<const std::uint8_t*>(mapped), size);
  // After the mapping, so that a large file does not eat the budget; before
  // any page of it is read.
  LimitResources();
  // Past the file-size limit a write fails instead of ending the process.
  ::signal(SIGXFSZ, SIG_IGN);
  // Buffers a library frees and takes again (libtiff's strip buffer, band
  // after band) stay in the heap: a fresh mapping would fault in every page
  // anew, which costs more than the decoding.
  ::mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  ::mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
  if (prepare) prepare(file, region, DecodeLimits{});
  // Where the kernel has no filter to give, the limits above still hold;
  // the loader tells the user, since this process's standard error is not
  // theirs.
  const std::string refused = InstallSyscallFilter();
  DecodeOutcome outcome = DecodeGuarded(decode, frames, file, region, placement, frame);
  if (!refused.empty())
    outcome.note = "no system-call filter for the decoding programs (" + refused +
                   "); pictures are decoded under resource limits alone";
  SendResult(outcome);
  // No destructors or exit handlers: they could want what the filter refuses.
  ::_exit(0);
}

}  // namespace pixolan
