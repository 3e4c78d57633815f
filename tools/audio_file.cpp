#include "audio_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <cmath>
#include <fstream>
#include <optional>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "plugin_host.h"
#include "temp_files.h"

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

#ifndef _WIN32
// A temporary file with no name: it vanishes with its descriptor, whatever
// ends the process.
int anonymousTemporaryFile() {
  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / "vardo-XXXXXX").string();
  if (ec) pattern = "/tmp/vardo-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd >= 0) ::unlink(pattern.c_str());
  return fd;
}

bool copyAll(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(to, buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += put;
    }
  }
}

// The file a chain of symbolic links ends at (the path itself when it is no
// link); a dangling link gives the file it would create.
fs::path followLinks(fs::path path) {
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
    const fs::path next = fs::read_symlink(path, ec);
    if (ec) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
}
#endif

std::uint64_t nextRandom(std::uint64_t& state) {  // splitmix64
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double uniformUnit(std::uint64_t& state) {  // [0, 1)
  return static_cast<double>(nextRandom(state) >> 11) * 0x1.0p-53;
}

int bytesPerSample(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW: return 1;
    case SF_FORMAT_PCM_16: return 2;
    case SF_FORMAT_PCM_24: return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 4;
    case SF_FORMAT_DOUBLE: return 8;
    default: return 0;  // compressed: no fixed size
  }
}

// The number after a label in libsndfile's account of the header, e.g.
// "data : 176400 (should be 52398)" for the label "data :".
std::optional<long long> numberAfter(const std::string& log, const std::string& label,
                                     bool onlyWhenShort) {
  for (std::size_t at = log.find(label); at != std::string::npos; at = log.find(label, at + 1)) {
    if (at > 0 && log[at - 1] != '\n' && log[at - 1] != ' ') continue;
    const auto lineEnd = log.find('\n', at);
    const std::string line = log.substr(at + label.size(), lineEnd == std::string::npos
                                                               ? std::string::npos
                                                               : lineEnd - at - label.size());
    if (onlyWhenShort && line.find("should be") == std::string::npos) continue;
    char* end = nullptr;
    const long long value = std::strtoll(line.c_str(), &end, 10);
    // A writer that streams cannot go back to fill in the length and leaves
    // a placeholder (0xFFFFFFFF from ffmpeg, 0x7FFFF000 from sox): the length
    // is unknown, not promised.
    if (value == 0xFFFFFFFFLL || value == 0x7FFFF000LL) continue;
    if (end != line.c_str() && value > 0) return value;
  }
  return std::nullopt;
}

// The frames a header promises, where it says more than the file holds.
// libsndfile then opens the file with the frames that are there and no
// error; only its account of the header shows the length it declared.
sf_count_t declaredFrames(SNDFILE* file, const SF_INFO& info) {
  std::string log(16384, '\0');
  sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
  log.resize(std::strlen(log.c_str()));
  const long long frameBytes =
      static_cast<long long>(bytesPerSample(info.format)) * std::max(info.channels, 1);
  std::optional<long long> frames;
  switch (info.format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_AIFF:
      if (log.find("not equal to frame count") != std::string::npos)
        frames = numberAfter(log, "Frames      :", false);
      break;
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
      if (const auto bytes = numberAfter(log, "data :", true); bytes && frameBytes > 0)
        frames = *bytes / frameBytes;
      break;
    case SF_FORMAT_W64:  // its chunk size counts the 24-byte chunk header
      if (log.find("should be") != std::string::npos)
        if (const auto bytes = numberAfter(log, "data :", false); bytes && frameBytes > 0)
          frames = (*bytes - 24) / frameBytes;
      break;
    case SF_FORMAT_AU:
      if (const auto bytes = numberAfter(log, "Data Size   :", true); bytes && frameBytes > 0)
        frames = *bytes / frameBytes;
      break;
    default: break;
  }
  return frames && *frames > info.frames ? static_cast<sf_count_t>(*frames) : info.frames;
}

