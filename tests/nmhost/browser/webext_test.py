#!/usr/bin/python3
"""Loads the web-ATM extension into headless Chromium or Firefox ESR and drives the native
host through test pages (pages.py) served over https on loopback under the bank's domain.

    webext_test.py --browser chromium|firefox --webext DIR --host HOST
                   (--manifest-dir DIR | --system-manifests) --domain DOMAIN
                   [--card] [--pinpad] [--bank-tool TOOL] [--pages P,...] [--bench N]
                   [--first-calls K]

  --webext        the built extension (build/webext)
  --host          the native host (quilta-nmhost); --manifest-dir holds the host manifests
                  of the build (chromium/ and firefox/), which the test puts into the
                  browser's private profile; with --system-manifests the browser finds the
                  host through the manifests installed on the system (/etc/chromium/
                  native-messaging-hosts, /usr/lib/mozilla/native-messaging-hosts), which
                  must name HOST
  --domain        the bank domain the tree was built for (QUILTA_BANK_DOMAIN); Chromium maps
                  the test hosts to 127.0.0.1 with --host-resolver-rules, Firefox resolves
                  every host name to 127.0.0.1 (network.dns.forceResolve)
  --card          run inside tools/pcsc-sandbox: the pages drive the simulated card in the
                  first reader (the card road, an inquiry judged by the bank-server simulator
                  through --bank-tool), then the road across the bank's pages (a log-in page
                  opens the card and verifies the PIN, the tab goes on to a transfer page and
                  a second tab opens, all on the one host of the origin), the faults (a page
                  and its frame answered under the same ids, the host killed while both wait)
                  and the foreign pages
  --pinpad        also a transfer on the second reader's PIN pad (slot 1, enter:1234), whose
                  reader-instruction dialog the host shows through the GTK helper (needs a
                  display: run under xvfb-run)
  --pages P,...   only these pages of the run, in its order (e.g. index,foreign)
  --bench N       only time N round trips of an empty read; prints the median, and how long
                  after the page began to load its first call was answered
  --first-calls K with --bench: before the round trips, 2K bank pages each on an origin of
                  its own (a fresh host), whose first call is sent from the page's first
                  script (K pages) or on its load event (K pages), and after them a later page
                  of the bench's origin (its host running); prints how long each first call
                  waited for its answer (median and the longest)

The pages come from one server on 127.0.0.1 (https_rig.py), with a certificate for the test
hosts from a throw-away CA that only this browser trusts: Chromium through the NSS database
in the HOME it is started with, Firefox through its private profile's cert9.db. Besides the
bank's https pages: the bank's page over plain http (no window.webatm unless the tree admits
plain http, QUILTA_ALLOW_PLAIN_HTTP, read from the build's quilta_config.h), a foreign page
<domain>.evil.test (no window.webatm), and widened.evil.test, a foreign host the test's copy
of the extension is widened to, where the native host refuses everything but GetComVersion,
also when the page names the bank's URL itself. The browser gets a private profile whose
host manifest points at --host. The test's copy of the extension keeps a host for
GRACE_S after its origin's last page went (the extension's own default is longer). The
host's log lines go to a file of the test (QUILTA_NMHOST_LOG), where the release at the end
of the bank's pages is looked for.
Exit status 0 when every check passed.
"""
import argparse
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import zipfile
from urllib.parse import parse_qs, urlsplit

VALGRIND_SUPP = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..',
                             'tools', 'valgrind.supp')
MEMCHECK_ERROR = re.compile(r'==\d+== (Invalid (read|write|free)|Conditional jump|'
                            r'Use of uninitialised|Syscall param|Mismatched free|'
                            r'Source and destination overlap)')

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, '..', '..', 'npapi', 'browser'))
sys.path.insert(0, os.path.join(HERE, '..', '..'))
import https_rig  # noqa: E402
from harness import Checks, wait_until  # noqa: E402
import pages  # noqa: E402

HOST_NAME = 'com.zelb.quilta'
GECKO_ID = 'webatm@quilta.zelb'
BANK_SEEDS = {'inquiry': '7', 'transfer': '8'}
BANK_DATETIME = '20180104093015'
TIME_LIMIT = 120
WIDENED = 'widened.evil.test'
GRACE_S = 3
HOST_WAIT = 30  # a host may run under memcheck
RELEASED = {True: 'end of input: released DisconnectCard 0 DisconnectDriver 0',
            False: 'end of input: nothing to release'}


