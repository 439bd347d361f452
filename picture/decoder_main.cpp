// SPDX-License-Identifier: MIT
// pixolan-picture-decoder-FORMAT: decodes one picture of one format Pixolan
// decodes itself, sandboxed; started by picture_loader, never by hand. Built
// once per format with PIXOLAN_DECODE naming that format's decoder, so that
// each program loads its own format's library and no other.

#include "picture/decoder_process.h"

int main(int argc, char** argv) {
#ifdef PIXOLAN_DECODE_FRAME
  return pixolan::RunDecoder(argc, argv, pixolan::PIXOLAN_DECODE, {}, pixolan::PIXOLAN_DECODE_FRAME);
#else
  return pixolan::RunDecoder(argc, argv, pixolan::PIXOLAN_DECODE);
#endif
}
