// MIDI intake, the single program, and the ten-voice path an instrument-style
// DSP (one without audio inputs) plays through.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "audio_thread_log.h"
#include "dsp.h"
#include "text_and_numbers.h"
#include "vardo.h"
#include "voice.h"
#include "vst_ui.h"

namespace {

constexpr int kNoteOn = 0x90;
constexpr int kNoteOff = 0x80;
constexpr int kControlChange = 0xB0;
constexpr int kPitchBend = 0xE0;
constexpr int kAllSoundOffController = 123;  // "all notes off"
constexpr int kMonoModeController = 126;     // also ends every note

// A voice whose every rendered sample stays within this is silent.
constexpr double kSilence = 0.000001;
// The voice mix is taken down by 10 dB.
constexpr float kVoiceMixGain = 0.31622776f;
constexpr float kVelocityScale = 0.007874016f;  // 1 / 127
constexpr float kBendScale = 0.00012207031f;    // 2^-13
constexpr int kMidiChannels = 16;

// Equal-tempered frequency of MIDI note n, A4 (69) at 440 Hz.
float noteFrequency(int note) {
  const float octaves = (static_cast<float>(note) - 69.0f) * 0.083333336f;
  return 440.0f * static_cast<float>(std::pow(2.0, static_cast<double>(octaves)));
}

// Writes a voice control when the voice's DSP declared it.
void setVoiceControl(Voice* voice, int index, double value) {
  if (voice != nullptr && index >= 0 && index < voice->size()) voice->at(index)->setRealValue(value);
}

// Removes value from a voice list, wherever it stands.
template <typename List>
void eraseValue(List& list, int value) {
  for (std::size_t k = 0; k < list.size(); ++k) {
    if (list[k] == value) {
      list.erase(k);
      return;
    }
  }
}

// The program name as hosts read it: 24 characters, zero-filled, terminated.
void copyProgramName(char* out, const char* name) {
  copyText(out, kVstMaxProgNameLen + 1, name, true);
}

}  // namespace

// ---------------------------------------------------------------------------
// Event intake, on the audio thread.

VstInt32 Vardo::processEvents(VstEvents* events) {
  if (events == nullptr) return 1;
  // Notes are consumed only by the voice path; an effect with audio inputs
  // never renders voices, so its notes are not kept.
  const bool voicePathActive = fDSP->inputCount() == 0;
  // The record declares two slots but carries numEvents of them.
  VstEvent* const* list = events->events;
  for (VstInt32 i = 0; i < events->numEvents; ++i) {
    const VstEvent* event = list[i];
    if (event == nullptr || event->type != kVstMidiType) continue;
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
    const int status = static_cast<unsigned char>(midi->midiData[0]) & 0xF0;
    const int data1 = static_cast<unsigned char>(midi->midiData[1]);
    const int data2 = static_cast<unsigned char>(midi->midiData[2]);

    if (status == kNoteOn || status == kNoteOff) {
      const int note = data1 & 0x7F;
      // A note on with velocity 0 is a note off.
      const int velocity = status == kNoteOn ? data2 & 0x7F : 0;
      if (voicePathActive && !fNoteQueue.full()) {
        fNoteQueue.push(note);
        fVelocityQueue.push(velocity);
        fDeltaQueue.push(midi->deltaFrames);
      }
    } else if (status == kControlChange) {
      logFromAudioThread("=== Vardo vsti: CONTROL CHANGE (status 0xB0)!\n");
      if (data1 == kAllSoundOffController || data1 == kMonoModeController) {
        logFromAudioThread("=== Vardo vsti: ALL NOTES OFF!\n");
        allNotesOff();
      }
    } else if (status == kPitchBend) {
      // 14-bit bend centred on 8192, scaled to [-1, 1).
      const int bend = (((data2 & 0x7F) << 7) | (data1 & 0x7F)) - 8192;
      const float amount = static_cast<float>(bend) * kBendScale;
      for (Voice* voice : fVoices)
        if (voice != nullptr) setVoiceControl(voice, voice->fPitchbendIndex, amount);
    }
  }
  return 1;
}

