// SPDX-License-Identifier: MIT
#pragma once
// What a decoding process sends back on its result pipe: a fixed header
// (magic, kind, width, height, error length, the picture's stored width and
// height, the scale in millionths) of 32-bit words in this machine's order,
// then the RGBA pixels or the error text.

#include <cstddef>
#include <string>

#include "picture/decoder.h"

namespace pixolan {

/// Longest error text a decoding process may send.
inline constexpr std::size_t kMaxErrorBytes = 4096;

/// Writes outcome to fd as above; false with errno set when a write fails.
bool WriteOutcome(int fd, const DecodeOutcome& outcome);

/// Most bytes a truthful process can send for region (the drawing area for
/// a placed read); reading stops after it.
std::size_t MaxResultBytes(const Region& region);

/// Parses what a process sent; false unless every size agrees with the
/// header and the pixels fit inside region.
bool ParseOutcome(const std::string& wire, const Region& region, DecodeOutcome& outcome);

}  // namespace pixolan
