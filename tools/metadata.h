// What an input says about itself (its text fields, the broadcast-wave
// description, cue points, the cart chunk) and how it is carried into the
// output with the line that records how the output was made.
#pragma once

#include <sndfile.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace vardo::tools {

struct InputMetadata {
  // libsndfile's text fields by SF_STR_* value: title, copyright, software,
  // artist, comment, date, album, licence, track number, genre.
  std::vector<std::pair<int, std::string>> strings;
  // The broadcast-wave fields that still hold after processing.
  struct Bext {
    std::string description, originator, originatorReference, originationDate,
        originationTime, codingHistory;
    std::uint64_t timeReference = 0;
    int version = 0;
  };
  std::optional<Bext> bext;
  std::optional<SF_CUES> cues;
  std::vector<char> cart;  // an SF_CART_INFO of its own size, or empty
};

// Reads everything libsndfile offers of an open input.
InputMetadata readInputMetadata(SNDFILE* file);

// Where a container keeps the record of how an output was made.
enum class ProvenanceCarrier {
  codingHistory,  // WAV: a broadcast-wave coding-history line
  comment,        // FLAC, Ogg, AIFF, CAF: the comment field
  logOnly,        // W64, AU and others that take no text
};
ProvenanceCarrier carrierFor(int format);
// "bext coding history", "comment", "log only".
const char* carrierName(ProvenanceCarrier carrier);

struct OutputMetadata {
  InputMetadata carried;
  std::string software;    // this program and the plug-in, in a few words
  std::string provenance;  // one line: versions, settings, options, input
};

// Writes the metadata to an output just opened, before any sample: the
// input's fields, the software, and the provenance line where the container
// has room for it. The broadcast-wave loudness fields and UMID describe the
// original audio and are not carried.
void applyOutputMetadata(SNDFILE* file, int format, int channels, int sampleRate,
                         const OutputMetadata& metadata);

// The provenance text an existing file holds (the coding history of a WAV,
// the comment of others), or nothing when it cannot be opened or holds none.
std::optional<std::string> recordedProvenance(const std::string& path);

}  // namespace vardo::tools
