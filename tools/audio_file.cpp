#include "audio_file.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#define VARDO_GETPID _getpid
#define VARDO_UNLINK _unlink
#else
#include <unistd.h>
#define VARDO_GETPID getpid
#define VARDO_UNLINK unlink
#endif

#include "plugin_host.h"

namespace vardo::tools {

namespace fs = std::filesystem;

namespace {

constexpr int kReadChunkFrames = 4096;

std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

std::string extensionOf(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

bool isPcmSubtype(int subtype) {
  return subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8 ||
         subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_24 ||
         subtype == SF_FORMAT_PCM_32;
}

// Temporary outputs being written, for the interrupt handler to remove. The
// handler may only touch plain memory and call unlink, so the paths live in
// fixed slots: a slot is claimed, its path written, then marked ready.
constexpr int kCleanupSlots = 64;
constexpr std::size_t kCleanupPathSize = 4096;
enum SlotState : int { kSlotFree = 0, kSlotClaimed = 1, kSlotReady = 2 };
struct CleanupSlot {
  std::atomic<int> state{kSlotFree};
  char path[kCleanupPathSize];
};
CleanupSlot gCleanupSlots[kCleanupSlots];

int registerForCleanup(const std::string& path) {
  if (path.size() >= kCleanupPathSize) return -1;
  for (int i = 0; i < kCleanupSlots; ++i) {
    int expected = kSlotFree;
    if (gCleanupSlots[i].state.compare_exchange_strong(expected, kSlotClaimed)) {
      std::memcpy(gCleanupSlots[i].path, path.c_str(), path.size() + 1);
      gCleanupSlots[i].state.store(kSlotReady);
      return i;
    }
  }
  return -1;  // more writers than slots: this one is not covered
}

void releaseCleanup(int slot) {
  if (slot >= 0) gCleanupSlots[slot].state.store(kSlotFree);
}

extern "C" void removeTemporariesAndEnd(int signalNumber) {
  for (CleanupSlot& slot : gCleanupSlots)
    if (slot.state.load() == kSlotReady) VARDO_UNLINK(slot.path);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

}  // namespace

void removeTemporariesOnInterrupt() {
  std::signal(SIGINT, removeTemporariesAndEnd);
  std::signal(SIGTERM, removeTemporariesAndEnd);
#ifdef SIGHUP
  std::signal(SIGHUP, removeTemporariesAndEnd);
#endif
}

AudioReader::AudioReader(const std::string& path, ChannelChoice choice)
    : fPath(path), fChoice(choice) {
  std::error_code ec;
  if (!fs::exists(path, ec))
    throw ToolError(ExitStatus::inputFile, "cannot read " + inQuotes(path) + ": no such file");
  if (fs::is_directory(path, ec))
    throw ToolError(ExitStatus::inputFile, "cannot read " + inQuotes(path) + ": it is a directory");
  {
    std::ifstream probe(path, std::ios::binary);
    if (!probe)
      throw ToolError(ExitStatus::inputFile,
                      "cannot read " + inQuotes(path) + ": " + std::strerror(errno));
  }
  fFile = sf_open(path.c_str(), SFM_READ, &fInfo);
  if (fFile == nullptr)
    throw ToolError(ExitStatus::format, "unsupported audio format in " + inQuotes(path) + ": " +
                                            sf_strerror(nullptr));
  if (fInfo.channels < 1 || fInfo.samplerate < 1) {
    sf_close(fFile);
    throw ToolError(ExitStatus::format, "unsupported audio format in " + inQuotes(path) +
                                            ": no channels or no sample rate");
  }
  if (fChoice.channel < 0 || fChoice.channel > fInfo.channels) {
    const int channels = fInfo.channels;
    sf_close(fFile);
    throw ToolError(ExitStatus::usage, "channel " + std::to_string(fChoice.channel) +
                                           " asked for, but " + inQuotes(path) + " has " +
                                           std::to_string(channels) + " channel" +
                                           (channels == 1 ? "" : "s"));
  }
  fInterleaved.resize(static_cast<std::size_t>(kReadChunkFrames) *
                      static_cast<std::size_t>(fInfo.channels));
}

AudioReader::~AudioReader() {
  if (fFile != nullptr) sf_close(fFile);
}

int AudioReader::read(float* mono, int frames) {
  const int channels = fInfo.channels;
  int done = 0;
  while (done < frames) {
    const int want = std::min(frames - done, kReadChunkFrames);
    const sf_count_t got = sf_readf_float(fFile, fInterleaved.data(), want);
    if (got <= 0) {
      if (sf_error(fFile) != SF_ERR_NO_ERROR)
        throw ToolError(ExitStatus::inputFile,
                        "reading " + inQuotes(fPath) + " failed: " + sf_strerror(fFile));
      break;
    }
    for (sf_count_t i = 0; i < got; ++i) {
      const float* frame = fInterleaved.data() + i * channels;
      float sample;
      if (fChoice.channel > 0) {
        sample = frame[fChoice.channel - 1];
      } else {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c) sum += frame[c];
        sample = sum / static_cast<float>(channels);
      }
      mono[done + i] = sample;
    }
    done += static_cast<int>(got);
    if (got < want) break;
  }
  return done;
}

BitDepth parseBitDepth(const std::string& text) {
  if (text == "16") return BitDepth::pcm16;
  if (text == "24") return BitDepth::pcm24;
  if (text == "32f" || text == "32F") return BitDepth::float32;
  throw ToolError(ExitStatus::usage, "bit depth " + inQuotes(text) + " is not one of 16, 24, 32f");
}

int outputFormat(const std::string& outputPath, int inputFormat, BitDepth depth) {
  const std::string extension = extensionOf(outputPath);
  int container = 0;
  if (extension == ".wav") container = SF_FORMAT_WAV;
  else if (extension == ".flac") container = SF_FORMAT_FLAC;
  else if (extension == ".aif" || extension == ".aiff") container = SF_FORMAT_AIFF;
  else if (extension == ".caf") container = SF_FORMAT_CAF;
  else if (extension == ".w64") container = SF_FORMAT_W64;
  else if (extension == ".ogg" || extension == ".oga") container = SF_FORMAT_OGG;
  else
    throw ToolError(ExitStatus::format,
                    "unsupported output format " +
                        inQuotes(extension.empty() ? fs::path(outputPath).filename().string()
                                                 : extension) +
                        ": name the output .wav, .flac, .aiff, .caf, .w64 or .ogg");

  if (container == SF_FORMAT_OGG) {
    if (depth != BitDepth::asInput)
      throw ToolError(ExitStatus::format, "Ogg Vorbis output has no bit depth to set");
    return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  }

  int subtype = 0;
  switch (depth) {
    case BitDepth::pcm16: subtype = SF_FORMAT_PCM_16; break;
    case BitDepth::pcm24: subtype = SF_FORMAT_PCM_24; break;
    case BitDepth::float32: subtype = SF_FORMAT_FLOAT; break;
    case BitDepth::asInput: {
      const int inputSubtype = inputFormat & SF_FORMAT_SUBMASK;
      if (inputSubtype == SF_FORMAT_PCM_16 || inputSubtype == SF_FORMAT_PCM_24 ||
          inputSubtype == SF_FORMAT_PCM_32)
        subtype = inputSubtype;
      else if (inputSubtype == SF_FORMAT_PCM_S8 || inputSubtype == SF_FORMAT_PCM_U8)
        subtype = SF_FORMAT_PCM_16;
      else if (inputSubtype == SF_FORMAT_FLOAT || inputSubtype == SF_FORMAT_DOUBLE)
        subtype = SF_FORMAT_FLOAT;
      else
        subtype = SF_FORMAT_PCM_24;  // compressed input: no depth of its own
      // A container that cannot hold the input's depth gets the nearest it can:
      // FLAC has neither float nor 32-bit samples.
      if (container == SF_FORMAT_FLAC && !isPcmSubtype(subtype)) subtype = SF_FORMAT_PCM_24;
      if (container == SF_FORMAT_FLAC && subtype == SF_FORMAT_PCM_32) subtype = SF_FORMAT_PCM_24;
      break;
    }
  }
  SF_INFO probe{};
  probe.format = container | subtype;
  probe.channels = 2;
  probe.samplerate = 44100;
  if (!sf_format_check(&probe))
    throw ToolError(ExitStatus::format, "unsupported output format: " +
                                            describeFormat(container) + " cannot hold " +
                                            (subtype == SF_FORMAT_FLOAT ? "32-bit float"
                                             : subtype == SF_FORMAT_PCM_24 ? "24-bit"
                                                                           : "16-bit") +
                                            " samples");
  return container | subtype;
}

std::string describeFormat(int format) {
  std::string container;
  switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV: container = "WAV"; break;
    case SF_FORMAT_FLAC: container = "FLAC"; break;
    case SF_FORMAT_AIFF: container = "AIFF"; break;
    case SF_FORMAT_CAF: container = "CAF"; break;
    case SF_FORMAT_W64: container = "W64"; break;
    case SF_FORMAT_OGG: container = "Ogg"; break;
    default: container = "audio"; break;
  }
  switch (format & SF_FORMAT_SUBMASK) {
    case 0: return container;
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return container + " 8-bit";
    case SF_FORMAT_PCM_16: return container + " 16-bit";
    case SF_FORMAT_PCM_24: return container + " 24-bit";
    case SF_FORMAT_PCM_32: return container + " 32-bit";
    case SF_FORMAT_FLOAT: return container + " 32-bit float";
    case SF_FORMAT_DOUBLE: return container + " 64-bit float";
    case SF_FORMAT_VORBIS: return container + " Vorbis";
    case SF_FORMAT_OPUS: return container + " Opus";
    default: return container;
  }
}

AudioWriter::AudioWriter(const std::string& targetPath, int format, int channels, int sampleRate)
    : fTargetPath(targetPath) {
  static std::atomic<unsigned> counter{0};
  const fs::path target(targetPath);
  // A hidden name beside the target, unique per process and writer.
  std::string name = ".";
  name += target.filename().string();
  name += ".vardo-" + std::to_string(VARDO_GETPID()) + "-" +
          std::to_string(counter.fetch_add(1)) + ".tmp";
  const fs::path temporary = target.parent_path() / name;
  fTemporaryPath = temporary.string();

  std::error_code ec;
  const fs::path directory = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  if (!fs::is_directory(directory, ec))
    throw ToolError(ExitStatus::write, "cannot write " + inQuotes(targetPath) + ": directory " +
                                           inQuotes(directory.string()) + " does not exist");

  SF_INFO info{};
  info.format = format;
  info.channels = channels;
  info.samplerate = sampleRate;
  fCleanupSlot = registerForCleanup(fTemporaryPath);
  fFile = sf_open(fTemporaryPath.c_str(), SFM_WRITE, &info);
  if (fFile == nullptr) {
    const std::string why = sf_strerror(nullptr);
    fs::remove(fTemporaryPath, ec);
    releaseCleanup(fCleanupSlot);
    throw ToolError(ExitStatus::write, "cannot write " + inQuotes(targetPath) + ": " + why);
  }
  // Integer outputs saturate instead of wrapping on samples at full scale.
  sf_command(fFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
  if (!fCommitted) discard();
}

void AudioWriter::discard() {
  if (fFile != nullptr) sf_close(fFile);
  fFile = nullptr;
  std::error_code ec;
  fs::remove(fTemporaryPath, ec);
  releaseCleanup(fCleanupSlot);
  fCleanupSlot = -1;
}

void AudioWriter::write(const float* interleaved, int frames) {
  if (frames <= 0) return;
  const sf_count_t written = sf_writef_float(fFile, interleaved, frames);
  if (written != frames) {
    const std::string why = sf_strerror(fFile);
    discard();
    throw ToolError(ExitStatus::write, "writing " + inQuotes(fTargetPath) + " failed: " + why);
  }
}

void AudioWriter::commit() {
  sf_write_sync(fFile);
  const int closeError = sf_close(fFile);
  fFile = nullptr;
  if (closeError != SF_ERR_NO_ERROR) {
    discard();
    throw ToolError(ExitStatus::write, "writing " + inQuotes(fTargetPath) + " failed: " +
                                           sf_error_number(closeError));
  }
  std::error_code ec;
  fs::rename(fTemporaryPath, fTargetPath, ec);
  if (ec) {
    discard();
    throw ToolError(ExitStatus::write,
                    "cannot write " + inQuotes(fTargetPath) + ": " + ec.message());
  }
  fCommitted = true;
  releaseCleanup(fCleanupSlot);
  fCleanupSlot = -1;
}

}  // namespace vardo::tools
