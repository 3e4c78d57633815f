// The library's entry: the one exported function a host calls to make an
// instance, and on Windows the load notification.
#include <memory>
#include <new>

#include "mydsp.h"
#include "vardo.h"
#include "vst_ui.h"

#if defined(_WIN32)
#include <windows.h>
#define VARDO_EXPORT extern "C" __declspec(dllexport)
#else
#define VARDO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  // No exception may reach the host: an instance that cannot be made is null.
  try {
    std::unique_ptr<mydsp> mainDsp(new mydsp());
    std::unique_ptr<vstUI> table(new vstUI());
    mainDsp->declareControls(table.get());
    // The effect takes the DSP and the table once it is complete; if its
    // construction fails they are still ours and are released here.
    auto* effect = new Vardo(audioMaster, mainDsp.get(), table.get());
    mainDsp.release();
    table.release();
    return effect;
  } catch (...) {
    return nullptr;
  }
}

VARDO_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
  if (!audioMaster) return nullptr;
  if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  AudioEffect* effect = createEffectInstance(audioMaster);
  return effect ? effect->getAeffect() : nullptr;
}

#if defined(_WIN32)
// The module handle of this library; nothing else in the plug-in needs it.
HINSTANCE gModuleHandle = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reason;
  (void)reserved;
  gModuleHandle = instance;
  return TRUE;
}
#endif
