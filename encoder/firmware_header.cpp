// SPDX-License-Identifier: MIT
#include "encoder/firmware_header.h"

#include <algorithm>
#include <cctype>

namespace pixolan {

int StoredValueBytes(ColorDepth depth) { return InfoOf(depth).stdint_bytes; }

std::vector<std::uint8_t> RleEncode(const std::vector<std::uint32_t>& values, int value_bytes) {
  std::vector<std::uint8_t> out;
  auto put = [&](std::uint32_t v) {
    for (int b = 0; b < value_bytes; ++b) out.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
  };
  const std::size_t n = values.size();
  std::size_t i = 0;
  while (i < n) {
    std::size_t run = 1;
    while (i + run < n && run < 129 && values[i + run] == values[i]) ++run;
    if (run >= 2) {
      out.push_back(static_cast<std::uint8_t>(run + 126));
      put(values[i]);
      i += run;
      continue;
    }
    // Values as they are, up to the next pair of equal ones.
    std::size_t literal = 1;
    while (i + literal < n && literal < 128 && !(i + literal + 1 < n && values[i + literal] == values[i + literal + 1]))
      ++literal;
    out.push_back(static_cast<std::uint8_t>(literal - 1));
    for (std::size_t k = 0; k < literal; ++k) put(values[i + k]);
    i += literal;
  }
  return out;
}

bool RleDecode(const std::vector<std::uint8_t>& bytes, int value_bytes, std::size_t count,
               std::vector<std::uint32_t>& values) {
  values.clear();
  std::size_t at = 0;
  auto take = [&](std::uint32_t& v) {
    if (at + static_cast<std::size_t>(value_bytes) > bytes.size()) return false;
    v = 0;
    for (int b = 0; b < value_bytes; ++b) v |= std::uint32_t{bytes[at++]} << (8 * b);
    return true;
  };
  while (at < bytes.size()) {
    const int control = bytes[at++];
    const bool repeat = control >= 128;
    const std::size_t length = repeat ? static_cast<std::size_t>(control - 126) : static_cast<std::size_t>(control + 1);
    if (values.size() + length > count) return false;
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < length; ++k) {
      if ((!repeat || k == 0) && !take(v)) return false;
      values.push_back(v);
    }
  }
  return true;
}

int AvrElementBytes(ColorDepth depth, ElementForm form, bool coded) {
  if (coded) return 1;
  if (form == ElementForm::Stdint) return InfoOf(depth).stdint_bytes;
  return InfoOf(depth).legacy_bytes ? InfoOf(depth).legacy_bytes : 2;  // int is 16 bits on AVR
}

