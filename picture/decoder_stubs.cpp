// Stand-ins for the format decoders until they are merged: every format is
// refused, so that everything else links and runs.

#include "decoder.h"

namespace pixolan {
namespace {

DecodeOutcome NotBuilt() { return {{}, "decoder not built yet"}; }

}  // namespace

DecodeOutcome DecodeTiff(Bytes, const Region&, const DecodeLimits&) { return NotBuilt(); }
DecodeOutcome DecodeGif(Bytes, const Region&, const DecodeLimits&) { return NotBuilt(); }
DecodeOutcome DecodeWebp(Bytes, const Region&, const DecodeLimits&) { return NotBuilt(); }

}  // namespace pixolan
