#!/usr/bin/python3
"""quilta-nmhost.exe under Wine, driven from the Linux side as a browser on Windows drives it.
Runs in a Wine prefix of its own (tests/activex/run-in-wine ... linux, WINEPREFIX set):

    nmhost_wine_test.py host --exe EXE --tool WINTOOL --domain DOMAIN [--linux-manifests DIR]
    nmhost_wine_test.py card --exe EXE --winscard DLL --bank-tool TOOL --domain DOMAIN
                             --reader NAME [--pinpad-reader NAME]
    nmhost_wine_test.py check --exe EXE --winscard DLL --profiles DIR

Both install the program as an installer does (C:\\Program Files\\Quilta) and register it
(--register); the host is then started as Chrome starts it: the manifest named by Chrome's
key, the program named by the manifest's "path", the extension's origin as argument. Every
request comes from a page of the bank's domain DOMAIN, as the extension sends it. With
QUILTA_WINE_MSI (tests/activex/run-in-wine installed the Windows package) `card` takes the
package's host as the package registered it, for every user.

  host  the registration read back from the registry and the manifests (the same as the
        Linux build's in DIR but for "path"), for the user and for the machine, and its
        removal; the registration for the machine refused from a folder whose DACL (set by
        WINTOOL, tests/nmhost_wine/wine_tool.cpp) lets Everyone write, taken from one where
        only SYSTEM and Administrators may, and WINTOOL's table of the host's judgement over
        DACLs Wine cannot keep on a folder; a frame whose length and body hold the bytes 0A,
        0D and 1A, and an answer whose length holds 0A 0D, cross stdin and stdout unchanged
        (binary mode); the messages another program (WINTOOL) posts to the host's window end
        nothing; a closed stdout ends the host.
  card  inside tools/pcsc-sandbox with the test-only winscard.dll beside the program
        (QUILTA_PCSC_BRIDGE_PORT, WINEDLLOVERRIDES winscard=n): ConnectDriver,
        ListReadersName, ConnectCard on a page of the bank's domain, ReadBasicData,
        VerifyPIN, DoInquiryTAC with the bank-server simulator's inputs, whose outputs it
        judges; with --pinpad-reader (a display needed) DoTransferTAC on that PIN-pad
        reader, whose instruction dialog the host draws with the Win32 renderer and during
        which a call, a write and a read are answered as the plug-in answers them during its
        dialogs; the end of input releases the card and the context.
  check inside tools/pcsc-sandbox (four readers, two named like the PIN-pad readers the
        plug-in knows) after the Windows package installed everything (QUILTA_WINE_MSI), with
        the test-only winscard.dll beside the installed host and Chrome, Edge and Firefox
        present with the extension in a profile each: `quilta-nmhost.exe --check` on that
        set-up must exit 0 with nothing but "ok", and on each broken one of CHECK_SETUPS (each
        undone after) name the fault as its only failure with a line that says what to do,
        exit non-zero, and give the same lines as text as its JSON has.
Prints one line per check, "N checks, M failed" and "ALL PASSED" last when every check held.
"""
import argparse
import json
import os
import select
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness import Checks  # noqa: E402
from sandbox_cards import SandboxCards  # noqa: E402

HOST_NAME = 'com.zelb.quilta'
INSTALL_DIR = r'C:\Program Files\Quilta'
PROGRAM = INSTALL_DIR + r'\quilta-nmhost.exe'
MANIFEST = {'chromium': INSTALL_DIR + '\\' + HOST_NAME + '-chromium.json',
            'firefox': INSTALL_DIR + '\\' + HOST_NAME + '-firefox.json'}
KEYS = {'Chrome': (r'Software\Google\Chrome\NativeMessagingHosts', 'chromium'),
        'Edge': (r'Software\Microsoft\Edge\NativeMessagingHosts', 'chromium'),
        'Firefox': (r'Software\Mozilla\NativeMessagingHosts', 'firefox')}
TOOL = r'C:\nmhost_wine_tool.exe'  # --tool, copied there
BANK_SEEDS, BANK_WHEN = {'inquiry': '4721', 'transfer': '4722'}, '20261208183000'

checks = Checks()
check = checks.check


