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

// The band edge and the noise floor, from frames of about 46 ms: the pauses
// are the quietest tenth of them, the programme the louder half. The edge is
// the highest frequency where the programme's mean spectrum, smoothed over
// about 100 Hz, stands the margin above the pauses' (two such points in a
// row, so that one stray bin does not count).
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

  FrameSpectra spectra(size);
  std::vector<double> pause(static_cast<std::size_t>(spectra.bins()), 0.0);
  std::vector<double> programme(pause.size(), 0.0);
  std::vector<double> frame;
  int pauses = 0, loud = 0;
  for (std::size_t f = 0; f < framePower.size(); ++f) {
    const bool isPause = framePower[f] > 1e-10 && framePower[f] <= pauseLimit;
    const bool isProgramme = framePower[f] >= programmeLimit;
    if (!isPause && !isProgramme) continue;
    spectra.power(y.data() + f * static_cast<std::size_t>(hop), frame);
    auto& sum = isPause ? pause : programme;
    for (std::size_t k = 0; k < frame.size(); ++k) sum[k] += frame[k];
    (isPause ? pauses : loud) += 1;
  }
  const double binHz = static_cast<double>(rate) / size;
  const int half = std::max(1, static_cast<int>(std::lround(50.0 / binHz)));
  const int bins = static_cast<int>(pause.size());
  // Where the programme lies 90 dB below its own total, the ratio is one of
  // rounding errors, not of programme and noise.
  double total = 0.0;
  for (double p : programme) total += p / std::max(loud, 1);
  auto excess = [&](int k) {
    double p = 0.0, q = 0.0;
    for (int j = std::max(1, k - half); j <= std::min(bins - 1, k + half); ++j) {
      p += programme[static_cast<std::size_t>(j)] / std::max(loud, 1);
      q += pause[static_cast<std::size_t>(j)] / std::max(pauses, 1);
    }
    if (p < 1e-9 * total) return 0.0;
    return decibels(p) - decibels(q + 1e-30);
  };
  a.bandEdgeHz = 0.0;
  bool above = false;
  for (int k = bins - 1; k >= 1; --k) {
    const bool now = excess(k) >= kRules.bandEdgeMarginDb;
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
    if (strongest >= kRules.humProminenceDb && score > best) {
      best = score;
      a.humHz = f0;
      a.humDbfs = decibels(line(f0).power);
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

// What the training material of each medium measured like: where its
// programme's band ends and where its noise lies between phrases. A file is
// matched to the medium whose band edge lies nearest its own (in octaves),
// and that medium's tuned preset is moved from there to the file: its
// lowpass corner scaled with the band edge, its band threshold shifted with
// the noise floor. On the training level and cut the proposal is the preset.
// AM is not told from tape by these measures; its preset is chosen by hand.
struct Medium {
  const char* preset;
  double bandEdgeHz;
  double noiseFloorDbfs;
};
constexpr Medium kMedia[] = {
    {"phone", 3400.0, -45.0},
    {"tape", 4500.0, -40.0},
    {"vinyl", 6000.0, -36.0},
    {"field", 11000.0, -30.0},
};

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
  const double edge = std::clamp(analysis.bandEdgeHz, 1000.0, 15000.0);
  const Medium* nearest = &kMedia[0];
  for (const Medium& medium : kMedia)
    if (std::fabs(std::log2(medium.bandEdgeHz / edge)) <
        std::fabs(std::log2(nearest->bandEdgeHz / edge)) - 1e-9)
      nearest = &medium;
  const Preset* preset = nullptr;
  for (const Preset& candidate : builtInPresets())
    if (std::string_view(candidate.name) == nearest->preset) preset = &candidate;
  if (preset == nullptr) return proposal;
  proposal.preset = preset->name;
  proposal.lines = loadPreset(proposal.preset);

  const std::string origin = "analysis";
  const double presetCorner = presetValue(*preset, "Lowpass Filter").value_or(edge);
  const double corner = withinRange("Lowpass Filter", edge * presetCorner / nearest->bandEdgeHz);
  proposal.lines.push_back({"Lowpass Filter=" + std::to_string(std::lround(corner / 100.0) * 100), origin});
  if (analysis.noiseFloorDbfs > -190.0) {
    const double presetThreshold = presetValue(*preset, "Auto-EQ Threshold").value_or(-60.0);
    const long threshold = std::lround(withinRange(
        "Auto-EQ Threshold", presetThreshold + analysis.noiseFloorDbfs - nearest->noiseFloorDbfs));
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
  text += "  noise floor  " + level(a.noiseFloorDbfs) + "\n";
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