namespace {

// One array as written: its elements (values or coded bytes) and how many
// parts AVR needs for them.
struct Written {
  std::string name;
  std::vector<std::uint32_t> elements;
  std::size_t part_size;  // elements per part
  std::size_t Parts() const { return elements.size() <= part_size ? 1 : (elements.size() - 1) / part_size + 1; }
  std::string PartName(std::size_t k) const { return Parts() == 1 ? name : name + "_" + std::to_string(k); }
};

// "0x1F,0x20,..." with a line break every per_line elements and none after the last.
std::string Elements(const std::vector<std::uint32_t>& elements, std::size_t from, std::size_t to, std::size_t per_line,
                     const EncodeSettings& settings, bool coded, std::int64_t& matched, const std::string& eol) {
  std::string out;
  for (std::size_t i = from; i < to; ++i) {
    const std::string hex = HexText(elements[i]);
    const bool removed = !coded && settings.remove && KeyLeavesOut(hex, settings.key);
    matched += removed;
    if (!removed) out += "0x" + hex + (i + 1 < to ? "," : "");
    if ((i - from + 1) % per_line == 0 && i + 1 < to) out += eol;
  }
  return out;
}

// The part's declaration up to "={" or ";".
std::string Declaration(const std::string& type, const std::string& name, std::size_t size,
                        const HeaderOptions& options, bool definition) {
  std::string out = options.is_static ? "static " : "";
  if (!definition) out += "extern ";
  out += type + " const " + name + "[" + std::to_string(size) + "]";
  if (options.progmem) out += " PROGMEM";
  if (!options.section.empty()) out += " __attribute__((section(\"" + options.section + "\")))";
  return out + (definition ? "={" : ";");
}

// NAME_at(i): element i wherever it is. On AVR with more than 64 KB of flash
// (ELPM) each part is read by its far address, so the parts may lie anywhere.
std::string Accessor(const Written& w, const std::string& type, int avr_bytes, const HeaderOptions& options) {
  const std::string eol = options.lf ? "\n" : "\r\n";
  const char* read = avr_bytes == 1 ? "byte" : avr_bytes == 2 ? "word" : "dword";
  auto branches = [&](auto element) {
    std::string out;
    for (std::size_t k = 0; k < w.Parts(); ++k) {
      const std::string start = std::to_string(k * w.part_size) + "u";
      const std::string index = k == 0 ? "i" : "(i - " + start + ")";
      const std::string value = element(w.PartName(k), index);
      if (k + 1 < w.Parts())
        out += "  if (i < " + std::to_string((k + 1) * w.part_size) + "u) return " + value + ";" + eol;
      else out += "  return " + value + ";" + eol;
    }
    return out;
  };
  std::string out = "static inline " + type + " " + w.name + "_at(uint32_t i) {" + eol;
  if (options.progmem) {
    out += "#if defined(__AVR_HAVE_ELPM__)" + eol;
    out += branches([&](const std::string& part, const std::string& index) {
      return "(" + type + ")pgm_read_" + read + "_far(__extension__ pgm_get_far_address(" + part + ") + " +
             std::to_string(avr_bytes) + "u * " + index + ")";
    });
    out += "#elif defined(__AVR__)" + eol;
    out += branches([&](const std::string& part, const std::string& index) {
      return "(" + type + ")pgm_read_" + read + "(&" + part + "[" + index + "])";
    });
    out += "#else" + eol;
  }
  out += branches([](const std::string& part, const std::string& index) { return part + "[" + index + "]"; });
  if (options.progmem) out += "#endif" + eol;
  return out + "}" + eol;
}

// The decoder, once in any number of headers: no allocation, the coded bytes
// read through a function such as NAME_at, so that it reads AVR flash too.
std::string RleDecoder(const std::string& eol) {
  const char* lines[] = {
      "#ifndef PIXOLAN_RLE_DECODER",
      "#define PIXOLAN_RLE_DECODER",
      "/* Streams the pixels of a run-length coded array in its order: control byte C,",
      "   then for C < 128 C + 1 values as they are, else one value repeated C - 126 times;",
      "   each value in value_bytes little-endian bytes. */",
      "typedef unsigned char (*pixolan_rle_read)(uint32_t at);",
      "typedef struct {",
      "  pixolan_rle_read read;",
      "  uint32_t at;",
      "  uint32_t value;",
      "  unsigned char value_bytes;",
      "  unsigned char left;",
      "  unsigned char repeat;",
      "} pixolan_rle;",
      "static inline void pixolan_rle_start(pixolan_rle *s, pixolan_rle_read read, unsigned char value_bytes) {",
      "  s->read = read;",
      "  s->at = 0;",
      "  s->value = 0;",
      "  s->value_bytes = value_bytes;",
      "  s->left = 0;",
      "  s->repeat = 0;",
      "}",
      "static inline uint32_t pixolan_rle_value(pixolan_rle *s) {",
      "  uint32_t v = 0;",
      "  unsigned char b;",
      "  for (b = 0; b < s->value_bytes; ++b) v |= (uint32_t)s->read(s->at++) << (8 * b);",
      "  return v;",
      "}",
      "/* The next pixel's packed value. */",
      "static inline uint32_t pixolan_rle_next(pixolan_rle *s) {",
      "  if (s->left == 0) {",
      "    unsigned char c = s->read(s->at++);",
      "    s->repeat = c >= 128;",
      "    s->left = (unsigned char)(s->repeat ? c - 126 : c + 1);",
      "    if (s->repeat) s->value = pixolan_rle_value(s);",
      "  }",
      "  if (!s->repeat) s->value = pixolan_rle_value(s);",
      "  --s->left;",
      "  return s->value;",
      "}",
      "#endif",
  };
  std::string out;
  for (const char* line : lines) out += std::string(line) + eol;
  return out;
}

}  // namespace

