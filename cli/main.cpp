// SPDX-License-Identifier: MIT
// pixolan-encode: the window's Encode run, without the window.

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "encoder/header_encoder.h"
#include "cli/options.h"
#include "cli/save_output.h"
#include "io/descriptor.h"
#include "picture/picture_loader.h"
#include "resources/sample_picture.h"
#include "encoder/signal_cleanup.h"

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

// The picture on standard input, read whole: at most the limit, so that an
// endless stream cannot fill memory.
LoadResult LoadStandardInput(ColorValue background, const Region& region) {
  const std::string name = "standard input";
  constexpr std::size_t kLimit = std::size_t{kAllocationLimitMB} * 1024 * 1024;
  std::string bytes;
  const int error = ReadAll(STDIN_FILENO, kLimit, bytes);
  if (error == EFBIG)
    return LoadFailure(name, "more than the " + std::to_string(kAllocationLimitMB) + " MB a picture may take");
  if (error != 0) return LoadFailure(name, std::strerror(error));
  return LoadPictureBytes(std::move(bytes), name, background, region);
}

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
    Print(kUsage);
    return 0;
  }
  if (cl.version) {
    Print("pixolan-encode " PIXOLAN_VERSION "\n");
    return 0;
  }

  CommandLineReport report;
  Viewport viewport;
  viewport.SetOuterWidth(cl.outer_width);
  if (cl.picture) {
    const Region region = VisibleRegion(cl, viewport);
    const LoadResult loaded = *cl.picture == "-" ? LoadStandardInput(viewport.GetBackground(), region)
                                                 : LoadPicture(*cl.picture, viewport.GetBackground(), region);
    if (!loaded.Ok()) {
      PrintError("pixolan-encode: " + loaded.error + '\n');
      return 1;
    }
    if (!loaded.warning.empty()) report.ShowWarning(loaded.warning);
    viewport.SetPicture(loaded.picture);
  } else {
    viewport.SetPicture(SamplePicture());
  }

  const EncodeJob job{cl.settings, cl.header, cl.output,
                      [&cl](std::string_view text) { return SaveOutput(cl.output, text); }};
  HeaderStats stats;
  if (!HeaderEncoder().Run(viewport, job, report, &stats)) return 1;
  PrintError(AfterRunText(cl, stats));
  return 0;
}
