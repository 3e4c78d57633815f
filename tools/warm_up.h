// The programme as the plug-in is fed it. A plug-in that starts cold has empty
// delay lines and level followers at rest, so a file's first seconds come out
// unlike its middle (a leveller lifts the opening hiss to speech level). The
// warm start runs the plug-in first over the file's own opening and discards
// that output: its level followers meet time zero as in the middle of the
// programme. The warm-up ends on a short bridge of the opening mirrored in
// time, which ends on the first sample, so the input runs on into time zero
// without a jump and no click or step from the warm-up's tail in the delay
// lines and filter states reaches the output.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dehum.h"

namespace vardo::tools {

// How long a warm start runs by default: longer than the slowest level
// follower of the chain takes to settle.
inline constexpr double kWarmUpSeconds = 5.0;
// The last part of the warm-up: long enough to fill the plug-in's delay
// lines and settle its filters, short enough not to read as a long pause
// (or a long phrase) to its level followers.
inline constexpr double kWarmUpBridgeSeconds = 0.25;

// The warm-up for an opening: warmUpFrames samples that end with opening[0],
// preceded by opening[1], opening[2], ... and, for an opening shorter than
// the warm-up, folded back and forth over it again (a mirror at every end,
// so the warm-up itself has no jump either).
std::vector<float> mirroredWarmUp(const std::vector<float>& opening, std::int64_t warmUpFrames);

// The warm-up the plug-in gets: the opening played forwards (folded back and
// forth when it is shorter), so the level followers meet the programme's own
// mix of phrases and pauses, then a bridge of bridgeFrames mirrored as above,
// so the input runs on into time zero without a jump.
std::vector<float> warmUpFor(const std::vector<float>& opening, std::int64_t warmUpFrames,
                             std::int64_t bridgeFrames);

// Reads the programme through read(), buffers its opening, and hands out the
// warm-up (empty without one) and then the programme itself. With a hum
// filter, both pass through it in that order; without a warm-up for the
// plug-in the filter is still settled on the mirrored opening, so its notches
// do not ring in at the start.
class ProgrammeSource {
 public:
  using Read = std::function<int(float*, int)>;
  ProgrammeSource(Read read, std::int64_t warmUpFrames, std::unique_ptr<HumFilter> hum,
                  double sampleRate);
  const std::vector<float>& warmUp() const { return fWarmUp; }
  int read(float* out, int frames);

 private:
  Read fRead;
  std::unique_ptr<HumFilter> fHum;
  std::vector<float> fWarmUp;
  std::vector<float> fOpening;  // already filtered
  std::size_t fOpeningPosition = 0;
  bool fEnded = false;
};

}  // namespace vardo::tools
