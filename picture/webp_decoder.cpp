// SPDX-License-Identifier: MIT
// WebP through libwebp, cropped to the region; a placed read lets libwebp
// shrink the picture while decoding it. An animation's frames are composed
// on its canvas by libwebp's animation decoder.

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "picture/decoder.h"

namespace pixolan {
namespace {

std::string Failure(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OK: break;
    case VP8_STATUS_OUT_OF_MEMORY: return "there was not enough memory to decode the picture";
    case VP8_STATUS_INVALID_PARAM: return "the decoder refused its settings for this picture";
    case VP8_STATUS_BITSTREAM_ERROR:
    case VP8_STATUS_NOT_ENOUGH_DATA: return "the file is damaged or cut short";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return "the picture uses a WebP feature libwebp cannot decode here (animation?)";
    case VP8_STATUS_SUSPENDED:
    case VP8_STATUS_USER_ABORT: return "decoding was interrupted";
  }
  return "libwebp failed with status " + std::to_string(static_cast<int>(status));
}

// Cropped lossy output is upsampled as if the crop's edges were the
// picture's: decode a little more around it so the region matches a whole
// decode. The crop's corner must also be even.
constexpr int kMargin = 2;

// Per column of a lossy picture: the macroblock row of coefficients, caches
// and contexts the VP8 decoder keeps whatever the crop (about 90 bytes by
// libwebp's structures, rounded up).
constexpr std::int64_t kLossyBytesPerColumn = 128;
// Lossless: the whole picture in 32-bit pixels, plus 16 + 16 cached rows.
constexpr std::int64_t kLosslessCachedRows = 32;

// What libwebp holds for the picture whatever the crop.
std::int64_t DecoderBytes(const WebPBitstreamFeatures& input) {
  const std::int64_t width = input.width, height = input.height;
  // Lossless decodes into a whole-picture buffer before cropping.
  if (input.format == 2) return (width * height + width * kLosslessCachedRows) * 4;
  // An alpha plane is kept whole, one byte a pixel.
  return width * kLossyBytesPerColumn + (input.has_alpha ? width * height : 0);
}

// The stored pixels frame (its corner even), shrunk to width x height when
// smaller, as straight RGBA into out.
VP8StatusCode DecodeFrame(Bytes file, WebPDecoderConfig& config, const Region& frame, int width, int height,
                          std::vector<std::uint8_t>& out) {
  out.resize(static_cast<std::size_t>(width) * height * 4);
  config.options.use_cropping = 1;
  config.options.crop_left = frame.x;
  config.options.crop_top = frame.y;
  config.options.crop_width = frame.width;
  config.options.crop_height = frame.height;
  config.options.use_scaling = width != frame.width || height != frame.height;
  config.options.scaled_width = width;
  config.options.scaled_height = height;
  config.output.colorspace = MODE_RGBA;  // straight alpha, as Qt's ARGB32
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = out.data();
  config.output.u.RGBA.stride = width * 4;
  config.output.u.RGBA.size = out.size();
  const VP8StatusCode status = WebPDecode(file.data(), file.size(), &config);
  WebPFreeDecBuffer(&config.output);
  return status;
}

// The placed read: the part placed, cropped and shrunk by libwebp to twice
// the placed size, then handed to the reducer row by row.
DecodeOutcome DecodeScaled(Bytes file, WebPDecoderConfig& config, const DecodeLimits& limits, PlacedRead& placed) {
  const Region& source = placed.plan.stored_source;
  const Region frame{source.x & ~1, source.y & ~1, source.width + (source.x & 1), source.height + (source.y & 1)};
  const double shrink = placed.plan.ShrinkOnLoad();
  const int out_width = std::clamp(static_cast<int>(std::ceil(frame.width * shrink)), 1, frame.width);
  const int out_height = std::clamp(static_cast<int>(std::ceil(frame.height * shrink)), 1, frame.height);
  const std::int64_t needed =
      std::int64_t{out_width} * out_height * 4 + placed.BytesNeeded(out_width) + DecoderBytes(config.input);
  if (needed > limits.max_bytes) return {{}, TooLarge(config.input.width, config.input.height, needed, limits)};
  std::vector<std::uint8_t> out;
  const VP8StatusCode status = DecodeFrame(file, config, frame, out_width, out_height, out);
  if (status != VP8_STATUS_OK) return {{}, Failure(status)};
  PictureReducer& reducer = placed.Start(frame, out_width, out_height);
  for (int y = reducer.FirstRow(); y < reducer.EndRow(); ++y)
    reducer.AddRow(y, out.data() + static_cast<std::size_t>(y) * out_width * 4);
  return placed.Finish();
}

}  // namespace

