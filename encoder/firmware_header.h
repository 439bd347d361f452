// SPDX-License-Identifier: MIT
#pragma once
// Headers for firmware that the window's single array does not serve: several
// pictures with a table of them, arrays split into parts that AVR can hold
// and read with far addresses, run-length coded arrays with their decoder,
// and raw little-endian files for SPI flash and SD cards. Each array comes
// with an accessor, NAME_at(i), that hides where and how it is stored.

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/header_format.h"

namespace pixolan {

/// One picture's packed values in the array's order, bytes swapped as asked.
struct NamedArray {
  std::string name;
  std::vector<std::uint32_t> values;
};

/// The values a header written with options holds for the viewport.
std::vector<std::uint32_t> PackedArray(const Viewport& viewport, const EncodeSettings& settings,
                                       const HeaderOptions& options);

/// Bytes each value takes in a coded stream or a --format bin file: 1 for
/// 8-bit packings, 2 for RGB565 and 0xRGB, 4 for the 12-bit values that
/// reach 0x79EF0.
int StoredValueBytes(ColorDepth depth);

/// Run-length coding of values, value_bytes little-endian bytes each:
/// a control byte C of 0 to 127 is followed by C + 1 values written as they
/// are; C of 128 to 255 by one value that repeats C - 126 times (2 to 129).
std::vector<std::uint8_t> RleEncode(const std::vector<std::uint32_t>& values, int value_bytes);

/// The values back; false when the bytes end inside a run or give more than count.
bool RleDecode(const std::vector<std::uint8_t>& bytes, int value_bytes, std::size_t count,
               std::vector<std::uint32_t>& values);

/// The most bytes one AVR object may take: its size_t is 16 bits, signed sizes.
inline constexpr std::int64_t kAvrObjectBytes = 32767;

/// Bytes an element of the array takes on AVR (int is 16 bits there).
int AvrElementBytes(ColorDepth depth, ElementForm form, bool coded);

/// What a firmware header holds, for --report.
struct FirmwareStats {
  HeaderStats values;  // of every picture together
  std::int64_t pictures = 0;
  std::int64_t coded_bytes = 0;  // all run-length coded streams; 0 uncoded
  int parts = 1;                 // of the largest array, for AVR
};

struct FirmwareText {
  std::string header;
  std::string source;  // with options.declaration_only: the C file defining the arrays
  FirmwareStats stats;
};

/// The header (and source) for arrays, each one picture of the viewport's
/// size. Several arrays get a table named options.name with NAME_PICTURES
/// entries: pointers to the arrays, or with --progmem or --compress their
/// accessors. header_name is what the source includes. With delays (one per
/// array, in milliseconds) the arrays are an animation's frames: the table
/// has NAME_FRAMES entries, and NAME_delays_ms gives how long each shows.
FirmwareText FormatFirmware(const std::vector<NamedArray>& arrays, const Viewport& viewport,
                            const EncodeSettings& settings, const HeaderOptions& options,
                            const std::string& header_name = "", const std::vector<int>& delays_ms = {});

/// --format bin: every value of every array in turn, little-endian in
/// StoredValueBytes (big-endian two-byte values with swap: the bytes come
/// swapped already), or the coded streams when compressed.
std::string BinaryFile(const std::vector<NamedArray>& arrays, ColorDepth depth, const HeaderOptions& options);

/// --report's lines on what fits where: the host and ARM, atmega328p
/// (32 KB flash, 2 KB RAM) and atmega2560 (256 KB flash, 8 KB RAM). Each
/// target's line ends in ": fits" when a small program holding the arrays
/// builds and links for it.
std::string TargetReport(const FirmwareStats& stats, ColorDepth depth, const HeaderOptions& options);

}  // namespace pixolan
