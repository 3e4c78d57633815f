// Audio files through libsndfile: reading any format it reads as a mono
// programme, and writing the rendered channels so that the target either
// appears complete or not at all.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "metadata.h"

namespace vardo::tools {

// "-" names standard input as an input and standard output as an output.
bool isStandardStream(const std::string& path);

// sf_open for any path the system takes, also those longer than libsndfile's
// own limit on names.
SNDFILE* openSoundFile(const std::string& path, int mode, SF_INFO* info);

// 'name' for a file, "standard input" or "standard output" for "-".
std::string describeInput(const std::string& path);
std::string describeOutput(const std::string& path);

// Which input channel feeds the plug-in: 0 mixes every channel to mono
// (their mean), N picks channel N counted from 1.
struct ChannelChoice {
  int channel = 0;
};

// "-" reads standard input; a pipe is first copied to an anonymous temporary
// file, since most formats cannot be read without seeking.
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
  ChannelChoice choice() const { return fChoice; }
  sf_count_t frames() const { return fInfo.frames; }
  // The frames the header declares, more than frames() when the file was cut
  // short; and how many read() has delivered so far.
  sf_count_t promisedFrames() const { return fPromisedFrames; }
  sf_count_t framesRead() const { return fFramesRead; }
  // libsndfile's message when a read failed midway (the input then ends
  // there), else empty.
  const std::string& readError() const { return fReadError; }
  const InputMetadata& metadata() const { return fMetadata; }
  int format() const { return fInfo.format; }
  const std::string& path() const { return fPath; }

 private:
  std::string fPath;
  SNDFILE* fFile = nullptr;
  SF_INFO fInfo{};
  ChannelChoice fChoice;
  std::vector<float> fInterleaved;
  bool fFromStandardInput = false;
  InputMetadata fMetadata;
  sf_count_t fPromisedFrames = 0;
  sf_count_t fFramesRead = 0;
  std::string fReadError;
};

enum class BitDepth { asInput, pcm16, pcm24, float32 };

// Parses "16", "24", "32f"; throws ToolError(usage) on anything else.
BitDepth parseBitDepth(const std::string& text);

// The libsndfile format for the output and the bit depth, which by default
// follows the input's. The container is named by type ("wav", "flac", ...)
// when it is not empty, else by the output name's extension; standard output
// needs a type. Throws ToolError(format) when the container is unknown or
// cannot hold the asked depth, ToolError(usage) for standard output without
// a type.
int outputFormat(const std::string& outputPath, int inputFormat, BitDepth depth,
                 const std::string& type = {});

// "wav, flac, aiff, caf, w64, au, ogg": the containers outputFormat knows.
std::string knownOutputTypes();

// "WAV 16-bit", "FLAC 24-bit", "WAV 32-bit float", "Ogg Vorbis".
std::string describeFormat(int format);

struct WriteOptions {
  // Triangular (TPDF) dither of one LSB peak before 16-bit quantisation, so
  // the rounding error is noise independent of the signal, not distortion.
  // Integer samples are rounded to the nearest step either way.
  bool dither = true;
  // Never replace an existing target; commit() then answers false.
  bool noClobber = false;
  // Text fields and the record of how the output was made; none when null.
  const OutputMetadata* metadata = nullptr;
};

// Writes interleaved float frames to a temporary file beside the target; only
// commit() renames it into place. A writer destroyed before commit() removes
// its temporary file, so a failed render leaves nothing behind. A target that
// is a symbolic link is written through the link: the file it points to is
// replaced and the link stays. Standard output ("-") gets the file once it is
// complete, from an anonymous temporary file, as WAV, FLAC and most other
// containers complete their header only at the end.
class AudioWriter {
 public:
  AudioWriter(const std::string& targetPath, int format, int channels, int sampleRate,
              WriteOptions options = {});
  ~AudioWriter();
  AudioWriter(const AudioWriter&) = delete;
  AudioWriter& operator=(const AudioWriter&) = delete;

  void write(const float* interleaved, int frames);
  // False only with noClobber when the target appeared while this writer
  // worked; the target is then left as it is and nothing else is written.
  bool commit();
  bool dithers() const { return fDither; }

  const std::string& temporaryPath() const { return fTemporaryPath; }

 private:
  void discard();
  void writeQuantised(const float* interleaved, int frames);
  std::string fTargetPath;   // as named on the command line, for messages
  std::string fResolvedPath; // the file that is replaced (a link's target)
  int fCleanupSlot = -1;
  std::string fTemporaryPath;
  int fStreamFd = -1;        // the anonymous temporary file for standard output
  SNDFILE* fFile = nullptr;
  bool fCommitted = false;
  bool fNoClobber = false;
  bool fDither = false;
  int fBits = 0;  // integer sample width written, 0 for float
  int fChannels = 0;
  std::uint64_t fNoiseState = 0;
  std::vector<short> fShorts;
  std::vector<int> fInts;
};


}  // namespace vardo::tools
