#include "warm_up.h"

#include <algorithm>
#include <cmath>

namespace vardo::tools {

std::vector<float> mirroredWarmUp(const std::vector<float>& opening, std::int64_t warmUpFrames) {
  std::vector<float> warmUp;
  const auto n = static_cast<std::int64_t>(opening.size());
  if (n == 0 || warmUpFrames <= 0) return warmUp;
  warmUp.resize(static_cast<std::size_t>(warmUpFrames));
  for (std::int64_t i = 0; i < warmUpFrames; ++i) {
    // Sample i lies warmUpFrames - i samples before time zero.
    const std::int64_t fold = (warmUpFrames - i - 1) % (2 * n);
    const std::int64_t index = fold < n ? fold : 2 * n - 1 - fold;
    warmUp[static_cast<std::size_t>(i)] = opening[static_cast<std::size_t>(index)];
  }
  return warmUp;
}

std::vector<float> warmUpFor(const std::vector<float>& opening, std::int64_t warmUpFrames,
                             std::int64_t bridgeFrames) {
  const auto n = static_cast<std::int64_t>(opening.size());
  bridgeFrames = std::min(bridgeFrames, warmUpFrames);
  std::vector<float> warmUp;
  if (n == 0 || warmUpFrames <= 0) return warmUp;
  warmUp.reserve(static_cast<std::size_t>(warmUpFrames));
  for (std::int64_t i = 0; i < warmUpFrames - bridgeFrames; ++i) {
    const std::int64_t fold = i % (2 * n);
    warmUp.push_back(opening[static_cast<std::size_t>(fold < n ? fold : 2 * n - 1 - fold)]);
  }
  const std::vector<float> bridge = mirroredWarmUp(opening, bridgeFrames);
  warmUp.insert(warmUp.end(), bridge.begin(), bridge.end());
  return warmUp;
}

ProgrammeSource::ProgrammeSource(Read read, std::int64_t warmUpFrames,
                                 std::unique_ptr<HumFilter> hum, double sampleRate)
    : fRead(std::move(read)), fHum(std::move(hum)) {
  // The notches settle within a second; the plug-in's warm-up is longer.
  const std::int64_t settle =
      warmUpFrames > 0 ? warmUpFrames
      : fHum         ? static_cast<std::int64_t>(std::ceil(sampleRate))
                     : 0;
  if (settle == 0) return;
  fOpening.resize(static_cast<std::size_t>(settle));
  std::size_t got = 0;
  while (got < fOpening.size()) {
    const int want = static_cast<int>(std::min<std::size_t>(fOpening.size() - got, 1 << 16));
    const int n = fRead(fOpening.data() + got, want);
    got += static_cast<std::size_t>(std::max(n, 0));
    if (n < want) {
      fEnded = true;
      break;
    }
  }
  fOpening.resize(got);
  std::vector<float> lead =
      warmUpFor(fOpening, settle, static_cast<std::int64_t>(std::ceil(kWarmUpBridgeSeconds * sampleRate)));
  if (fHum) {
    fHum->process(lead.data(), lead.size());
    fHum->process(fOpening.data(), fOpening.size());
  }
  if (warmUpFrames > 0) fWarmUp = std::move(lead);
}

int ProgrammeSource::read(float* out, int frames) {
  int done = 0;
  if (fOpeningPosition < fOpening.size()) {
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(frames),
                                             fOpening.size() - fOpeningPosition);
    std::copy_n(fOpening.begin() + static_cast<std::ptrdiff_t>(fOpeningPosition), count, out);
    fOpeningPosition += count;
    done = static_cast<int>(count);
  }
  if (done < frames && !fEnded) {
    const int n = std::max(fRead(out + done, frames - done), 0);
    if (fHum) fHum->process(out + done, static_cast<std::size_t>(n));
    if (n < frames - done) fEnded = true;
    done += n;
  }
  return done;
}

}  // namespace vardo::tools
