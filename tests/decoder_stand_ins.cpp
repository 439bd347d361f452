// Decoders of formats not yet in this tree, so that the dispatch links in the
// decoder tests; CMake defines only those whose real decoder is missing.
#include "decoder.h"

#define STAND_IN(Name) \
  pixolan::DecodeOutcome pixolan::Name(Bytes, const Region&, const DecodeLimits&) { return {{}, "no decoder"}; }
STAND_IN_JPEG STAND_IN_PNG STAND_IN_BMP
