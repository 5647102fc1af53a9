#!/usr/bin/python3
"""The Windows package under Wine, in a prefix of its own (tests/activex/run-in-wine ... linux):

    msi_wine_test.py --msi PKG --version V --rebuilt-msi PKG1 --newer-msi PKG2 --newer-version V2
                     --module64 DLL --module32 DLL --host EXE --com-client EXE
                     --host-name NAME --chromium-id ID --update-url URL --domain DOMAIN

  install   msiexec /i PKG /qn: the files are the build's; in the 64-bit registry view the
            control's rows are what the module's own registration (regsvr32 of the same file
            at the same place, at the end) writes, and in the 32-bit view the same naming the
            i686 module; the browsers' keys name the host manifests (64-bit view) and the
            extension hints hold URL (32-bit view), each in its view only; one entry in
            Add/Remove programs
  use       the compiled COM client (tests/activex/host_test.cpp) creates the control through
            this registration alone; the host, started as Chrome starts it from the machine's
            key, answers a frame; the host's own machine registration finds the manifests and
            keys as it would write them and changes nothing
  again     the same package again (nothing changes), PKG1 (the same version built again, with
            another product code), then PKG2 (a newer version of the same files): each
            replaces what was there, one entry in Add/Remove programs, the registry as after
            the first install; PKG over PKG2 refused, nothing changed
  remove    msiexec /x PKG2 /qn: no file, key or value of the package left in either view,
            nothing else removed (but empty keys Wine's installer prunes with the emptied ones)
Prints one line per check, "N checks, M failed" and "ALL PASSED" last when every check held.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'nmhost_wine'))
import nmhost_wine_test as nm  # noqa: E402
from nmhost_wine_test import check, unix_path, wine  # noqa: E402

X64 = r'C:\Program Files\Quilta'
X86 = r'C:\Program Files (x86)\Quilta'
PRODUCT = 'Quilta web-ATM card plug-in'
CLSID = '{E2F2FDAB-089C-4512-BA8B-DC725FED3640}'
LIBID = '{B65DBDDC-D46C-4AF0-90FD-2BE777BA9232}'
IID = '{FC84A7EE-E1C7-4A6C-9B8D-3DFCEFE83850}'
COM_KEYS = [r'HKCR\CLSID' + '\\' + CLSID, r'HKCR\TOVAK.ZELB', r'HKCR\TOVAK.ZELB.1',
            r'HKCR\TypeLib' + '\\' + LIBID, r'HKCR\Interface' + '\\' + IID]
UNINSTALL = r'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# Windows Installer's own records of what is installed: not the package's rows.
INSTALLER_STORE = (r'software\classes\installer' + '\\',
                   r'software\microsoft\windows\currentversion\installer' + '\\')


def msiexec(*args):
    r = subprocess.run(['wine', 'msiexec', *args, '/qn'], capture_output=True, text=True,
                       timeout=120)
    return r.returncode


def winpath(path):
    return 'Z:' + path.replace('/', '\\')


def query(key, view):
    """{subkey (lower case, below KEY): {value name: data}} as `reg query /s /reg:VIEW` shows
    the tree; None when the key does not exist."""
    r = wine('reg', 'query', key, '/s', '/reg:%d' % view)
    if r.returncode != 0:
        return None
    tree, current = {}, None
    full = {'HKCR': 'HKEY_CLASSES_ROOT', 'HKLM': 'HKEY_LOCAL_MACHINE'}
    prefix = full[key.split('\\', 1)[0]] + key[4:]
    for line in r.stdout.splitlines():
        if line.startswith('HKEY_'):
            assert line.lower().startswith(prefix.lower()), (line, prefix)
            current = tree.setdefault(line[len(prefix):].lower(), {})
        elif line.strip() and current is not None:
            m = re.match(r'^    (.*?)    (REG_[A-Z_]+)    ?(.*)$', line)
            if m:
                current[m.group(1)] = m.group(3)
    return tree


def snapshot():
    """Every key and value of HKLM\\Software (both views: the 32-bit one is its Wow6432Node)
    and HKCU\\Software, as {key (lower case): {value name: data}}, and the files of drive C:
    but the temporary folders and the installer's cache."""
    keys = {}
    with tempfile.TemporaryDirectory() as tmp:
        for root, view in (('HKLM\\Software', '/reg:64'), ('HKCU\\Software', '/reg:64')):
            out = os.path.join(tmp, 'x.reg')
            wine('reg', 'export', root, winpath(out), view, '/y')
            with open(out, encoding='utf-16') as f:
                text = f.read().replace('\\\n  ', '')
            current = None
            for line in text.splitlines():
                if line.startswith('['):
                    current = keys.setdefault(line[1:-1].lower(), {})
                elif current is not None and '=' in line:
                    name, data = line.split('=', 1)
                    current[name] = data
    files = set()
    drive = unix_path('C:\\')
    for top, dirs, names in os.walk(drive):
        rel = os.path.relpath(top, drive).lower()
        dirs[:] = [d for d in dirs if d.lower() != 'temp' and
                   os.path.join(rel, d.lower()) != 'windows/installer']
        files.update(os.path.join(rel, n) for n in names + dirs)
    return keys, files


