// The effect class: creation and destruction, identity, pins, sample-rate
// changes and the audio entry. Parameters live in vardo_parameters.cpp, MIDI,
// programs and the voice path in vardo_midi.cpp.
#include "vardo.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "chain/chain.h"
#include "dsp.h"
#include "effect_block.h"
#include "meta_table.h"
#include "text_and_numbers.h"
#include "voice.h"
#include "vst_ui.h"

namespace {

constexpr VstInt32 kDefaultUniqueId = 0x56415244;
// Parameter values carried across a sample-rate change (the DSP has 13).
constexpr int kMaxCarriedParameters = 64;

}  // namespace

// ---------------------------------------------------------------------------
// Metadata and identity

// Declaring metadata reads no DSP state, so the main DSP object serves for the
// lookup in every state of its life.
static std::string lookupMetadata(dsp* source, const char* key, const char* fallback) {
  try {
    MetaTable table;
    source->declareMetadata(&table);
    if (const std::string* value = table.find(key)) return *value;
    return fallback;
  } catch (const std::bad_alloc&) {
    return fallback;
  }
}

static VstInt32 computeUniqueId(dsp* source, vstUI* table) {
  const std::string id = lookupMetadata(source, "id", "VARDO");
  if (!id.empty()) {
    // Texts shorter than four characters read as padded with zero bytes.
    char bytes[4] = {0, 0, 0, 0};
    std::memcpy(bytes, id.data(), id.size() < 4 ? id.size() : 4);
    auto signedByte = [](char c) {
      return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(c)));
    };
    const std::uint32_t code = (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0]))
                                << 24) +
                               (signedByte(bytes[1]) << 16) + (signedByte(bytes[2]) << 8) +
                               signedByte(bytes[3]);
    return static_cast<VstInt32>(code);
  }
  if (table->size() == 0) return kDefaultUniqueId;
  std::uint32_t sum = 0;
  for (int i = 0; i < table->size(); ++i)
    sum += static_cast<std::uint32_t>(table->at(i)->labelChecksum());
  const VstInt32 offset = static_cast<VstInt32>(sum) % 128;
  return static_cast<VstInt32>(static_cast<std::uint32_t>(kDefaultUniqueId) +
                               static_cast<std::uint32_t>(offset));
}

// ---------------------------------------------------------------------------
// Creation and destruction

// The scratch buffers: an array of one buffer per DSP output, each allocated
// with new[] (growScratch replaces them the same way).
static void releaseScratch(float**& buffers, int outputs) {
  if (!buffers) return;
  for (int i = 0; i < outputs; ++i) delete[] buffers[i];
  delete[] buffers;
  buffers = nullptr;
}

template <std::size_t N>
static void releaseVoices(Voice* (&voices)[N]) {
  for (Voice*& voice : voices) {
    delete voice;
    voice = nullptr;
  }
}

Vardo::Vardo(audioMasterCallback audioMaster, dsp* mainDsp, vstUI* table)
    : AudioEffectX(audioMaster, 1, table->size()), fDSP(mainDsp), fVstUI(table) {
  std::strcpy(fProgramName, "Default");
  if (audioMaster) {
    setNumInputs(fDSP->inputCount());
    setNumOutputs(fDSP->outputCount());
    canProcessReplacing(true);
    if (fDSP->inputCount() == 0) {
      isSynth(true);
      if (fDSP->outputCount() < 1)
        std::fputs(
            "*** vardo: vsti: No signal inputs or outputs, and Vardo has no MIDI outputs!\n",
            stderr);
    }
    setUniqueID(computeUniqueId(fDSP, fVstUI));
  }
  setInitialDelay(vardo::kSignalPathDelay);

  // On failure the caller keeps the DSP and the table; everything made here
  // is released before the exception leaves.
  try {
    const int rate = truncateToInt(getSampleRate());
    for (int i = 0; i < kVoiceCount; ++i) {
      fVoices[i] = new Voice(fDSP->cloneFresh(), rate);
      fFreeVoices.push(i);
    }
    const int outputs = fDSP->outputCount();
    if (outputs > 0) {
      fOutBuffers = new float*[static_cast<std::size_t>(outputs)]();
      for (int i = 0; i < outputs; ++i)
        fOutBuffers[i] = new float[static_cast<std::size_t>(fOutBufferFrames)];
    }
  } catch (...) {
    releaseScratch(fOutBuffers, fDSP->outputCount());
    releaseVoices(fVoices);
    throw;
  }

  fCurNote = 0;
  fCurVelocity = 0;
  fCurDelta = 0;
  const int rate = truncateToInt(getSampleRate());
  fDSP->initialize(rate);
  for (Voice* voice : fVoices) voice->voiceDsp()->initializeInstance(rate);
}

Vardo::~Vardo() {
  releaseScratch(fOutBuffers, fDSP->outputCount());
  releaseVoices(fVoices);
  delete fVstUI;
  delete fDSP;
  fNoteQueue.clear();
  fVelocityQueue.clear();
  fDeltaQueue.clear();
  fPlayingNotes.clear();
  fReleasedVoices.clear();
  fFreeVoices.clear();
}

// ---------------------------------------------------------------------------
// Configuration

