#include "plugin_host.h"

#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace vardo::tools {

namespace {

constexpr VstIntPtr kHostVstVersion = 2400;
constexpr VstIntPtr kProcessLevelOffline = 4;
constexpr VstIntPtr kLanguageEnglish = 1;

// Plug-ins write texts with no bound they are told about; give them far more
// room than any of the interface's nominal lengths.
constexpr std::size_t kTextBufferSize = 512;

void copyText(void* ptr, const char* text, std::size_t capacity) {
  if (ptr == nullptr) return;
  std::strncpy(static_cast<char*>(ptr), text, capacity - 1);
  static_cast<char*>(ptr)[capacity - 1] = '\0';
}

#ifdef _WIN32
std::string lastSystemError() {
  const DWORD code = GetLastError();
  char buffer[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                 buffer, sizeof buffer, nullptr);
  std::string text = buffer;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
    text.pop_back();
  return text;
}
#endif

}  // namespace

std::shared_ptr<PluginLibrary> PluginLibrary::open(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw ToolError(ExitStatus::plugin, "plug-in library '" + path +
                                            "' does not exist; name the plug-in with --plugin PATH");
  // The system loader looks a bare file name up in its own search path; on
  // the command line it means the file in the working directory.
  std::string loadPath = path;
  if (std::filesystem::path(path).is_relative())
    loadPath = std::filesystem::absolute(path, ec).string();
  if (ec) loadPath = path;
#ifdef _WIN32
  HMODULE handle = LoadLibraryA(loadPath.c_str());
  if (handle == nullptr)
    throw ToolError(ExitStatus::plugin, "cannot load plug-in library '" + path + "': " +
                                            lastSystemError());
  FARPROC symbol = GetProcAddress(handle, "VSTPluginMain");
  if (symbol == nullptr) symbol = GetProcAddress(handle, "main");
  if (symbol == nullptr) {
    FreeLibrary(handle);
    throw ToolError(ExitStatus::plugin,
                    "'" + path + "' is not a VST 2.4 plug-in: it exports no VSTPluginMain");
  }
  auto entry = reinterpret_cast<VstPluginMainProc>(reinterpret_cast<void*>(symbol));
  return std::shared_ptr<PluginLibrary>(new PluginLibrary(path, handle, entry));
#else
  void* handle = dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    throw ToolError(ExitStatus::plugin, "'" + path + "' is not a VST 2.4 plug-in library: " +
                                            (why != nullptr ? why : "it cannot be loaded"));
  }
  void* symbol = dlsym(handle, "VSTPluginMain");
  if (symbol == nullptr) symbol = dlsym(handle, "main");  // older plug-ins' entry name
  if (symbol == nullptr) {
    dlclose(handle);
    throw ToolError(ExitStatus::plugin,
                    "'" + path + "' is not a VST 2.4 plug-in: it exports no VSTPluginMain");
  }
  VstPluginMainProc entry;
  static_assert(sizeof entry == sizeof symbol);
  std::memcpy(&entry, &symbol, sizeof entry);
  return std::shared_ptr<PluginLibrary>(new PluginLibrary(path, handle, entry));
#endif
}

PluginLibrary::~PluginLibrary() {
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(fHandle));
#else
  dlclose(fHandle);
#endif
}

std::string defaultPluginPath() {
  namespace fs = std::filesystem;
  fs::path exe;
#ifdef _WIN32
  wchar_t buffer[32768];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
  if (length > 0 && length < 32768) exe = fs::path(std::wstring(buffer, length));
  const char* library = "vardo.dll";
#else
  std::error_code ec;
  exe = fs::read_symlink("/proc/self/exe", ec);
  const char* library = "vardo.so";
#endif
  if (exe.empty()) return (fs::path("..") / "plugin" / library).string();
  // Installed, the plug-in is PREFIX/lib/vst beside PREFIX/bin; in the build
  // tree it is plugin/ beside tools/.
  const fs::path base = exe.parent_path().parent_path();
  const fs::path installed = (base / "lib" / "vst" / library).lexically_normal();
  std::error_code found;
  if (fs::is_regular_file(installed, found)) return installed.string();
  return (base / "plugin" / library).lexically_normal().string();
}

std::string manualPath() {
  namespace fs = std::filesystem;
  std::error_code ec;
#ifndef _WIN32
  // Installed, the manual is PREFIX/share/doc/vardo beside PREFIX/bin.
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!exe.empty()) {
    const fs::path installed =
        (exe.parent_path().parent_path() / "share" / "doc" / "vardo" / "manual.md").lexically_normal();
    if (fs::is_regular_file(installed, ec)) return installed.string();
  }
#endif
  return "share/doc/vardo/manual.md under the prefix vardo is installed in (from the Debian "
         "package, /usr/share/doc/vardo/manual.md)";
}

