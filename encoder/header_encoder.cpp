// SPDX-License-Identifier: MIT
#include "encoder/header_encoder.h"

namespace pixolan {

void RunHost::ShowWarning(const std::string& text) { ShowMessage(text, kGeneratedTitle, MessageIcon::Exclamation); }

bool HeaderEncoder::Run(const Viewport& viewport, const EncodeJob& job, RunHost& host, HeaderStats* stats_out) {
  host.SetProgressValue(1);
  host.SetProgressMaximum(static_cast<int>(viewport.OuterWidth()));

  const EncodeSettings& settings = job.settings;
  HeaderStats stats;
  const std::string text = FormatHeader(viewport, settings, job.options, &stats, [&host](float next_x) {
    const int maximum = host.ProgressMaximum();
    host.SetProgressValue(next_x > maximum ? maximum : static_cast<int>(next_x));
  });

  const std::string& path = job.path;
  const SaveResult saved = job.save(text);
  if (!saved.Ok()) {
    host.SetProgressValue(0);  // a full bar would say something was written
    // Said only where there was a file to keep: a device or pipe may hold part of the text.
    const std::string kept = saved.earlier_file_kept ? " Any earlier file there was left as it was." : "";
    host.ShowMessage(saved.error + kept, kFailedTitle, MessageIcon::Critical);
    return false;
  }
  if (!saved.warning.empty()) host.ShowWarning(saved.warning);
  std::string message = GeneratedText(path);
  // A key that matches nothing is most often a key typed for another depth.
  if (settings.remove && stats.matched == 0)
    message += "\nNo sample matched the key " + settings.key + " at " + std::to_string(BitsOf(settings.depth)) +
               " bits, so nothing was left out.";
  else if (settings.remove)
    message += "\n" + std::to_string(stats.matched) +
               (stats.matched == 1 ? " sample matched the key and was left out."
                                   : " samples matched the key and were left out.");
  host.ShowMessage(message, kGeneratedTitle, MessageIcon::Exclamation);
  if (stats_out) *stats_out = stats;
  return true;
}

}  // namespace pixolan
