// Shared helpers of the renderer's tests: scratch directories, audio files
// written and read through libsndfile, and runs of the vardo program.
#pragma once

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tooltest {

namespace fs = std::filesystem;

// A fresh directory, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    std::random_device seed;
    path_ = fs::temp_directory_path() / ("vardo-tools-test-" + std::to_string(seed()));
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& path() const { return path_; }
  // Names of everything in the directory, hidden files included.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    return names;
  }

 private:
  fs::path path_;
};

struct Audio {
  SF_INFO info{};
  std::vector<float> samples;  // interleaved
  float at(sf_count_t frame, int channel) const {
    return samples[static_cast<std::size_t>(frame * info.channels + channel)];
  }
};

inline void writeAudio(const std::string& path, int format, int rate, int channels,
                       const std::vector<float>& interleaved) {
  SF_INFO info{};
  info.format = format;
  info.samplerate = rate;
  info.channels = channels;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) throw std::runtime_error("cannot write test file " + path);
  sf_writef_float(file, interleaved.data(),
                  static_cast<sf_count_t>(interleaved.size()) / channels);
  sf_close(file);
}

inline Audio readAudio(const std::string& path) {
  Audio audio;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &audio.info);
  if (file == nullptr) throw std::runtime_error("cannot read test file " + path);
  audio.samples.resize(static_cast<std::size_t>(audio.info.frames * audio.info.channels));
  sf_readf_float(file, audio.samples.data(), audio.info.frames);
  sf_close(file);
  return audio;
}

// A quiet, deterministic broadband signal.
inline std::vector<float> noise(std::size_t count, float level, unsigned seed = 7) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> uniform(-level, level);
  std::vector<float> samples(count);
  for (float& s : samples) s = uniform(generator);
  return samples;
}

// A stand-in for speech over tape hiss at 44.1 kHz: noise with little below
// 100 Hz, tilted by 6 dB per octave above 500 Hz, cut at cutHz by a steep linear-phase lowpass, spoken
// in 0.35 s syllables with 0.25 s pauses from startSeconds on (but for a
// silence of gapSeconds from gapAt), peaking at -6 dBFS; then white hiss at
// hissRms (full-band RMS) over all of it.
struct SpeechLike {
  std::vector<float> mixed;
  std::vector<bool> pause;  // true where the syllables are silent, 30 ms clear of them
};
inline SpeechLike speechLike(double seconds, double cutHz, float hissRms, double startSeconds = 0.0,
                             double gapAt = 0.0, double gapSeconds = 0.0, unsigned seed = 11) {
  constexpr double kRate = 44100.0;
  constexpr double kPi = 3.14159265358979323846;
  const auto n = static_cast<std::size_t>(seconds * kRate);
  std::mt19937 generator(seed);
  std::normal_distribution<double> gauss(0.0, 1.0);
  std::vector<double> tilted(n);
  double state = 0.0, low1 = 0.0, low2 = 0.0;
  const double pole = std::exp(-2.0 * kPi * 500.0 / kRate);
  const double lowPole = std::exp(-2.0 * kPi * 100.0 / kRate);
  for (double& v : tilted) {
    state = (1.0 - pole) * gauss(generator) + pole * state;
    low1 = (1.0 - lowPole) * state + lowPole * low1;  // two highpass poles at 100 Hz
    low2 = (1.0 - lowPole) * (state - low1) + lowPole * low2;
    v = state - low1 - low2;
  }
  // Blackman-windowed sinc, 1023 taps.
  const int taps = 1023, half = taps / 2;
  std::vector<double> kernel(taps);
  for (int i = 0; i < taps; ++i) {
    const double t = i - half;
    const double sinc = t == 0 ? 2.0 * cutHz / kRate : std::sin(2.0 * kPi * cutHz / kRate * t) / (kPi * t);
    kernel[i] = sinc * (0.42 - 0.5 * std::cos(2.0 * kPi * i / (taps - 1)) +
                        0.08 * std::cos(4.0 * kPi * i / (taps - 1)));
  }
  SpeechLike clip;
  clip.pause.assign(n, false);
  std::vector<double> speech(n, 0.0);
  double peak = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double t = i / kRate - startSeconds;
    const double phase = std::fmod(std::max(t, 0.0), 0.6);
    const double absolute = i / kRate;
    const bool gap = absolute >= gapAt && absolute < gapAt + gapSeconds;
    double envelope = t < 0.0 || gap || phase >= 0.35 ? 0.0 : std::sin(kPi * phase / 0.35);
    clip.pause[i] = t < -0.03 || (t >= 0.0 && phase > 0.38 && phase < 0.57) ||
                    (absolute >= gapAt && absolute < gapAt + gapSeconds - 0.03);
    if (envelope == 0.0) continue;
    double sum = 0.0;
    for (int k = 0; k < taps; ++k) {
      const auto j = static_cast<std::ptrdiff_t>(i) + half - k;
      if (j >= 0 && j < static_cast<std::ptrdiff_t>(n)) sum += kernel[k] * tilted[static_cast<std::size_t>(j)];
    }
    speech[i] = sum * std::sqrt(envelope);
    peak = std::max(peak, std::fabs(speech[i]));
  }
  const std::vector<float> hiss = noise(n, hissRms * std::sqrt(3.0f), seed + 1);
  clip.mixed.resize(n);
  for (std::size_t i = 0; i < n; ++i)
    clip.mixed[i] = static_cast<float>(0.5 * speech[i] / std::max(peak, 1e-12)) + hiss[i];
  return clip;
}

