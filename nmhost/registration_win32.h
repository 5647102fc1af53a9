// Registration of quilta-nmhost.exe for the browsers, as an installer does it:
//
//   quilta-nmhost.exe --register [--machine]
//     with --machine, first refuses (exit status 1, one line on stderr saying where to
//     install instead) when users who are not administrators may change the program's folder
//     (FolderOpenToNonAdministrators): every user's browsers would start whatever program
//     such a user put there. Then it writes the host manifests next to the program, <name>-chromium.json (Chrome and Edge)
//     and <name>-firefox.json (Firefox): the Linux ones, "path" the program's full path
//     (left as they are when they already say that: the folder may be the administrator's); and
//     sets the default value of these keys to the full path of the manifest named:
//       ROOT\Software\Google\Chrome\NativeMessagingHosts\<name>    <name>-chromium.json
//       ROOT\Software\Microsoft\Edge\NativeMessagingHosts\<name>   <name>-chromium.json
//       ROOT\Software\Mozilla\NativeMessagingHosts\<name>          <name>-firefox.json
//     ROOT is HKEY_CURRENT_USER, with --machine HKEY_LOCAL_MACHINE (its 64-bit view, where
//     64-bit browsers look first and 32-bit ones look too; only an administrator may write it).
//   quilta-nmhost.exe --unregister [--machine]
//     removes those keys where they name this program's manifests (another installation's
//     keys are left alone), and the manifests once no key of either root names them.
//
// <name> is the host's name (com.zelb.quilta). Registering again overwrites. One line per key
// on stdout, failures on stderr; exit status 0 when everything was done, 1 otherwise.
#pragma once

#include <windows.h>

namespace quilta::nmhost {

int RunRegistration(bool install, bool machine);

// Whether users who are not administrators may change a folder with this security
// descriptor: its owner, or the rights its DACL gives Everyone, Authenticated Users, Users or
// INTERACTIVE (a signed-in user is in all four), the ACEs taken in order as the system takes
// them (a right an earlier ACE denies, a later one does not give). The rights counted: adding
// files and folders (write, append), deleting what it holds, changing its DACL or owner; on
// the folder itself or on the files it will hold (ACEs files inherit). Without a DACL (none,
// or a NULL one) everyone may do everything.
bool FolderOpenToNonAdministrators(PSECURITY_DESCRIPTOR sd);

}  // namespace quilta::nmhost