def ours(keys):
    """The keys but Windows Installer's own records."""
    return {k: v for k, v in keys.items() if not any(s in k + '\\' for s in INSTALLER_STORE)}


def uninstall_entries():
    tree = query(UNINSTALL, 64) or {}
    return [v for v in tree.values() if v.get('DisplayName') == PRODUCT]


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def install_checks(args):
    for installed, built in [(X64 + r'\npquilta.dll', args.module64),
                             (X86 + r'\npquilta.dll', args.module32),
                             (X64 + r'\quilta-nmhost.exe', args.host)]:
        path = unix_path(installed)
        check('%s is the build\'s' % installed, os.path.exists(path) and read(path) == read(built))

    # The browsers' keys, each in the view the browsers read and in that one only.
    manifest = X64 + '\\' + args.host_name + '-%s.json'
    hint = r'HKLM\Software\%s\Extensions' + '\\' + args.chromium_id
    host = r'HKLM\Software\%s\NativeMessagingHosts' + '\\' + args.host_name
    for view, key, name, want in [
            (64, host % r'Google\Chrome', '(Default)', manifest % 'chromium'),
            (64, host % r'Microsoft\Edge', '(Default)', manifest % 'chromium'),
            (64, host % 'Mozilla', '(Default)', manifest % 'firefox'),
            (32, hint % r'Google\Chrome', 'update_url', args.update_url),
            (32, hint % r'Microsoft\Edge', 'update_url', args.update_url)]:
        got = (query(key, view) or {}).get('', {}).get(name)
        check('%s %s (%d-bit view)' % (key, name, view), got == want, got)
        check('%s not in the %d-bit view' % (key, 96 - view), query(key, 96 - view) is None)

    # The control: the 32-bit view holds the 64-bit view's rows naming the i686 module (the
    # CLSID and Interface keys are the views' own; ProgIDs and TypeLib one for both).
    com64 = {k: query(k, 64) for k in COM_KEYS}
    com32 = {k: query(k, 32) for k in COM_KEYS}
    check('the control\'s keys in the 64-bit view', all(com64.values()), com64)
    swap = {k: {s: {n: d.replace(X64 + '\\', X86 + '\\') for n, d in v.items()}
                for s, v in (t or {}).items()} for k, t in com64.items()}
    for key in (COM_KEYS[0], COM_KEYS[4]):
        check('%s in the 32-bit view: the i686 module\'s' % key, com32[key] == swap[key],
              (com32[key], swap[key]))
    typelib = com64[COM_KEYS[3]] or {}
    check('TypeLib win32: the i686 module', typelib.get(r'\1.0\0\win32', {}).get('(Default)') ==
          X86 + r'\npquilta.dll', typelib)
    check('TypeLib win64: the x86_64 module', typelib.get(r'\1.0\0\win64', {}).get('(Default)') ==
          X64 + r'\npquilta.dll', typelib)
    entries = uninstall_entries()
    check('one entry in Add/Remove programs, version %s' % args.version,
          [e.get('DisplayVersion') for e in entries] == [args.version], entries)
    return com64


def use_checks(args, tmp):
    shutil.copy(args.com_client, unix_path(r'C:\com_client.exe'))
    r = wine(r'C:\com_client.exe')
    lines = [l for l in r.stdout.replace('\r', '').splitlines() if l]
    check('the compiled COM client on the package\'s registration',
          r.returncode == 0 and lines[-1:] == ['ALL PASSED'],
          '\n' + '\n'.join(l for l in lines if not l.startswith('ok')))
    os.remove(unix_path(r'C:\com_client.exe'))

    nm.Host.origin = 'https://www.%s/atm/' % args.domain
    h = nm.Host(os.path.join(tmp, 'host.log'))
    check('the installed host answers a frame', h.request('call', 'GetComVersion') == '1,0,0,1')
    rc, _, _ = h.close()
    check('... and ends with its input', rc == 0, rc)

    before = snapshot()
    r = wine(X64 + r'\quilta-nmhost.exe', '--register', '--machine')
    kept = [l for l in r.stdout.splitlines()
            if l.startswith('manifest') and l.endswith('(as it was)')]
    check('the host\'s own machine registration keeps both manifests as they are',
          r.returncode == 0 and len(kept) == 2, r.stdout + r.stderr)
    check('... and changes no key', snapshot() == before)


