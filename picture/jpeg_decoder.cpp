// SPDX-License-Identifier: MIT
// JPEG through libjpeg-turbo: only the columns and rows a region needs, or
// for a placed read every row, shrunk by the DCT while decoding.

#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>

#include "picture/decoder.h"

namespace pixolan {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;  // first, so that libjpeg's pointer is ours
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  char data_ended[160];  // where the data ran out, if it did
};

void OnFatal(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
  cinfo->err->format_message(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

// Warnings (corrupt data, extraneous bytes) and traces: libjpeg carries on.
// Data ending early is told to the user: libjpeg then decodes the rest as
// grey, which looks like part of the picture.
void OnMessage(j_common_ptr common, int level) {
  auto* errors = reinterpret_cast<ErrorManager*>(common->err);
  if (level != -1 || common->err->msg_code != JWRN_JPEG_EOF || errors->data_ended[0]) return;
  auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
  // The rows of the iMCU rows whole before the data ran out.
  const unsigned long rows = std::min<unsigned long>(
      static_cast<unsigned long>(cinfo->input_iMCU_row) * cinfo->max_v_samp_factor * DCTSIZE, cinfo->image_height);
  if (jpeg_has_multiple_scans(cinfo))
    std::snprintf(errors->data_ended, sizeof errors->data_ended,
                  "the JPEG data ends early, in scan %d after %lu of the picture's %u rows: "
                  "the picture is blurred or grey from there",
                  cinfo->input_scan_number, rows, cinfo->image_height);
  else
    std::snprintf(errors->data_ended, sizeof errors->data_ended,
                  "the JPEG data ends early: only %lu of the picture's %u rows were read; the rest is grey", rows,
                  cinfo->image_height);
}
void OnOutput(j_common_ptr) {}

/// Coefficient buffers libjpeg keeps for the whole picture when the image
/// arrives in several scans: one 128-byte block per 8x8 of every component.
std::int64_t WholeCoefficientBytes(const jpeg_decompress_struct& cinfo) {
  std::int64_t bytes = 0;
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& component = cinfo.comp_info[c];
    const std::int64_t h = component.h_samp_factor, v = component.v_samp_factor;
    const std::int64_t columns = (component.width_in_blocks + h - 1) / h * h;
    const std::int64_t rows = (component.height_in_blocks + v - 1) / v * v;
    bytes += columns * rows * static_cast<std::int64_t>(sizeof(JBLOCK));
  }
  return bytes;
}

// Every scan of a multi-scan file walks all its blocks, data or not, so a
// small file repeating scans of a large picture would take minutes. Scans x
// blocks is capped at max_bytes / 2: a file whose 128-byte blocks fit in
// max_bytes still gets 64 scans, several times what encoders write.
struct ScanLimit {
  jpeg_progress_mgr base;  // first, so that libjpeg's pointer is ours
  std::int64_t max_scans = 0;
};

void CheckScans(j_common_ptr common) {
  const auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
  const auto* limit = reinterpret_cast<const ScanLimit*>(common->progress);
  if (cinfo->input_scan_number <= limit->max_scans) return;
  auto* errors = reinterpret_cast<ErrorManager*>(common->err);
  std::snprintf(errors->message, sizeof errors->message,
                "the picture is %u x %u pixels in more than %lld scans, more than a JPEG of its size may have",
                cinfo->image_width, cinfo->image_height, static_cast<long long>(limit->max_scans));
  std::longjmp(errors->jump, 1);
}

void ToRgba(const jpeg_decompress_struct& cinfo, const JSAMPLE* in, int count, std::uint8_t* out) {
  for (int i = 0; i < count; ++i, out += 4) {
    switch (cinfo.out_color_space) {
      case JCS_GRAYSCALE: out[0] = out[1] = out[2] = in[i]; break;
      case JCS_CMYK: {
        // Adobe writes CMYK inverted, so these are already 255 - ink.
        const JSAMPLE* p = in + 4 * i;
        out[0] = static_cast<std::uint8_t>(p[3] * p[0] / 255);
        out[1] = static_cast<std::uint8_t>(p[3] * p[1] / 255);
        out[2] = static_cast<std::uint8_t>(p[3] * p[2] / 255);
        break;
      }
      default: std::memcpy(out, in + 3 * i, 3); break;
    }
    out[3] = 255;
  }
}

/// Everything that can longjmp lives here; result is sized before any row.
std::string Decode(jpeg_decompress_struct& cinfo, ErrorManager& errors, ScanLimit& scans, Bytes file,
                   const Region& asked, const DecodeLimits& limits, const Placement& placement, PlacedRead& placed,
                   RgbaPixels& result) {
  if (setjmp(errors.jump)) return errors.message;

  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  if (cinfo.num_components != 1 && cinfo.num_components != 3 && cinfo.num_components != 4)
    return "a JPEG with " + std::to_string(cinfo.num_components) + " colour components";
  if (std::string refusal = placed.Plan(file, placement, asked, cinfo.image_width, cinfo.image_height);
      !refusal.empty())
    return refusal;
  const Region& region = placed.StoredRegion();

  const bool scaled = placed.plan.scaled;
  const Region wanted = scaled ? Region{} : ClipRegion(region, cinfo.image_width, cinfo.image_height);
  result.picture_width = static_cast<int>(cinfo.image_width);
  result.picture_height = static_cast<int>(cinfo.image_height);
  const std::int64_t out_bytes =
      scaled ? placed.BytesNeeded(cinfo.image_width) : std::int64_t{wanted.width} * wanted.height * 4;
  // A row of every component as decoded, upsampled and converted, per row group.
  const std::int64_t row_bytes =
      std::int64_t{cinfo.image_width} * cinfo.num_components * cinfo.max_v_samp_factor * 8 * 4;
  const std::int64_t needed =
      out_bytes + row_bytes + (jpeg_has_multiple_scans(&cinfo) ? WholeCoefficientBytes(cinfo) : 0);
  if (needed > limits.max_bytes) return TooLarge(cinfo.image_width, cinfo.image_height, needed, limits);
  if (!scaled && wanted.width == 0) return {};
  cinfo.mem->max_memory_to_use = limits.max_bytes;
  if (jpeg_has_multiple_scans(&cinfo)) {
    std::int64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c)
      blocks += std::int64_t{cinfo.comp_info[c].width_in_blocks} * cinfo.comp_info[c].height_in_blocks;
    scans.max_scans = limits.max_bytes / 2 / std::max<std::int64_t>(blocks, 1);
    scans.base.progress_monitor = CheckScans;
    cinfo.progress = &scans.base;
  }

  if (scaled) {
    // The smallest eighth that leaves the reducer twice the placed size.
    cinfo.scale_num = std::clamp(static_cast<int>(std::ceil(8 * placed.plan.ShrinkOnLoad() - 1e-9)), 1, 8);
    cinfo.scale_denom = 8;
    jpeg_start_decompress(&cinfo);
    PictureReducer& reducer =
        placed.Start({0, 0, static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height)},
                     static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
    jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(reducer.FirstRow()));
    JSAMPARRAY row = cinfo.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                             cinfo.output_width * cinfo.output_components, 1);
    while (cinfo.output_scanline < static_cast<JDIMENSION>(reducer.EndRow())) {
      const int y = static_cast<int>(cinfo.output_scanline);
      if (jpeg_read_scanlines(&cinfo, row, 1) != 1) break;
      ToRgba(cinfo, row[0], static_cast<int>(cinfo.output_width), placed.row.data());
      reducer.AddRow(y, placed.row.data());
    }
    return {};
  }

  jpeg_start_decompress(&cinfo);
  // Start one iMCU early and end one late: upsampling at a crop's edges would
  // otherwise differ from the whole picture's pixels.
  const int margin = cinfo.max_h_samp_factor * DCTSIZE;
  JDIMENSION first_column = static_cast<JDIMENSION>(std::max(wanted.x - margin, 0));
  JDIMENSION columns =
      static_cast<JDIMENSION>(std::min<int>(wanted.x + wanted.width + margin, cinfo.output_width)) - first_column;
  jpeg_crop_scanline(&cinfo, &first_column, &columns);
  jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(wanted.y));

  JSAMPARRAY row = cinfo.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                           columns * cinfo.output_components, 1);
  result.rgba.resize(static_cast<std::size_t>(out_bytes));
  const int offset = wanted.x - static_cast<int>(first_column);
  while (cinfo.output_scanline < static_cast<JDIMENSION>(wanted.y + wanted.height)) {
    const int y = static_cast<int>(cinfo.output_scanline) - wanted.y;
    if (y < 0 || jpeg_read_scanlines(&cinfo, row, 1) != 1) break;  // memory never suspends: defensive only
    ToRgba(cinfo, row[0] + offset * cinfo.output_components, wanted.width,
           result.rgba.data() + static_cast<std::size_t>(y) * wanted.width * 4);
  }
  result.width = wanted.width;
  result.height = wanted.height;
  return {};
}

}  // namespace

DecodeOutcome DecodeJpeg(Bytes file, const Region& region, const DecodeLimits& limits, const Placement& placement) {
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnFatal;
  errors.base.emit_message = OnMessage;
  errors.base.output_message = OnOutput;

  ScanLimit scans{};
  PlacedRead placed;
  RgbaPixels pixels;
  const std::string error = Decode(cinfo, errors, scans, file, region, limits, placement, placed, pixels);
  // Abandons the rest of the file: nothing below the region is decoded.
  // Safe when creation itself failed: the memory manager is then null.
  jpeg_destroy_decompress(&cinfo);
  if (!error.empty()) return {{}, error};
  DecodeOutcome outcome = placed.Finish(std::move(pixels));
  outcome.warning = errors.data_ended;
  return outcome;
}

}  // namespace pixolan
