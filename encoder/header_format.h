// SPDX-License-Identifier: MIT
#pragma once
// The text of image.h: a C array of packed colours, one line per grid column.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/dither.h"
#include "model/viewport.h"

namespace pixolan {

struct EncodeSettings {
  ColorDepth depth = ColorDepth::Depth8;
  bool remove = false;       // leave out samples whose packed digits equal key
  std::string key = "FFFF";  // bare hex digits, compared verbatim, after dithering
  DitherMode dither = DitherMode::None;
};

/// The order of the array's elements.
enum class Layout {
  Columns,  // the window's grid: 133 (177) columns from the left, each 132 samples from the bottom, frame included
  Rows,     // the drawing area only, row by row from its top-left pixel: what a panel's window-and-stream write takes
};

/// A value packed with settings as the display shows it: each field widened
/// back to 8 bits; kLeftOutMarker where the key leaves it out.
ColorValue EncodedLook(const EncodeSettings& settings, std::uint32_t packed);

/// How the array is declared. The defaults give the file the window writes;
/// everything else is for firmware projects that need another spelling.
struct HeaderOptions {
  std::string name = "Photos";  // a C identifier
  ElementForm form = ElementForm::Legacy;
  bool is_static = false;    // static: includable from several files
  std::string guard;         // include guard macro, with size defines; empty: none
  bool progmem = false;      // AVR program memory (avr/pgmspace.h)
  std::string section;       // linker section; empty: none
  bool swap_bytes = false;   // Depth16: low byte first in the value
  bool lf = false;           // LF line breaks instead of CR LF
  bool final_break = false;  // end with a line break, as C compilers expect
  Layout layout = Layout::Columns;
  bool describe = false;          // a first line saying depth, layout, byte order and size
  bool declaration_only = false;  // an extern declaration; the definition goes to a source file
  bool compress = false;          // run-length coded (encoder/firmware_header.h)
};

/// text in capitals, as an array name is in its defines (PHOTOS_WIDTH).
std::string Upper(std::string text);

/// The description line for an array of count elements, without its end:
/// "/* pixolan: depth=16 ... elements=N" (the caller adds fields and " */").
std::string DescriptionFields(const Viewport& viewport, ColorDepth depth, const HeaderOptions& options,
                              std::int64_t count);

/// The --guard defines that describe array name: NAME_WIDTH, _HEIGHT, _COUNT, the order.
std::string ArrayDefines(const Viewport& viewport, const HeaderOptions& options, const std::string& name,
                         std::int64_t count);

/// For a header written with declaration_only: the C source file that
/// defines its array, #include "header_name" and the definition.
std::string FormatSource(const Viewport& viewport, const EncodeSettings& settings, const HeaderOptions& header_options,
                         const std::string& header_name);

/// The description line's start: "/* pixolan: depth=16 pixel=rgb565 ... */".
inline constexpr const char* kDescriptionStart = "/* pixolan:";

/// What one run wrote, for the checks and the report after it.
struct HeaderStats {
  std::int64_t declared = 0;      // N
  std::int64_t matched = 0;       // samples the key left out
  std::int64_t over_16_bits = 0;  // values a 16-bit unsigned int cannot hold
  std::uint32_t largest = 0;      // largest value written or left out
};

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
/// (0 when nothing is removed).
std::string FormatHeader(const Viewport& viewport, const EncodeSettings& settings, const ColumnDone& column_done = {});

/// The same with the declaration spelled as options say; stats, when given,
/// receives what was written.
std::string FormatHeader(const Viewport& viewport, const EncodeSettings& settings, const HeaderOptions& options,
                         HeaderStats* stats = nullptr, const ColumnDone& column_done = {});

/// Empty when key is how the depth writes some value; otherwise why it can
/// never match, naming the form that would ("key 'ffff' can never match at 16
/// bits; keys are written like FFFF").
std::string KeyWarning(ColorDepth depth, const std::string& key);

/// Element count, the flash the array takes with 8-, 16- and 32-bit int, and
/// the values a 16-bit int would cut: lines for standard error. split: the
/// array is written in parts AVR can hold.
std::string ReportText(const HeaderStats& stats, ColorDepth depth, ElementForm form, bool split = false);

}  // namespace pixolan
