#include "analyse.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <mutex>
#include <numbers>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

#include "controls.h"
#include "plugin_host.h"

namespace vardo::tools {

namespace {

// The rules that turn measurements into settings, in one place so they can
// be refitted on measured material.
struct Rules {
  // The programme counts as present where it stands this far above the
  // noise floor in the long-term spectrum.
  double bandEdgeMarginDb = 6.0;
  // A harmonic counts as hum when it stands this far above its neighbours.
  double humProminenceDb = 10.0;
  // ... and when its fundamental lies no more than this far below the noise
  // floor.
  double humBelowNoiseDb = 40.0;
  // A band edge below this is no programme's cut but a programme without
  // pauses (steady noise, continuous music), whose louder moments differ
  // from its quieter ones only in the bass: nothing is placed then.
  double lowestBandEdgeHz = 1000.0;
};
constexpr Rules kRules;

double decibels(double power) { return power > 1e-20 ? 10.0 * std::log10(power) : -200.0; }

// The share of frames at or below which a frame counts as a pause, and the
// share above which it counts as programme.
constexpr double kPauseQuantile = 0.1;
constexpr double kProgrammeQuantile = 0.5;
// The programme's spectrum: this percentile of its frames, bin by bin; and
// how far below its strongest band it still counts.
constexpr double kProgrammeSpectrumQuantile = 0.9;
constexpr double kProgrammeRangeDb = 45.0;

double quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0.0;
  const auto k = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
  return values[k];
}

// FFTW's planner is not thread-safe; render jobs analyse files in parallel.
std::mutex& plannerLock() {
  static std::mutex lock;
  return lock;
}

// One-sided power spectra of Hann-windowed frames, scaled so that a bin sum
// over the spectrum gives the frame's mean square.
class FrameSpectra {
 public:
  explicit FrameSpectra(int size)
      : fSize(size), fWindow(static_cast<std::size_t>(size)), fIn(static_cast<std::size_t>(size)),
        fOut(static_cast<std::size_t>(size / 2 + 1)) {
    double sum = 0.0;
    for (int i = 0; i < size; ++i) {
      fWindow[static_cast<std::size_t>(i)] =
          0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / size);
      sum += fWindow[static_cast<std::size_t>(i)] * fWindow[static_cast<std::size_t>(i)];
    }
    fScale = 2.0 / (static_cast<double>(size) * sum);
    std::lock_guard lock(plannerLock());
    fPlan = fftw_plan_dft_r2c_1d(size, fIn.data(), reinterpret_cast<fftw_complex*>(fOut.data()),
                                 FFTW_ESTIMATE);
  }
  ~FrameSpectra() {
    std::lock_guard lock(plannerLock());
    fftw_destroy_plan(fPlan);
  }
  FrameSpectra(const FrameSpectra&) = delete;
  FrameSpectra& operator=(const FrameSpectra&) = delete;

  int bins() const { return fSize / 2 + 1; }
  // The power spectrum of samples[start, start + size).
  void power(const float* samples, std::vector<double>& out) {
    for (int i = 0; i < fSize; ++i)
      fIn[static_cast<std::size_t>(i)] = samples[i] * fWindow[static_cast<std::size_t>(i)];
    fftw_execute(fPlan);
    out.resize(static_cast<std::size_t>(bins()));
    for (std::size_t k = 0; k < out.size(); ++k) out[k] = std::norm(fOut[k]) * fScale;
  }

 private:
  int fSize;
  std::vector<double> fWindow;
  std::vector<double> fIn;
  std::vector<std::complex<double>> fOut;
  double fScale = 0.0;
  fftw_plan fPlan = nullptr;
};

int powerOfTwoNear(double frames) {
  int n = 256;
  while (n < frames / 1.5) n *= 2;
  return n;
}

