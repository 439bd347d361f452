// SPDX-License-Identifier: MIT
// Arbitrary bytes through the in-process decoders into an Encode run in memory.

#include <cstddef>
#include <cstdint>

#include "picture/decoder.h"
#include "encoder/header_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const pixolan::DecodeOutcome decoded = pixolan::DecodePicture({data, size}, {}, {});
  if (!decoded.Ok()) return 0;

  pixolan::Viewport viewport;
  viewport.SetOuterWidth(size % 2 ? pixolan::kWideWidthTwips : pixolan::kNarrowWidthTwips);
  viewport.SetPicture(pixolan::Composite(decoded.pixels, viewport.GetBackground()));
  const auto depth = static_cast<pixolan::ColorDepth>(size % 3);
  const std::string text = pixolan::FormatHeader(viewport, {depth, size % 5 == 0, "FFFF"});
  if (!text.starts_with(pixolan::ElementType(depth))) __builtin_trap();
  return 0;
}