void Vardo::setSampleRate(float rate) {
  // Re-initialising puts every control back to its default; the host's
  // parameter values are carried across the rate change.
  float saved[kMaxCarriedParameters];
  const int carried = fVstUI->size() < kMaxCarriedParameters ? fVstUI->size()
                                                             : kMaxCarriedParameters;
  // The control values themselves are carried, so they come back bit for bit.
  for (int i = 0; i < carried; ++i) saved[i] = fVstUI->at(i)->getRealValue();

  AudioEffectX::setSampleRate(rate);
  const int intRate = truncateToInt(getSampleRate());
  fDSP->initialize(intRate);
  for (Voice* voice : fVoices) voice->voiceDsp()->initializeInstance(intRate);

  for (int i = 0; i < carried; ++i) {
    fVstUI->at(i)->setRealValue(saved[i]);
    for (Voice* voice : fVoices)
      if (i < voice->size()) voice->at(i)->setRealValue(saved[i]);
  }
}

// Switching the effect on starts every DSP from silence, as a reset does: a
// host's off/on (or a bypass toggle) is the user's way out of a state that a
// far too loud passage left behind, such as band gains held down for minutes.
// The controls keep their values.
void Vardo::resume() {
  fDSP->clearState();
  for (Voice* voice : fVoices)
    if (voice != nullptr) voice->voiceDsp()->clearState();
  AudioEffectX::resume();
}

// The scratch buffers serve only the voice path, which renders blocks longer
// than the buffers in pieces; they grow with the announced block size up to a
// bound, so an absurd announcement cannot claim gigabytes.
void Vardo::setBlockSize(VstInt32 size) {
  AudioEffectX::setBlockSize(size);
  if (fDSP->inputCount() > 0) return;
  try {
    growScratch(size);
  } catch (const std::bad_alloc&) {
    // The buffers keep their size; longer blocks are rendered in pieces.
  }
}

// ---------------------------------------------------------------------------
// Audio

void Vardo::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  vardo::enableFlushToZero();
  if (fDSP->inputCount() > 0) {
    // A host that hands over missing buffers gets nothing written where there
    // is no buffer, and silence where there is no programme to process.
    if (vardo::effectBuffersUsable(*fDSP, inputs, outputs, sampleFrames))
      fDSP->computeBlock(sampleFrames, inputs, outputs);
    return;
  }
  if (sampleFrames > 0) {
    if (outputs == nullptr) return;
    for (int c = 0; c < fDSP->outputCount(); ++c)
      if (outputs[c] == nullptr) return;
  }
  processVoices(inputs, outputs, sampleFrames);
}

// ---------------------------------------------------------------------------
// Pins

// A pin text with its number, cut to the field's capacity (terminator kept).
template <std::size_t N>
static void formatPinText(char (&field)[N], const char* format, VstInt32 index) {
  char full[96];
  std::snprintf(full, sizeof full, format, static_cast<int>(index));
  copyText(field, N, full);
}

static bool describePin(VstPinProperties* properties, const char* label, const char* shortLabel,
                        VstInt32 index, int pinCount) {
  if (!properties) return false;
  formatPinText(properties->label, label, index);
  formatPinText(properties->shortLabel, shortLabel, index);
  properties->flags = kVstPinIsActive;
  if (pinCount == 2) properties->flags |= kVstPinIsStereo;
  return true;
}

bool Vardo::getInputProperties(VstInt32 index, VstPinProperties* properties) {
  const int inputs = fDSP->inputCount();
  if (index < 0 || index >= inputs) return false;
  return describePin(properties, "Brenk Vardo DSP input: %d", "In %d", index, inputs);
}

// Answers only for pins that exist, like the inputs.
bool Vardo::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
  const int outputs = fDSP->outputCount();
  if (index < 0 || index >= outputs) return false;
  return describePin(properties, "Brenk Vardo DSP output: %d", "Out %d", index, outputs);
}

// ---------------------------------------------------------------------------
// Identity texts and capabilities

// The identity texts go into host buffers of the interface's nominal size n:
// zero-filled and terminated, and never a byte past the n the host was
// promised, so a longer text is cut to n - 1 characters.
static bool copyIdentity(char* to, const std::string& text, std::size_t n) {
  if (to == nullptr) return false;
  copyText(to, n, text.c_str(), true);
  return true;
}

bool Vardo::getEffectName(char* name) {
  return copyIdentity(name, lookupMetadata(fDSP, "name", "Effect Name goes here"),
                      kVstMaxEffectNameLen);
}

bool Vardo::getVendorString(char* text) {
  return copyIdentity(text, lookupMetadata(fDSP, "author", "Vendor String goes here"),
                      kVstMaxVendorStrLen);
}

bool Vardo::getProductString(char* text) {
  return copyIdentity(text, lookupMetadata(fDSP, "name", "Product String goes here"),
                      kVstMaxProductStrLen);
}

// The version text read as a number ("2.5" gives 2); text that does not begin
// with a number gives 0.
VstInt32 Vardo::getVendorVersion() {
  const std::string version = lookupMetadata(fDSP, "version", "0.0");
  const double value = std::strtod(version.c_str(), nullptr);
  if (!(value > -2147483649.0 && value < 2147483648.0)) return 0;
  return static_cast<VstInt32>(value);
}

VstInt32 Vardo::canDo(char* text) {
  if (!text) return -1;
  static const char* const kCapabilities[] = {"receiveVstEvents", "receiveVstMidiEvent",
                                              "midiProgramNames"};
  for (const char* capability : kCapabilities)
    if (std::strcmp(text, capability) == 0) return 1;
  return -1;
}