def lifecycle_checks(args):
    installed = snapshot()
    check('the same package again', msiexec('/i', winpath(args.msi)) == 0)
    check('... changes nothing', ours(snapshot()[0]) == ours(installed[0]))
    check('... one entry in Add/Remove programs',
          [e.get('DisplayVersion') for e in uninstall_entries()] == [args.version])
    first = uninstall_entries()
    check('the same version built again (another product code)',
          msiexec('/i', winpath(args.rebuilt_msi)) == 0)
    entries = uninstall_entries()
    check('... replaces it: one entry in Add/Remove programs',
          len(entries) == 1 and entries != first and
          entries[0].get('DisplayVersion') == args.version, entries)

    check('the newer package over it', msiexec('/i', winpath(args.newer_msi)) == 0)
    entries = uninstall_entries()
    check('one entry in Add/Remove programs, version %s' % args.newer_version,
          [e.get('DisplayVersion') for e in entries] == [args.newer_version], entries)
    arp = UNINSTALL[5:].lower() + '\\'
    rows = lambda keys: {k: v for k, v in ours(keys).items() if arp not in k + '\\'}  # noqa: E731
    newer = snapshot()
    check('... the package\'s keys and values as after the first install',
          rows(newer[0]) == rows(installed[0]),
          (diff(rows(newer[0]), rows(installed[0])), diff(rows(installed[0]), rows(newer[0]))))
    check('... and the files', newer[1] == installed[1], newer[1] ^ installed[1])
    check('the older package over the newer one refused', msiexec('/i', winpath(args.msi)) != 0)
    check('... nothing changed', ours(snapshot()[0]) == ours(newer[0]))


def diff(a, b):
    """Keys and values of a that b lacks or holds otherwise."""
    out = []
    for key, values in a.items():
        if key not in b:
            out.append(key)
        else:
            out += ['%s: %s=%s' % (key, n, d) for n, d in values.items() if b[key].get(n) != d]
    return out


def remove_checks(args, baseline):
    check('the package removed', msiexec('/x', winpath(args.newer_msi)) == 0)
    keys, files = snapshot()
    left = diff(ours(keys), ours(baseline[0]))
    check('no key or value left', not left, left[:10])
    # Wine's installer removes a key it emptied and then its parents while they are empty,
    # though they were there before (an empty Wow6432Node\CLSID of a fresh prefix).
    lost = [k for k in diff(baseline[0], keys) if ':' in k or baseline[0][k] or
            any(o.startswith(k + '\\') for o in baseline[0])]
    check('nothing else removed', not lost, lost[:10])
    check('no file left', not files - baseline[1], sorted(files - baseline[1]))
    check('no file removed', not baseline[1] - files, sorted(baseline[1] - files))
    check('no entry in Add/Remove programs', not uninstall_entries())


def registration_checks(args, com64):
    """The module's own registration of the same file at the same place writes what the
    package wrote in the 64-bit view (the type library's win32 key is the i686 module's)."""
    os.makedirs(unix_path(X64), exist_ok=True)
    shutil.copy(args.module64, unix_path(X64 + r'\npquilta.dll'))
    check('regsvr32 of the x86_64 module',
          wine('regsvr32', '/s', X64 + r'\npquilta.dll').returncode == 0)
    own = {k: query(k, 64) for k in COM_KEYS}

    def wine_typelib(value):
        # Wine's RegisterTypeLib: the path as Wine opened the file (\\?\C:\...), HELPDIR
        # without the trailing backslash the installer's folders have, and FLAGS with
        # LIBFLAG_FHASDISKIMAGE (8), which a library loaded from a file has at run time.
        return value.replace('\\\\?\\', '').rstrip('\\')
    package = {k: {s: {n: wine_typelib(d) for n, d in v.items()} for s, v in t.items()
                   if s != r'\1.0\0\win32'} for k, t in com64.items()}
    own = {k: {s: {n: (str(int(d) & ~8) if s.endswith('flags') else wine_typelib(d))
                   for n, d in v.items()} for s, v in (t or {}).items()} for k, t in own.items()}
    for key in COM_KEYS:
        check('%s: the package\'s rows are the module\'s own' % key, package[key] == own[key],
              (package[key], own[key]))


def main():
    ap = argparse.ArgumentParser()
    for opt in ('msi', 'version', 'rebuilt-msi', 'newer-msi', 'newer-version', 'module64',
                'module32', 'host',
                'com-client', 'host-name', 'chromium-id', 'update-url', 'domain'):
        ap.add_argument('--' + opt, required=True)
    args = ap.parse_args()
    missing = [p for p in (args.msi, args.rebuilt_msi, args.newer_msi, args.module32)
               if not os.path.exists(p)]
    if missing:
        print('%s missing (tools/build-windows builds both architectures and the packages): '
              'skipped' % ', '.join(missing))
        return 77
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(['wineserver', '-p'], **quiet)
    subprocess.run(['wine', 'cmd', '/c', 'exit'], **quiet)
    with tempfile.TemporaryDirectory() as tmp:
        try:
            baseline = snapshot()
            check('msiexec /i %s' % os.path.basename(args.msi),
                  msiexec('/i', winpath(args.msi)) == 0)
            com64 = install_checks(args)
            use_checks(args, tmp)
            lifecycle_checks(args)
            remove_checks(args, baseline)
            registration_checks(args, com64)
        finally:
            subprocess.run(['wineserver', '-k'])
    return nm.all_passed()


if __name__ == '__main__':
    sys.exit(main())