DecodeOutcome DecodeWebp(Bytes file, const Region& asked, const DecodeLimits& limits, const Placement& placement) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return {{}, "libwebp is not the version Pixolan was built with"};
  const VP8StatusCode header = WebPGetFeatures(file.data(), file.size(), &config.input);
  if (header != VP8_STATUS_OK) return {{}, Failure(header)};
  if (config.input.has_animation) {
    DecodeOutcome first = DecodeWebpFrame(file, asked, limits, placement, 0);
    first.frames = first.delay_ms = 0;
    return first;
  }
  const std::int64_t width = config.input.width, height = config.input.height;
  PlacedRead placed;
  if (std::string refusal = placed.Plan(file, placement, asked, width, height); !refusal.empty()) return {{}, refusal};
  if (placed.plan.scaled) return DecodeScaled(file, config, limits, placed);
  const Region& region = placed.StoredRegion();

  RgbaPixels pixels = RegionPixels(region, width, height);
  const int left = std::max(region.x - kMargin, 0) & ~1, top = std::max(region.y - kMargin, 0) & ~1;
  const int right = static_cast<int>(std::min<std::int64_t>(std::int64_t{region.x} + pixels.width + kMargin, width));
  const int bottom = static_cast<int>(std::min<std::int64_t>(std::int64_t{region.y} + pixels.height + kMargin, height));
  const std::int64_t crop_bytes = pixels.rgba.empty() ? 0 : std::int64_t{right - left} * (bottom - top) * 4;
  const std::int64_t needed = crop_bytes + DecoderBytes(config.input);
  if (needed > limits.max_bytes) return {{}, TooLarge(width, height, needed, limits)};
  if (pixels.rgba.empty()) return placed.Finish(std::move(pixels));

  std::vector<std::uint8_t> crop;
  const VP8StatusCode status =
      DecodeFrame(file, config, {left, top, right - left, bottom - top}, right - left, bottom - top, crop);
  if (status != VP8_STATUS_OK) return {{}, Failure(status)};

  const std::size_t row_bytes = static_cast<std::size_t>(pixels.width) * 4;
  for (int row = 0; row < pixels.height; ++row) {
    const std::size_t from = (static_cast<std::size_t>(region.y - top + row) * (right - left) + (region.x - left)) * 4;
    std::memcpy(&pixels.rgba[row * row_bytes], &crop[from], row_bytes);
  }
  return placed.Finish(std::move(pixels));
}

DecodeOutcome DecodeWebpFrame(Bytes file, const Region& asked, const DecodeLimits& limits, const Placement& placement,
                              int wanted) {
  WebPBitstreamFeatures features;
  const VP8StatusCode header = WebPGetFeatures(file.data(), file.size(), &features);
  if (header != VP8_STATUS_OK) return {{}, Failure(header)};
  if (!features.has_animation) {
    if (wanted > 0) return {{}, "the picture has 1 frame"};
    DecodeOutcome still = DecodeWebp(file, asked, limits, placement);
    still.frames = 1;
    return still;
  }
  // The decoder's canvas and the one it keeps for the next frame, and our copy.
  const std::int64_t width = features.width, height = features.height;
  const std::int64_t needed = width * height * 4 * 3 + DecoderBytes(features);
  if (needed > limits.max_bytes) return {{}, TooLarge(width, height, needed, limits)};

  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return {{}, "libwebp is not the version Pixolan was built with"};
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  const WebPData data{file.data(), file.size()};
  struct Decoder {
    WebPAnimDecoder* d;
    ~Decoder() { WebPAnimDecoderDelete(d); }
  } decoder{WebPAnimDecoderNew(&data, &options)};
  WebPAnimInfo info;
  if (!decoder.d || !WebPAnimDecoderGetInfo(decoder.d, &info)) return {{}, Failure(VP8_STATUS_BITSTREAM_ERROR)};
  const int frames = static_cast<int>(info.frame_count);
  if (frames > kMaxFrames) return {{}, "the picture has more than " + std::to_string(kMaxFrames) + " frames"};
  if (wanted >= frames) return {{}, "the picture has " + std::to_string(frames) + (frames == 1 ? " frame" : " frames")};
  std::uint8_t* canvas = nullptr;
  int shown_until = 0, shown_from = 0;
  for (int frame = 0; frame <= wanted; ++frame) {
    shown_from = shown_until;
    if (!WebPAnimDecoderGetNext(decoder.d, &canvas, &shown_until)) return {{}, Failure(VP8_STATUS_BITSTREAM_ERROR)};
  }
  const RgbaPixels whole{static_cast<int>(width),
                         static_cast<int>(height),
                         {canvas, canvas + static_cast<std::size_t>(width * height * 4)}};
  DecodeOutcome outcome = FromWholePicture(whole, file, asked, limits, placement);
  outcome.frames = frames;
  outcome.delay_ms = shown_until - shown_from;
  return outcome;
}

}  // namespace pixolan
