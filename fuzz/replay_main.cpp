// SPDX-License-Identifier: MIT
// Runs the fuzz target once on every file named, or in the directories named:
// the seeds and the crash inputs found so far, without libFuzzer. Each input
// runs in a child with the decoding process's limits; one that kills its
// child counts as failed.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "picture/decoder_process.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool Survives(const fs::path& input) {
  std::ifstream in(input, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    pixolan::LimitResources();
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ::_exit(0);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (fs::is_directory(argv[i])) {
      for (const auto& entry : fs::directory_iterator(argv[i]))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') inputs.push_back(entry.path());
    } else {
      inputs.emplace_back(argv[i]);
    }
  }
  int failed = 0;
  for (const fs::path& input : inputs) {
    if (Survives(input)) continue;
    std::printf("failed: %s\n", input.c_str());
    ++failed;
  }
  std::printf("%zu passed, %d failed\n", inputs.size() - failed, failed);
  return failed == 0 ? 0 : 1;
}
