#include "measurement_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

namespace vardo::measure {

namespace {
// The host being opened on this thread: calls made from inside VSTPluginMain
// come before the record carries the host's pointer in its user field.
thread_local MeasurementHost* tOpening = nullptr;
}  // namespace

MeasurementHost::MeasurementHost(std::string path) : fPath(std::move(path)) {}

MeasurementHost::~MeasurementHost() {
  if (fEffect) close();
  if (fLibrary) dlclose(fLibrary);
}

bool MeasurementHost::load() {
  if (fLibrary) return true;
  fLibrary = dlopen(fPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!fLibrary) {
    const char* why = dlerror();
    fError = std::string("cannot load ") + fPath + ": " + (why ? why : "unknown error");
    return false;
  }
  return true;
}

AEffect* MeasurementHost::open(VstIntPtr versionAnswer) {
  if (fEffect) return fEffect;
  if (!load()) return nullptr;
  auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(fLibrary, "VSTPluginMain"));
  if (!entry) {
    fError = "no VSTPluginMain in " + fPath;
    return nullptr;
  }
  fVersionAnswer = versionAnswer;
  tOpening = this;
  fEffect = entry(&MeasurementHost::callback);
  tOpening = nullptr;
  if (!fEffect) {
    fError = "VSTPluginMain returned null";
    return nullptr;
  }
  fEffect->user = this;
  return fEffect;
}

void MeasurementHost::startup(float sampleRate, VstInt32 blockSize) {
  dispatch(effOpen);
  dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
  dispatch(effSetBlockSize, 0, blockSize);
  dispatch(effMainsChanged, 0, 1);
}

VstIntPtr MeasurementHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                             void* ptr, float opt) {
  (void)ptr;
  MeasurementHost* host = effect && effect->user ? static_cast<MeasurementHost*>(effect->user) : tOpening;
  return host ? host->answer(effect, opcode, index, value, opt) : 0;
}

VstIntPtr MeasurementHost::answer(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                           float opt) {
  std::lock_guard<std::mutex> lock(fMutex);
  fCalls.push_back(HostCall{opcode, index, value, opt, effect != nullptr});
  if (opcode == audioMasterVersion) return fVersionAnswer;
  const auto found = fAnswers.find(opcode);
  return found == fAnswers.end() ? 0 : found->second;
}

VstIntPtr MeasurementHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
  return fEffect ? fEffect->dispatcher(fEffect, opcode, index, value, ptr, opt) : 0;
}

void MeasurementHost::setParameter(VstInt32 index, float value) {
  if (fEffect) fEffect->setParameter(fEffect, index, value);
}

float MeasurementHost::getParameter(VstInt32 index) {
  return fEffect ? fEffect->getParameter(fEffect, index) : 0.0f;
}

std::string MeasurementHost::textOf(VstInt32 opcode, VstInt32 index) {
  char text[256];
  std::memset(text, 0, sizeof text);
  dispatch(opcode, index, 0, text);
  text[sizeof text - 1] = 0;
  return text;
}

std::string MeasurementHost::parameterName(VstInt32 index) { return textOf(effGetParamName, index); }
std::string MeasurementHost::parameterDisplay(VstInt32 index) {
  return textOf(effGetParamDisplay, index);
}
std::string MeasurementHost::parameterLabel(VstInt32 index) { return textOf(effGetParamLabel, index); }

void MeasurementHost::process(float** inputs, float** outputs, VstInt32 frames) {
  if (fEffect) fEffect->processReplacing(fEffect, inputs, outputs, frames);
}

void MeasurementHost::processMono(const std::vector<float>& input, int blockSize,
                           std::vector<float>& out0, std::vector<float>& out1) {
  out0.assign(input.size(), 0.0f);
  out1.assign(input.size(), 0.0f);
  if (blockSize < 1) blockSize = 1;
  std::vector<float> in0(static_cast<std::size_t>(blockSize));
  std::vector<float> in1(static_cast<std::size_t>(blockSize), 0.0f);
  for (std::size_t start = 0; start < input.size(); start += static_cast<std::size_t>(blockSize)) {
    const std::size_t n = std::min(input.size() - start, static_cast<std::size_t>(blockSize));
    std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(start), n, in0.begin());
    float* inputs[2] = {in0.data(), in1.data()};
    float* outputs[2] = {out0.data() + start, out1.data() + start};
    process(inputs, outputs, static_cast<VstInt32>(n));
  }
}

VstIntPtr MeasurementHost::close() {
  if (!fEffect) return 0;
  const VstIntPtr answer = fEffect->dispatcher(fEffect, effClose, 0, 0, nullptr, 0.0f);
  fEffect = nullptr;
  return answer;
}

void MeasurementHost::setAnswer(VstInt32 opcode, VstIntPtr answer) {
  std::lock_guard<std::mutex> lock(fMutex);
  fAnswers[opcode] = answer;
}

std::vector<HostCall> MeasurementHost::calls() const {
  std::lock_guard<std::mutex> lock(fMutex);
  return fCalls;
}

int MeasurementHost::countCalls(VstInt32 opcode) const {
  std::lock_guard<std::mutex> lock(fMutex);
  return static_cast<int>(std::count_if(fCalls.begin(), fCalls.end(),
                                        [&](const HostCall& c) { return c.opcode == opcode; }));
}

void MeasurementHost::clearCalls() {
  std::lock_guard<std::mutex> lock(fMutex);
  fCalls.clear();
}

}  // namespace vardo::measure