// Noise of the given full-band RMS shaped as a medium leaves it: white, or
// tilted (one pole at 700 Hz, falling towards the treble as pink noise
// does), and ending at topHz (a Blackman-windowed sinc of 511 taps; 0 for
// the whole band).
inline std::vector<float> shapedNoise(std::size_t count, double rms, double topHz, bool tilted,
                                      unsigned seed = 23) {
  constexpr double kRate = 44100.0;
  constexpr double kPi = 3.14159265358979323846;
  std::vector<float> out = noise(count, 1.0f, seed);
  if (tilted) {
    const double pole = std::exp(-2.0 * kPi * 700.0 / kRate);
    double state = 0.0;
    for (float& v : out) v = static_cast<float>(state = (1.0 - pole) * v + pole * state);
  }
  if (topHz > 0) {
    const int taps = 511, half = taps / 2;
    const double w = 2.0 * kPi * topHz / kRate;
    std::vector<double> kernel(taps);
    for (int i = 0; i < taps; ++i) {
      const double t = i - half;
      kernel[static_cast<std::size_t>(i)] =
          (t == 0 ? w / kPi : std::sin(w * t) / (kPi * t)) *
          (0.42 - 0.5 * std::cos(2.0 * kPi * i / (taps - 1)) + 0.08 * std::cos(4.0 * kPi * i / (taps - 1)));
    }
    std::vector<float> cut(count, 0.0f);
    for (std::size_t i = static_cast<std::size_t>(taps); i < count; ++i) {
      double sum = 0.0;
      for (int k = 0; k < taps; ++k) sum += kernel[static_cast<std::size_t>(k)] * out[i - static_cast<std::size_t>(k)];
      cut[i] = static_cast<float>(sum);
    }
    out = std::move(cut);
  }
  double power = 0.0;
  for (float v : out) power += static_cast<double>(v) * v;
  const double scale = rms / std::sqrt(std::max(power / static_cast<double>(count), 1e-30));
  for (float& v : out) v = static_cast<float>(scale * v);
  return out;
}

