// SPDX-License-Identifier: MIT
#pragma once
// Loading picture files into the viewport's picture. Every picture is
// decoded in a separate, sandboxed process (docs/decoder-protocol.md):
// nothing of a picture is ever decoded in the calling process.

#include <chrono>
#include <string>
#include <vector>

#include "picture/decoder.h"
#include "model/viewport.h"

namespace pixolan {

struct LoadResult {
  Picture picture;
  std::string error;                          // names the file and the reason; empty on success
  std::string warning;                        // names the file and what was not read, for a picture loaded in part
  int picture_width = 0, picture_height = 0;  // of the whole picture, of which picture is the region
  double scale = 1;                           // what a placement shrank or enlarged the picture by
  int frames = 0;    // when a frame was asked for: the animation's frames (1 for a still picture)
  int delay_ms = 0;  // and how long that frame shows, as stored
  bool Ok() const { return error.empty(); }
};

/// CouldNotLoad(path, reason) as a result.
LoadResult LoadFailure(const std::string& path, const std::string& reason);

/// The program that decodes. Without a path, the format's own program
/// (pixolan-picture-decoder-jpeg, -png, -bmp, -tiff, -gif, -webp, or -qt for
/// any other format, through Qt's readers) is looked for beside the running
/// program, then in ../libexec/pixolan relative to it.
struct DecoderProgram {
  std::string path;                                 // when set, decodes every format
  std::vector<std::string> arguments;               // passed after the region
  std::chrono::seconds deadline = kDecodeDeadline;  // wall-clock time before the process is killed
};

/// Decodes the picture file at path, chosen by content, not by suffix.
/// Pixels are taken as stored: no colour management, no EXIF rotation
/// unless the placement asks for it, no scaling unless it places the picture
/// (Fit, Fill, Crop: the result is then the drawing area, the picture centred
/// in it). Alpha is composited over background. Only region (in pixels of
/// the turned picture) is kept by an Actual placement.
/// Blocks until the decoding process is done (at most program.deadline).
/// A frame other than kStillPicture asks for that frame of an animation
/// (decoder.h), with the count of frames.
LoadResult LoadPicture(const std::string& path, ColorValue background = kDefaultBackground, const Region& region = {},
                       const DecoderProgram& program = {}, const Placement& placement = {}, int frame = kStillPicture);

/// The window's load: as above, placed into the drawing area the placement
/// names; an Actual placement keeps the widest drawing area's region.
inline LoadResult LoadPicture(const std::string& path, ColorValue background, const Placement& placement) {
  return LoadPicture(path, background, Region{}, {}, placement);
}

/// The same for a picture read from fd (standard input) to its end; more
/// than kPictureMemoryMB is refused as soon as it has come. name goes
/// into messages.
LoadResult LoadPictureStream(int fd, const std::string& name, ColorValue background = kDefaultBackground,
                             const Region& region = {}, const DecoderProgram& program = {},
                             const Placement& placement = {});

/// Kills every decoding process this program is waiting for; each of those
/// loads then fails. For a program that is ending: decoders also die with
/// it, but a load waiting on one would hold its end up.
void EndRunningDecoders();

}  // namespace pixolan
