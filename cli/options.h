// SPDX-License-Identifier: MIT
#pragma once
// Command-line options of pixolan-encode.

#include <optional>
#include <string>
#include <vector>

#include "picture/decoder.h"
#include "picture/picture_loader.h"
#include "encoder/header_format.h"

namespace pixolan {

struct CommandLine {
  std::optional<std::string> picture;  // none: the built-in sample
  std::vector<std::string> pictures;   // every PICTURE given, picture being the first
  std::vector<std::string> names;      // the arrays' names, one per picture
  bool binary = false;                 // --format bin: the packed values as bytes
  bool frames = false;                 // every frame of the picture, with their delays
  float outer_width = kNarrowWidthTwips;
  EncodeSettings settings;  // the window's initial settings
  HeaderOptions header;     // the window's declaration unless asked
  int offset_x = 0;         // picture pixel at the drawing area's top left
  int offset_y = 0;
  Placement placement;                // fit, fill or crop, turns and flips
  bool report = false;                // element count and flash sizes on stderr
  std::string output = "image.h";     // "-" is standard output
  std::optional<std::string> source;  // --source: the C file that defines the array
  bool help = false;
  bool version = false;
};

struct ParsedCommandLine {
  CommandLine command_line;
  std::string error;  // empty when the arguments made sense
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

/// Whether the run writes through FormatFirmware (encoder/firmware_header.h).
bool FirmwareForm(const CommandLine& cl);

/// Array names for picture files: their names without the suffix, made C
/// identifiers that are no keyword and not reserved, unique ("logo", "logo_2"),
/// none equal to the table's name.
std::vector<std::string> ArrayNames(const std::vector<std::string>& paths, const std::string& table);

/// The --help text.
std::string Usage();

/// The part of the picture the viewport can show, from the offset on.
Region VisibleRegion(const CommandLine& cl, const Viewport& viewport);

/// The placement asked for, into the viewport's drawing area.
Placement PlacementFor(const CommandLine& cl, const Viewport& viewport);

/// The --report line on the picture: its stored size and the scale it was placed at.
std::string PlacementReport(const LoadResult& loaded);

/// Warnings about the options themselves, for standard error before a run.
std::string BeforeRunText(const CommandLine& cl);

/// A warning when the offset left nothing of the picture to encode.
std::string OffsetWarning(const CommandLine& cl, const Picture& loaded);

/// Key warnings and the --report lines, for standard error after a run.
std::string AfterRunText(const CommandLine& cl, const HeaderStats& stats);

}  // namespace pixolan
