// Arbitrary bytes through picture decoding into an Encode run in memory.

#include <QBuffer>
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "header_format.h"
#include "picture_loader.h"

#include <unistd.h>

// Decoding sends stderr to a capture buffer for the decoders' messages; a
// sanitizer report written there would be lost, so reports get their own
// copy of the original stderr.
extern "C" void __sanitizer_set_report_fd(void* fd) __attribute__((weak));

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (__sanitizer_set_report_fd) __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<long>(::dup(2))));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  const pixolan::LoadResult loaded = pixolan::LoadPictureFrom(buffer, "fuzz input");
  if (!loaded.ok()) return 0;

  pixolan::Viewport viewport;
  viewport.SetOuterWidth(size % 2 ? pixolan::kWideWidthTwips : pixolan::kNarrowWidthTwips);
  viewport.SetPicture(loaded.picture);
  const auto depth = static_cast<pixolan::ColorDepth>(size % 3);
  const std::string text = pixolan::FormatHeader(viewport, {depth, size % 5 == 0, "FFFF"});
  if (!text.starts_with(pixolan::ElementType(depth))) __builtin_trap();
  return 0;
}