struct Container {
  const char* type;
  int format;
};
constexpr Container kContainers[] = {
    {"wav", SF_FORMAT_WAV}, {"flac", SF_FORMAT_FLAC}, {"aiff", SF_FORMAT_AIFF},
    {"aif", SF_FORMAT_AIFF}, {"caf", SF_FORMAT_CAF},  {"w64", SF_FORMAT_W64},
    {"au", SF_FORMAT_AU},   {"ogg", SF_FORMAT_OGG},  {"oga", SF_FORMAT_OGG},
};

}  // namespace

bool isStandardStream(const std::string& path) { return path == "-"; }

SNDFILE* openSoundFile(const std::string& path, int mode, SF_INFO* info) {
#ifndef _WIN32
  // libsndfile keeps the name in a buffer of about 1 kB and refuses a longer
  // path ("Supplied filename too long"), where the system takes up to
  // PATH_MAX: such a file is opened here and handed over as a descriptor.
  if (path.size() >= 1000) {
    const int flags = mode == SFM_READ ? O_RDONLY : (O_RDWR | O_CREAT | O_TRUNC);
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    SNDFILE* file = sf_open_fd(fd, mode, info, SF_TRUE);
    if (file == nullptr) ::close(fd);
    return file;
  }
#endif
  return sf_open(path.c_str(), mode, info);
}

std::string describeInput(const std::string& path) {
  return isStandardStream(path) ? "standard input" : inQuotes(path);
}

std::string describeOutput(const std::string& path) {
  return isStandardStream(path) ? "standard output" : inQuotes(path);
}

std::string knownOutputTypes() { return "wav, flac, aiff, caf, w64, au, ogg"; }

AudioReader::AudioReader(const std::string& path, ChannelChoice choice)
    : fPath(path), fChoice(choice) {
  const std::string name = describeInput(path);
  if (isStandardStream(path)) {
#ifdef _WIN32
    throw ToolError(ExitStatus::usage, "reading standard input is not supported here");
#else
    fFromStandardInput = true;
    int fd = -1;
    struct stat st {};
    if (::fstat(0, &st) == 0 && S_ISREG(st.st_mode)) {
      fd = ::dup(0);
    } else {
      fd = anonymousTemporaryFile();
      if (fd < 0 || !copyAll(0, fd) || ::lseek(fd, 0, SEEK_SET) != 0) {
        const std::string why = std::strerror(errno);
        if (fd >= 0) ::close(fd);
        throw ToolError(ExitStatus::inputFile, "cannot read standard input: " + why);
      }
    }
    if (fd < 0)
      throw ToolError(ExitStatus::inputFile,
                      std::string("cannot read standard input: ") + std::strerror(errno));
    fFile = sf_open_fd(fd, SFM_READ, &fInfo, SF_TRUE);
    if (fFile == nullptr) {
      const std::string why = sf_strerror(nullptr);
      ::close(fd);
      throw ToolError(ExitStatus::format, "unsupported audio format in standard input: " + why);
    }
#endif
  } else {
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec == std::errc::filename_too_long)
      throw ToolError(ExitStatus::inputFile,
                      "cannot read " + name + ": the path (" + std::to_string(path.size()) +
                          " bytes) is too long for this system");
    if (!exists)
      throw ToolError(ExitStatus::inputFile, "cannot read " + name + ": no such file");
    if (fs::is_directory(path, ec))
      throw ToolError(ExitStatus::inputFile, "cannot read " + name + ": it is a directory");
    {
      std::ifstream probe(path, std::ios::binary);
      if (!probe)
        throw ToolError(ExitStatus::inputFile, "cannot read " + name + ": " + std::strerror(errno));
    }
    fFile = openSoundFile(path, SFM_READ, &fInfo);
    if (fFile == nullptr)
      throw ToolError(ExitStatus::format,
                      "unsupported audio format in " + name + ": " + sf_strerror(nullptr));
  }
  if (fInfo.channels < 1 || fInfo.samplerate < 1) {
    sf_close(fFile);
    throw ToolError(ExitStatus::format,
                    "unsupported audio format in " + name + ": no channels or no sample rate");
  }
  if (fChoice.channel < 0 || fChoice.channel > fInfo.channels) {
    const int channels = fInfo.channels;
    sf_close(fFile);
    throw ToolError(ExitStatus::usage, "channel " + std::to_string(fChoice.channel) +
                                           " asked for, but " + name + " has " +
                                           std::to_string(channels) + " channel" +
                                           (channels == 1 ? "" : "s"));
  }
  fMetadata = readInputMetadata(fFile);
  // Whatever writes into a pipe streams, so a header read from standard
  // input states no length to hold the audio to.
  fPromisedFrames = isStandardStream(path) ? fInfo.frames : declaredFrames(fFile, fInfo);
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
    if (!fReadError.empty()) break;
    const sf_count_t got = sf_readf_float(fFile, fInterleaved.data(), want);
    // A read error midway ends the input where it happened: what came
    // before it is rendered, and the caller reports the input as damaged.
    if (sf_error(fFile) != SF_ERR_NO_ERROR) fReadError = sf_strerror(fFile);
    if (got <= 0) break;
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
  fFramesRead += done;
  return done;
}

