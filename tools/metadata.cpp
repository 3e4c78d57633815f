#include "metadata.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

#include "audio_file.h"

namespace vardo::tools {

namespace {

constexpr int kStringTypes[] = {SF_STR_TITLE,  SF_STR_COPYRIGHT, SF_STR_SOFTWARE,
                                SF_STR_ARTIST, SF_STR_COMMENT,   SF_STR_DATE,
                                SF_STR_ALBUM,  SF_STR_LICENSE,   SF_STR_TRACKNUMBER,
                                SF_STR_GENRE};

// libsndfile keeps up to 16 kB of coding history.
constexpr std::size_t kHistorySize = 16384;
using Broadcast = SF_BROADCAST_INFO_VAR(kHistorySize);
constexpr std::size_t kCartTextSize = 16384;
using Cart = SF_CART_INFO_VAR(kCartTextSize);

std::string fixed(const char* field, std::size_t size) {
  return std::string(field, strnlen(field, size));
}

template <std::size_t N>
void copyFixed(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(N, text.size()));
}

std::string channelMode(int channels) {
  return channels == 1 ? "mono" : channels == 2 ? "stereo" : "multichannel";
}

int bitsOf(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 32;
    case SF_FORMAT_DOUBLE: return 64;
    default: return 0;
  }
}

}  // namespace

InputMetadata readInputMetadata(SNDFILE* file) {
  InputMetadata metadata;
  for (int type : kStringTypes)
    if (const char* text = sf_get_string(file, type); text != nullptr && *text != '\0')
      metadata.strings.emplace_back(type, text);

  auto broadcast = std::make_unique<Broadcast>();
  std::memset(broadcast.get(), 0, sizeof(Broadcast));
  if (sf_command(file, SFC_GET_BROADCAST_INFO, broadcast.get(), sizeof(Broadcast)) == SF_TRUE) {
    InputMetadata::Bext bext;
    bext.description = fixed(broadcast->description, sizeof broadcast->description);
    bext.originator = fixed(broadcast->originator, sizeof broadcast->originator);
    bext.originatorReference =
        fixed(broadcast->originator_reference, sizeof broadcast->originator_reference);
    bext.originationDate = fixed(broadcast->origination_date, sizeof broadcast->origination_date);
    bext.originationTime = fixed(broadcast->origination_time, sizeof broadcast->origination_time);
    bext.timeReference = (static_cast<std::uint64_t>(broadcast->time_reference_high) << 32) |
                         broadcast->time_reference_low;
    bext.version = broadcast->version;
    bext.codingHistory = fixed(broadcast->coding_history,
                               std::min<std::size_t>(broadcast->coding_history_size, kHistorySize));
    metadata.bext = bext;
  }

  int cueCount = 0;
  if (sf_command(file, SFC_GET_CUE_COUNT, &cueCount, sizeof cueCount) == SF_TRUE && cueCount > 0) {
    SF_CUES cues{};
    if (sf_command(file, SFC_GET_CUE, &cues, sizeof cues) == SF_TRUE) metadata.cues = cues;
  }

  auto cart = std::make_unique<Cart>();
  std::memset(cart.get(), 0, sizeof(Cart));
  if (sf_command(file, SFC_GET_CART_INFO, cart.get(), sizeof(Cart)) == SF_TRUE) {
    const char* bytes = reinterpret_cast<const char*>(cart.get());
    metadata.cart.assign(bytes, bytes + sizeof(Cart));
  }
  return metadata;
}

ProvenanceCarrier carrierFor(int format) {
  switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64: return ProvenanceCarrier::codingHistory;
    case SF_FORMAT_FLAC:
    case SF_FORMAT_OGG:
    case SF_FORMAT_AIFF:
    case SF_FORMAT_CAF: return ProvenanceCarrier::comment;
    default: return ProvenanceCarrier::logOnly;
  }
}

const char* carrierName(ProvenanceCarrier carrier) {
  switch (carrier) {
    case ProvenanceCarrier::codingHistory: return "bext coding history";
    case ProvenanceCarrier::comment: return "comment";
    case ProvenanceCarrier::logOnly: return "log only";
  }
  return "log only";
}

