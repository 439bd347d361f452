// SPDX-License-Identifier: MIT
#pragma once
// Reading back a header Pixolan wrote (or a plain C array laid out the same
// way): the declaration and every element with where it stood.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixolan {

struct HeaderElement {
  std::uint32_t value;
  int line;    // 1-based, in the file
  int column;  // 1-based byte in the line
};

struct ReadHeader {
  std::string type;                      // the words before the array's name: "static const uint16_t"
  std::optional<std::int64_t> declared;  // the length in [], when there is one
  int brace_line = 0;                    // the line of "{": column blocks start there
  std::vector<HeaderElement> elements;
};

struct HeaderReadResult {
  ReadHeader header;
  std::string error;  // "LINE:COL: reason"; empty on success
  bool Ok() const { return error.empty(); }
};

/// Accepts comments and preprocessor lines anywhere outside the initialiser,
/// one array declaration with "={", integer elements (hex or decimal, with
/// or without u/l suffixes, a trailing comma allowed) and "};".
HeaderReadResult ParseHeader(std::string_view text);

/// Where the definition of the array name starts in text ("name[N]" on to
/// "={"), skipping declarations without one; npos when there is none.
std::size_t DefinitionOf(std::string_view text, const std::string& name);

}  // namespace pixolan
