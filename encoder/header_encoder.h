// SPDX-License-Identifier: MIT
#pragma once
// One Encode run: sample the viewport, write image.h, report progress and
// the outcome through whatever hosts the run (the window or the command line).

#include <functional>
#include <string>
#include <string_view>

#include "encoder/header_format.h"
#include "io/output_file.h"
#include "model/viewport.h"

namespace pixolan {

enum class MessageIcon { Information, Exclamation, Critical };

/// Where a run shows its progress and what came of it.
class RunHost {
 public:
  virtual ~RunHost() = default;

  virtual void SetProgressValue(int value) = 0;
  virtual void SetProgressMaximum(int maximum) = 0;
  virtual int ProgressMaximum() const = 0;

  /// Modal message with a single OK button.
  virtual void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) = 0;
  /// Something to know about a run that succeeded; shown before "Generated:".
  virtual void ShowWarning(const std::string& text);
};

/// The window's side of a run: its controls answer what the run reads.
class EncoderHost : public RunHost {
 public:
  virtual const Viewport& GetViewport() const = 0;
  /// Index of the selected depth option: 0 "8-bit", 1 "12-bit", 2 "16-bit".
  virtual int SelectedDepthOption() const = 0;
  virtual bool RemoveColorUnchecked() const = 0;
  virtual std::string KeyText() const = 0;
  virtual DitherMode SelectedDither() const { return DitherMode::None; }

  virtual std::string ProgramDirectory() const = 0;
  /// Where the run writes: image.h in the program's directory unless the
  /// host says otherwise.
  virtual std::string OutputPath() const { return ProgramDirectory() + "/image.h"; }
};

/// Writes a run's text: SaveFile(path, text), standard output, or a download.
using SaveFunction = std::function<SaveResult(std::string_view text)>;

/// What one run encodes and where the text goes.
struct EncodeJob {
  EncodeSettings settings;
  HeaderOptions options;
  std::string path;  // named in the messages
  SaveFunction save;
};

inline constexpr const char* kGeneratedTitle = "Image file generated.";
/// The completion message's first line for the file written at path.
inline std::string GeneratedText(const std::string& path) { return "Generated: " + path; }
inline constexpr const char* kFailedTitle = "Image file not generated.";

/// The settings the host's controls stand for.
EncodeSettings SettingsFrom(const EncoderHost& host);

class HeaderEncoder {
 public:
  /// Performs one run with the settings of the host's controls, writing the
  /// window's declaration to its OutputPath(), which must be a regular file
  /// or a new name (encoder_host.cpp: the only part that touches files).
  bool Run(EncoderHost& host);

  /// Performs one run; true when the text was written. Either way the host
  /// has been shown a message saying what happened. stats, when given,
  /// receives what the run found.
  bool Run(const Viewport& viewport, const EncodeJob& job, RunHost& host, HeaderStats* stats = nullptr);
};

}  // namespace pixolan