BitDepth parseBitDepth(const std::string& text) {
  if (text == "16") return BitDepth::pcm16;
  if (text == "24") return BitDepth::pcm24;
  if (text == "32f" || text == "32F") return BitDepth::float32;
  throw ToolError(ExitStatus::usage, "bit depth " + inQuotes(text) + " is not one of 16, 24, 32f");
}

int outputFormat(const std::string& outputPath, int inputFormat, BitDepth depth,
                 const std::string& type) {
  std::string wanted = type;
  std::transform(wanted.begin(), wanted.end(), wanted.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (!wanted.empty() && wanted.front() == '.') wanted.erase(0, 1);
  const bool byType = !wanted.empty();
  if (!byType) {
    if (isStandardStream(outputPath))
      throw ToolError(ExitStatus::usage, "standard output has no file name to take the format "
                                         "from: give --format (" + knownOutputTypes() + ")");
    wanted = extensionOf(outputPath);
    if (!wanted.empty()) wanted.erase(0, 1);
  }
  int container = 0;
  for (const Container& known : kContainers)
    if (wanted == known.type) container = known.format;
  if (container == 0) {
    if (byType)
      throw ToolError(ExitStatus::format, "unsupported output format " + inQuotes(type) +
                                              ": --format takes " + knownOutputTypes());
    const std::string extension = extensionOf(outputPath);
    throw ToolError(ExitStatus::format,
                    "unsupported output format " +
                        inQuotes(extension.empty() ? fs::path(outputPath).filename().string()
                                                   : extension) +
                        ": name the output .wav, .flac, .aiff, .caf, .w64, .au or .ogg, "
                        "or give --format");
  }

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
    case SF_FORMAT_AU: container = "AU"; break;
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

AudioWriter::AudioWriter(const std::string& targetPath, int format, int channels, int sampleRate,
                         WriteOptions options)
    : fTargetPath(targetPath), fNoClobber(options.noClobber), fChannels(channels) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_16: fBits = 16; break;
    case SF_FORMAT_PCM_24: fBits = 24; break;
    case SF_FORMAT_PCM_32: fBits = 32; break;
    default: fBits = 0; break;  // float, or a codec that takes floats
  }
  fDither = options.dither && fBits == 16;
  // The same noise for every file: a render is repeatable to the bit.
  fNoiseState = 0x5641524430444954ull;

  SF_INFO info{};
  info.format = format;
  info.channels = channels;
  info.samplerate = sampleRate;

  if (isStandardStream(targetPath)) {
#ifdef _WIN32
    throw ToolError(ExitStatus::usage, "writing standard output is not supported here");
#else
    fStreamFd = anonymousTemporaryFile();
    if (fStreamFd < 0)
      throw ToolError(ExitStatus::write, std::string("cannot write standard output: "
                                                     "no temporary file: ") +
                                             std::strerror(errno));
    fFile = sf_open_fd(fStreamFd, SFM_WRITE, &info, SF_FALSE);
    if (fFile == nullptr) {
      const std::string why = sf_strerror(nullptr);
      ::close(fStreamFd);
      fStreamFd = -1;
      throw ToolError(ExitStatus::write, "cannot write standard output: " + why);
    }
#endif
  } else {
#ifdef _WIN32
    const fs::path target(targetPath);
#else
    const fs::path target = followLinks(targetPath);
#endif
    fResolvedPath = target.string();
    // A hidden name beside the target whose length does not depend on the
    // target's, so any name the file system takes can be written.
    const fs::path temporary = target.parent_path() / temporaryName();
    fTemporaryPath = temporary.string();

    std::error_code ec;
    const fs::path directory = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const bool isDirectory = fs::is_directory(directory, ec);
    if (ec == std::errc::filename_too_long)
      throw ToolError(ExitStatus::write, "cannot write " + inQuotes(targetPath) + ": the path (" +
                                             std::to_string(fResolvedPath.size()) +
                                             " bytes) is too long for this system");
    if (!isDirectory)
      throw ToolError(ExitStatus::write, "cannot write " + inQuotes(targetPath) + ": directory " +
                                             inQuotes(directory.string()) + " does not exist");
#ifndef _WIN32
    const long nameMax = ::pathconf(directory.c_str(), _PC_NAME_MAX);
    const std::size_t nameSize = target.filename().string().size();
    if (nameMax > 0 && nameSize > static_cast<std::size_t>(nameMax))
      throw ToolError(ExitStatus::write, "cannot write " + inQuotes(targetPath) + ": its name (" +
                                             std::to_string(nameSize) + " bytes) is longer than " +
                                             std::to_string(nameMax) +
                                             " bytes, the most this file system takes");
    if (fResolvedPath.size() >= PATH_MAX)
      throw ToolError(ExitStatus::write, "cannot write " + inQuotes(targetPath) + ": the path (" +
                                             std::to_string(fResolvedPath.size()) +
                                             " bytes) is too long for this system");
#endif

    fCleanupSlot = registerForCleanup(fTemporaryPath, targetPath);
    fFile = openSoundFile(fTemporaryPath, SFM_WRITE, &info);
    if (fFile == nullptr) {
      const std::string why = sf_strerror(nullptr);
      fs::remove(fTemporaryPath, ec);
      releaseCleanup(fCleanupSlot);
      throw ToolError(ExitStatus::write, "cannot write " + inQuotes(targetPath) + ": " + why);
    }
  }
  // Integer outputs saturate instead of wrapping on samples at full scale.
  sf_command(fFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  // Text fields go in before the first sample: FLAC and Ogg write them in
  // the header.
  if (options.metadata != nullptr)
    applyOutputMetadata(fFile, format, channels, sampleRate, *options.metadata);
}

AudioWriter::~AudioWriter() {
  if (!fCommitted) discard();
}

void AudioWriter::discard() {
  if (fFile != nullptr) sf_close(fFile);
  fFile = nullptr;
#ifndef _WIN32
  if (fStreamFd >= 0) ::close(fStreamFd);
  fStreamFd = -1;
#endif
  if (!fTemporaryPath.empty()) {
    std::error_code ec;
    fs::remove(fTemporaryPath, ec);
  }
  releaseCleanup(fCleanupSlot);
  fCleanupSlot = -1;
}

void AudioWriter::writeQuantised(const float* interleaved, int frames) {
  // Integer samples are rounded here to the nearest step, as libsndfile's own
  // saturating conversion truncates (a bias of half a step). Full scale is
  // 2^(bits - 1) steps, as libsndfile reads the samples back. At 16 bits a
  // triangular dither goes first: the difference of two independent uniform
  // values in [0, 1) lies on (-1, 1) LSB, and the rounding error then has a
  // mean and a power (1/4 LSB^2) that do not depend on the signal.
  const std::size_t count = static_cast<std::size_t>(frames) * static_cast<std::size_t>(fChannels);
  const double scale = std::ldexp(1.0, fBits - 1);
  sf_count_t written = 0;
  if (fBits == 16) {
    fShorts.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      const double noise = fDither ? uniformUnit(fNoiseState) - uniformUnit(fNoiseState) : 0.0;
      const double level = std::nearbyint(static_cast<double>(interleaved[i]) * scale + noise);
      fShorts[i] = static_cast<short>(std::clamp(level, -scale, scale - 1.0));
    }
    written = sf_writef_short(fFile, fShorts.data(), frames);
  } else {
    // libsndfile takes 24-bit samples in the top bits of an int.
    const int shift = 32 - fBits;
    fInts.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      const double level = std::nearbyint(static_cast<double>(interleaved[i]) * scale);
      fInts[i] = static_cast<int>(static_cast<std::int64_t>(std::clamp(level, -scale, scale - 1.0))
                                  * (std::int64_t{1} << shift));
    }
    written = sf_writef_int(fFile, fInts.data(), frames);
  }
  if (written != frames) {
    const std::string why = sf_strerror(fFile);
    discard();
    throw ToolError(ExitStatus::write, "writing " + describeOutput(fTargetPath) + " failed: " + why);
  }
}