void applyOutputMetadata(SNDFILE* file, int format, int channels, int sampleRate,
                         const OutputMetadata& metadata) {
  const ProvenanceCarrier carrier = carrierFor(format);
  if (carrier == ProvenanceCarrier::logOnly) return;  // no text fields at all

  std::string comment;
  for (const auto& [type, text] : metadata.carried.strings) {
    if (type == SF_STR_SOFTWARE) continue;  // the input's encoder made no part of this file
    if (type == SF_STR_COMMENT) {
      comment = text;
      continue;
    }
    sf_set_string(file, type, text.c_str());
  }
  if (!metadata.software.empty()) sf_set_string(file, SF_STR_SOFTWARE, metadata.software.c_str());
  if (carrier == ProvenanceCarrier::comment && !metadata.provenance.empty())
    comment += (comment.empty() ? "" : "\n") + metadata.provenance;
  if (!comment.empty()) sf_set_string(file, SF_STR_COMMENT, comment.c_str());

  if (metadata.carried.cues) {
    SF_CUES cues = *metadata.carried.cues;
    sf_command(file, SFC_SET_CUE, &cues, sizeof cues);
  }
  if (!metadata.carried.cart.empty() && carrier == ProvenanceCarrier::codingHistory) {
    std::vector<char> cart = metadata.carried.cart;
    auto* info = reinterpret_cast<Cart*>(cart.data());
    const std::size_t text = std::min<std::size_t>(info->tag_text_size, kCartTextSize - 1);
    info->tag_text_size = static_cast<std::uint32_t>(text);
    sf_command(file, SFC_SET_CART_INFO, info, static_cast<int>(offsetof(Cart, tag_text) + text + 1));
  }

  if (carrier != ProvenanceCarrier::codingHistory) return;
  // The coding history: the input's own lines, then one for this render in
  // the broadcast-wave form (A= algorithm, F= rate, W= word length, M= mode,
  // T= text). libsndfile appends a line of its own after it, naming the
  // library that wrote the file.
  auto broadcast = std::make_unique<Broadcast>();
  std::memset(broadcast.get(), 0, sizeof(Broadcast));
  std::string history;
  if (const auto& bext = metadata.carried.bext) {
    copyFixed(broadcast->description, bext->description);
    copyFixed(broadcast->originator, bext->originator);
    copyFixed(broadcast->originator_reference, bext->originatorReference);
    copyFixed(broadcast->origination_date, bext->originationDate);
    copyFixed(broadcast->origination_time, bext->originationTime);
    broadcast->time_reference_low = static_cast<std::uint32_t>(bext->timeReference);
    broadcast->time_reference_high = static_cast<std::uint32_t>(bext->timeReference >> 32);
    history = bext->codingHistory;
    while (!history.empty() && (history.back() == '\0')) history.pop_back();
    if (!history.empty() && history.back() != '\n') history += "\r\n";
  }
  broadcast->version = 1;  // no loudness fields, no UMID
  const std::string line = "A=PCM,F=" + std::to_string(sampleRate) +
                           ",W=" + std::to_string(bitsOf(format)) + ",M=" + channelMode(channels) +
                           ",T=" + metadata.provenance + "\r\n";
  // Room for libsndfile's own line after ours; the oldest lines go first.
  const std::size_t room = kHistorySize - 256;
  while (!history.empty() && history.size() + line.size() > room) {
    const auto end = history.find('\n');
    history.erase(0, end == std::string::npos ? history.size() : end + 1);
  }
  history += line.size() <= room ? line : line.substr(0, room - 2) + "\r\n";
  std::memcpy(broadcast->coding_history, history.data(), history.size());
  broadcast->coding_history_size = static_cast<std::uint32_t>(history.size());
  // libsndfile refuses a size of its whole 16 kB form: give what is used.
  sf_command(file, SFC_SET_BROADCAST_INFO, broadcast.get(),
             static_cast<int>(offsetof(Broadcast, coding_history) + history.size() + 1));
}

std::optional<std::string> recordedProvenance(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = openSoundFile(path, SFM_READ, &info);
  if (file == nullptr) return std::nullopt;
  std::optional<std::string> text;
  if (carrierFor(info.format) == ProvenanceCarrier::codingHistory) {
    auto broadcast = std::make_unique<Broadcast>();
    std::memset(broadcast.get(), 0, sizeof(Broadcast));
    if (sf_command(file, SFC_GET_BROADCAST_INFO, broadcast.get(), sizeof(Broadcast)) == SF_TRUE)
      text = fixed(broadcast->coding_history,
                   std::min<std::size_t>(broadcast->coding_history_size, kHistorySize));
  } else if (const char* comment = sf_get_string(file, SF_STR_COMMENT); comment != nullptr) {
    text = comment;
  }
  sf_close(file);
  return text;
}

}  // namespace vardo::tools
