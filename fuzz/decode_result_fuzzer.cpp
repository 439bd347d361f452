// SPDX-License-Identifier: MIT
// Arbitrary bytes as a decoding process's result, read the way the loader
// reads them: the first two bytes choose the region, the rest is the wire.

#include <cstddef>
#include <cstdint>
#include <string>

#include "picture/decode_result.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const pixolan::Region region{data[0] % 7, data[1] % 5, data[0], data[1]};
  const std::string wire(reinterpret_cast<const char*>(data + 2), size - 2);
  if (wire.size() > pixolan::MaxResultBytes(region)) return 0;  // the loader stops reading there
  pixolan::DecodeOutcome outcome;
  if (!pixolan::ParseOutcome(wire, region, outcome)) return 0;
  // What is accepted fits the region and holds exactly its pixels or a reason.
  const auto& pixels = outcome.pixels;
  const bool fits = pixels.width <= region.width && pixels.height <= region.height &&
                    pixels.rgba.size() == std::size_t(pixels.width) * pixels.height * 4;
  const bool reason =
      !outcome.error.empty() && outcome.error.size() <= pixolan::kMaxResultTextBytes && pixels.rgba.empty();
  if (outcome.error.empty() ? !fits : !reason) __builtin_trap();
  if (outcome.note.size() > pixolan::kMaxResultTextBytes || outcome.warning.size() > pixolan::kMaxResultTextBytes)
    __builtin_trap();
  return 0;
}
