// A VstEvents record built from MIDI messages, with room for all of them.
#pragma once

#include <initializer_list>
#include <vector>

#include "vst2.h"

struct Midi {
  int delta, status, data1, data2;
};

class EventList {
 public:
  EventList(std::initializer_list<Midi> messages) : EventList(std::vector<Midi>(messages)) {}
  explicit EventList(const std::vector<Midi>& messages) : fMidi(messages.size()) {
    fRecord.assign(sizeof(VstEvents) + messages.size() * sizeof(VstEvent*), 0);
    auto* events = reinterpret_cast<VstEvents*>(fRecord.data());
    events->numEvents = static_cast<VstInt32>(messages.size());
    VstEvent** slots = events->events;  // declared with two, really numEvents
    std::size_t i = 0;
    for (const Midi& m : messages) {
      VstMidiEvent& e = fMidi[i];
      e.type = kVstMidiType;
      e.byteSize = sizeof(VstMidiEvent);
      e.deltaFrames = m.delta;
      e.midiData[0] = static_cast<char>(m.status);
      e.midiData[1] = static_cast<char>(m.data1);
      e.midiData[2] = static_cast<char>(m.data2);
      slots[i++] = reinterpret_cast<VstEvent*>(&e);
    }
  }
  VstEvents* record() { return reinterpret_cast<VstEvents*>(fRecord.data()); }

 private:
  std::vector<VstMidiEvent> fMidi;
  std::vector<unsigned char> fRecord;
};
