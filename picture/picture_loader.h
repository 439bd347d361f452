#pragma once
// Decoding picture files into the viewport's picture with Qt's image readers.

#include <string>

#include "decoder.h"
#include "viewport.h"

class QIODevice;

namespace pixolan {

struct LoadResult {
  Picture picture;
  std::string error;  // names the file and the reason; empty on success
  bool ok() const { return error.empty(); }
};

/// "Could not load PATH: REASON", the one form every load failure takes.
LoadResult LoadFailure(const std::string& path, const std::string& reason);

/// Pictures whose decoded size would exceed this are refused before decoding.
inline constexpr int kAllocationLimitMB = 512;

/// Reads any format Qt's readers know, chosen by content, not by suffix, in a
/// child process with a time and memory budget (see isolated_decode.h).
/// Pixels are taken as stored: no colour management, no EXIF rotation, no
/// scaling. Alpha is composited over background. Only region is kept.
LoadResult LoadPicture(const std::string& path, ColorValue background = kDefaultBackground, const Region& region = {});

/// The same for a picture already open for reading, in this process; name
/// goes into messages.
LoadResult LoadPictureFrom(QIODevice& file, const std::string& name, ColorValue background = kDefaultBackground,
                           const Region& region = {});

}  // namespace pixolan
