// The in-process COM server: DllMain, the class factory of CZELB and the exports
// DllGetClassObject and DllCanUnloadNow (registration: activex/registration.cpp).
//
// The module stays loaded once COM has loaded it (DllCanUnloadNow answers S_FALSE): the one
// core object, its PC/SC context and the card connection are process-wide and must outlive
// every control, so a page that connected the card finds it connected after its controls
// were released.
#include <windows.h>

#include <atomic>
#include <string>

#include "activex/control.h"
#include "core/script.h"
#include "platform/win32/module.h"

namespace quilta::activex {
namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};

class ClassFactory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // static object
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    // The core exists before any page touches it, with the dialogs the card engine runs.
    StartScriptLayer();
    auto* control = new (std::nothrow) CZELB();
    if (control == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = control->QueryInterface(riid, ppv);
    control->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      ModuleAddRef();
    else
      ModuleRelease();
    return S_OK;
  }
};

ClassFactory g_factory;

ITypeLib* LoadOwnTypeLib() {
  const std::wstring path = platform::win32::ModulePath(g_module);
  if (path.empty()) return nullptr;
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib))) return nullptr;
  return lib;
}

ITypeInfo* TypeInfoOf(REFGUID guid) {
  static ITypeLib* lib = LoadOwnTypeLib();  // kept for the life of the module
  if (lib == nullptr) return nullptr;
  ITypeInfo* info = nullptr;
  if (FAILED(lib->GetTypeInfoOfGuid(guid, &info))) return nullptr;
  return info;
}

}  // namespace

void ModuleAddRef() { ++g_objects; }
void ModuleRelease() { --g_objects; }
HMODULE ModuleHandle() { return g_module; }
ITypeInfo* ZelbTypeInfo() { return TypeInfoOf(IID_IZELB); }
ITypeInfo* CoclassTypeInfo() { return TypeInfoOf(CLSID_CZELB); }

}  // namespace quilta::activex

using namespace quilta::activex;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (clsid != CLSID_CZELB) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() { return S_FALSE; }

}  // extern "C"