// The band edge, the noise floor and the noise's own shape, from frames of
// about 46 ms: the pauses are the quietest tenth of them, the programme the
// louder half. Each frame's spectrum is smoothed over about 100 Hz. The
// noise is the pauses' median spectrum (a click or a cough in one pause does
// not move it); the programme is the 90th percentile over its frames, which
// keeps the fricatives that a mean over the loud frames buries under the
// vowels. The edge is the highest frequency where the programme stands the
// margin above the noise and within kProgrammeRangeDb of its own strongest
// band (two such points in a row, so that one stray bin does not count):
// below that range lie coding noise and resampling images, whose ratio to
// an emptier pause says nothing about the programme's band.
void measureBandAndNoise(const std::vector<float>& y, int rate, Analysis& a) {
  const int size = powerOfTwoNear(0.0464 * rate);
  const int hop = size / 2;
  if (static_cast<int>(y.size()) < size) return;  // shorter than a frame: nothing to measure
  std::vector<double> framePower;
  for (std::size_t start = 0; start + static_cast<std::size_t>(size) <= y.size(); start += hop) {
    double sum = 0.0;
    for (int i = 0; i < size; ++i) sum += static_cast<double>(y[start + i]) * y[start + i];
    framePower.push_back(sum / size);
  }
  // Digital silence (a faded-in head, padding) is not the noise floor.
  std::vector<double> audible;
  for (double p : framePower)
    if (p > 1e-10) audible.push_back(p);
  if (audible.empty()) {
    a.noiseFloorDbfs = -200.0;
    a.bandEdgeHz = 0.0;
    return;
  }
  const double pauseLimit = quantile(audible, kPauseQuantile);
  const double programmeLimit = quantile(audible, kProgrammeQuantile);
  a.noiseFloorDbfs = decibels(pauseLimit);

  // The frames of each kind, at most kMaxFrames of them spread evenly over
  // the file, so that a long file's analysis keeps its memory bounded.
  constexpr std::size_t kMaxFrames = 2000;
  std::vector<std::size_t> pauseFrames, programmeFrames;
  for (std::size_t f = 0; f < framePower.size(); ++f) {
    if (framePower[f] > 1e-10 && framePower[f] <= pauseLimit) pauseFrames.push_back(f);
    if (framePower[f] >= programmeLimit) programmeFrames.push_back(f);
  }
  FrameSpectra spectra(size);
  const int bins = spectra.bins();
  const int half = std::max(1, static_cast<int>(std::lround(50.0 / (static_cast<double>(rate) / size))));
  // Column k holds bin k's smoothed power over the chosen frames.
  auto columns = [&](const std::vector<std::size_t>& frames) {
    const std::size_t stride = (frames.size() + kMaxFrames - 1) / kMaxFrames;
    std::vector<std::vector<float>> out(static_cast<std::size_t>(bins));
    std::vector<double> frame, prefix(static_cast<std::size_t>(bins) + 1);
    for (std::size_t i = 0; i < frames.size(); i += std::max<std::size_t>(stride, 1)) {
      spectra.power(y.data() + frames[i] * static_cast<std::size_t>(hop), frame);
      for (int k = 0; k < bins; ++k)
        prefix[static_cast<std::size_t>(k) + 1] = prefix[static_cast<std::size_t>(k)] + frame[static_cast<std::size_t>(k)];
      for (int k = 0; k < bins; ++k) {
        const int lo = std::max(1, k - half), hi = std::min(bins - 1, k + half);
        out[static_cast<std::size_t>(k)].push_back(static_cast<float>(
            prefix[static_cast<std::size_t>(hi) + 1] - prefix[static_cast<std::size_t>(lo)]));
      }
    }
    return out;
  };
  auto percentile = [&](const std::vector<std::vector<float>>& cols, double q) {
    std::vector<double> out(cols.size(), 0.0);
    for (std::size_t k = 0; k < cols.size(); ++k)
      out[k] = quantile(std::vector<double>(cols[k].begin(), cols[k].end()), q);
    return out;
  };
  const std::vector<double> pause = percentile(columns(pauseFrames), 0.5);
  const std::vector<double> programme = percentile(columns(programmeFrames), kProgrammeSpectrumQuantile);
  const double binHz = static_cast<double>(rate) / size;

  // The noise's shape: the frequency below which 99 % of the pauses' power
  // lies (an 8 kHz telephone channel ends below 4 kHz, broadcast static near
  // 5 kHz, a disc's surface noise near 9 kHz, tape hiss and room noise reach
  // the top), and its tilt, the 500-2000 Hz band over the 2-4 kHz band per
  // hertz (0 dB for white hiss, about 4 dB for pink noise).
  {
    double total = 0.0, low = 0.0, high = 0.0;
    int lowBins = 0, highBins = 0;
    for (int k = 1; k < bins; ++k) {
      const double p = pause[static_cast<std::size_t>(k)];
      total += p;
      const double hz = k * binHz;
      if (hz >= 500.0 && hz < 2000.0) low += p, ++lowBins;
      if (hz >= 2000.0 && hz < 4000.0) high += p, ++highBins;
    }
    double running = 0.0;
    a.noiseBandwidthHz = 0.0;
    for (int k = 1; k < bins && total > 0.0; ++k) {
      running += pause[static_cast<std::size_t>(k)];
      if (running >= 0.99 * total) {
        a.noiseBandwidthHz = k * binHz;
        break;
      }
    }
    a.noiseTiltDb = lowBins > 0 && highBins > 0 && high > 0.0
                        ? decibels(low / lowBins) - decibels(high / highBins)
                        : 0.0;
  }

  const double strongest = *std::max_element(programme.begin() + 1, programme.end());
  auto stands = [&](int k) {
    const double p = programme[static_cast<std::size_t>(k)];
    if (p < strongest * std::pow(10.0, -kProgrammeRangeDb / 10.0)) return false;
    return decibels(p) - decibels(pause[static_cast<std::size_t>(k)] + 1e-30) >= kRules.bandEdgeMarginDb;
  };
  a.bandEdgeHz = 0.0;
  bool above = false;
  for (int k = bins - 1; k >= 1; --k) {
    const bool now = stands(k);
    if (now && above) {
      a.bandEdgeHz = std::min((k + 1) * binHz, rate / 2.0);
      break;
    }
    above = now;
  }
}

