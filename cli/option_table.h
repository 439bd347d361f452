// SPDX-License-Identifier: MIT
#pragma once
// One table of options per program: each row names an option, its value and
// its --help line and says what it does, so that adding an option is adding
// a row. Parsing is getopt_long's: --opt=value, attached short values (-oFILE)
// and -- before operands that start with a dash all work.

#include <span>
#include <string>
#include <vector>

namespace pixolan {

struct OptionSpec {
  const char* name;               // long name without dashes: "depth"
  char short_name = 0;            // 'o' for -o; 0 for none
  const char* value = nullptr;    // the value's name in --help ("D"); nullptr for a flag
  const char* help = nullptr;     // the --help text; nullptr keeps the option out of --help
  const char* missing = nullptr;  // what to say when the value is missing: "needs 8, 12 or 16"
};

/// One option as the user gave it, in order: the table row, the form used
/// ("-o" or "--output", in full) and the value ("" for a flag).
struct GivenOption {
  std::size_t row;
  std::string typed;
  std::string value;
};

struct ScannedArguments {
  std::vector<GivenOption> options;
  std::vector<std::string> operands;  // everything else, in order
  std::string error;                  // the first unusable argument, and why
};

ScannedArguments ScanArguments(std::span<const OptionSpec> table, const std::vector<std::string>& args);

/// The --help lines of the table's visible rows: "  --depth D       ...";
/// an option with a value and a short letter is listed by the letter ("-o FILE").
std::string OptionHelp(std::span<const OptionSpec> table);

/// A table row with what the option does to the program's settings: returns
/// an error message, or "" when the value is usable.
template <typename Target>
struct Option {
  OptionSpec spec;
  std::string (*apply)(Target& target, const GivenOption& given);
};

template <typename Target>
std::vector<OptionSpec> SpecsOf(std::span<const Option<Target>> table) {
  std::vector<OptionSpec> specs;
  for (const Option<Target>& option : table) specs.push_back(option.spec);
  return specs;
}

/// Scans `args` and applies every option in the order given; the operands
/// are left for the caller. Returns the first error, or "".
template <typename Target>
std::string ApplyOptions(std::span<const Option<Target>> table, const std::vector<std::string>& args, Target& target,
                         std::vector<std::string>& operands) {
  ScannedArguments scanned = ScanArguments(SpecsOf(table), args);
  if (!scanned.error.empty()) return scanned.error;
  for (const GivenOption& given : scanned.options)
    if (std::string error = table[given.row].apply(target, given); !error.empty()) return error;
  operands = std::move(scanned.operands);
  return "";
}

}  // namespace pixolan
