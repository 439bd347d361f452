// Decoders for formats not yet in this tree, only so that the dispatch links
// in the decoder tests; CMake leaves out each one whose real decoder exists.

#include "decoder.h"

namespace pixolan {

#ifdef PIXOLAN_STAND_IN_JPEG
DecodeOutcome DecodeJpeg(Bytes, const Region&, const DecodeLimits&) { return {{}, "no JPEG decoder in this build"}; }
#endif
#ifdef PIXOLAN_STAND_IN_PNG
DecodeOutcome DecodePng(Bytes, const Region&, const DecodeLimits&) { return {{}, "no PNG decoder in this build"}; }
#endif
#ifdef PIXOLAN_STAND_IN_BMP
DecodeOutcome DecodeBmp(Bytes, const Region&, const DecodeLimits&) { return {{}, "no BMP decoder in this build"}; }
#endif

}  // namespace pixolan