// Hum: a low percentile over frames of about 0.74 s of each bin's power
// (frames fine enough to tell 50 from 60 Hz; a steady line keeps its level in
// the quieter frames, where the voice and its moving harmonics drop), and at
// each harmonic up to 1 kHz the power in the peak against its neighbours a
// dozen hertz away. Harmonics the two mains frequencies share are left out.
void measureHum(const std::vector<float>& y, int rate, Analysis& a) {
  const int size = powerOfTwoNear(0.743 * rate);
  if (static_cast<int>(y.size()) < size) return;
  const double binHz = static_cast<double>(rate) / size;
  const int top = std::min(static_cast<int>(1100.0 / binHz), size / 2);
  FrameSpectra spectra(size);
  std::vector<std::vector<double>> columns(static_cast<std::size_t>(top + 1));
  std::vector<double> frame;
  for (std::size_t start = 0; start + static_cast<std::size_t>(size) <= y.size();
       start += static_cast<std::size_t>(size / 4)) {
    spectra.power(y.data() + start, frame);
    for (int k = 0; k <= top; ++k) columns[static_cast<std::size_t>(k)].push_back(frame[static_cast<std::size_t>(k)]);
  }
  std::vector<double> median(columns.size());  // the quieter frames' spectrum
  for (std::size_t k = 0; k < columns.size(); ++k) median[k] = quantile(columns[k], 0.2);

  struct Line {
    double prominenceDb = 0.0;
    double power = 0.0;
  };
  auto line = [&](double hz) {
    const int centre = static_cast<int>(std::lround(hz / binHz));
    Line result;
    if (centre + 10 > top || centre < 5) return result;
    double peak = 0.0;
    for (int k = centre - 2; k <= centre + 2; ++k) peak += median[static_cast<std::size_t>(k)];
    std::vector<double> around;
    for (int d = 5; d <= 9; ++d) {
      around.push_back(median[static_cast<std::size_t>(centre - d)]);
      around.push_back(median[static_cast<std::size_t>(centre + d)]);
    }
    const double floor = quantile(around, 0.5);
    result.prominenceDb = decibels(peak / 5.0) - decibels(floor + 1e-30);
    result.power = std::max(peak - 5.0 * floor, 0.0);
    return result;
  };
  double best = 0.0;
  for (double f0 : {50.0, 60.0}) {
    const double other = f0 == 50.0 ? 60.0 : 50.0;
    double score = 0.0;
    double strongest = 0.0;
    for (int h = 1; h * f0 <= 1000.0; ++h) {
      const double hz = h * f0;
      if (std::fabs(std::remainder(hz, other)) < 5.0) continue;  // shared: 300, 600, 900 Hz
      const Line l = line(hz);
      score += std::max(l.prominenceDb, 0.0);
      strongest = std::max(strongest, l.prominenceDb);
    }
    // A line far below the noise between phrases is no hum anyone hears:
    // where a highpass has emptied the bottom octaves (AM, a call), the
    // remnant at 60 Hz still stands out of the emptier bins beside it.
    const double fundamentalDbfs = decibels(line(f0).power);
    if (strongest >= kRules.humProminenceDb && score > best &&
        fundamentalDbfs >= a.noiseFloorDbfs - kRules.humBelowNoiseDb) {
      best = score;
      a.humHz = f0;
      a.humDbfs = fundamentalDbfs;
    }
  }
}

}  // namespace