// RMS in dBFS of every channel-th sample from offset where keep is true.
inline double rmsDbfsWhere(const std::vector<float>& samples, int channels, int offset,
                           const std::vector<bool>& keep, std::size_t from, std::size_t to) {
  double sum = 0.0;
  std::size_t count = 0;
  for (std::size_t i = from; i < std::min(to, keep.size()); ++i) {
    if (!keep[i]) continue;
    const double v = samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(offset)];
    sum += v * v;
    ++count;
  }
  return count > 0 ? 10.0 * std::log10(sum / static_cast<double>(count) + 1e-30) : -300.0;
}

// Mains hum: the fundamental at rms (RMS) and its odd harmonics up to 1 kHz,
// each 6 dB below the one before.
inline void addHum(std::vector<float>& samples, double hz, double rms) {
  for (std::size_t i = 0; i < samples.size(); ++i) {
    double amplitude = rms * std::sqrt(2.0);
    double sum = 0.0;
    for (int h = 1; h * hz <= 1000.0; h += 2, amplitude *= 0.5)
      sum += amplitude * std::sin(2.0 * 3.14159265358979323846 * h * hz * static_cast<double>(i) / 44100.0);
    samples[i] += static_cast<float>(sum);
  }
}

// The RMS level in dB of the component at hz in one channel of 44.1 kHz
// samples (a one-bin DFT from frame start on, over whole periods).
inline double toneDb(const std::vector<float>& samples, double hz, std::size_t start, int channels = 1,
                     int channel = 0) {
  std::complex<double> sum = 0.0;
  const std::size_t frames = samples.size() / static_cast<std::size_t>(channels);
  const auto periods = static_cast<std::size_t>(static_cast<double>(frames - start) * hz / 44100.0);
  const auto count = static_cast<std::size_t>(static_cast<double>(periods) * 44100.0 / hz);
  for (std::size_t i = 0; i < count; ++i)
    sum += static_cast<double>(samples[(start + i) * static_cast<std::size_t>(channels) +
                                       static_cast<std::size_t>(channel)]) *
           std::polar(1.0, -2.0 * 3.14159265358979323846 * hz * static_cast<double>(i) / 44100.0);
  return 20.0 * std::log10(std::abs(sum) * std::sqrt(2.0) / static_cast<double>(count) + 1e-30);
}

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Standard output of a program that prints one JSON object per line.
inline std::vector<nlohmann::json> jsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(nlohmann::json::parse(line));  // throws on malformed JSON
  return lines;
}

// Whether a program is on the PATH, for tests of independent readers.
inline bool haveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  quoted += '\'';
  return quoted;
}

inline std::string slurp(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a shell command with its standard output and error captured.
inline ToolRun runShell(const std::string& command) {
  static int counter = 0;
  const fs::path base = fs::temp_directory_path() /
                        ("vardo-tool-run-" + std::to_string(::getpid()) + "-" +
                         std::to_string(counter++));
  const std::string full = "{ " + command + "; } >" + shellQuoted(base.string() + ".out") +
                           " 2>" + shellQuoted(base.string() + ".err");
  const int raw = std::system(("sh -c " + shellQuoted(full)).c_str());
  ToolRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  run.out = slurp(base.string() + ".out");
  run.err = slurp(base.string() + ".err");
  std::error_code ec;
  fs::remove(base.string() + ".out", ec);
  fs::remove(base.string() + ".err", ec);
  return run;
}

// The vardo program and its arguments, each quoted for the shell.
inline std::string toolCommand(const std::vector<std::string>& args) {
  std::string command = shellQuoted(VARDO_TOOL_PATH);
  for (const auto& arg : args) command += ' ' + shellQuoted(arg);
  return command;
}

// Runs the vardo program with the arguments and no standard input.
// prefix is shell text placed before the program, e.g. a ulimit.
inline ToolRun runTool(const std::vector<std::string>& args, const std::string& prefix = "") {
  return runShell(prefix + " exec " + toolCommand(args) + " </dev/null");
}

}  // namespace tooltest