def plain_http_admitted(webext):
    """Whether the tree of the built extension admits the bank's http pages (its generated
    quilta_config.h; the extension's manifest is what is under test)."""
    header = os.path.join(os.path.dirname(os.path.abspath(webext)), 'generated', 'quilta_config.h')
    with open(header) as f:
        m = re.search(r'kAllowPlainHttp = (true|false);', f.read())
    if not m:
        raise SystemExit('no kAllowPlainHttp in ' + header)
    return m.group(1) == 'true'


def descendants(root):
    """Process ids below `root` (by parent links in /proc)."""
    parent = {}
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:
            with open('/proc/%s/stat' % entry) as f:
                stat = f.read()
            parent[int(entry)] = int(stat[stat.rindex(')') + 2:].split()[1])
        except (OSError, ValueError):
            continue
    found, todo = set(), [root]
    while todo:
        p = todo.pop()
        for child, par in parent.items():
            if par == p and child not in found:
                found.add(child)
                todo.append(child)
    return found


def alive(pid):
    try:
        with open('/proc/%d/stat' % pid) as f:
            return f.read().split(') ')[1][0] != 'Z'
    except OSError:
        return False


class Test:
    time_limit = TIME_LIMIT  # seconds for every page to report back

    def __init__(self, args):
        self.args = args
        self.tmp = tempfile.mkdtemp(prefix='quilta-webext-')
        self.host = os.path.realpath(args.host)
        self.log = os.path.join(self.tmp, 'host.log')
        self.results = []
        self.finished = threading.Event()
        self.browser = None
        self.frozen = None
        self.bank_host = None
        self.order = ['index'] + (['login', 'transfer', 'faults'] if args.card else []) + \
            ['plain', 'foreign', 'widened']
        if args.pages:
            self.order = [p for p in self.order if p in args.pages.split(',')]
        if args.bench:
            # A foreign page first wakes the extension, as a browser that has been running.
            self.order = ['warm', 'bench']
            if args.first_calls:
                samples = [kind + str(i) for i in range(1, args.first_calls + 1)
                           for kind in ('atonce', 'onload')]
                self.order = ['warm'] + samples + ['bench', 'nextpage']
        readers = [os.environ.get('QUILTA_SIM_READER%d' % i) for i in range(2)]
        self.config = {'bank': args.domain, 'card': args.card, 'pinpad': args.pinpad,
                       'readers': [r for r in readers if r], 'rounds': args.bench or 0,
                       'plainHttp': plain_http_admitted(args.webext)}
        d = args.domain
        self.ca = https_rig.TestCA(os.path.join(self.tmp, 'ca'),
                                   [d, '*.' + d, d + '.evil.test', '*.evil.test'])

    # ---- the browser's side ------------------------------------------------------------
    def url(self, page):
        scheme, host = 'https', self.args.domain
        if page == 'plain':
            scheme = 'http'
        elif page == 'foreign':
            host += '.evil.test'
        elif page in ('widened', 'warm'):
            host = WIDENED
        elif re.match(r'(atonce|onload)\d+$', page):
            host = '%s.%s' % (page, host)  # an origin of its own: a fresh host
        return '%s://%s:%d/atm/%s.html' % (scheme, host, self.port, page)

    def is_host(self, pid):
        if os.path.realpath('/proc/%d/exe' % pid) == self.host:
            return True
        # A host under memcheck runs as valgrind's tool with the host's path among its words.
        with open('/proc/%d/cmdline' % pid, 'rb') as f:
            words = f.read().split(b'\0')
        return os.environ.get('QUILTA_VALGRIND') == '1' and self.host.encode() in words

    def hosts(self):
        if not self.browser:
            return []
        found = []
        for pid in descendants(self.browser.pid):
            try:
                if self.is_host(pid) and alive(pid):
                    found.append(pid)
            except OSError:
                pass
        return sorted(found)

    def driver_step(self, step):
        if step == 'host-started':
            # Before any call of the page: the relay's port alone starts the host.
            pids = wait_until(self.hosts, HOST_WAIT)
            self.bank_host = pids[0] if len(pids) == 1 else None
            return {'ok': len(pids) == 1, 'pids': pids}
        if step == 'same-host':
            pids = self.hosts()
            return {'ok': bool(self.bank_host) and pids == [self.bank_host], 'pids': pids,
                    'before': self.bank_host}
        if step == 'remember':
            pids = self.hosts()
            self.bank_host = pids[0] if len(pids) == 1 else None
            return {'ok': len(pids) == 1, 'pid': self.bank_host, 'pids': pids}
        if step == 'freeze':
            pids = self.hosts()
            if len(pids) != 1:
                return {'ok': False, 'pids': pids}
            self.frozen = pids[0]
            os.kill(self.frozen, signal.SIGSTOP)
            return {'ok': True, 'pid': self.frozen}
        if step == 'thaw':
            os.kill(self.frozen, signal.SIGCONT)
            return {'ok': True, 'pid': self.frozen}
        if step == 'kill':
            os.kill(self.frozen, signal.SIGKILL)
            return {'ok': True, 'pid': self.frozen}
        if step == 'released':
            # The origin's last page is gone: after the grace period its host's input is
            # closed, and the host releases what was open and ends; no host is left.
            pid = self.bank_host
            want = RELEASED[self.args.card]
            wait_until(lambda: pid and not alive(pid) and self.released_line(pid),
                       GRACE_S + HOST_WAIT)
            left = wait_until(lambda: not self.hosts(), GRACE_S + HOST_WAIT) is True
            line = self.released_line(pid)
            return {'ok': bool(pid) and not alive(pid) and line == want and left,
                    'line': line, 'want': want, 'hosts left': self.hosts()}
        return {'ok': False, 'error': 'unknown step ' + step}

    def released_line(self, pid):
        try:
            with open(self.log, encoding='utf-8', errors='replace') as f:
                for line in f:
                    prefix = 'quilta-nmhost[%s]: ' % pid
                    if line.startswith(prefix) and 'release' in line:
                        return line.strip()[len(prefix):]
        except OSError:
            pass
        return None

    def bank(self, command, kind, outputs=None):
        argv = [self.args.bank_tool, command, kind, BANK_SEEDS[kind], BANK_DATETIME]
        if outputs is not None:
            argv += [outputs.get(k) or ''
                     for k in ('TAC', 'IccSeqNo', 'SessionTAC', 'EncOutAccountNo')]
        r = subprocess.run(argv, capture_output=True, text=True, timeout=10)
        if command == 'prepare':
            return json.loads(r.stdout)
        return {'ok': r.returncode == 0, 'reason': (r.stdout + r.stderr).strip()}

    # ---- the web server ----------------------------------------------------------------
    def serve(self):
        test = self

        class Handler(https_rig.Handler):
            def reply(self, body, kind='application/json'):
                data = body.encode('utf-8')
                self.send_response(200)
                self.send_header('Content-Type', kind + '; charset=utf-8')
                self.send_header('Content-Length', str(len(data)))
                self.send_header('Cache-Control', 'no-store')
                self.end_headers()
                self.wfile.write(data)

            def body(self):
                n = int(self.headers.get('Content-Length') or 0)
                return json.loads(self.rfile.read(n) or b'{}')

            def do_GET(self):
                u = urlsplit(self.path)
                name = u.path.rsplit('/', 1)[-1].replace('.html', '')
                if name not in pages.PAGES:
                    name = re.sub(r'\d+$', '', name)  # one of the first-call samples
                if u.path.startswith('/atm/') and name in pages.PAGES:
                    html = pages.HEAD % {'config': json.dumps(test.config),
                                         'body': pages.PAGES[name]}
                    return self.reply(html, 'text/html')
                if u.path == '/bank/prepare':
                    kind = parse_qs(u.query)['kind'][0]
                    return self.reply(json.dumps(test.bank('prepare', kind)))
                self.send_error(404)

            def do_POST(self):
                u = urlsplit(self.path)
                if u.path == '/driver':
                    return self.reply(json.dumps(test.driver_step(self.body()['step'])))
                if u.path == '/bank/verify':
                    kind = parse_qs(u.query)['kind'][0]
                    return self.reply(json.dumps(test.bank('verify', kind, self.body())))
                if u.path == '/results':
                    b = self.body()
                    page = b['page'].rsplit('/', 1)[-1].replace('.html', '')
                    test.results += [dict(r, page=page) for r in b['results']]
                    nxt = None
                    if b['final']:
                        i = test.order.index(page) if page in test.order else len(test.order)
                        if i + 1 < len(test.order):
                            nxt = test.url(test.order[i + 1])
                        else:
                            test.finished.set()
                    return self.reply(json.dumps({'next': nxt}))
                self.send_error(404)

        self.server = https_rig.PageServer(Handler, self.ca).start()
        self.port = self.server.port

    # ---- profiles ----------------------------------------------------------------------
    def extension(self):
        ext = os.path.join(self.tmp, 'ext')
        shutil.copytree(self.args.webext, ext)
        path = os.path.join(ext, 'manifest.json')
        with open(path) as f:
            manifest = json.load(f)
        for cs in manifest['content_scripts']:
            cs['matches'].append('https://%s/*' % WIDENED)
        with open(path, 'w') as f:
            json.dump(manifest, f, indent=2)
        path = os.path.join(ext, 'background.js')
        with open(path) as f:
            worker = f.read()
        worker, n = re.subn(r'^const GRACE_MS = \d+;$', 'const GRACE_MS = %d;' % (GRACE_S * 1000),
                            worker, flags=re.M)
        if n != 1:
            raise SystemExit('no GRACE_MS in ' + path)
        with open(path, 'w') as f:
            f.write(worker)
        return ext

    def host_manifest(self, browser, folder):
        if self.args.system_manifests:
            return
        os.makedirs(folder, exist_ok=True)
        name = HOST_NAME + '.json'
        shutil.copy(os.path.join(self.args.manifest_dir, browser, name), os.path.join(folder, name))
        if os.environ.get('QUILTA_VALGRIND') == '1':
            # The browser starts the host under memcheck: the manifest names a wrapper.
            wrapper = os.path.join(self.tmp, 'nmhost-memcheck')
            with open(wrapper, 'w') as f:
                f.write('#!/bin/sh\nexec valgrind --tool=memcheck --leak-check=full '
                        '--show-leak-kinds=definite --errors-for-leak-kinds=definite '
                        '--suppressions=%s --log-file=%s/memcheck-%%p.log %s "$@"\n'
                        % (VALGRIND_SUPP, self.tmp, os.path.realpath(self.args.host)))
            os.chmod(wrapper, 0o755)
            with open(os.path.join(folder, name)) as f:
                manifest = json.load(f)
            manifest['path'] = wrapper
            with open(os.path.join(folder, name), 'w') as f:
                json.dump(manifest, f, indent=2)

    def memcheck_findings(self):
        """Reports of hosts that ran under memcheck with an error or a definite leak. A host
        the test killed has no summary; its log counts only if it holds an error record."""
        found = []
        for log in sorted(glob.glob(os.path.join(self.tmp, 'memcheck-*.log'))):
            with open(log, errors='replace') as f:
                text = f.read()
            summary = re.search(r'ERROR SUMMARY: (\d+) errors', text)
            if (summary and summary.group(1) != '0') or \
                    (not summary and MEMCHECK_ERROR.search(text)):
                found.append(text)
        return found

    def start_chromium(self, ext):
        profile = os.path.join(self.tmp, 'chromium')
        home = os.path.join(self.tmp, 'home')
        self.host_manifest('chromium', os.path.join(profile, 'NativeMessagingHosts'))
        self.ca.nss_trust(os.path.join(home, '.pki', 'nssdb'))
        d = self.args.domain
        rules = 'MAP %s 127.0.0.1, MAP *.%s 127.0.0.1, MAP *.evil.test 127.0.0.1' % (d, d)
        return ['/usr/lib/chromium/chromium', '--headless=new', '--no-sandbox',
                '--user-data-dir=' + profile, '--load-extension=' + ext,
                '--disable-extensions-except=' + ext,
                '--disable-features=DisableLoadExtensionCommandLineSwitch,HttpsUpgrades',
                '--host-resolver-rules=' + rules, '--no-proxy-server', '--no-first-run',
                '--no-default-browser-check', '--disable-gpu', '--disable-background-networking',
                '--disable-popup-blocking',
                self.url(self.order[0])], {'HOME': home}

    def start_firefox(self, ext):
        profile = os.path.join(self.tmp, 'firefox')
        home = os.path.join(self.tmp, 'home')
        os.makedirs(os.path.join(profile, 'extensions'))
        self.host_manifest('firefox', os.path.join(home, '.mozilla', 'native-messaging-hosts'))
        self.ca.nss_trust(profile)
        with zipfile.ZipFile(os.path.join(profile, 'extensions', GECKO_ID + '.xpi'), 'w') as z:
            for f in os.listdir(ext):
                z.write(os.path.join(ext, f), f)
        prefs = {
            'xpinstall.signatures.required': False, 'extensions.autoDisableScopes': 0,
            'extensions.enabledScopes': 15, 'dom.security.https_first': False,
            'network.proxy.type': 0, 'network.dns.forceResolve': '127.0.0.1',
            'browser.shell.checkDefaultBrowser': False, 'app.update.disabledForTesting': True,
            'datareporting.policy.dataSubmissionEnabled': False,
            'toolkit.telemetry.reportingpolicy.firstRun': False,
            'browser.startup.homepage_override.mstone': 'ignore',
            'privacy.reduceTimerPrecision': False, 'network.captive-portal-service.enabled': False,
            'extensions.originControls.grantByDefault': True, 'dom.disable_open_during_load': False,
            # The background script would be suspended after a second without events: it must
            # stay while a native port is open.
            'extensions.background.idle.timeout': 1000,
        }
        with open(os.path.join(profile, 'user.js'), 'w') as f:
            for k, v in prefs.items():
                f.write('user_pref(%s, %s);\n' % (json.dumps(k), json.dumps(v)))
        binary = shutil.which('firefox-esr') or shutil.which('firefox')
        return [binary, '--headless', '--no-remote', '--profile', profile,
                self.url(self.order[0])], {'HOME': home}

    # ---- the run -----------------------------------------------------------------------
    def run(self):
        self.serve()
        ext = self.extension()
        start = self.start_chromium if self.args.browser == 'chromium' else self.start_firefox
        argv, env_add = start(ext)
        env = dict(os.environ, QUILTA_NMHOST_LOG=self.log, **env_add)
        out = open(os.path.join(self.tmp, 'browser.log'), 'w')
        self.browser = subprocess.Popen(argv, env=env, stdout=out, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            done = self.finished.wait(self.time_limit)
        finally:
            self.stop()
        return self.report(done)

    def stop(self):
        try:
            os.killpg(self.browser.pid, signal.SIGTERM)
            self.browser.wait(10)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            try:
                os.killpg(self.browser.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.browser.wait()
        self.server.shutdown()
        shutil.rmtree(self.ca.folder, ignore_errors=True)  # the server's key, also on failure

    def report(self, done):
        checks = Checks(self.args.browser)
        firsts = {}
        for r in self.results:
            if r['check'] == 'first':
                firsts.setdefault(re.sub(r'\d+$', '', r['page']), []).append(json.loads(r['got']))
                continue
            if r['check'] == 'bench':
                b = json.loads(r['got'])
                print('%s: page -> host -> page round trip over %d reads: median %.3f ms, '
                      'p90 %.3f ms, min %.3f ms' % (self.args.browser, b['rounds'], b['median'],
                                                    b['p90'], b['min']))
                print('%s: first call, sent %.1f ms after the page began to load: answered in '
                      '%.3f ms' % (self.args.browser, b['sent'], b['first']))
                continue
            checks.check('%s/%s' % (r['page'], r['check']), r['ok'], r['got'])
        for kind, what in (('atonce', "sent from the page's first script"),
                           ('onload', 'sent on load'),
                           ('nextpage', 'of a later page of the origin, its host running')):
            samples = firsts.get(kind)
            if not samples:
                continue
            times = sorted(f['first'] for f in samples)
            sent = sorted(f['sent'] for f in samples)
            print('%s: first call %s, %d page(s): answered in median %.1f ms, longest %.1f ms '
                  '(sent %.0f-%.0f ms after the page began to load; each: %s)'
                  % (self.args.browser, what, len(times), times[len(times) // 2], times[-1],
                     sent[0], sent[-1], ' '.join('%.1f' % f['first'] for f in samples)))
        if not done:  # only as a failure: package_test.sh counts the "ok" lines as page checks
            checks.check('every page reported back', False, 'not within %d s' % self.time_limit)
        for text in self.memcheck_findings():
            checks.check('no memcheck finding in the native host', False, '\n' + text)
        if checks.failed:
            for name in ('host.log', 'browser.log'):
                try:
                    with open(os.path.join(self.tmp, name), errors='replace') as f:
                        print('---- %s (end) ----\n%s' % (name, ''.join(f.readlines()[-40:])))
                except OSError:
                    pass
        else:
            shutil.rmtree(self.tmp, ignore_errors=True)
        return checks.summary()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--browser', choices=['chromium', 'firefox'], required=True)
    ap.add_argument('--webext', required=True)
    ap.add_argument('--host', required=True)
    ap.add_argument('--manifest-dir')
    ap.add_argument('--system-manifests', action='store_true')
    ap.add_argument('--domain', required=True)
    ap.add_argument('--card', action='store_true')
    ap.add_argument('--pinpad', action='store_true')
    ap.add_argument('--bank-tool')
    ap.add_argument('--pages')
    ap.add_argument('--bench', type=int, default=0)
    ap.add_argument('--first-calls', type=int, default=0)
    args = ap.parse_args()
    if bool(args.manifest_dir) == args.system_manifests:
        ap.error('give --manifest-dir or --system-manifests')
    if args.card and not args.bank_tool:
        ap.error('--card needs --bank-tool')
    return Test(args).run()


if __name__ == '__main__':
    sys.exit(main())
