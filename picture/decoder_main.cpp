// SPDX-License-Identifier: MIT
// pixolan-picture-decoder-FORMAT: decodes one picture of one format Pixolan
// decodes itself, sandboxed; started by picture_loader, never by hand. Built
// once per format with PIXOLAN_DECODE naming that format's decoder, so that
// each program loads its own format's library and no other.

#include "picture/decoder_process.h"

int main(int argc, char** argv) { return pixolan::RunDecoder(argc, argv, pixolan::PIXOLAN_DECODE); }
