// A small Windows host: loads the plug-in DLL as a Windows DAW would, prints
// its identity one "key=value" line at a time, processes a few blocks and
// closes it. Run under wine by the Linux test suite.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fingerprint.h"
#include "vst2.h"

namespace {

int gWantMidiCalls = 0;
VstIntPtr gWantMidiValue = 0;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr value, void*, float) {
  if (opcode == audioMasterWantMidi) {
    ++gWantMidiCalls;
    gWantMidiValue = value;
  }
  return opcode == audioMasterVersion ? 2400 : 0;
}

VstIntPtr refusingCallback(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

void printPin(AEffect* e, const char* key, VstInt32 opcode, VstInt32 index) {
  VstPinProperties pin;
  std::memset(&pin, 0, sizeof pin);
  const VstIntPtr answer = e->dispatcher(e, opcode, index, 0, &pin, 0.0f);
  if (answer)
    std::printf("%s=%s|%s|%d\n", key, pin.label, pin.shortLabel, static_cast<int>(pin.flags));
  else
    std::printf("%s=none\n", key);
}

long long canDo(AEffect* e, const char* capability) {
  char text[64];
  std::snprintf(text, sizeof text, "%s", capability);
  return static_cast<long long>(e->dispatcher(e, effCanDo, 0, 0, text, 0.0f));
}

void printText(AEffect* e, const char* key, VstInt32 opcode) {
  char text[256];
  std::memset(text, 0, sizeof text);
  const VstIntPtr answer = e->dispatcher(e, opcode, 0, 0, text, 0.0f);
  text[sizeof text - 1] = 0;
  std::printf("%s=%s\n%s_answer=%lld\n", key, text, key, static_cast<long long>(answer));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: vardo_wine_host <plug-in dll>\n");
    return 2;
  }
  HMODULE library = LoadLibraryA(argv[1]);
  if (!library) {
    std::printf("load=failed\n");
    return 1;
  }
  auto entry = reinterpret_cast<VstPluginMainProc>(
      reinterpret_cast<void*>(GetProcAddress(library, "VSTPluginMain")));
  if (!entry) {
    std::printf("entry=missing\n");
    return 1;
  }
  std::printf("refused=%s\n", entry(&refusingCallback) ? "effect" : "null");
  AEffect* e = entry(&hostCallback);
  if (!e) {
    std::printf("effect=null\n");
    return 1;
  }

  std::printf("magic=0x%08x\n", static_cast<unsigned>(e->magic));
  std::printf("uniqueID=0x%08x\n", static_cast<unsigned>(e->uniqueID));
  std::printf("numInputs=%d\nnumOutputs=%d\nnumPrograms=%d\nnumParams=%d\n", e->numInputs,
              e->numOutputs, e->numPrograms, e->numParams);
  std::printf("flags=0x%x\nversion=%d\ninitialDelay=%d\n", static_cast<unsigned>(e->flags),
              e->version, e->initialDelay);
  printText(e, "effectName", effGetEffectName);
  printText(e, "vendor", effGetVendorString);
  printText(e, "product", effGetProductString);
  std::printf("vendorVersion=%lld\n",
              static_cast<long long>(e->dispatcher(e, effGetVendorVersion, 0, 0, nullptr, 0)));
  std::printf("vstVersion=%lld\n",
              static_cast<long long>(e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0)));
  std::printf("identify=0x%llx\n", static_cast<unsigned long long>(
                                       e->dispatcher(e, effIdentify, 0, 0, nullptr, 0)));
  std::printf("canDoReceiveVstEvents=%lld\n", canDo(e, "receiveVstEvents"));
  std::printf("canDoReceiveVstMidiEvent=%lld\n", canDo(e, "receiveVstMidiEvent"));
  std::printf("canDoMidiProgramNames=%lld\n", canDo(e, "midiProgramNames"));
  std::printf("canDoBypass=%lld\n", canDo(e, "bypass"));
  printPin(e, "inputPin0", effGetInputProperties, 0);
  printPin(e, "inputPin1", effGetInputProperties, 1);
  printPin(e, "inputPin2", effGetInputProperties, 2);
  printPin(e, "outputPin0", effGetOutputProperties, 0);
  printPin(e, "outputPin1", effGetOutputProperties, 1);
  printPin(e, "outputPin2", effGetOutputProperties, 2);
  std::printf("opcode80=%lld\n",
              static_cast<long long>(e->dispatcher(e, 80, 0, 0, nullptr, 0.0f)));

  // A few blocks of a 1 kHz tone at 48 kHz, then silence.
  const int frames = 512;
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  e->dispatcher(e, effSetBlockSize, 0, frames, nullptr, 0.0f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  std::printf("wantMidi=%d,%lld\n", gWantMidiCalls, static_cast<long long>(gWantMidiValue));
  std::vector<float> in0(frames), in1(frames, 0.0f), out0(frames), out1(frames);
  bool finite = true;
  long long phase = 0;
  for (int block = 0; block < 16; ++block) {
    for (int i = 0; i < frames; ++i, ++phase)
      in0[static_cast<std::size_t>(i)] =
          block < 12 ? static_cast<float>(0.5 * std::sin(6.283185307179586 * 1000.0 *
                                                         static_cast<double>(phase) / 48000.0))
                     : 0.0f;
    float* inputs[2] = {in0.data(), in1.data()};
    float* outputs[2] = {out0.data(), out1.data()};
    e->processReplacing(e, inputs, outputs, frames);
    for (int i = 0; i < frames; ++i)
      if (!std::isfinite(out0[static_cast<std::size_t>(i)]) ||
          !std::isfinite(out1[static_cast<std::size_t>(i)]))
        finite = false;
  }
  std::printf("blocks=16\nfinite=%d\n", finite ? 1 : 0);

  // The case the Linux golden test fingerprints, on a fresh instance: the
  // DLL must give the Linux build's bits.
  {
    AEffect* f = entry(&hostCallback);
    if (!f) {
      std::printf("effect=null\n");
      return 1;
    }
    namespace fp = vardo::fingerprint;
    f->dispatcher(f, effOpen, 0, 0, nullptr, 0.0f);
    f->dispatcher(f, effSetSampleRate, 0, 0, nullptr, static_cast<float>(fp::kSharedRate));
    f->dispatcher(f, effSetBlockSize, 0, fp::kSharedBlock, nullptr, 0.0f);
    f->dispatcher(f, effMainsChanged, 0, 1, nullptr, 0.0f);
    const std::vector<float> input = fp::sharedInput();
    std::vector<float> left(input.size()), right(input.size());
    std::vector<float> block(fp::kSharedBlock), silent(fp::kSharedBlock, 0.0f);
    for (std::size_t start = 0; start < input.size(); start += block.size()) {
      const std::size_t n = std::min(block.size(), input.size() - start);
      std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(start), n, block.begin());
      float* inputs[2] = {block.data(), silent.data()};
      float* outputs[2] = {left.data() + start, right.data() + start};
      f->processReplacing(f, inputs, outputs, static_cast<VstInt32>(n));
    }
    const std::uint64_t hash = fp::fnv1a(fp::fnv1a(fp::kStart, left), right);
    std::printf("linuxBits=%d\n", hash == fp::kSharedExpected ? 1 : 0);
    if (hash != fp::kSharedExpected)
      std::printf("outputHash=0x%016llx\n", static_cast<unsigned long long>(hash));
    f->dispatcher(f, effClose, 0, 0, nullptr, 0.0f);
  }
  e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
  std::printf("close=%lld\n",
              static_cast<long long>(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f)));
  FreeLibrary(library);
  return 0;
}