def all_passed():
    """The summary, and the last line tests/activex/run-in-wine looks for; the exit status."""
    rc = checks.summary()
    if rc == 0:
        print('ALL PASSED')
    return rc


def unix_path(win):
    """A path on drive C: of the prefix."""
    assert win[:3].upper() == 'C:\\', win
    return os.path.join(os.environ['WINEPREFIX'], 'drive_c', *win[3:].split('\\'))


def wine(*args):
    return subprocess.run(['wine', *args], capture_output=True, text=True, timeout=60)


def key_value(root, browser):
    """The default value of the browser's key for the host, or None."""
    r = wine('reg', 'query', '%s\\%s\\%s' % (root, KEYS[browser][0], HOST_NAME), '/ve')
    for line in r.stdout.splitlines():
        if 'REG_SZ' in line:
            return line.split('REG_SZ', 1)[1].strip()
    return None


def install(files):
    os.makedirs(unix_path(INSTALL_DIR), exist_ok=True)
    for f in files:
        shutil.copy(f, unix_path(INSTALL_DIR))


def register(*flags):
    r = wine(PROGRAM, *flags)
    return check('quilta-nmhost.exe %s' % ' '.join(flags), r.returncode == 0, r.stdout + r.stderr)


class Host:
    """The host started as Chrome starts it, from the registration (the user's, else the
    machine's). Requests come from `origin` unless they name another."""
    origin = None

    def __init__(self, log):
        manifest = key_value('HKCU', 'Chrome') or key_value('HKLM', 'Chrome')
        with open(unix_path(manifest), encoding='utf-8') as f:
            m = json.load(f)
        self.p = subprocess.Popen(['wine', m['path'], m['allowed_origins'][0], '--parent-window=0'],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  env=dict(os.environ,
                                           QUILTA_NMHOST_LOG='Z:' + log.replace('/', '\\')))
        self.log = log
        self.next_id = 0
        self.held = None  # frames kept for one write (hold(), write_held())

    def hold(self):
        self.held = []

    def write_held(self):
        data, self.held = b''.join(self.held), None
        self.send_raw(data)

    def send_raw(self, data):
        if self.held is not None:
            self.held.append(data)
            return
        try:
            self.p.stdin.write(data)
            self.p.stdin.flush()
        except BrokenPipeError:
            check('the host reads the whole request', False, 'it closed stdin')

    def read(self, n, seconds=20):
        """Up to n bytes of stdout: fewer at its end or when nothing came for `seconds`."""
        data = b''
        fd = self.p.stdout.fileno()
        while len(data) < n and select.select([fd], [], [], seconds)[0]:
            chunk = os.read(fd, n - len(data))
            if not chunk:
                break
            data += chunk
        return data

    def answer_raw(self):
        """The next frame's length bytes and body (short when the frame did not come whole)."""
        head = self.read(4)
        if len(head) < 4:
            return head, b''
        return head, self.read(struct.unpack('<I', head)[0])

    def send(self, op, name, *args, origin=None):
        """Sends a request without waiting; its id."""
        self.next_id += 1
        req = {'id': self.next_id, 'op': op, 'name': name, 'args': list(args),
               'origin': origin or self.origin}
        body = json.dumps(req).encode()
        self.send_raw(struct.pack('<I', len(body)) + body)
        return self.next_id

    def answer(self):
        """The next answer as (id, result or error)."""
        _, body = self.answer_raw()
        try:
            a = json.loads(body.decode('utf-8'))
        except ValueError:
            return None, 'no answer: %r' % body[:80]
        return a.get('id'), a.get('result', a.get('error'))

    def request(self, op, name, *args, origin=None):
        self.send(op, name, *args, origin=origin)
        return self.answer()[1]

    def close(self):
        """Ends the input; the exit status, what stdout still held, the host's last log line."""
        try:
            self.p.stdin.close()
        except BrokenPipeError:
            pass
        rc = self.wait()
        return rc, self.read(1 << 24, 1), self.last_log()

    def wait(self):
        try:
            return self.p.wait(20)
        except subprocess.TimeoutExpired:
            self.p.kill()
            return 'still running after 20 s'

    def last_log(self):
        with open(self.log, encoding='utf-8', errors='replace') as f:
            lines = [l.strip() for l in f if l.startswith('quilta-nmhost[')]
        return lines[-1] if lines else ''


