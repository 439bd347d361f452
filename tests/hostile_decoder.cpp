// SPDX-License-Identifier: MIT
// A decoding program whose decoder misbehaves on purpose, the way a decoder
// exploited by a crafted picture might: started like a pixolan-picture-decoder-FORMAT,
// with BEHAVIOUR [DIRECTORY] after the region.

#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "picture/decoder_process.h"

namespace {

using namespace pixolan;

std::string behaviour, directory;

DecodeOutcome Fail(const std::string& what) { return {{}, what + ": " + std::strerror(errno)}; }

DecodeOutcome Misbehave(Bytes, const Region&, const DecodeLimits&, const Placement&) {
  if (behaviour == "open") {
    const int fd = ::open((directory + "/created").c_str(), O_WRONLY | O_CREAT, 0600);
    return fd < 0 ? Fail("open") : DecodeOutcome{{}, "opened"};
  }
  if (behaviour == "connect") {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return Fail("socket");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (directory + "/socket").c_str(), sizeof address.sun_path - 1);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ? Fail("connect")
                                                                                    : DecodeOutcome{{}, "connected"};
  }
  if (behaviour == "stat") {
    // Its own picture, yes; any path, no.
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) != 0) return Fail("fstat");
    const std::string picture = "picture of " + std::to_string(st.st_size) + " bytes, ";
    if (::stat("/etc/passwd", &st) == 0) return {{}, picture + "/etc/passwd seen"};
    const std::string by_path = Fail(picture + "stat").error;
    // An absolute path beside the picture's own descriptor ignores it.
    return ::fstatat(STDIN_FILENO, "/etc/passwd", &st, 0) == 0
               ? DecodeOutcome{{}, "/etc/passwd seen beside the picture"}
               : Fail(by_path + ", fstatat");
  }
  if (behaviour == "no-filter") {
    RgbaPixels pixels{1, 1, {0x12, 0x34, 0x56, 0xFF}, 1, 1};
    return {pixels, {}};
  }
  if (behaviour == "map-code") {
    if (::mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED)
      return {{}, "mapped code"};
    const std::string mapped = Fail("mmap").error;
    static char page[4096] __attribute__((aligned(4096)));
    return ::mprotect(page, sizeof page, PROT_READ | PROT_EXEC) == 0 ? DecodeOutcome{{}, "made code"}
                                                                     : Fail(mapped + ", mprotect");
  }
  if (behaviour == "crash") {
    std::signal(SIGSEGV, SIG_DFL);  // a sanitizer's handler would turn it into an exit
    std::raise(SIGSEGV);
  }
  if (behaviour == "hang")
    for (volatile bool forever = true; forever;) {
    }
  if (behaviour == "bomb") {
    std::vector<char*> blocks;
    for (;;) {
      blocks.push_back(new char[64 << 20]);
      blocks.back()[0] = 1;
    }
  }
  if (behaviour == "slow") {
    // Busy: sleeping is not among the calls a decoder may make. Then a 6 x 4
    // picture of rgb(0x12, 0x34, 0x56).
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < until) {
    }
    RgbaPixels pixels{6, 4, {}, 6, 4};
    for (int i = 0; i < 6 * 4; ++i) pixels.rgba.insert(pixels.rgba.end(), {0x12, 0x34, 0x56, 0xFF});
    return {pixels, {}};
  }
  if (behaviour == "lie") {
    // A header promising a million pixels, then nothing.
    const std::uint32_t head[9] = {0x33584950, 1, 1000000, 1, 1000000, 1, 1000000, 0, 0};
    ::_exit(::write(STDOUT_FILENO, head, sizeof head) < 0 ? 1 : 0);
  }
  return {{}, "unknown behaviour " + behaviour};
}

// For "no-filter": a kernel that gives no system-call filter, played by a
// filter of our own that refuses the calls which would install one.
void RefuseFilters(Bytes, const Region&, const DecodeLimits&) {
  if (behaviour != "no-filter") return;
  scmp_filter_ctx ctx = ::seccomp_init(SCMP_ACT_ALLOW);
  ::seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EINVAL), SCMP_SYS(seccomp), 0);
  ::seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EINVAL), SCMP_SYS(prctl), 1, SCMP_A0(SCMP_CMP_EQ, PR_SET_SECCOMP));
  ::seccomp_load(ctx);
  ::seccomp_release(ctx);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 5) behaviour = argv[5];
  if (argc > 6) directory = argv[6];
  return RunDecoder(argc, argv, Misbehave, RefuseFilters);
}
