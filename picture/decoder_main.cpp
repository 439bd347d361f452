// SPDX-License-Identifier: MIT
// pixolan-picture-decoder: decodes one picture of a format Pixolan decodes
// itself, sandboxed; started by picture_loader, never by hand.

#include "picture/decoder_process.h"

int main(int argc, char** argv) { return pixolan::RunDecoder(argc, argv, pixolan::DecodePicture); }
