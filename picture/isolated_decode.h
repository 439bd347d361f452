#pragma once
// Runs a picture decode in a child process, so that a decoder that crashes,
// hangs or asks for gigabytes because of a damaged file costs the program
// nothing but a message.

#include <chrono>
#include <functional>
#include <string>

#include "picture_loader.h"

namespace pixolan {

struct DecodeBudget {
  std::chrono::seconds time{15};
  long long extra_memory_mb = 1536;  // on top of what the process already maps
};

/// Caps this process's address space at what it maps now plus extra_mb
/// (nothing under AddressSanitizer, which reserves terabytes).
void LimitMemory(long long extra_mb);

/// Calls decode in a forked child under the budget and returns its result;
/// if the child does not finish, says why in terms of path.
LoadResult DecodeIsolated(const std::string& path, const std::function<LoadResult()>& decode,
                          const DecodeBudget& budget = {});

}  // namespace pixolan
