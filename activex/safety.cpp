// IObjectSafety of the control: a host that asks may script it and initialise it from
// untrusted data. Options only grow during a control's life.
//   Get: the interface must be one the control answers to (else that query's error); for
//     IDispatch supported = 1 (INTERFACESAFE_FOR_UNTRUSTED_CALLER), for the persistence
//     interfaces (IPersistStreamInit, IPersistStorage, IPersistPropertyBag) supported = 2
//     (INTERFACESAFE_FOR_UNTRUSTED_DATA); enabled = the current options & supported; any other
//     interface: both 0 and E_FAIL. Null outputs: nothing is written.
//   Set: mask or enabled 0 -> E_FAIL; the interface must be one the control answers to;
//     options |= mask & enabled; S_OK when the interface's own bit is now set, else E_FAIL.
#include "activex/control.h"

namespace quilta::activex {
namespace {

bool IsPersistence(REFIID riid) {
  return riid == IID_IPersistStreamInit || riid == IID_IPersistStorage ||
         riid == IID_IPersistPropertyBag;
}

}  // namespace

STDMETHODIMP CZELB::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
  IUnknown* unk = nullptr;
  HRESULT hr = QueryInterface(riid, reinterpret_cast<void**>(&unk));
  if (FAILED(hr)) return hr;
  unk->Release();
  if (supported == nullptr || enabled == nullptr) return E_POINTER;
  if (riid == IID_IDispatch) {
    *supported = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
    *enabled = safety_ & INTERFACESAFE_FOR_UNTRUSTED_CALLER;
    return S_OK;
  }
  if (IsPersistence(riid)) {
    *supported = INTERFACESAFE_FOR_UNTRUSTED_DATA;
    *enabled = safety_ & INTERFACESAFE_FOR_UNTRUSTED_DATA;
    return S_OK;
  }
  *supported = 0;
  *enabled = 0;
  return E_FAIL;
}

STDMETHODIMP CZELB::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
  if (mask == 0 || enabled == 0) return E_FAIL;
  IUnknown* unk = nullptr;
  HRESULT hr = QueryInterface(riid, reinterpret_cast<void**>(&unk));
  if (FAILED(hr)) return hr;
  unk->Release();
  safety_ |= mask & enabled;
  if (riid == IID_IDispatch && (safety_ & INTERFACESAFE_FOR_UNTRUSTED_CALLER)) return S_OK;
  if (IsPersistence(riid) && (safety_ & INTERFACESAFE_FOR_UNTRUSTED_DATA)) return S_OK;
  return E_FAIL;
}

}  // namespace quilta::activex
