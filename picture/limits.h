// SPDX-License-Identifier: MIT
#pragma once
// What one picture may cost, in one place: the decoders check the memory
// before they allocate, the loader enforces the time, and the decoding
// process's resource limits catch whatever slips past both.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace pixolan {

/// What a decoder may hold at once for a picture, counting what the format
/// forces it to keep; standard input may not bring more than this either.
inline constexpr int kPictureMemoryMB = 512;
inline constexpr std::int64_t kPictureMemoryBytes = std::int64_t{kPictureMemoryMB} * 1024 * 1024;

/// Wall-clock time before the loader kills a decoding process.
inline constexpr std::chrono::seconds kDecodeDeadline{15};

/// CPU time a decoding process may use (SIGXCPU, then SIGKILL a second later).
inline constexpr int kDecodeCpuSeconds = 15;

/// Address space a decoding process may add to what it maps at its start:
/// room for the picture's memory, the libraries' own and the heap's slack.
inline constexpr long long kDecoderAddressSpaceMB = 1536;

/// Longest error, warning or note text a decoding process may send back.
inline constexpr std::size_t kMaxResultTextBytes = 4096;

/// Most frames an animation may have: more is refused, not cut short.
inline constexpr int kMaxFrames = 1000;

}  // namespace pixolan
