#pragma once
// The text of image.h: a C array of packed colours, one line per grid column.

#include <cstdint>
#include <functional>
#include <string>

#include "viewport.h"

namespace pixolan {

struct EncodeSettings {
  ColorDepth depth = ColorDepth::Depth8;
  bool remove = false;     // leave out samples whose packed digits equal key
  std::string key = "FFFF";  // bare hex digits, compared verbatim
};

/// Grid points one run visits, which is also the declared array length:
/// (W / 15 + 1) columns of H / 15 rows.
std::int64_t DeclaredCount(float outer_width, float outer_height);

/// Called after each column with the x of the next column, in twips.
using ColumnDone = std::function<void(float next_x)>;

/// Samples the viewport column by column, left to right, each from the bottom
/// row up, and returns the complete file text (CR LF line breaks):
///
///   unsigned char const Photos[17556]={0x3F,0x3F,...,0xFF,<CR LF>
///   ...
///   0x3F,...,0x3F};<CR LF>
///   /* 0 */
///
/// The trailing comment holds the number of samples considered for removal
/// (0 when nothing is removed). When left_out is given it receives the number
/// of samples the key left out.
std::string FormatHeader(const Viewport& viewport, const EncodeSettings& settings,
                         const ColumnDone& column_done = {}, std::int64_t* left_out = nullptr);

}  // namespace pixolan