namespace {

// Peak, DC offset and clipping over a whole stream, block by block. Clipping
// shows as flat tops: three or more samples in a row of exactly the same
// value above -12 dBFS, which a ceiling leaves and natural sound does not.
class LevelStats {
 public:
  void add(const float* x, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      fSum += x[i];
      fPeak = std::max(fPeak, static_cast<double>(std::fabs(x[i])));
      if (x[i] == fLast && std::fabs(x[i]) >= 0.25f) {
        ++fRun;
      } else {
        close();
        fRun = 1;
        fLast = x[i];
      }
    }
    fCount += static_cast<std::int64_t>(n);
  }
  void into(Analysis& a) {
    close();
    fRun = 0;
    if (fCount == 0) return;
    a.dcOffset = fSum / static_cast<double>(fCount);
    a.peakDbfs = fPeak > 0.0 ? 20.0 * std::log10(fPeak) : -200.0;
    a.clippedPercent = 100.0 * static_cast<double>(fClipped) / static_cast<double>(fCount);
  }

 private:
  void close() {
    if (fRun >= 3 && std::fabs(fLast) >= 0.25f) fClipped += fRun;
  }
  double fSum = 0.0;
  double fPeak = 0.0;
  std::int64_t fCount = 0;
  std::int64_t fClipped = 0;
  std::int64_t fRun = 0;
  float fLast = 0.0f;
};

// The band edge, noise floor and hum, on a window of the programme with the
// DC offset already measured.
void measureSpectra(std::vector<float> window, int sampleRate, Analysis& a) {
  if (window.empty() || sampleRate <= 0) return;
  for (float& v : window) v = static_cast<float>(v - a.dcOffset);
  measureBandAndNoise(window, sampleRate, a);
  measureHum(window, sampleRate, a);
}

}  // namespace

Analysis analyseSamples(std::vector<float> mono, int sampleRate) {
  Analysis a;
  a.sampleRate = sampleRate;
  a.seconds = sampleRate > 0 ? static_cast<double>(mono.size()) / sampleRate : 0.0;
  LevelStats levels;
  levels.add(mono.data(), mono.size());
  levels.into(a);
  measureSpectra(std::move(mono), sampleRate, a);
  return a;
}

Analysis analyseFile(const std::string& path, const ChannelChoice& channel) {
  AudioReader reader(path, channel);
  Analysis a;
  a.sampleRate = reader.sampleRate();
  // The spectra of a long file come from the middle kAnalysisMaxSeconds of
  // it, in one piece, so that the memory an analysis takes stays bounded;
  // the levels come from all of it.
  const auto limit = static_cast<std::int64_t>(kAnalysisMaxSeconds * a.sampleRate);
  const std::int64_t total = reader.frames();
  const std::int64_t from = total > limit ? (total - limit) / 2 : 0;
  LevelStats levels;
  std::vector<float> window;
  std::vector<float> block(1 << 16);
  std::int64_t position = 0;
  for (;;) {
    const int n = std::max(reader.read(block.data(), static_cast<int>(block.size())), 0);
    levels.add(block.data(), static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i, ++position)
      if (position >= from && position < from + limit) window.push_back(block[static_cast<std::size_t>(i)]);
    if (n < static_cast<int>(block.size())) break;
  }
  a.seconds = a.sampleRate > 0 ? static_cast<double>(position) / a.sampleRate : 0.0;
  levels.into(a);
  measureSpectra(std::move(window), a.sampleRate, a);
  return a;
}

