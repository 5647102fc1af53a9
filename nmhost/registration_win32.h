// Registration of quilta-nmhost.exe for the browsers, as an installer does it:
//
//   quilta-nmhost.exe --register [--machine]
//     writes the host manifests next to the program, <name>-chromium.json (Chrome and Edge)
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

namespace quilta::nmhost {

int RunRegistration(bool install, bool machine);

}  // namespace quilta::nmhost
