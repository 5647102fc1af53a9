#include "nmhost/registration_win32.h"

#include <windows.h>
#include <aclapi.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "nmhost/json.h"
#include "nmhost/manifest_templates.h"
#include "platform/win32/files.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"
#include "platform/win32/text.h"

namespace quilta::nmhost {
namespace {

namespace win32 = platform::win32;
using win32::FolderOf;
using win32::Utf8;
using win32::Wide;

struct Browser {
  const char* name;
  const wchar_t* keyBase;  // below ROOT, ending in a backslash
  bool chromium;           // takes the Chromium manifest (allowed_origins)
};

constexpr Browser kBrowsers[] = {
    {"Chrome", L"Software\\Google\\Chrome\\NativeMessagingHosts\\", true},
    {"Edge", L"Software\\Microsoft\\Edge\\NativeMessagingHosts\\", true},
    {"Firefox", L"Software\\Mozilla\\NativeMessagingHosts\\", false},
};

// The 64-bit view of HKLM also from the 32-bit program (HKCU\Software is one for both).
constexpr REGSAM kView = KEY_WOW64_64KEY;
// A manifest is read whole up to this size (ours are a few hundred bytes).
constexpr size_t kMaxManifest = 1 << 20;

std::wstring ManifestPath(const std::wstring& program, bool chromium) {
  return FolderOf(program) + L"\\" + Wide(manifests::kHostName) +
         (chromium ? L"-chromium.json" : L"-firefox.json");
}

// The manifest's text with "path" set to the program.
std::string ManifestText(const std::wstring& program, bool chromium) {
  std::string text = chromium ? manifests::kChromium : manifests::kFirefox;
  const std::string placeholder = manifests::kPathPlaceholder;
  const size_t at = text.find(placeholder);
  if (at != std::string::npos)
    text.replace(at, placeholder.size(), WriteJson(Json::String(Utf8(program))));
  return text;
}

std::string RootName(HKEY root) {
  return root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\";
}

std::wstring KeyPath(const Browser& b) { return std::wstring(b.keyBase) + Wide(manifests::kHostName); }

std::string Failure(LONG code) {
  std::string text = "error " + std::to_string(code);
  if (code == ERROR_ACCESS_DENIED) text += " (access denied: run it as an administrator)";
  return text;
}

// The key's default value, when the key exists and holds a text.
std::optional<std::wstring> ReadDefault(HKEY root, const std::wstring& path) {
  return win32::ReadRegistryText(root, path, kView);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Everyone, Authenticated Users, Users, INTERACTIVE.
bool NonAdministratorGroup(PSID sid) {
  for (const WELL_KNOWN_SID_TYPE group :
       {WinWorldSid, WinAuthenticatedUserSid, WinBuiltinUsersSid, WinInteractiveSid}) {
    if (IsWellKnownSid(sid, group)) return true;
  }
  return false;
}

// The registration for every user is refused (with the line saying why) when users who are
// not administrators may change the program's folder.
bool MachineFolderRefused(const std::wstring& program) {
  std::wstring folder = FolderOf(program);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';  // a drive's root
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD rc = GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT,
                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                         nullptr, nullptr, nullptr, nullptr, &sd);
  if (rc != ERROR_SUCCESS) {
    std::fprintf(
        stderr,
        "cannot register for every user: the permissions of %s cannot be read (error %lu)\n",
        Utf8(folder).c_str(), static_cast<unsigned long>(rc));
    return true;
  }
  const bool open = FolderOpenToNonAdministrators(sd);
  LocalFree(sd);
  if (!open) return false;
  const std::wstring programFiles = win32::EnvironmentText(L"ProgramFiles");
  const std::wstring where = programFiles.empty() ? L"C:\\Program Files" : programFiles;
  std::fprintf(stderr,
               "cannot register for every user: users who are not administrators may change %s; "
               "install the program in a folder only administrators can change, e.g. under %s, "
               "and register it from there\n",
               Utf8(folder).c_str(), Utf8(where).c_str());
  return true;
}

int Register(HKEY root, const std::wstring& program) {
  int failures = 0;
  for (const bool chromium : {true, false}) {
    const std::wstring manifest = ManifestPath(program, chromium);
    const std::string text = ManifestText(program, chromium);
    // A manifest already right is left as it is: a user without the right to write the
    // program's folder can then register for himself after a machine install.
    if (win32::ReadFileText(manifest, kMaxManifest) == text) {
      std::printf("manifest %s (as it was)\n", Utf8(manifest).c_str());
    } else if (win32::WriteFileText(manifest, text)) {
      std::printf("manifest %s\n", Utf8(manifest).c_str());
    } else {
      std::fprintf(stderr, "cannot write %s: %s\n", Utf8(manifest).c_str(),
                   Failure(static_cast<LONG>(GetLastError())).c_str());
      ++failures;
    }
  }
  for (const Browser& b : kBrowsers) {
    const std::wstring path = KeyPath(b);
    const std::wstring manifest = ManifestPath(program, b.chromium);
    const std::string where = RootName(root) + Utf8(path);
    const LONG rc = win32::WriteRegistryText(root, path, kView, nullptr, manifest);
    if (rc == ERROR_SUCCESS) {
      std::printf("%s: %s = %s\n", b.name, where.c_str(), Utf8(manifest).c_str());
    } else {
      std::fprintf(stderr, "%s: cannot write %s: %s\n", b.name, where.c_str(), Failure(rc).c_str());
      ++failures;
    }
  }
  return failures;
}

int Unregister(HKEY root, const std::wstring& program) {
  int failures = 0;
  for (const Browser& b : kBrowsers) {
    const std::wstring path = KeyPath(b);
    const std::string where = RootName(root) + Utf8(path);
    const std::optional<std::wstring> value = ReadDefault(root, path);
    if (!value) {
      std::printf("%s: %s not registered\n", b.name, where.c_str());
      continue;
    }
    if (!SamePath(*value, ManifestPath(program, b.chromium))) {
      std::printf("%s: %s left: it names %s\n", b.name, where.c_str(), Utf8(*value).c_str());
      continue;
    }
    const LONG rc = RegDeleteKeyExW(root, path.c_str(), kView, 0);
    if (rc == ERROR_SUCCESS) {
      std::printf("%s: %s removed\n", b.name, where.c_str());
    } else {
      std::fprintf(stderr, "%s: cannot remove %s: %s\n", b.name, where.c_str(), Failure(rc).c_str());
      ++failures;
    }
  }
  // The manifests go when no key of either root names them any more.
  for (const bool chromium : {true, false}) {
    const std::wstring manifest = ManifestPath(program, chromium);
    bool named = false;
    for (HKEY r : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      for (const Browser& b : kBrowsers) {
        const std::optional<std::wstring> value = ReadDefault(r, KeyPath(b));
        if (value && SamePath(*value, manifest)) named = true;
      }
    }
    if (named) {
      std::printf("manifest %s kept: still registered\n", Utf8(manifest).c_str());
    } else if (DeleteFileW(manifest.c_str())) {
      std::printf("manifest %s removed\n", Utf8(manifest).c_str());
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
      std::fprintf(stderr, "cannot remove %s: %s\n", Utf8(manifest).c_str(),
                   Failure(static_cast<LONG>(GetLastError())).c_str());
      ++failures;
    }
  }
  return failures;
}

}  // namespace

bool FolderOpenToNonAdministrators(PSECURITY_DESCRIPTOR sd) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(sd, &owner, &defaulted) && owner && NonAdministratorGroup(owner))
    return true;  // the owner may rewrite the DACL
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted)) return true;
  if (!present || dacl == nullptr) return true;
  constexpr ACCESS_MASK kChanges =
      FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER;
  GENERIC_MAPPING files{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                        FILE_ALL_ACCESS};
  ACCESS_MASK given = 0, denied = 0;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return true;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    // Only for the folders below: not this folder, not its files.
    if ((header->AceFlags & INHERIT_ONLY_ACE) && !(header->AceFlags & OBJECT_INHERIT_ACE)) continue;
    const bool allow =
        header->AceType == ACCESS_ALLOWED_ACE_TYPE ||
        header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;  // its condition may hold
    if (!allow && header->AceType != ACCESS_DENIED_ACE_TYPE) continue;
    // The allowed, callback and denied ACEs share the layout up to the SID.
    auto* body = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (!NonAdministratorGroup(&body->SidStart)) continue;
    ACCESS_MASK mask = body->Mask;
    MapGenericMask(&mask, &files);
    if (allow) {
      given |= mask & ~denied;
    } else {
      denied |= mask & ~given;
    }
  }
  return (given & kChanges) != 0;
}

int RunRegistration(bool install, bool machine) {
  const std::wstring program = win32::ModulePath(nullptr);
  if (program.empty()) {
    std::fprintf(stderr, "cannot tell the program's own path\n");
    return 1;
  }
  if (install && machine && MachineFolderRefused(program)) return 1;
  const HKEY root = machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  const int failures = install ? Register(root, program) : Unregister(root, program);
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}

}  // namespace quilta::nmhost
