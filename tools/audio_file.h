// Audio files through libsndfile: reading any format it reads as a mono
// programme, and writing the rendered channels so that the target either
// appears complete or not at all.
#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

namespace vardo::tools {

// Which input channel feeds the plug-in: 0 mixes every channel to mono
// (their mean), N picks channel N counted from 1.
struct ChannelChoice {
  int channel = 0;
};

class AudioReader {
 public:
  AudioReader(const std::string& path, ChannelChoice choice);
  ~AudioReader();
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;

  // Reads up to frames samples of the mono programme; answers how many came.
  int read(float* mono, int frames);

  int sampleRate() const { return fInfo.samplerate; }
  int channels() const { return fInfo.channels; }
  sf_count_t frames() const { return fInfo.frames; }
  int format() const { return fInfo.format; }
  const std::string& path() const { return fPath; }

 private:
  std::string fPath;
  SNDFILE* fFile = nullptr;
  SF_INFO fInfo{};
  ChannelChoice fChoice;
  std::vector<float> fInterleaved;
};

enum class BitDepth { asInput, pcm16, pcm24, float32 };

// Parses "16", "24", "32f"; throws ToolError(usage) on anything else.
BitDepth parseBitDepth(const std::string& text);

// The libsndfile format for the output name's extension and the bit depth,
// which by default follows the input's. Throws ToolError(format) when the
// extension is unknown or the container cannot hold the asked depth.
int outputFormat(const std::string& outputPath, int inputFormat, BitDepth depth);

// "WAV 16-bit", "FLAC 24-bit", "WAV 32-bit float", "Ogg Vorbis".
std::string describeFormat(int format);

// Writes interleaved float frames to a temporary file beside the target; only
// commit() renames it into place. A writer destroyed before commit() removes
// its temporary file, so a failed render leaves nothing behind.
class AudioWriter {
 public:
  AudioWriter(const std::string& targetPath, int format, int channels, int sampleRate);
  ~AudioWriter();
  AudioWriter(const AudioWriter&) = delete;
  AudioWriter& operator=(const AudioWriter&) = delete;

  void write(const float* interleaved, int frames);
  void commit();

  const std::string& temporaryPath() const { return fTemporaryPath; }

 private:
  void discard();
  std::string fTargetPath;
  int fCleanupSlot = -1;
  std::string fTemporaryPath;
  SNDFILE* fFile = nullptr;
  bool fCommitted = false;
};

// Makes SIGINT, SIGTERM (and SIGHUP where it exists) remove every temporary
// output file still being written before the process ends as the signal says.
void removeTemporariesOnInterrupt();

}  // namespace vardo::tools
