// SPDX-License-Identifier: MIT
// The window's run: settings from its controls, the text saved to a file.
// Apart from header_encoder.cpp so that the run itself needs no file system.
#include "encoder/header_encoder.h"

namespace pixolan {

EncodeSettings SettingsFrom(const EncoderHost& host) {
  EncodeSettings settings;
  settings.depth = DepthAtOption(host.SelectedDepthOption());
  settings.remove = !host.RemoveColorUnchecked();
  settings.key = host.KeyText();
  settings.dither = host.SelectedDither();
  return settings;
}

bool HeaderEncoder::Run(EncoderHost& host) {
  // The window waits for the write: a pipe with no reader would freeze it.
  const std::string path = host.OutputPath();
  const SaveFunction save = [&path](std::string_view text) { return SaveFile(path, text, Targets::RegularFiles); };
  return Run(host.GetViewport(), {SettingsFrom(host), {}, path, save}, host);
}

}  // namespace pixolan
