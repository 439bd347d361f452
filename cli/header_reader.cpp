// SPDX-License-Identifier: MIT
#include "cli/header_reader.h"

#include <cctype>

namespace pixolan {

namespace {

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool AtEnd() const { return at_ >= text_.size(); }
  char Peek(std::size_t ahead = 0) const { return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0'; }
  int line() const { return line_; }
  int column() const { return column_; }

  void Advance() {
    if (text_[at_++] == '\n') {
      ++line_;
      column_ = 1;
      line_start_ = true;
    } else {
      ++column_;
    }
  }

  /// Skips white space, comments and (where allowed) preprocessor lines.
  /// False with error set for a comment that never ends.
  bool SkipBlank(bool directives, std::string& error) {
    while (!AtEnd()) {
      const char c = Peek();
      if (c == '\n' || c == '\r' || c == ' ' || c == '\t' || c == '\f' || c == '\v') {
        Advance();
      } else if (c == '/' && Peek(1) == '*') {
        const int line = line_, column = column_;
        Advance(), Advance();
        while (!AtEnd() && !(Peek() == '*' && Peek(1) == '/')) Advance();
        if (AtEnd()) {
          error = Where(line, column) + "comment never closed";
          return false;
        }
        Advance(), Advance();
        line_start_ = false;
      } else if (c == '/' && Peek(1) == '/') {
        while (!AtEnd() && Peek() != '\n') Advance();
      } else if (c == '#' && directives && line_start_) {
        // To the end of the line, following backslash continuations.
        while (!AtEnd() && Peek() != '\n') {
          if (Peek() == '\\' && (Peek(1) == '\n' || (Peek(1) == '\r' && Peek(2) == '\n'))) Advance();
          Advance();
        }
      } else {
        line_start_ = false;
        return true;
      }
    }
    return true;
  }

  std::string Here() const { return Where(line_, column_); }
  static std::string Where(int line, int column) { return std::to_string(line) + ":" + std::to_string(column) + ": "; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
  int column_ = 1;
  bool line_start_ = true;
};

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Shown(char c) {
  if (c == '\0') return "the end of the file";
  if (std::isprint(static_cast<unsigned char>(c))) return std::string("'") + c + "'";
  return "byte " + std::to_string(static_cast<unsigned char>(c));
}

// A C integer constant: 0x-prefixed hex or decimal, then any u/l suffix.
bool ReadNumber(Cursor& in, std::uint32_t& value, std::string& error) {
  const std::string where = in.Here();
  const bool hex = in.Peek() == '0' && (in.Peek(1) == 'x' || in.Peek(1) == 'X');
  if (hex) in.Advance(), in.Advance();
  const int base = hex ? 16 : 10;
  std::uint64_t v = 0;
  int digits = 0;
  for (;; ++digits, in.Advance()) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(in.Peek())));
    const int d = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) break;
    v = v * base + d;
    if (v > 0xFFFFFFFFu) {
      error = where + "number too large for a colour";
      return false;
    }
  }
  while (in.Peek() == 'u' || in.Peek() == 'U' || in.Peek() == 'l' || in.Peek() == 'L') in.Advance();
  if (digits == 0 || IsWordChar(in.Peek())) {
    error = where + "expected a number such as 0x1F or 31";
    return false;
  }
  value = static_cast<std::uint32_t>(v);
  return true;
}

}  // namespace

HeaderReadResult ParseHeader(std::string_view text) {
  HeaderReadResult result;
  ReadHeader& header = result.header;
  std::string& error = result.error;
  Cursor in(text);

  // The declaration: words, then [N] or [], then anything (attributes,
  // PROGMEM) up to "=".
  std::vector<std::string> words;
  bool bracket = false;
  for (;;) {
    if (!in.SkipBlank(true, error)) return result;
    const char c = in.Peek();
    if (in.AtEnd() || c == '{' || c == ';') {
      error = in.Here() + "expected an array declaration such as 'const uint8_t Photos[17556]={', found " + Shown(c);
      return result;
    }
    if (c == '=') break;
    if (!bracket && IsWordChar(c)) {
      std::string word;
      while (IsWordChar(in.Peek())) word += in.Peek(), in.Advance();
      words.push_back(word);
    } else if (!bracket && c == '[') {
      bracket = true;
      in.Advance();
      if (!in.SkipBlank(false, error)) return result;
      if (in.Peek() != ']') {
        std::uint32_t n = 0;
        if (!ReadNumber(in, n, error)) return result;
        header.declared = n;
        if (!in.SkipBlank(false, error)) return result;
      }
      if (in.Peek() != ']') {
        error = in.Here() + "expected ']', found " + Shown(in.Peek());
        return result;
      }
      in.Advance();
    } else if (bracket && c == '[') {
      error = in.Here() + "only one-dimensional arrays can be read";
      return result;
    } else if (c == '"') {  // a section name inside an attribute
      in.Advance();
      while (!in.AtEnd() && in.Peek() != '"' && in.Peek() != '\n') in.Advance();
      if (in.Peek() == '"') in.Advance();
    } else {
      in.Advance();
    }
  }
  if (!bracket || words.size() < 2) {
    error = in.Here() + "expected an array: a type, a name and [N] before '='";
    return result;
  }
  // The words after [] are attributes (PROGMEM, __attribute__, section): the
  // type is what comes before the name.
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    if (words[i].starts_with("__attribute") || words[i] == "PROGMEM") break;
    header.type += (header.type.empty() ? "" : " ") + words[i];
  }
  in.Advance();  // '='
  if (!in.SkipBlank(false, error)) return result;
  if (in.Peek() != '{') {
    error = in.Here() + "expected '{', found " + Shown(in.Peek());
    return result;
  }
  header.brace_line = in.line();
  in.Advance();

  for (;;) {
    if (!in.SkipBlank(false, error)) return result;
    if (in.Peek() == '}') break;
    HeaderElement element{0, in.line(), in.column()};
    if (!ReadNumber(in, element.value, error)) return result;
    header.elements.push_back(element);
    if (!in.SkipBlank(false, error)) return result;
    if (in.Peek() == ',') {
      in.Advance();
    } else if (in.Peek() != '}') {
      error = in.Here() + "expected ',' or '}', found " + Shown(in.Peek());
      return result;
    }
  }
  in.Advance();  // '}'
  if (!in.SkipBlank(false, error)) return result;
  if (in.Peek() != ';') {
    error = in.Here() + "expected ';' after '}', found " + Shown(in.Peek());
    return result;
  }
  in.Advance();
  if (!in.SkipBlank(true, error)) return result;
  if (!in.AtEnd())
    error = in.Here() + "expected only comments and preprocessor lines after '};', found " + Shown(in.Peek());
  return result;
}

std::size_t DefinitionOf(std::string_view text, const std::string& name) {
  const std::string opening = name + "[";
  for (std::size_t at = text.find(opening); at != std::string_view::npos; at = text.find(opening, at + 1)) {
    if (at > 0 && IsWordChar(text[at - 1])) continue;  // the end of a longer name
    const std::size_t end = text.find_first_of(";{", at);
    if (end != std::string_view::npos && text[end] == '{' &&
        text.substr(at, end - at).find('=') != std::string_view::npos)
      return at;
  }
  return std::string_view::npos;
}

}  // namespace pixolan
