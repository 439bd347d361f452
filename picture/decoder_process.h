// SPDX-License-Identifier: MIT
#pragma once
// The decoding process's side: limits, system-call filter, one decode, one
// result. Programs built on RunDecoder are started by picture_loader with
//   PROGRAM [--place PLACEMENT] X Y WIDTH HEIGHT [EXTRA...]
// the picture open on standard input and the result pipe on standard output;
// PLACEMENT is PlacementText's word (model/placement.h), left out for a
// plain region read.

#include <functional>

#include "picture/decoder.h"

namespace pixolan {

using DecodeFunction = std::function<DecodeOutcome(Bytes, const Region&, const DecodeLimits&, const Placement&)>;
/// Runs before the system-call filter, while files can still be opened
/// (a plugin loaded, say); it must not decode.
using PrepareFunction = std::function<void(Bytes, const Region&, const DecodeLimits&)>;

struct ResourceLimits {
  long long extra_memory_mb = 1536;  // address space on top of what the process maps at the start
  int cpu_seconds = 15;
};

/// Caps this process's address space (not under AddressSanitizer, which
/// reserves terabytes), CPU time, core dumps and file sizes.
void LimitResources(const ResourceLimits& limits = {});

/// Lets this process read its picture (standard input) and write standard
/// output and error, nothing else; false where the kernel refuses a filter.
bool InstallSyscallFilter();

/// The whole life of a decoding process; returns its exit status.
int RunDecoder(int argc, char** argv, const DecodeFunction& decode, const PrepareFunction& prepare = {});

}  // namespace pixolan
