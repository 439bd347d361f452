// SPDX-License-Identifier: MIT
// pixolan-encode: the window's Encode run, without the window.

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "encoder/header_encoder.h"
#include "cli/options.h"
#include "cli/save_output.h"
#include "io/descriptor.h"
#include "picture/picture_loader.h"
#include "resources/sample_picture.h"
#include "encoder/signal_cleanup.h"
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
  CommandLineReport report;
  Viewport viewport;
  viewport.SetOuterWidth(cl.outer_width);
  LoadResult loaded;
  if (cl.picture) {
    const Region region = VisibleRegion(cl, viewport);
    const Placement placement = PlacementFor(cl, viewport);
    loaded = *cl.picture == "-" ? LoadPictureStream(STDIN_FILENO, "standard input", viewport.GetBackground(), region,
                                                    {}, placement)
                                : LoadPicture(*cl.picture, viewport.GetBackground(), region, {}, placement);
    if (!loaded.Ok()) {
      PrintError("pixolan-encode: " + loaded.error + '\n');
      return 1;
    }
    PrintError(OffsetWarning(cl, loaded.picture));
    if (!loaded.warning.empty()) report.ShowWarning(loaded.warning);
    viewport.SetPicture(loaded.picture);
  } else {
    viewport.SetPicture(SamplePicture());
  }

  const EncodeJob job{cl.settings, cl.header, cl.output,
                      [&cl](std::string_view text) { return SaveOutput(cl.output, text); }};
  HeaderStats stats;
  if (cl.source) {
    // The definition first: a header without it would not link.
    const std::string header_name = std::filesystem::path(cl.output).filename().string();
    const SaveResult saved = SaveOutput(*cl.source, FormatSource(viewport, cl.settings, cl.header, header_name));
    if (!saved.Ok()) {
      PrintError("pixolan-encode: " + saved.error + '\n');
      return 1;
    }
  }
  if (!HeaderEncoder().Run(viewport, job, report, &stats)) return 1;
  PrintError(AfterRunText(cl, stats) + (cl.report ? PlacementReport(loaded) : ""));
  return 0;
}
