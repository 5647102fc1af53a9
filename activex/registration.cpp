// DllRegisterServer / DllUnregisterServer: the type library (RegisterTypeLib) and the control's
// keys under HKEY_CLASSES_ROOT, the Class rows of registry.def (the Windows package writes the
// same rows from the same table). The CLSID key is removed and written anew on registration
// (CLSID itself is never removed); unregistration removes both ProgIDs' keys, the CLSID key
// and the type library's registration.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "activex/control.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"

namespace quilta::activex {
namespace {

// The identities, kId_<NAME>.
#define QUILTA_COM_ID(name, text) constexpr wchar_t kId_##name[] = L"" text;
#include "activex/registry.def"

enum class Part { kClass, kTypeLib };

// One registry row: the key, and a value (none: the key alone) under a name (none: the
// default value). Texts hold %NAME% placeholders.
struct Row {
  Part part;
  const wchar_t* key;
  const wchar_t* name;
  const wchar_t* value;
};

constexpr Row kRows[] = {
#define QUILTA_COM_KEY(part, key, value) {Part::k##part, L"" key, nullptr, L"" value},
#define QUILTA_COM_EMPTY_KEY(part, key) {Part::k##part, L"" key, nullptr, nullptr},
#define QUILTA_COM_VALUE(part, key, name, value) {Part::k##part, L"" key, L"" name, L"" value},
#include "activex/registry.def"
};

struct Identity {
  const wchar_t* placeholder;
  const wchar_t* text;
};

constexpr Identity kIdentities[] = {
#define QUILTA_COM_ID(name, text) {L"%" #name L"%", kId_##name},
#include "activex/registry.def"
};

// The text with its placeholders replaced: the identities and %MODULE%.
std::wstring Expand(const wchar_t* text, const std::wstring& module) {
  std::wstring out = text;
  for (size_t at = out.find(L'%'); at != std::wstring::npos; at = out.find(L'%', at)) {
    const size_t end = out.find(L'%', at + 1);
    if (end == std::wstring::npos) break;
    const std::wstring placeholder = out.substr(at, end + 1 - at);
    std::wstring with = placeholder;
    if (placeholder == L"%MODULE%") with = module;
    for (const Identity& id : kIdentities) {
      if (placeholder == id.placeholder) with = id.text;
    }
    out.replace(at, placeholder.size(), with);
    at += with.size();
  }
  return out;
}

bool WriteRow(const Row& row, const std::wstring& module) {
  namespace win32 = platform::win32;
  const std::wstring key = Expand(row.key, module);
  const LONG rc = row.value ? win32::WriteRegistryText(HKEY_CLASSES_ROOT, key, 0, row.name,
                                                       Expand(row.value, module))
                            : win32::WriteRegistryKey(HKEY_CLASSES_ROOT, key, 0);
  return rc == ERROR_SUCCESS;
}

void RemoveTree(const std::wstring& path) { RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str()); }

}  // namespace
}  // namespace quilta::activex

using namespace quilta::activex;

extern "C" {

STDAPI DllRegisterServer() {
  const std::wstring module = quilta::platform::win32::ModulePath(ModuleHandle());
  if (module.empty()) return SELFREG_E_CLASS;
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLibEx(module.c_str(), REGKIND_REGISTER, &lib))) return SELFREG_E_TYPELIB;
  lib->Release();

  RemoveTree(std::wstring(L"CLSID\\") + kId_CLSID);  // ForceRemove
  for (const Row& row : kRows) {
    if (row.part == Part::kClass && !WriteRow(row, module)) return SELFREG_E_CLASS;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  RemoveTree(kId_PROGID);
  RemoveTree(kId_INDEPENDENT_PROGID);
  RemoveTree(std::wstring(L"CLSID\\") + kId_CLSID);
  GUID libid;
  if (SUCCEEDED(CLSIDFromString(const_cast<LPOLESTR>(kId_LIBID), &libid))) {
    UnRegisterTypeLib(libid, 1, 0, LANG_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  }
  return S_OK;
}

}  // extern "C"
