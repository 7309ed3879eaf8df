// Sounds at low sample rates, raised to one every output path plays whole.
#pragma once

#include <memory>

#include "fsound/decoder.h"

namespace tunelark::fsound {

// Rates below this are raised by a whole factor to at least it. Wine's wave mapper
// converts a buffer to at most twelve times its frames, so below 4 000 Hz it plays only
// part of each buffer (a quarter at 1 000 Hz); this keeps well clear of that.
constexpr unsigned LowestDeviceRate = 8000;

// The decoder as it is when its rate is LowestDeviceRate or more; otherwise one that
// hands out its frames at a whole multiple of the rate, joined by straight lines.
std::unique_ptr<Decoder> AtPlayableRate(std::unique_ptr<Decoder> decoder);

}  // namespace tunelark::fsound