PluginInstance::PluginInstance(std::shared_ptr<PluginLibrary> library)
    : fLibrary(std::move(library)) {
  fEffect = fLibrary->entry()(&PluginInstance::hostCallback);
  const std::string& path = fLibrary->path();
  if (fEffect == nullptr)
    throw ToolError(ExitStatus::plugin,
                    "'" + path + "' is not a VST 2.4 plug-in: its entry made no effect");
  if (fEffect->magic != kEffectMagic) {
    fEffect = nullptr;  // not a record we may call into
    throw ToolError(ExitStatus::plugin,
                    "'" + path + "' is not a VST 2.4 plug-in: its effect record has no 'VstP' magic");
  }
  if (fEffect->dispatcher == nullptr ||
      (fEffect->flags & effFlagsCanReplacing) == 0 || fEffect->processReplacing == nullptr) {
    AEffect* effect = fEffect;
    fEffect = nullptr;
    if (effect->dispatcher != nullptr) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    throw ToolError(ExitStatus::plugin, "'" + path +
                                            "' is not a usable VST 2.4 effect: it offers no "
                                            "replacing audio processing");
  }
  // resvd1 belongs to the host: it leads the callback back to this instance.
  fEffect->resvd1 = reinterpret_cast<VstIntPtr>(this);
  dispatch(effOpen);
}

PluginInstance::~PluginInstance() {
  if (fEffect == nullptr) return;
  if (fRunning) suspend();
  dispatch(effClose);
}

VstIntPtr PluginInstance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) const {
  return fEffect->dispatcher(fEffect, opcode, index, value, ptr, opt);
}

void PluginInstance::configure(double sampleRate, int blockSize) {
  fSampleRate = sampleRate;
  fBlockSize = blockSize;
  dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  dispatch(effSetBlockSize, 0, blockSize);
}

void PluginInstance::resume() {
  dispatch(effMainsChanged, 0, 1);
  dispatch(effStartProcess);
  fRunning = true;
}

void PluginInstance::suspend() {
  dispatch(effStopProcess);
  dispatch(effMainsChanged, 0, 0);
  fRunning = false;
}

std::string PluginInstance::textQuery(VstInt32 opcode, VstInt32 index) const {
  char text[kTextBufferSize] = {};
  dispatch(opcode, index, 0, text);
  text[kTextBufferSize - 1] = '\0';
  return text;
}

std::string PluginInstance::effectName() const { return textQuery(effGetEffectName, 0); }
std::string PluginInstance::vendorString() const { return textQuery(effGetVendorString, 0); }
std::string PluginInstance::productString() const { return textQuery(effGetProductString, 0); }
std::string PluginInstance::parameterName(int index) const {
  return textQuery(effGetParamName, index);
}
std::string PluginInstance::parameterLabel(int index) const {
  return textQuery(effGetParamLabel, index);
}
std::string PluginInstance::parameterDisplay(int index) const {
  return textQuery(effGetParamDisplay, index);
}

float PluginInstance::parameter(int index) const {
  return fEffect->getParameter != nullptr ? fEffect->getParameter(fEffect, index) : 0.0f;
}

void PluginInstance::setParameter(int index, float normalised) const {
  if (fEffect->setParameter != nullptr) fEffect->setParameter(fEffect, index, normalised);
}

void PluginInstance::processReplacing(float** inputs, float** outputs, int frames) const {
  fEffect->processReplacing(fEffect, inputs, outputs, frames);
}

VstIntPtr PluginInstance::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 /*index*/,
                                       VstIntPtr /*value*/, void* ptr, float /*opt*/) {
  const PluginInstance* self =
      effect != nullptr ? reinterpret_cast<const PluginInstance*>(effect->resvd1) : nullptr;
  switch (opcode) {
    case audioMasterVersion:
      return kHostVstVersion;
    case audioMasterGetSampleRate:
      return self != nullptr ? static_cast<VstIntPtr>(self->fSampleRate) : 0;
    case audioMasterGetBlockSize:
      return self != nullptr ? self->fBlockSize : 0;
    case audioMasterGetCurrentProcessLevel:
      return kProcessLevelOffline;
    case audioMasterGetLanguage:
      return kLanguageEnglish;
    case audioMasterGetVendorString:
      copyText(ptr, "Vardo", kVstMaxVendorStrLen);
      return 1;
    case audioMasterGetProductString:
      copyText(ptr, "vardo command-line renderer", kVstMaxProductStrLen);
      return 1;
    case audioMasterGetVendorVersion:
      return 1;
    case audioMasterWantMidi:
    case audioMasterIOChanged:
      return 1;
    default:
      return 0;  // no time info, no automation recording, no capabilities asked about
  }
}

}  // namespace vardo::tools
