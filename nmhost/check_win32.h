// quilta-nmhost.exe --check [--json]: the help-desk check of the road from the browser to the
// card on Windows, the findings of quilta-doctor in Windows' terms (ids and sentences:
// docs/install.md, "What quilta-nmhost.exe --check says"):
//   - the Smart Card service (SCardEstablishContext), the readers, which have a PIN pad (the
//     reader's feature list, else its name) and in each the card's financial application
//     (diagnosis/smart_cards.h: the only command the card hears is that SELECT);
//   - npquilta.dll beside the program and, for 32-bit browsers, in the 32-bit Program Files
//     folder's Quilta folder; the control's InprocServer32 in each registry view naming a file
//     that is there;
//   - for Google Chrome, Microsoft Edge and Firefox where installed (their usual folders or
//     App Paths): the registry key the browser reads first (HKEY_CURRENT_USER before
//     HKEY_LOCAL_MACHINE; the 32-bit view before the 64-bit one, as each browser does),
//     the host manifest it names, that the manifest names this program and lets in only the
//     bank's extension; then the extension in the user's profiles;
//   - the dialogs' font (the templates' face, or what FontSubstitutes maps it to) installed.
// It changes nothing: no file, no key, no card state. One line per finding (the console gets
// them as UTF-16, a pipe or file as UTF-8), or with --json the findings as JSON.
// Exit status 0 when no finding is a failure, 1 when one is.
#pragma once

namespace quilta::nmhost {

int RunCheck(bool json);

}  // namespace quilta::nmhost
