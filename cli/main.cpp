// SPDX-License-Identifier: MIT
// pixolan-encode: the window's Encode run, without the window.

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

#include "encoder/firmware_header.h"
#include "encoder/header_encoder.h"
#include "cli/options.h"
#include "cli/save_output.h"
#include "io/descriptor.h"
#include "picture/picture_loader.h"
#include "resources/sample_picture.h"
#include "io/signal_cleanup.h"
#include "pixolan_version.h"

namespace {

using namespace pixolan;

// Straight to the descriptors: iostreams would set up their locales at every
// start, which costs more than this program's own work on a small picture.
void Print(std::string_view text) { (void)WriteAll(STDOUT_FILENO, text); }
void PrintError(std::string_view text) { (void)WriteAll(STDERR_FILENO, text); }

// Where a run reports on the command line: no progress bar, errors and
// warnings on standard error, nothing else.
class CommandLineReport : public RunHost {
 public:
  void SetProgressValue(int) override {}
  void SetProgressMaximum(int maximum) override { progress_maximum_ = maximum; }
  int ProgressMaximum() const override { return progress_maximum_; }
  void ShowMessage(const std::string& text, const std::string&, MessageIcon icon) override {
    if (icon == MessageIcon::Critical) PrintError("pixolan-encode: " + text + '\n');
  }
  void ShowWarning(const std::string& text) override { PrintError("pixolan-encode: warning: " + text + '\n'); }

 private:
  int progress_maximum_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit should fail the write with a message, not kill us.
  std::signal(SIGXFSZ, SIG_IGN);
  InstallSignalCleanup();

  const ParsedCommandLine parsed = ParseCommandLine({argv + 1, argv + argc});
  if (!parsed.error.empty()) {
    PrintError("pixolan-encode: " + parsed.error + "\nTry 'pixolan-encode --help'.\n");
    return 2;
  }
  const CommandLine& cl = parsed.command_line;
  if (cl.help) {
    Print(Usage());
    return 0;
  }
  if (cl.version) {
    Print("pixolan-encode " PIXOLAN_VERSION "\n");
    return 0;
  }

  // The source file is an output too.
  for (const std::string* output : {&cl.output, cl.source ? &*cl.source : nullptr}) {
    if (cl.picture && output && IsSameFile(*cl.picture, *output)) {
      PrintError("pixolan-encode: the output " + *output + " is the picture being encoded; nothing was written\n");
      return 2;
    }
  }

  PrintError(BeforeRunText(cl));
  // A picture piped in without "-" would silently give the test card.
  struct stat in {};
  if (!cl.picture && ::fstat(STDIN_FILENO, &in) == 0 && (S_ISFIFO(in.st_mode) || S_ISREG(in.st_mode)))
    PrintError(
        "pixolan-encode: warning: no PICTURE given, so the built-in test card is encoded; "
        "to encode standard input, give - as the PICTURE\n");
  CommandLineReport report;
  Viewport viewport;
  viewport.SetOuterWidth(cl.outer_width);
  LoadResult loaded;
  // Loads picture (none: the built-in sample) into the viewport; false after saying why not.
  auto load = [&](const std::optional<std::string>& picture, int frame = kStillPicture) {
    if (!picture) {
      viewport.SetPicture(SamplePicture());
      return true;
    }
    const Region region = VisibleRegion(cl, viewport);
    const Placement placement = PlacementFor(cl, viewport);
    loaded = *picture == "-"
                 ? LoadPictureStream(STDIN_FILENO, "standard input", viewport.GetBackground(), region, {}, placement)
                 : LoadPicture(*picture, viewport.GetBackground(), region, {}, placement, frame);
    if (!loaded.Ok()) {
      PrintError("pixolan-encode: " + loaded.error + '\n');
      return false;
    }
    PrintError(OffsetWarning(cl, loaded.picture));
    if (!loaded.warning.empty()) report.ShowWarning(loaded.warning);
    viewport.SetPicture(loaded.picture);
    return true;
  };
  auto save = [](const std::string& path, std::string_view text) {
    const SaveResult saved = SaveOutput(path, text);
    if (!saved.Ok()) PrintError("pixolan-encode: " + saved.error + '\n');
    else if (!saved.warning.empty()) PrintError("pixolan-encode: warning: " + saved.warning + '\n');
    return saved.Ok();
  };

  if (FirmwareForm(cl)) {
    // One picture at a time: only its packed values are kept.
    std::vector<NamedArray> arrays;
    std::vector<int> delays_ms;
    if (cl.frames) {
      // Each frame is decoded by a run of its own, which also counts them.
      for (int frame = 0; frame == 0 || frame < loaded.frames; ++frame) {
        if (!load(cl.picture, frame)) return 1;
        arrays.push_back(
            {cl.header.name + "_frame" + std::to_string(frame), PackedArray(viewport, cl.settings, cl.header)});
        delays_ms.push_back(loaded.delay_ms);
      }
    } else {
      for (std::size_t i = 0; i < std::max<std::size_t>(cl.pictures.size(), 1); ++i) {
        if (!load(cl.pictures.empty() ? std::nullopt : std::optional<std::string>(cl.pictures[i]))) return 1;
        arrays.push_back({cl.names[i], PackedArray(viewport, cl.settings, cl.header)});
      }
    }
    if (cl.binary) return save(cl.output, BinaryFile(arrays, cl.settings.depth, cl.header)) ? 0 : 1;
    const std::string header_name = std::filesystem::path(cl.output).filename().string();
    const FirmwareText text = FormatFirmware(arrays, viewport, cl.settings, cl.header, header_name, delays_ms);
    // The definition first: a header without it would not link.
    if (cl.source && !save(*cl.source, text.source)) return 1;
    if (!save(cl.output, text.header)) return 1;
    std::string after = AfterRunText(cl, text.stats.values);
    if (cl.report)
      after += ReportText(text.stats.values, cl.settings.depth, cl.header.form, cl.header.progmem) +
               TargetReport(text.stats, cl.settings.depth, cl.header) + PlacementReport(loaded);
    PrintError(after);
    return 0;
  }

  if (!load(cl.picture)) return 1;
  const EncodeJob job{cl.settings, cl.header, cl.output,
                      [&cl](std::string_view text) { return SaveOutput(cl.output, text); }};
  HeaderStats stats;
  if (cl.source) {
    // The definition first: a header without it would not link.
    const std::string header_name = std::filesystem::path(cl.output).filename().string();
    if (!save(*cl.source, FormatSource(viewport, cl.settings, cl.header, header_name))) return 1;
  }
  if (!HeaderEncoder().Run(viewport, job, report, &stats)) return 1;
  std::string after = AfterRunText(cl, stats);
  if (cl.report) after += TargetReport({stats, 1, 0, 1}, cl.settings.depth, cl.header) + PlacementReport(loaded);
  PrintError(after);
  return 0;
}