void Vardo::logFromAudioThread(const char* line) {
  if (!vardo::writeLineWithoutWaiting(line))
    fDroppedLogLines.fetch_add(1, std::memory_order_relaxed);
}

void Vardo::allNotesOff() {
  for (Voice* voice : fVoices)
    if (voice != nullptr) setVoiceControl(voice, voice->fGateIndex, 0.0);
  for (std::size_t k = 0; k < fPlayingNotes.size(); ++k) {
    const int v = fPlayingNotes[k].voice;
    if (!fReleasedVoices.contains(v)) fReleasedVoices.push_back(v);
  }
}

// ---------------------------------------------------------------------------
// The voice path: the block is cut at every queued event's offset; each
// segment is rendered before the event's controls are written, so every event
// takes effect exactly at its sample.

void Vardo::processVoices(float** inputs, float** outputs, VstInt32 frames) {
  if (frames < 0) frames = 0;
  VstInt32 start = 0;
  while (!fNoteQueue.empty()) {
    // Offsets never run backwards: an event stamped before the current
    // segment applies at its start.
    fCurDelta = std::max(fDeltaQueue.front(), start);
    if (fCurDelta >= frames) {
      // Everything still queued belongs to a later block.
      for (std::size_t k = 0; k < fDeltaQueue.size(); ++k) fDeltaQueue[k] -= frames;
      break;
    }
    fCurNote = fNoteQueue.front();
    fCurVelocity = fVelocityQueue.front();
    fNoteQueue.pop();
    fVelocityQueue.pop();
    fDeltaQueue.pop();

    if (fCurVelocity < 1) {
      // Note off: release every voice sounding this note.
      int released[kVoiceCount];
      int releasedCount = 0;
      for (std::size_t k = 0; k < fPlayingNotes.size(); ++k) {
        const int v = fPlayingNotes[k].voice;
        if (fPlayingNotes[k].note != fCurNote || fReleasedVoices.contains(v)) continue;
        fReleasedVoices.push_back(v);
        released[releasedCount++] = v;
      }
      renderVoices(inputs, outputs, start, fCurDelta - start);
      for (int k = 0; k < releasedCount; ++k)
        setVoiceControl(fVoices[released[k]], fVoices[released[k]]->fGateIndex, 0.0);
    } else {
      NoteVoice pair;
      if (!fFreeVoices.empty()) {
        pair = {fCurNote, fFreeVoices.front()};
        fFreeVoices.pop();
      } else if (!fPlayingNotes.empty()) {
        // Steal the oldest sounding note's voice.
        pair = fPlayingNotes.front();
        Voice* stolen = fVoices[pair.voice];
        setVoiceControl(stolen, stolen->fPrevFreqIndex, noteFrequency(pair.note));
        pair.note = fCurNote;
        fPlayingNotes.erase(0);
        // The voice now plays a held note, whatever state its old one was in.
        eraseValue(fReleasedVoices, pair.voice);
      } else {
        continue;
      }
      fPlayingNotes.push_back(pair);
      renderVoices(inputs, outputs, start, fCurDelta - start);
      Voice* voice = fVoices[pair.voice];
      setVoiceControl(voice, voice->fFreqIndex, noteFrequency(fCurNote));
      setVoiceControl(voice, voice->fGainIndex, static_cast<float>(fCurVelocity) * kVelocityScale);
      setVoiceControl(voice, voice->fGateIndex, 1.0);
    }
    start = fCurDelta;
  }
  renderVoices(inputs, outputs, start, frames - start);
}

