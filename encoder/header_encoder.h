#pragma once
// One Encode run: sample the viewport, write image.h, report progress and
// the outcome through whatever hosts the run (the window or the command line).

#include <string>

#include "encoder/header_format.h"
#include "model/viewport.h"

namespace pixolan {

enum class MessageIcon { Information, Exclamation, Critical };

/// Everything a run needs from its host.
class EncoderHost {
 public:
  virtual ~EncoderHost() = default;

  virtual const Viewport& viewport() const = 0;
  /// Index of the selected depth option: 0 "8-bit", 1 "12-bit", 2 "16-bit".
  virtual int SelectedDepthOption() const = 0;
  virtual bool RemoveColorUnchecked() const = 0;
  virtual std::string KeyText() const = 0;

  virtual void SetProgressValue(int value) = 0;
  virtual void SetProgressMaximum(int maximum) = 0;
  virtual int ProgressMaximum() const = 0;

  virtual std::string ProgramDirectory() const = 0;
  /// Where the run writes: image.h in the program's directory unless the
  /// host says otherwise ("-" is standard output).
  virtual std::string OutputPath() const { return ProgramDirectory() + "/image.h"; }

  /// How the array is declared; the window keeps the defaults.
  virtual HeaderOptions Options() const { return {}; }
  /// Called once the file is written, with what the run found.
  virtual void Written(const HeaderStats&) {}

  /// Modal message with a single OK button.
  virtual void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) = 0;
  /// Something to know about a run that succeeded; shown before "Generated:".
  virtual void ShowWarning(const std::string& text);
};

inline constexpr const char* kGeneratedTitle = "Image file generated.";
inline constexpr const char* kFailedTitle = "Image file not generated.";

/// The settings the host's controls stand for.
EncodeSettings SettingsFrom(const EncoderHost& host);

class HeaderEncoder {
 public:
  /// Performs one run; true when the file was written. Either way the host
  /// has been shown a message saying what happened.
  bool Run(EncoderHost& host);
};

}  // namespace pixolan