namespace {

// The medium, told from the noise between phrases, and what the training
// material of each medium measured like. Fitted on the training clips only by
// scripts/quality/fit_analysis.py (seeded material, no search): each
// threshold lies midway (in octaves, or in dB) between the training clips on
// either side of it, and the script reports how the held-out clips fall.
//   noise bandwidth below phoneBelowHz         phone (an 8 kHz channel)
//   below amBelowHz                            AM (static near 5 kHz)
//   below vinylBelowHz                         vinyl (surface noise near 9 kHz)
//   above, tilt at or above fieldTiltDb        field (pink, full band)
//   above, flatter                             tape (white hiss)
// The proposal starts from that medium's tuned preset and moves the lowpass
// corner with the band edge, and the band threshold with the noise floor,
// only for the media where the move measured better on the training clips.
struct Classifier {
  double phoneBelowHz;
  double amBelowHz;
  double vinylBelowHz;
  double fieldTiltDb;
};
constexpr Classifier kClassifier = {4335.0, 6259.0, 12428.0, 2.0};

struct Medium {
  const char* preset;
  double bandEdgeHz;      // median over its training clips
  double noiseFloorDbfs;  // median over its training clips
  bool moveCorner;
  bool moveThreshold;
};
constexpr Medium kMedia[] = {
    {"phone", 3596.0, -45.4, false, false},
    {"am", 4371.0, -38.4, false, false},
    {"vinyl", 5254.0, -35.6, false, false},
    {"field", 5103.0, -30.5, true, false},
    {"tape", 4328.0, -40.1, false, false},
};

const Medium& mediumOf(const Analysis& a) {
  auto named = [](std::string_view name) -> const Medium& {
    for (const Medium& medium : kMedia)
      if (name == medium.preset) return medium;
    return kMedia[0];
  };
  if (a.noiseBandwidthHz < kClassifier.phoneBelowHz) return named("phone");
  if (a.noiseBandwidthHz < kClassifier.amBelowHz) return named("am");
  if (a.noiseBandwidthHz < kClassifier.vinylBelowHz) return named("vinyl");
  return named(a.noiseTiltDb >= kClassifier.fieldTiltDb ? "field" : "tape");
}

// A placed value stays inside its control's range.
double withinRange(const char* control, double value) {
  for (const ControlRow& row : kControlTable)
    if (std::string(row.label) == control) return std::clamp(value, double{row.min}, double{row.max});
  return value;
}

std::optional<double> presetValue(const Preset& preset, const std::string& control) {
  for (const PresetValue& value : preset.values)
    if (value.name == control) return std::atof(value.value.c_str());
  return std::nullopt;
}

}  // namespace

Proposal propose(const Analysis& analysis) {
  Proposal proposal;
  proposal.humHz = analysis.humHz;
  if (analysis.bandEdgeHz < kRules.lowestBandEdgeHz) return proposal;  // the defaults
  const Medium& medium = mediumOf(analysis);
  const Preset* preset = nullptr;
  for (const Preset& candidate : builtInPresets())
    if (std::string_view(candidate.name) == medium.preset) preset = &candidate;
  if (preset == nullptr) return proposal;
  proposal.preset = preset->name;
  proposal.lines = loadPreset(proposal.preset);

  const std::string origin = "analysis";
  if (medium.moveCorner) {
    const double edge = std::clamp(analysis.bandEdgeHz, 1000.0, 15000.0);
    const double presetCorner = presetValue(*preset, "Lowpass Filter").value_or(edge);
    const double corner = withinRange("Lowpass Filter", edge * presetCorner / medium.bandEdgeHz);
    proposal.lines.push_back({"Lowpass Filter=" + std::to_string(std::lround(corner / 100.0) * 100), origin});
  }
  if (medium.moveThreshold && analysis.noiseFloorDbfs > -190.0) {
    const double presetThreshold = presetValue(*preset, "Auto-EQ Threshold").value_or(-60.0);
    const long threshold = std::lround(withinRange(
        "Auto-EQ Threshold", presetThreshold + analysis.noiseFloorDbfs - medium.noiseFloorDbfs));
    proposal.lines.push_back({"Auto-EQ Threshold=" + std::to_string(threshold), origin});
  }
  return proposal;
}

