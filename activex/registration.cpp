// DllRegisterServer / DllUnregisterServer: the type library and the control's keys under
// HKEY_CLASSES_ROOT. %MODULE% is the module's own path.
//   TOVAK.ZELB.1          "ZELB Class"; CLSID
//   TOVAK.ZELB            "ZELB Class"; CLSID; CurVer = TOVAK.ZELB.1
//   CLSID\{E2F2FDAB-...}  "ZELB-accessible Class" (removed and written anew on registration;
//                         CLSID itself is never removed); ProgID, VersionIndependentProgID,
//                         Programmable, InprocServer32 (ThreadingModel Apartment), Control,
//                         Insertable, ToolboxBitmap32 "%MODULE%, 101", MiscStatus "0" with 1 =
//                         "131473", TypeLib, Version "1.0"
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "activex/control.h"

namespace quilta::activex {
namespace {

constexpr wchar_t kClsid[] = L"{E2F2FDAB-089C-4512-BA8B-DC725FED3640}";
constexpr wchar_t kLibid[] = L"{B65DBDDC-D46C-4AF0-90FD-2BE777BA9232}";
constexpr wchar_t kProgId[] = L"TOVAK.ZELB.1";
constexpr wchar_t kIndependentProgId[] = L"TOVAK.ZELB";
constexpr wchar_t kClassName[] = L"ZELB Class";
constexpr wchar_t kClsidName[] = L"ZELB-accessible Class";

// One key with its default value (null: none) and at most one named value.
struct KeyRow {
  std::wstring path;
  const wchar_t* defaultValue;
  const wchar_t* valueName = nullptr;
  std::wstring value = {};
};

bool WriteKey(const KeyRow& row) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, row.path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  auto set = [&](const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  };
  bool ok = true;
  if (row.defaultValue) ok = set(nullptr, row.defaultValue) && ok;
  if (row.valueName) ok = set(row.valueName, row.value) && ok;
  RegCloseKey(key);
  return ok;
}

void RemoveTree(const std::wstring& path) { RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str()); }

bool ModulePath(std::wstring* path) {
  wchar_t buf[MAX_PATH];
  const DWORD n = GetModuleFileNameW(ModuleHandle(), buf, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  path->assign(buf, n);
  return true;
}

}  // namespace
}  // namespace quilta::activex

using namespace quilta::activex;

extern "C" {

STDAPI DllRegisterServer() {
  std::wstring module;
  if (!ModulePath(&module)) return SELFREG_E_CLASS;
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLibEx(module.c_str(), REGKIND_REGISTER, &lib))) return SELFREG_E_TYPELIB;
  lib->Release();

  const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsid;
  RemoveTree(clsidKey);  // ForceRemove
  const KeyRow rows[] = {
      {kProgId, kClassName},
      {std::wstring(kProgId) + L"\\CLSID", kClsid},
      {kIndependentProgId, kClassName},
      {std::wstring(kIndependentProgId) + L"\\CLSID", kClsid},
      {std::wstring(kIndependentProgId) + L"\\CurVer", kProgId},
      {clsidKey, kClsidName},
      {clsidKey + L"\\ProgID", kProgId},
      {clsidKey + L"\\VersionIndependentProgID", kIndependentProgId},
      {clsidKey + L"\\Programmable", nullptr},
      {clsidKey + L"\\InprocServer32", module.c_str(), L"ThreadingModel", L"Apartment"},
      {clsidKey + L"\\Control", nullptr},
      {clsidKey + L"\\Insertable", nullptr},
      {clsidKey + L"\\ToolboxBitmap32", nullptr},
      {clsidKey + L"\\MiscStatus", L"0"},
      {clsidKey + L"\\MiscStatus\\1", L"131473"},
      {clsidKey + L"\\TypeLib", kLibid},
      {clsidKey + L"\\Version", L"1.0"},
  };
  const std::wstring toolbox = module + L", 101";
  for (const KeyRow& row : rows) {
    const bool isToolbox = row.path == clsidKey + L"\\ToolboxBitmap32";
    const bool ok = isToolbox ? WriteKey({row.path, toolbox.c_str()}) : WriteKey(row);
    if (!ok) return SELFREG_E_CLASS;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  RemoveTree(kProgId);
  RemoveTree(kIndependentProgId);
  RemoveTree(std::wstring(L"CLSID\\") + kClsid);
  GUID libid;
  if (SUCCEEDED(CLSIDFromString(const_cast<LPOLESTR>(kLibid), &libid))) {
    UnRegisterTypeLib(libid, 1, 0, LANG_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  }
  return S_OK;
}

}  // extern "C"