FirmwareText FormatFirmware(const std::vector<NamedArray>& arrays, const Viewport& viewport,
                            const EncodeSettings& settings, const HeaderOptions& options,
                            const std::string& header_name, const std::vector<int>& delays_ms) {
  const std::string eol = options.lf ? "\n" : "\r\n";
  const ColorDepth depth = settings.depth;
  const bool coded = options.compress;
  const std::string value_type = ElementType(depth, options.form);
  const std::string type = coded ? ElementType(ColorDepth::Depth8, options.form) : value_type;
  const int avr_bytes = AvrElementBytes(depth, options.form, coded);
  const std::size_t per_line =
      coded ? 32
            : static_cast<std::size_t>(options.layout == Layout::Rows
                                           ? viewport.DrawingWidth()
                                           : static_cast<int>(viewport.OuterHeight() / kTwipsPerPixel));
  const bool frames = !delays_ms.empty();
  const bool several = arrays.size() > 1 || frames;
  // Split only where the parts are read from program memory: elsewhere an
  // array on AVR is in RAM, which could not hold it anyway.
  const std::size_t part_size = options.progmem ? static_cast<std::size_t>(kAvrObjectBytes / avr_bytes) : SIZE_MAX;

  FirmwareText text;
  FirmwareStats& stats = text.stats;
  stats.pictures = static_cast<std::int64_t>(arrays.size());
  std::vector<Written> written;
  for (const NamedArray& array : arrays) {
    Written w{array.name, {}, part_size};
    if (coded) {
      const std::vector<std::uint8_t> bytes = RleEncode(array.values, StoredValueBytes(depth));
      w.elements.assign(bytes.begin(), bytes.end());
      stats.coded_bytes += static_cast<std::int64_t>(bytes.size());
    } else {
      w.elements = array.values;
    }
    for (const std::uint32_t v : array.values) {
      stats.values.over_16_bits += v > 0xFFFF;
      stats.values.largest = std::max(stats.values.largest, v);
    }
    stats.values.declared += static_cast<std::int64_t>(array.values.size());
    stats.parts = std::max(stats.parts, static_cast<int>(w.Parts()));
    written.push_back(std::move(w));
  }
  const std::int64_t count = arrays.empty() ? 0 : static_cast<std::int64_t>(arrays[0].values.size());

  std::string& h = text.header;
  std::string extra;
  if (coded) extra += " compress=rle";
  if (written[0].Parts() > 1) extra += " parts=" + std::to_string(written[0].Parts());
  extra += " names=";
  for (const Written& w : written) extra += w.name + (&w == &written.back() ? "" : ",");
  const std::string description = DescriptionFields(viewport, depth, options, count) + extra + " */" + eol;
  h += description;
  if (!options.guard.empty()) h += "#ifndef " + options.guard + eol + "#define " + options.guard + eol;
  h += "#include <stdint.h>" + eol;
  if (options.progmem)
    h += "#if defined(__AVR__)" + eol + "#include <avr/pgmspace.h>" + eol + "#elif !defined(PROGMEM)" + eol +
         "#define PROGMEM" + eol + "#endif" + eol;
  if (coded) h += RleDecoder(eol);

  std::string& src = text.source;
  if (options.declaration_only) src = description + "#include \"" + header_name + "\"" + eol;
  std::int64_t matched = 0;
  for (const Written& w : written) {
    if (!options.guard.empty()) {
      h += ArrayDefines(viewport, options, w.name, count);
      if (coded) {
        h += "#define " + Upper(w.name) + "_CODED_BYTES " + std::to_string(w.elements.size()) + eol;
        h += "#define " + Upper(w.name) + "_VALUE_BYTES " + std::to_string(StoredValueBytes(depth)) + eol;
      }
    }
    for (std::size_t k = 0; k < w.Parts(); ++k) {
      const std::size_t from = k * w.part_size, to = std::min(w.elements.size(), from + w.part_size);
      const std::string data = Declaration(type, w.PartName(k), to - from, options, true) +
                               Elements(w.elements, from, to, per_line, settings, coded, matched, eol) + "};" + eol;
      if (options.declaration_only) {
        h += Declaration(type, w.PartName(k), to - from, options, false) + eol;
        src += data;
      } else {
        h += data;
      }
    }
    if (options.progmem || coded || w.Parts() > 1) h += Accessor(w, type, avr_bytes, options);
  }
  stats.values.matched = matched;

  if (several) {
    const std::string table = options.name;
    // Every picture has the same shape: the table's defines give it too.
    if (!options.guard.empty()) {
      h += ArrayDefines(viewport, options, table, count);
      if (coded) h += "#define " + Upper(table) + "_VALUE_BYTES " + std::to_string(StoredValueBytes(depth)) + eol;
    }
    h += "#define " + Upper(table) + (frames ? "_FRAMES " : "_PICTURES ") + std::to_string(written.size()) + eol;
    const bool accessors = options.progmem || coded;
    std::string entries;
    for (const Written& w : written)
      entries += (accessors ? w.name + "_at" : w.name) + (&w == &written.back() ? "" : ",");
    const std::string declarator =
        accessors ? type + " (*const " + table + "[" + std::to_string(written.size()) + "])(uint32_t)"
                  : type + " const* const " + table + "[" + std::to_string(written.size()) + "]";
    const std::string storage = options.is_static ? "static " : "";
    if (options.declaration_only) {
      h += "extern " + declarator + ";" + eol;
      src += declarator + "={" + entries + "};" + eol;
    } else {
      h += storage + declarator + "={" + entries + "};" + eol;
    }
    if (frames) {
      const int longest = *std::max_element(delays_ms.begin(), delays_ms.end());
      std::string delays;
      for (const int d : delays_ms) delays += (delays.empty() ? "" : ",") + std::to_string(d);
      const std::string delay_declarator = std::string(longest > 0xFFFF ? "uint32_t" : "uint16_t") + " const " + table +
                                           "_delays_ms[" + std::to_string(delays_ms.size()) + "]";
      if (options.declaration_only) {
        h += "extern " + delay_declarator + ";" + eol;
        src += delay_declarator + "={" + delays + "};" + eol;
      } else {
        h += storage + delay_declarator + "={" + delays + "};" + eol;
      }
    }
  }
  if (!options.guard.empty()) h += "#endif" + eol;
  return text;
}