void Vardo::renderVoices(float** inputs, float** outputs, VstInt32 start, VstInt32 count) {
  // An empty segment has no samples to judge any voice by.
  if (count <= 0 || outputs == nullptr) return;
  const int channels = fDSP->outputCount();
  for (int c = 0; c < channels; ++c) std::fill_n(outputs[c] + start, count, 0.0f);

  NoteVoice finished[kVoiceCount];
  int finishedCount = 0;
  for (std::size_t k = 0; k < fPlayingNotes.size();) {
    const NoteVoice pair = fPlayingNotes[k];
    dsp* voiceDsp = fVoices[pair.voice]->voiceDsp();
    bool audible = false;
    // The scratch buffers never grow here: a longer segment is rendered in
    // pieces, which the DSP continues seamlessly.
    for (VstInt32 done = 0; done < count;) {
      const VstInt32 n = std::min(count - done, fOutBufferFrames);
      if (n <= 0) break;
      voiceDsp->computeBlock(n, inputs, fOutBuffers);
      for (int c = 0; c < channels; ++c) {
        const float* scratch = fOutBuffers[c];
        float* out = outputs[c] + start + done;
        for (VstInt32 i = 0; i < n; ++i) {
          out[i] += scratch[i];
          if (!(std::fabs(static_cast<double>(scratch[i])) <= kSilence)) audible = true;
        }
      }
      done += n;
    }
    if (!audible && fReleasedVoices.contains(pair.voice)) {
      // A released voice that has died away is free again.
      fFreeVoices.push(pair.voice);
      eraseValue(fReleasedVoices, pair.voice);
      finished[finishedCount++] = pair;
      fPlayingNotes.erase(k);
    } else {
      ++k;
    }
  }
  for (int k = 0; k < finishedCount; ++k) {
    Voice* voice = fVoices[finished[k].voice];
    setVoiceControl(voice, voice->fPrevFreqIndex, noteFrequency(finished[k].note));
  }

  for (int c = 0; c < channels; ++c) {
    float* out = outputs[c] + start;
    for (VstInt32 i = 0; i < count; ++i) out[i] = out[i] * kVoiceMixGain;
  }
}

void Vardo::growScratch(VstInt32 frames) {
  // Sized for the longest block the host announces, within a bound; longer
  // blocks are rendered in pieces.
  if (frames > kMaxScratchFrames) frames = kMaxScratchFrames;
  if (frames <= fOutBufferFrames || fOutBuffers == nullptr) return;
  const int channels = fDSP->outputCount();
  try {
    std::vector<std::unique_ptr<float[]>> grown;
    for (int c = 0; c < channels; ++c)
      grown.emplace_back(new float[static_cast<std::size_t>(frames)]());
    for (int c = 0; c < channels; ++c) {
      delete[] fOutBuffers[c];
      fOutBuffers[c] = grown[static_cast<std::size_t>(c)].release();
    }
    fOutBufferFrames = frames;
  } catch (const std::bad_alloc&) {
    // The current buffers stay; nothing but the piece size changes.
  }
}

// ---------------------------------------------------------------------------
// Programs: there is one, number 0.

void Vardo::setProgram(VstInt32 program) {
  if (program == 0) {
    curProgram = 0;
    return;
  }
  std::fprintf(stderr, "*** Vardo vsti: setting program to %d is OUT OF RANGE\n",
               static_cast<int>(program));
}

void Vardo::getProgramName(char* name) {
  if (name != nullptr) copyProgramName(name, fProgramName);
}

void Vardo::setProgramName(char* name) {
  if (name != nullptr) copyProgramName(fProgramName, name);
}

bool Vardo::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
  if (index > 0 || text == nullptr) return false;
  copyProgramName(text, fProgramName);
  return true;
}

VstInt32 Vardo::getMidiProgramName(VstInt32, MidiProgramName* program) {
  if (program == nullptr || program->thisProgramIndex != 0) return 0;
  copyProgramName(program->name, fProgramName);
  program->midiProgram = 0;
  program->midiBankMsb = -1;
  program->midiBankLsb = -1;
  program->reserved = 0;
  program->parentCategoryIndex = -1;
  program->flags = 0;
  return 1;  // the number of MIDI programs
}

VstInt32 Vardo::getCurrentMidiProgram(VstInt32 channel, MidiProgramName* program) {
  if (channel < 0 || channel >= kMidiChannels || program == nullptr) return -1;
  program->thisProgramIndex = 0;
  getMidiProgramName(channel, program);
  return 0;
}

VstInt32 Vardo::getMidiProgramCategory(VstInt32, MidiProgramCategory* category) {
  if (category == nullptr) return 0;
  static constexpr char kCategoryName[28] = "Vardo Patch";
  std::memcpy(category->name, kCategoryName, sizeof kCategoryName);
  category->parentCategoryIndex = -1;
  category->flags = 0;
  return 1;
}