std::string Proposal::summary() const {
  std::string text = preset.empty() ? "defaults" : preset;
  for (const PresetLine& line : lines)
    if (line.origin == "analysis") text += ", " + line.assignment;
  if (humHz > 0.0) text += ", dehum " + std::to_string(static_cast<int>(humHz));
  return text;
}

namespace {

std::string fixed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string level(double db) { return db > -190.0 ? fixed("%.1f dBFS", db) : "-inf dBFS"; }

}  // namespace

std::string analysisText(const std::string& path, const Analysis& a, const Proposal& p) {
  std::string text = path + ": " + fixed("%.2f s", a.seconds) + " at " +
                     std::to_string(a.sampleRate) + " Hz\n";
  text += "  band edge    " + fixed("%.0f Hz", a.bandEdgeHz) + "\n";
  text += "  noise floor  " + level(a.noiseFloorDbfs) + fixed(", 99 %% below %.0f Hz", a.noiseBandwidthHz) +
          fixed(", tilt %+.1f dB", a.noiseTiltDb) + "\n";
  text += "  hum          " +
          (a.humHz > 0.0 ? fixed("%.0f Hz", a.humHz) + ", fundamental " + level(a.humDbfs)
                         : std::string("none found")) + "\n";
  text += "  peak         " + level(a.peakDbfs) + ", " + fixed("%.3f %% clipped", a.clippedPercent) +
          "\n";
  text += "  DC offset    " + fixed("%+.5f", a.dcOffset) + "\n";
  text += p.preset.empty() ? "  proposed     the defaults (no pauses tell the programme from its noise)"
                           : "  proposed     --preset " + p.preset;
  for (const PresetLine& line : p.lines)
    if (line.origin == "analysis") text += " --set '" + line.assignment + "'";
  if (p.humHz > 0.0) text += " --dehum " + std::to_string(static_cast<int>(p.humHz));
  return text;
}

std::string analysisJson(const std::string& path, const Analysis& a, const Proposal& p) {
  using Json = nlohmann::ordered_json;
  auto db = [](double value) {
    return value > -190.0 ? Json(std::round(value * 10.0) / 10.0) : Json(nullptr);
  };
  Json j;
  j["type"] = "analysis";
  j["input"] = path;
  j["seconds"] = std::round(a.seconds * 1000.0) / 1000.0;
  j["sample_rate"] = a.sampleRate;
  j["band_edge_hz"] = std::round(a.bandEdgeHz);
  j["noise_floor_dbfs"] = db(a.noiseFloorDbfs);
  j["noise_bandwidth_hz"] = std::round(a.noiseBandwidthHz);
  j["noise_tilt_db"] = std::round(a.noiseTiltDb * 10.0) / 10.0;
  j["hum_hz"] = a.humHz > 0.0 ? Json(a.humHz) : Json(nullptr);
  j["hum_dbfs"] = a.humHz > 0.0 ? db(a.humDbfs) : Json(nullptr);
  j["peak_dbfs"] = db(a.peakDbfs);
  j["clipped_percent"] = std::round(a.clippedPercent * 1000.0) / 1000.0;
  j["dc_offset"] = a.dcOffset;
  Json proposal;
  proposal["preset"] = p.preset.empty() ? Json(nullptr) : Json(p.preset);
  Json settings = Json::object();
  for (const PresetLine& line : p.lines) {
    const auto eq = line.assignment.find('=');
    settings[line.assignment.substr(0, eq)] = line.assignment.substr(eq + 1);
  }
  proposal["settings"] = settings;
  proposal["dehum_hz"] = p.humHz > 0.0 ? Json(p.humHz) : Json(nullptr);
  j["proposed"] = proposal;
  return j.dump();
}

}  // namespace vardo::tools
