// SPDX-License-Identifier: MIT
#include "cli/option_table.h"

#include <getopt.h>

namespace pixolan {

namespace {

// getopt_long's code for a row: its short letter, or a number past every char.
int CodeOf(const OptionSpec& spec, std::size_t row) {
  return spec.short_name ? spec.short_name : 256 + static_cast<int>(row);
}

std::string NameOf(const std::string& typed) { return typed.substr(0, typed.find('=')); }

// Why getopt_long refused `typed`, a long option ("--nme=x").
std::string LongOptionError(std::span<const OptionSpec> table, const std::string& typed) {
  const std::string name = NameOf(typed).substr(2);
  std::vector<const OptionSpec*> matches;
  for (const OptionSpec& spec : table) {
    if (spec.name == name) {
      matches = {&spec};
      break;
    }
    if (std::string_view(spec.name).starts_with(name)) matches.push_back(&spec);
  }
  if (matches.size() == 1 && !matches[0]->value && typed.find('=') != std::string::npos)
    return std::string("--") + matches[0]->name + " takes no value";
  if (matches.size() > 1) {
    std::string candidates;
    for (const OptionSpec* spec : matches)
      candidates += std::string(candidates.empty() ? "" : ", ") + "--" + spec->name;
    return "ambiguous option '" + NameOf(typed) + "': " + candidates + "?";
  }
  return "unknown option '" + NameOf(typed) + "'";
}

}  // namespace

ScannedArguments ScanArguments(std::span<const OptionSpec> table, const std::vector<std::string>& args) {
  ScannedArguments scanned;
  // "-": operands come back in place (code 1), whatever POSIXLY_CORRECT says;
  // ":": a missing value is told apart from an unknown option.
  std::string shorts = "-:";
  std::vector<option> longs;
  for (std::size_t row = 0; row < table.size(); ++row) {
    const OptionSpec& spec = table[row];
    if (spec.short_name) shorts += std::string(1, spec.short_name) + (spec.value ? ":" : "");
    longs.push_back({spec.name, spec.value ? required_argument : no_argument, nullptr, CodeOf(spec, row)});
  }
  longs.push_back({nullptr, 0, nullptr, 0});

  std::vector<std::string> storage{"pixolan"};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(storage.size());

  opterr = 0;
  optind = 0;  // glibc: start afresh
  for (;;) {
    const int code = getopt_long(argc, argv.data(), shorts.c_str(), longs.data(), nullptr);
    if (code == -1) break;
    const std::string last = argv[optind - 1];
    if (code == 1) {
      // NOLINTNEXTLINE(clang-analyzer-cplusplus.StringChecker): getopt_long sets optarg for an operand
      scanned.operands.push_back(optarg);
      continue;
    }
    if (code == '?') {
      if (last.starts_with("--")) scanned.error = LongOptionError(table, last);
      else scanned.error = "unknown option '-" + std::string(1, static_cast<char>(optopt)) + "'";
      return scanned;
    }
    const int wanted = code == ':' ? optopt : code;
    std::size_t row = 0;
    while (row < table.size() && CodeOf(table[row], row) != wanted) ++row;
    const OptionSpec& spec = table[row];
    const std::string typed =
        last.starts_with("--") ? "--" + std::string(spec.name) : "-" + std::string(1, spec.short_name);
    if (code == ':') {
      scanned.error = typed + " " + (spec.missing ? spec.missing : "needs a value");
      return scanned;
    }
    scanned.options.push_back({row, typed, optarg ? optarg : ""});
  }
  for (int i = optind; i < argc; ++i) scanned.operands.push_back(argv[i]);
  return scanned;
}

std::string OptionHelp(std::span<const OptionSpec> table) {
  constexpr std::size_t kColumn = 16;
  std::string help;
  for (const OptionSpec& spec : table) {
    if (!spec.help) continue;
    // "-o FILE" but "--help": a flag is listed by its long name.
    std::string term =
        spec.short_name && spec.value ? "-" + std::string(1, spec.short_name) : "--" + std::string(spec.name);
    if (spec.value) term += std::string(" ") + spec.value;
    help += "  " + term + std::string(term.size() < kColumn ? kColumn - term.size() : 1, ' ') + spec.help + "\n";
  }
  return help;
}

}  // namespace pixolan