void AudioWriter::write(const float* interleaved, int frames) {
  if (frames <= 0) return;
  if (fBits > 0) {
    writeQuantised(interleaved, frames);
    return;
  }
  const sf_count_t written = sf_writef_float(fFile, interleaved, frames);
  if (written != frames) {
    const std::string why = sf_strerror(fFile);
    discard();
    throw ToolError(ExitStatus::write, "writing " + describeOutput(fTargetPath) + " failed: " + why);
  }
}

bool AudioWriter::commit() {
  sf_write_sync(fFile);
  const int closeError = sf_close(fFile);
  fFile = nullptr;
  if (closeError != SF_ERR_NO_ERROR) {
    discard();
    throw ToolError(ExitStatus::write, "writing " + describeOutput(fTargetPath) + " failed: " +
                                           sf_error_number(closeError));
  }
#ifndef _WIN32
  if (fStreamFd >= 0) {
    const bool copied = ::lseek(fStreamFd, 0, SEEK_SET) == 0 && copyAll(fStreamFd, 1);
    const std::string why = std::strerror(errno);
    discard();
    if (!copied) throw ToolError(ExitStatus::write, "writing standard output failed: " + why);
    fCommitted = true;
    return true;
  }
#endif
  std::error_code ec;
  if (fNoClobber) {
#ifdef _WIN32
    if (fs::exists(fResolvedPath, ec)) {
      discard();
      return false;
    }
#else
    // Atomically: the target is created only if nothing is there yet.
    if (::renameat2(AT_FDCWD, fTemporaryPath.c_str(), AT_FDCWD, fResolvedPath.c_str(),
                    RENAME_NOREPLACE) == 0) {
      fCommitted = true;
      releaseCleanup(fCleanupSlot);
      fCleanupSlot = -1;
      return true;
    }
    if (errno == EEXIST) {
      discard();
      return false;
    }
    // A file system without the no-replace rename: check, then rename.
    if (fs::exists(fResolvedPath, ec)) {
      discard();
      return false;
    }
#endif
  }
  fs::rename(fTemporaryPath, fResolvedPath, ec);
  if (ec) {
    discard();
    throw ToolError(ExitStatus::write,
                    "cannot write " + inQuotes(fTargetPath) + ": " + ec.message());
  }
  fCommitted = true;
  releaseCleanup(fCleanupSlot);
  fCleanupSlot = -1;
  return true;
}

}  // namespace vardo::tools