def check_registration(what, expect):
    """expect: {(root, browser): manifest path or None}; the manifests exist iff any key
    names them."""
    for (root, browser), want in sorted(expect.items()):
        got = key_value(root, browser)
        check('%s: %s %s' % (what, root, browser), got == want, got)
    for kind, path in MANIFEST.items():
        named = path in expect.values()
        check('%s: %s manifest %s' % (what, kind, 'present' if named else 'removed'),
              os.path.exists(unix_path(path)) == named)


def host_test(args, tmp):
    install([args.exe])
    both = lambda root: {(root, b): MANIFEST[k] for b, (_, k) in KEYS.items()}  # noqa: E731
    none = lambda root: {(root, b): None for b in KEYS}  # noqa: E731

    register('--register')
    check_registration('user install', {**both('HKCU'), **none('HKLM')})
    for kind, path in MANIFEST.items():
        with open(unix_path(path), encoding='utf-8') as f:
            m = json.load(f)
        check('%s manifest names the program' % kind, m.get('path') == PROGRAM, m.get('path'))
        check('%s manifest names the host' % kind, m.get('name') == HOST_NAME, m.get('name'))
        if args.linux_manifests:
            with open(os.path.join(args.linux_manifests, kind, HOST_NAME + '.json')) as f:
                linux = json.load(f)
            m.pop('path'), linux.pop('path')
            check('%s manifest as on Linux but for its path' % kind, m == linux, (m, linux))

    # Frames with the bytes a text-mode stdin or stdout would change: CR LF read as LF, 1A
    # read as the end of input, LF written as CR LF. The request's length is 0x000A0D1A, its
    # body padded with CR LF; the answer's length is 0x0D0A.
    h = Host(os.path.join(tmp, 'host.log'))
    pad = 'x' * (0x0D0A - len('{"id":"","result":""}'))
    body = json.dumps({'id': pad, 'op': 'get', 'name': 'ErrorInfo', 'origin': Host.origin},
                      separators=(',', ':')).encode()
    length = 0x000A0D1A
    body += b'\r\n' * ((length - len(body)) // 2) + b' ' * ((length - len(body)) % 2)
    h.send_raw(struct.pack('<I', length) + body)
    head, answer = h.answer_raw()
    check('answer length 0A 0D 00 00', head == b'\x0a\x0d\x00\x00', head)
    check('answer to the padded request', answer == ('{"id":"%s","result":""}' % pad).encode(),
          answer[:40] + b'...' + answer[-40:])
    check('the next request after it', h.request('call', 'GetComVersion') == '1,0,0,1')
    # Another program on the desktop posts to the host's window the messages that could end
    # or stall it (the session's own, the console event's, WM_CLOSE, WM_QUIT): the requests
    # after them are answered, and the session ends at the end of its input.
    posted = wine(TOOL, 'post-to-host')
    check('another program posts to the host\'s window', posted.returncode == 0 and
          'posted to 1 windows' in posted.stdout, posted.stdout + posted.stderr)
    check('a request after its messages', h.request('call', 'GetComVersion') == '1,0,0,1')
    check('... and another', h.request('get', 'ErrorInfo') == '')
    rc, rest, last = h.close()
    check('exit 0 at the end of input', rc == 0, rc)
    check('nothing but frames on stdout', rest == b'', rest[:80])
    check('the end logged', last.endswith('end of input: nothing to release'), last)

    # A browser that stops reading: the next answer finds stdout closed and the host ends
    # (a broken pipe, not a signal, not a hang).
    h = Host(os.path.join(tmp, 'closed.log'))
    check('a request before stdout is closed', h.request('call', 'GetComVersion') == '1,0,0,1')
    h.p.stdout.close()
    h.send('call', 'GetComVersion')
    rc = h.wait()
    check('exit 0 when stdout is closed', rc == 0, rc)
    check('stdout closed logged', h.last_log().endswith('stdout closed: nothing to release'),
          h.last_log())

    # The machine's registration beside the user's; another installation's key is left alone
    # when this one is removed, and the manifests stay while any key names them.
    register('--register', '--machine')
    check_registration('machine install', {**both('HKCU'), **both('HKLM')})
    other = r'C:\Other\%s-chromium.json' % HOST_NAME
    wine('reg', 'add', r'HKCU\%s\%s' % (KEYS['Chrome'][0], HOST_NAME), '/ve', '/d', other, '/f')
    register('--unregister')
    check_registration('user removal', {**none('HKCU'), ('HKCU', 'Chrome'): other, **both('HKLM')})
    register('--unregister', '--machine')
    check_registration('machine removal',
                       {**none('HKCU'), ('HKCU', 'Chrome'): other, **none('HKLM')})

    # The machine's registration only from a folder users who are not administrators cannot
    # change (Wine keeps a folder's DACL as its mode bits: Everyone stands for the users
    # there; the host's judgement of the other groups is the tool's table).
    table = wine(TOOL, 'folder-acls')
    check('the host\'s judgement of folder DACLs', table.returncode == 0,
          '\n' + table.stdout + table.stderr)
    admins = 'D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)'
    for folder, dacl, accepted in [
            (r'C:\Everyone may write', admins + '(A;OICI;0x1301bf;;;WD)', False),
            (r'C:\Administrators only', admins + '(A;OICI;0x1200a9;;;WD)', True)]:
        os.makedirs(unix_path(folder))
        shutil.copy(args.exe, unix_path(folder))
        check('%s: DACL set' % folder, wine(TOOL, 'set-dacl', folder, dacl).returncode == 0)
        r = wine(folder + r'\quilta-nmhost.exe', '--register', '--machine')
        manifest = folder + '\\' + HOST_NAME + '-chromium.json'
        if accepted:
            check('%s: the machine registration taken' % folder, r.returncode == 0, r.stderr)
            check('%s: HKLM names its manifest' % folder, key_value('HKLM', 'Chrome') == manifest,
                  key_value('HKLM', 'Chrome'))
            wine(folder + r'\quilta-nmhost.exe', '--unregister', '--machine')
        else:
            lines = r.stderr.strip().splitlines()
            check('%s: the machine registration refused' % folder, r.returncode != 0, r.returncode)
            check('%s: one line saying where to install' % folder,
                  len(lines) == 1 and 'Program Files' in lines[0] and folder in lines[0], r.stderr)
            check('%s: nothing written' % folder,
                  r.stdout == '' and key_value('HKLM', 'Chrome') is None
                  and not os.path.exists(unix_path(manifest)), r.stdout)


def card_test(args, tmp):
    if os.environ.get('QUILTA_WINE_MSI'):
        install([args.winscard])  # beside the package's host, found through its machine keys
    else:
        install([args.exe, args.winscard])
        register('--register')
    h = Host(os.path.join(tmp, 'host.log'))
    call = lambda name, *a: h.request('call', name, *a)  # noqa: E731
    error_info = lambda: h.request('get', 'ErrorInfo')  # noqa: E731

    def transaction(kind, seed, method, pin, during=None):
        """The bank's inputs written, the method called (`during` runs while its answer is
        awaited, and sends requests whose answers must come first), the outputs judged."""
        prepared = subprocess.run([args.bank_tool, 'prepare', kind, seed, BANK_WHEN],
                                  capture_output=True, text=True)
        if not check('bank prepare ' + kind, prepared.returncode == 0, prepared.stderr):
            return
        for prop, value in json.loads(prepared.stdout)['inputs']:
            check('%s: set %s' % (kind, prop), h.request('set', prop, value) is True)
        h.hold()
        sent = h.send('call', method, pin)
        expected = (during() if during else []) + [(sent, method, 0)]
        h.write_held()
        for want_id, what, want in expected:
            got_id, got = h.answer()
            check(what, (got_id, got) == (want_id, want), (got_id, got))
        outputs = [h.request('get', p)
                   for p in ('TAC', 'IccSeqNo', 'SessionTAC', 'EncOutAccountNo')]
        verdict = subprocess.run([args.bank_tool, 'verify', kind, seed, BANK_WHEN, *outputs],
                                 capture_output=True, text=True)
        check('the bank accepts the %s outputs' % kind, verdict.returncode == 0,
              verdict.stdout.strip() + ' ' + repr(outputs))

    check('ConnectDriver', call('ConnectDriver') == 0)
    check('ListReadersName', call('ListReadersName') == 0)
    check('Reader0', h.request('get', 'Reader0') == args.reader, h.request('get', 'Reader0'))
    check('ReaderName', h.request('set', 'ReaderName', args.reader) is True)
    check('SetReaderType', call('SetReaderType', 1) == 0)
    check('ConnectCard on the bank\'s page', call('ConnectCard') == 0, error_info())
    check('ReadBasicData', call('ReadBasicData') == 0, error_info())
    check('VerifyPIN', call('VerifyPIN', '1234') == 0, error_info())
    transaction('inquiry', BANK_SEEDS['inquiry'], 'DoInquiryTAC', '1234')

    if args.pinpad_reader:
        # The reader-instruction dialog, drawn in the host's process, stays up while the
        # customer types on the pad (about two seconds pass before the reader gets the
        # command): requests sent meanwhile are taken inside it and answered first.
        # The three requests go in one write with the transfer's frame: the host reads them
        # together, and nothing read later wakes its loop during the dialog.
        def during():
            return [(h.send('call', 'ConnectDriver'), 'a call during the dialog', 6009),
                    (h.send('set', 'ReaderName', 'x'), 'a write during the dialog', False),
                    (h.send('get', 'ReaderName'), 'a read during the dialog', args.pinpad_reader)]
        check('ReaderName of the PIN-pad reader',
              h.request('set', 'ReaderName', args.pinpad_reader) is True)
        check('SetReaderType 2', call('SetReaderType', '2') == 0)
        check('ConnectCard on the PIN-pad reader', call('ConnectCard') == 0, error_info())
        transaction('transfer', BANK_SEEDS['transfer'], 'DoTransferTAC', '', during)

    rc, _, last = h.close()
    check('exit 0 at the end of input', rc == 0, rc)
    check('the end releases card and context',
          last.endswith('end of input: released DisconnectCard 0 DisconnectDriver 0'), last)


# ---- quilta-nmhost.exe --check ---------------------------------------------------------------

OTHER_CHROMIUM_ID = 'abcdefghijklmnopabcdefghijklmnop'
OTHER = r'C:\Other'
MODULE32 = r'C:\Program Files (x86)\Quilta\npquilta.dll'
FONT_SUBSTITUTES = (r'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion'
                    r'\FontSubstitutes')
BROWSERS = [r'C:\Program Files\Google\Chrome\Application\chrome.exe',
            r'C:\Program Files (x86)\Microsoft\Edge\Application\msedge.exe',
            r'C:\Program Files\Mozilla Firefox\firefox.exe']
INSERT_CARD = "insert the bank's chip card, chip first and facing up"
REINSTALL = 'reinstall quilta-'


class CheckRig(SandboxCards):
    """A healthy machine: the package installed, the browsers present, the extension added in
    one profile of each; the sandbox's readers and cards. Each set-up breaks one thing and
    registers how to undo it."""

    def __init__(self, args):
        super().__init__(args.profiles)
        with open(unix_path(MANIFEST['chromium']), encoding='utf-8') as f:
            self.chromium_manifest = json.load(f)
        with open(unix_path(MANIFEST['firefox']), encoding='utf-8') as f:
            self.firefox_manifest = json.load(f)
        self.chromium_id = self.chromium_manifest['allowed_origins'][0].split('/')[2]
        self.gecko_id = self.firefox_manifest['allowed_extensions'][0]
        install([args.winscard])
        for program in BROWSERS:
            self.write(program, '')
        local, roaming = self.folder('LOCALAPPDATA'), self.folder('APPDATA')
        self.chrome_extension = (local + r'\Google\Chrome\User Data\Default\Extensions\%s'
                                 % self.chromium_id)
        os.makedirs(unix_path(self.chrome_extension + r'\1.0.1'))
        self.write(local + r'\Google\Chrome\User Data\Default\Preferences', '{}')
        self.write(local + r'\Microsoft\Edge\User Data\Default\Preferences',
                   json.dumps({'extensions': {'settings': {self.chromium_id: {'state': 1}}}}))
        firefox = roaming + r'\Mozilla\Firefox\Profiles\x1y2z3.default-release'
        self.write(firefox + r'\prefs.js', '')
        self.write(firefox + r'\extensions\%s.xpi' % self.gecko_id, 'xpi')

    @staticmethod
    def folder(variable):
        return wine('cmd', '/c', 'echo', '%' + variable + '%').stdout.strip()

    @staticmethod
    def write(path, text):
        os.makedirs(os.path.dirname(unix_path(path)), exist_ok=True)
        with open(unix_path(path), 'w', encoding='utf-8') as f:
            f.write(text)

    def reg(self, *args):
        r = wine('reg', *args)
        if r.returncode != 0:
            raise RuntimeError('reg %s: %s' % (' '.join(args), r.stdout + r.stderr))

    def key(self, key, manifest, view):
        """The key's default value set to `manifest` in the view ('32' or '64'); undone after."""
        self.reg('add', key, '/ve', '/d', manifest, '/reg:' + view, '/f')
        self.undo.append(lambda: self.reg('delete', key, '/reg:' + view, '/f'))

    def other_manifest(self, name, browser, **changes):
        m = dict(self.chromium_manifest if browser == 'chromium' else self.firefox_manifest)
        m.update(changes)
        path = OTHER + '\\' + name
        self.write(path, json.dumps(m, indent=2))
        return path

    def regedit(self, lines):
        """Imports registry lines (UTF-16, as regedit reads them) with regedit /S."""
        path = unix_path(r'C:\check.reg')
        with open(path, 'w', encoding='utf-16') as f:
            f.write('\r\n'.join(['Windows Registry Editor Version 5.00', ''] + lines + ['']))
        if wine('regedit', '/S', r'C:\check.reg').returncode != 0:
            raise RuntimeError('regedit %s' % lines)

    def run(self):
        js = wine(PROGRAM, '--check', '--json')
        text = wine(PROGRAM, '--check')
        try:
            report = json.loads(js.stdout)
        except ValueError:
            report = {'clear': None, 'findings': []}
            print('  not JSON: %r' % js.stdout[:300] + js.stderr[:300])
        return js.returncode, report, text.returncode, text.stdout

    # ---- the broken set-ups --------------------------------------------------------------
    def chrome_key_missing(self):
        key = r'HKLM\%s\%s' % (KEYS['Chrome'][0], HOST_NAME)
        self.reg('delete', key, '/reg:64', '/f')
        self.undo.append(lambda: self.reg('add', key, '/ve', '/d', MANIFEST['chromium'],
                                          '/reg:64', '/f'))

    def firefox_user_key_other_program(self):
        program = OTHER + r'\quilta-nmhost.exe'
        self.write(program, '')
        manifest = self.other_manifest(HOST_NAME + '-firefox.json', 'firefox', path=program)
        self.key(r'HKCU\%s\%s' % (KEYS['Firefox'][0], HOST_NAME), manifest, '64')

    def edge_32_bit_key_other_extension(self):
        manifest = self.other_manifest('edge.json', 'chromium', path=PROGRAM, allowed_origins=[
            'chrome-extension://%s/' % OTHER_CHROMIUM_ID])
        self.key(r'HKLM\%s\%s' % (KEYS['Edge'][0], HOST_NAME), manifest, '32')

    def module32_missing(self):
        kept = unix_path(r'C:\npquilta32.dll')
        os.rename(unix_path(MODULE32), kept)
        self.undo.append(lambda: os.rename(kept, unix_path(MODULE32)))

    def chrome_extension_removed(self):
        kept = unix_path(r'C:\extension-kept')
        os.rename(unix_path(self.chrome_extension), kept)
        self.undo.append(lambda: os.rename(kept, unix_path(self.chrome_extension)))

    def font_missing(self):
        # The prefix's own font has the Kai face only through FontSubstitutes.
        self.regedit(['[%s]' % FONT_SUBSTITUTES, '"標楷體"=-'])
        self.undo.append(lambda: self.regedit(['[%s]' % FONT_SUBSTITUTES,
                                               '"標楷體"="AR PL UKai TW"']))


# name, what breaks it, the failure it must show alone (None: the road stays clear), what
# that line must tell the customer to do, the warning expected. The last two replace pcscd.
CHECK_SETUPS = [
    ('healthy', lambda r: None, None, None, None),
    ("Chrome's machine key missing", CheckRig.chrome_key_missing, 'bridge-manifest-missing',
     REINSTALL, None),
    ("Firefox's user key naming a manifest of another program",
     CheckRig.firefox_user_key_other_program, 'bridge-host-other',
     r'remove the registry key HKEY_CURRENT_USER\Software\Mozilla\NativeMessagingHosts\%s'
     % HOST_NAME, None),
    ("Edge's 32-bit machine key naming a manifest for another extension",
     CheckRig.edge_32_bit_key_other_extension, 'bridge-extension-id',
     r'remove the registry key HKEY_LOCAL_MACHINE\Software\Microsoft\Edge\NativeMessagingHosts'
     r'\%s (32-bit view)' % HOST_NAME, None),
    ('the 32-bit module missing', CheckRig.module32_missing, 'module-missing', REINSTALL, None),
    ('the extension not added in Chrome', CheckRig.chrome_extension_removed, None, None,
     'extension-missing'),
    ("the dialogs' font missing", CheckRig.font_missing, 'font-missing',
     'add "Chinese (Traditional) Supplemental Fonts"', None),
    ('cards of another application', lambda r: r.swap_all('other-application.txt'),
     'card-not-financial', INSERT_CARD, None),
    ('every reader empty', CheckRig.pull, 'card-absent', INSERT_CARD, None),
    ('no reader', CheckRig.pcscd_without_readers, 'readers-none', 'plug the card reader in', None),
    ('the Smart Card service not running', CheckRig.no_pcscd, 'pcsc-service-down',
     'start the service "Smart Card"', None),
]


def check_healthy(rig, findings, problems):
    by_id = rig.healthy_problems(findings, ['Firefox', 'Google Chrome', 'Microsoft Edge'],
                                 problems)
    for f in by_id.get('bridge', []):
        if f['detail']['program'] != PROGRAM or \
                not f['detail']['key'].startswith('HKEY_LOCAL_MACHINE'):
            problems.append('%s: %s' % (f['detail']['browser'], f['text']))
    for kind, count in (('module', 2), ('activex', 2), ('font', 1), ('pcsc-service', 1)):
        if len(by_id.get(kind, [])) != count:
            problems.append('%d "%s" findings' % (len(by_id.get(kind, [])), kind))


def check_setup(rig, name, fail_id, todo, warn_id, result):
    problems = rig.report_problems(fail_id, todo, warn_id, result)
    if name == 'healthy':
        check_healthy(rig, result[1]['findings'], problems)
    return check(name, not problems, '\n  ' + '\n  '.join(problems) + '\n' + result[3])


def check_test(args, tmp):
    rig = CheckRig(args)
    try:
        for name, breaks, fail_id, todo, warn_id in CHECK_SETUPS:
            breaks(rig)
            check_setup(rig, name, fail_id, todo, warn_id, rig.run())
            rig.undo_all()
    finally:
        rig.end()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('mode', choices=['host', 'card', 'check'])
    ap.add_argument('--exe', required=True)
    ap.add_argument('--linux-manifests')
    ap.add_argument('--winscard')
    ap.add_argument('--bank-tool')
    ap.add_argument('--domain')
    ap.add_argument('--reader')
    ap.add_argument('--pinpad-reader')
    ap.add_argument('--tool')
    ap.add_argument('--profiles')
    args = ap.parse_args()
    if args.tool:
        shutil.copy(args.tool, unix_path(TOOL))
    Host.origin = 'https://www.%s/atm/' % args.domain
    if args.linux_manifests and not os.path.isdir(args.linux_manifests):
        args.linux_manifests = None
    # One Wine server for the whole run, its services started without our pipes: else each
    # wine process whose output is read waits for the services it started to end with the
    # server, seconds after the process.
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(['wineserver', '-p'], **quiet)
    subprocess.run(['wine', 'cmd', '/c', 'exit'], **quiet)
    with tempfile.TemporaryDirectory() as tmp:
        try:
            {'host': host_test, 'card': card_test, 'check': check_test}[args.mode](args, tmp)
        finally:
            subprocess.run(['wineserver', '-k'])  # the prefix's processes go before a screen does
    return all_passed()


if __name__ == '__main__':
    sys.exit(main())