std::string BinaryFile(const std::vector<NamedArray>& arrays, ColorDepth depth, const HeaderOptions& options) {
  const int bytes = StoredValueBytes(depth);
  std::string out;
  for (const NamedArray& array : arrays) {
    if (options.compress) {
      const std::vector<std::uint8_t> coded = RleEncode(array.values, bytes);
      out.append(coded.begin(), coded.end());
      continue;
    }
    for (const std::uint32_t v : array.values)
      for (int b = 0; b < bytes; ++b) out += static_cast<char>(v >> (8 * b) & 0xFF);
  }
  return out;
}

std::string TargetReport(const FirmwareStats& stats, ColorDepth depth, const HeaderOptions& options) {
  const bool coded = options.compress;
  const std::int64_t per_element = AvrElementBytes(depth, options.form, coded);
  const std::int64_t elements = coded ? stats.coded_bytes : stats.values.declared;
  const std::int64_t avr = elements * per_element;
  const std::int64_t arm =
      coded ? stats.coded_bytes
            : stats.values.declared *
                  (options.form == ElementForm::Legacy && !InfoOf(depth).legacy_bytes ? 4 : per_element);
  std::string out;
  if (coded)
    out += "compressed: " + std::to_string(stats.coded_bytes) + " bytes for " + std::to_string(stats.values.declared) +
           " values\n";
  out += "host, ARM Cortex-M: " + std::to_string(arm) + " bytes of flash: fits\n";
  if (!options.final_break && options.guard.empty())
    out +=
        "clang, C with -pedantic: no line break at the end, as the window writes the file: does not compile with "
        "-Werror (any declaration option, --eol crlf say, adds one)\n";
  // The legacy wide type is 16 bits on AVR: a larger value does not compile under -Werror.
  const bool cut =
      !coded && options.form == ElementForm::Legacy && !InfoOf(depth).legacy_bytes && stats.values.over_16_bits > 0;
  struct Avr {
    const char* name;
    std::int64_t flash, ram;
    bool far;
  };
  // What a small program and the C library leave of flash and RAM.
  constexpr std::int64_t kProgramFlash = 2048, kProgramRam = 256;
  for (const Avr& mcu : {Avr{"atmega328p", 32768, 2048, false}, Avr{"atmega2560", 262144, 8192, true}}) {
    out += std::string(mcu.name) + ": ";
    if (cut) {
      out += "a 16-bit int cuts " + std::to_string(stats.values.over_16_bits) +
             " values: does not compile (use --type stdint)\n";
    } else if (!options.progmem) {
      const std::int64_t largest = avr / std::max<std::int64_t>(stats.pictures, 1);
      if (largest > kAvrObjectBytes)
        out += std::to_string(largest) + " bytes in one object, more than " + std::to_string(kAvrObjectBytes) +
               ": does not compile (use --progmem)\n";
      else
        out += std::to_string(avr) + " bytes copied to RAM without --progmem" +
               (avr + kProgramRam <= mcu.ram
                    ? std::string(": fits\n")
                    : ", more than its " + std::to_string(mcu.ram / 1024) + " KB of RAM: does not fit\n");
    } else {
      out += std::to_string(avr) + " bytes of program memory";
      if (stats.parts > 1)
        out += std::string(" in ") + std::to_string(stats.parts) + " parts" + (mcu.far ? " read by far address" : "");
      out += avr + kProgramFlash <= mcu.flash
                 ? ": fits\n"
                 : ", more than its " + std::to_string(mcu.flash / 1024) + " KB of flash: does not fit\n";
    }
  }
  return out;
}

}  // namespace pixolan
