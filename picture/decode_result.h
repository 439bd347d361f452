// SPDX-License-Identifier: MIT
#pragma once
// What a decoding process sends back on its result pipe
// (docs/decoder-protocol.md): a fixed header of
// 32-bit words in this machine's order,
//   magic "PIX4", kind, width, height, picture width, picture height, scale in
//   millionths, frames, delay in milliseconds, text length, note length,
// then for kind 1 the RGBA pixels (width x height, the region's part) followed
// by the warning text (text length bytes, often none), and for kind 2 only
// the error text; after either, the note (about the decoding program itself,
// such as a sandbox it could not set up; usually none). Picture width and
// height are the whole picture's, 0 with an error; the scale is 1000000 for a
// region read; frames is 0 unless a frame was asked for.

#include <cstddef>
#include <string>

#include "picture/decoder.h"

namespace pixolan {

/// Writes outcome to fd as above; false with errno set when a write fails.
bool WriteOutcome(int fd, const DecodeOutcome& outcome);

/// Most bytes a truthful process can send for region (the drawing area for
/// a placed read); reading stops after it.
std::size_t MaxResultBytes(const Region& region);

/// Parses what a process sent; false unless every size agrees with the
/// header and the pixels fit inside region.
bool ParseOutcome(const std::string& wire, const Region& region, DecodeOutcome& outcome);

}  // namespace pixolan
