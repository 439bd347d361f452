// SPDX-License-Identifier: MIT
#pragma once
// The decoding process's side: limits, system-call filter, one decode, one
// result. docs/decoder-protocol.md describes both sides in full. Programs built on RunDecoder are started by
// picture_loader with
//   PROGRAM [--frame N] [--place PLACEMENT] X Y WIDTH HEIGHT
// the picture open on standard input, the result pipe on standard output,
// standard error on /dev/null, and an environment holding only the
// starter's pid (below). PLACEMENT is PlacementText's word
// (model/placement.h), left out for a plain region read. --frame asks for
// frame N (from 0) of an animation and for the count of its frames. A
// stand-in decoder in the tests takes its behaviour after the region.

#include <functional>
#include <string>

#include "picture/decoder.h"

namespace pixolan {

/// The environment variable holding the pid of the program that started the
/// decoder, which the decoder dies with.
inline constexpr const char* kParentPidVariable = "PIXOLAN_PARENT_PID";

using DecodeFunction = std::function<DecodeOutcome(Bytes, const Region&, const DecodeLimits&, const Placement&)>;
using FrameFunction =
    std::function<DecodeOutcome(Bytes, const Region&, const DecodeLimits&, const Placement&, int frame)>;
/// Runs before the system-call filter, while files can still be opened
/// (a plugin loaded, say); it must not read the picture.
using PrepareFunction = std::function<void(Bytes, const Region&, const DecodeLimits&)>;

struct ResourceLimits {
  long long extra_memory_mb = kDecoderAddressSpaceMB;  // on top of what the process maps at the start
  int cpu_seconds = kDecodeCpuSeconds;
};

/// Caps this process's address space (not under AddressSanitizer, which
/// reserves terabytes), CPU time, core dumps and file sizes.
void LimitResources(const ResourceLimits& limits = {});

/// Lets this process read and fstat its picture (standard input), write
/// standard output and error and manage memory that is never executable,
/// nothing else; returns why not where the kernel refuses a filter.
std::string InstallSyscallFilter();

/// The whole life of a decoding process; returns its exit status.
/// A program without a frame function reads every picture as one frame.
int RunDecoder(int argc, char** argv, const DecodeFunction& decode, const PrepareFunction& prepare = {},
               const FrameFunction& frames = {});

}  // namespace pixolan
