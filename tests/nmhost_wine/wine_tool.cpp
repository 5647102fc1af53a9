// What the Wine tests of quilta-nmhost.exe (nmhost_wine_test.py) have done on the Windows
// side besides running the host:
//   nmhost_wine_tool.exe post-to-host
//     another program on the desktop: posts to every session window of quilta-nmhost.exe the
//     messages that could end or stall a session (the session's own three, the console
//     event's with CTRL_CLOSE_EVENT, WM_CLOSE, WM_QUIT); prints "posted to N windows"
//   nmhost_wine_tool.exe set-dacl FOLDER SDDL
//     an installer: gives FOLDER the DACL written in SDDL, nothing inherited
//   nmhost_wine_tool.exe folder-acls
//     the host's judgement of its folder (FolderOpenToNonAdministrators) over security
//     descriptors Wine cannot keep on a folder (it keeps a DACL as the Unix mode bits, for
//     the owner and Everyone): rights of Users, Authenticated Users and INTERACTIVE,
//     inherited and denied rights, no DACL. A line per row, "ALL PASSED" when every row held.
// Exit status 0 when done (every row held), 1 otherwise, 2 for a wrong command line.
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "nmhost/registration_win32.h"

#include "../activex/check.h"

namespace {

// The class of the session's message-only window (nmhost/session_win32.cpp).
constexpr wchar_t kSessionWindowClass[] = L"QuiltaNmHostSession";

int PostToHost() {
  const struct {
    UINT msg;
    WPARAM wp;
  } messages[] = {
      {WM_APP + 1, 0}, {WM_APP + 2, CTRL_CLOSE_EVENT}, {WM_APP + 3, 0}, {WM_CLOSE, 0}, {WM_QUIT, 0},
  };
  int windows = 0;
  for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, kSessionWindowClass, nullptr));) {
    for (const auto& m : messages) PostMessageW(w, m.msg, m.wp, 0);
    ++windows;
  }
  std::printf("posted to %d windows\n", windows);
  return windows > 0 ? 0 : 1;
}

int SetDacl(const wchar_t* folder, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) {
    std::printf("not a security descriptor: %ls\n", sddl);
    return 1;
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
  const DWORD rc =
      SetNamedSecurityInfoW(const_cast<wchar_t*>(folder), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, dacl, nullptr);
  LocalFree(sd);
  if (rc != ERROR_SUCCESS) std::printf("SetNamedSecurityInfo %ls: error %lu\n", folder, rc);
  return rc == ERROR_SUCCESS ? 0 : 1;
}

int FolderAcls() {
  // Administrators' and SYSTEM's rights, read and run for the users, as under Program Files.
  const std::wstring admins = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
  const struct {
    const char* what;
    std::wstring sddl;
    bool open;
  } rows[] = {
      {"only Administrators and SYSTEM may change it", admins + L"(A;OICI;0x1200a9;;;AU)", false},
      {"Users may add files", admins + L"(A;;0x2;;;BU)", true},
      {"Authenticated Users may add folders", admins + L"(A;;0x4;;;AU)", true},
      {"INTERACTIVE may delete what it holds", admins + L"(A;;0x40;;;IU)", true},
      {"Everyone may do everything (generic)", admins + L"(A;OICI;GA;;;WD)", true},
      {"Users may write (generic)", admins + L"(A;OICI;GW;;;BU)", true},
      {"Users may change the DACL", admins + L"(A;;WD;;;BU)", true},
      {"Users may take ownership", admins + L"(A;;WO;;;BU)", true},
      {"Users may write the files it will hold", admins + L"(A;OIIO;0x2;;;BU)", true},
      {"Users may write only in the folders below", admins + L"(A;CIIO;0x6;;;BU)", false},
      {"writing denied to Everyone before Users are given it",
       L"D:(D;;0x46;;;WD)(A;;0x1301bf;;;BU)", false},
      {"Users given writing before it is denied them", L"D:(A;;0x2;;;BU)(D;;0x2;;;BU)", true},
      {"adding files denied, appending given", L"D:(D;;0x2;;;BU)(A;;0x6;;;BU)", true},
      {"owned by Users", L"O:BU" + admins, true},
      {"no DACL", L"O:BA", true},
      {"an empty DACL", L"O:BAD:", false},
  };
  auto report = [](const char* what, bool got, bool want) {
    quilta::test::Check(
        std::string(what) + ": " + (got ? "open to non-administrators" : "administrators only"),
        got == want);
  };
  for (const auto& row : rows) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(row.sddl.c_str(), SDDL_REVISION_1,
                                                              &sd, nullptr)) {
      quilta::test::Check(std::string(row.what) + ": not a security descriptor", false);
      continue;
    }
    report(row.what, quilta::nmhost::FolderOpenToNonAdministrators(sd), row.open);
    LocalFree(sd);
  }
  // A NULL DACL (everyone may do everything), which the SDDL parser does not write.
  SECURITY_DESCRIPTOR nullDacl;
  InitializeSecurityDescriptor(&nullDacl, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&nullDacl, TRUE, nullptr, FALSE);
  report("a NULL DACL", quilta::nmhost::FolderOpenToNonAdministrators(&nullDacl), true);
  return quilta::test::Finish();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"post-to-host" && argc == 2) return PostToHost();
  if (command == L"set-dacl" && argc == 4) return SetDacl(argv[2], argv[3]);
  if (command == L"folder-acls" && argc == 2) return FolderAcls();
  std::fprintf(stderr,
               "usage: nmhost_wine_tool.exe post-to-host | set-dacl FOLDER SDDL | folder-acls\n");
  return 2;
}
