#!/usr/bin/python3
"""quilta-doctor against one broken set-up at a time, each otherwise healthy: the finding
that names the fault (its id, a sentence that says what to do, the same line in the text
output) must be the only failure, and the exit status non-zero; warnings must be exactly
the expected ones. The healthy set-up gives exit 0 and nothing but "ok".

Runs inside tools/pcsc-sandbox with four slots on two vpcd entries, the second entry named
like the PIN-pad readers the plug-in knows:

    tools/pcsc-sandbox --build BUILD --slots 4 --entries 2 \\
        --reader-name "1=Todos eCode Connectable II" -- \\
        doctor_test.py --doctor PATH --manifests BUILD/nmhost/manifests --profiles sim/profiles

Each set-up gets a fresh file tree (--root, --home) made from the build's own host
manifests. The smart-card faults are made on the sandbox's cards and undone after; the last
set-up restarts pcscd without readers and leaves it so.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness import Checks  # noqa: E402
from sandbox_cards import SandboxCards  # noqa: E402

HOST = '/usr/lib/quilta/quilta-nmhost'
OTHER_CHROMIUM_ID = 'abcdefghijklmnopabcdefghijklmnop'
CHROMIUM_HOSTS = '/etc/chromium/native-messaging-hosts'
CHROME_HOSTS = '/etc/opt/chrome/native-messaging-hosts'
FIREFOX_HOSTS = '/usr/lib/mozilla/native-messaging-hosts'
USER_CHROMIUM_HOSTS = '~/.config/chromium/NativeMessagingHosts'
PLUGINS = '/usr/lib/mozilla/plugins'
FIREFOX_PROFILE = '~/.mozilla/firefox/x1y2z3.default-esr'
INSERT_CARD = "insert the bank's chip card, chip first and facing up"
REINSTALL_BRIDGE = 'reinstall the package quilta-webatm'


class Rig(SandboxCards):
    def __init__(self, args):
        super().__init__(args.profiles)
        self.doctor = args.doctor
        self.manifests = {}
        for browser in ('chromium', 'firefox'):
            with open(os.path.join(args.manifests, browser, 'com.zelb.quilta.json')) as f:
                self.manifests[browser] = json.load(f)
        self.host_name = self.manifests['chromium']['name']
        self.chromium_id = self.manifests['chromium']['allowed_origins'][0].split('/')[2]
        self.gecko_id = self.manifests['firefox']['allowed_extensions'][0]
        self.tmp = tempfile.mkdtemp(prefix='doctor-test.')

    # ---- the file tree ----------------------------------------------------------------
    def tree(self, name):
        """A healthy machine below <tmp>/<name>: the three browsers, the plug-in, the bridge
        with a manifest per browser, and the extension in one profile of each."""
        self.root = os.path.join(self.tmp, name.replace(' ', '-'), 'root')
        self.home = os.path.join(self.root, 'home', 'customer')
        for program in ('/usr/bin/chromium', '/usr/bin/firefox-esr', '/opt/google/chrome/chrome',
                        HOST, '/usr/lib/quilta/quilta-dialogs',
                        PLUGINS + '/quilta-dialogs'):
            self.write(program, '#!/bin/sh\n', 0o755)
        self.write(PLUGINS + '/libnpquilta.so', 'module', 0o644)
        for folder in (CHROMIUM_HOSTS, CHROME_HOSTS):
            self.manifest(folder, 'chromium')
        self.manifest(FIREFOX_HOSTS, 'firefox')
        settings = {'extensions': {'settings': {self.chromium_id: {'state': 1}}}}
        self.write('~/.config/chromium/Default/Preferences', json.dumps(settings))
        self.write('~/.config/google-chrome/Default/Preferences', '{}')
        os.makedirs(self.path('~/.config/google-chrome/Default/Extensions/%s/1.0.1'
                              % self.chromium_id))
        self.write(FIREFOX_PROFILE + '/prefs.js', '')
        self.write(FIREFOX_PROFILE + '/extensions.json',
                   json.dumps({'addons': [{'id': self.gecko_id, 'active': True}]}))

    def path(self, p):
        return os.path.join(self.home, p[2:]) if p.startswith('~/') else self.root + p

    def write(self, p, text, mode=0o644):
        full = self.path(p)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'w') as f:
            f.write(text)
        os.chmod(full, mode)
        return {}

    def remove(self, p):
        os.remove(self.path(p))
        return {}

    def manifest(self, folder, browser, **changes):
        m = dict(self.manifests[browser], path=HOST)
        m.update(changes)
        return self.write('%s/%s.json' % (folder, self.host_name), json.dumps(m, indent=2))

    # ---- the doctor ---------------------------------------------------------------------
    def run(self, env_changes):
        env = {k: v for k, v in os.environ.items()
               if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'FONTCONFIG_FILE', 'PCSCLITE_CSOCK_NAME')}
        env['DISPLAY'] = ':0'
        for k, v in env_changes.items():
            if v is None:
                env.pop(k, None)
            else:
                env[k] = v
        base = [self.doctor, '--root', self.root, '--home', self.home]
        js = subprocess.run(base + ['--json'], env=env, capture_output=True, text=True)
        text = subprocess.run(base, env=env, capture_output=True, text=True)
        return js.returncode, json.loads(js.stdout), text.returncode, text.stdout


def other_extension(r):
    return r.manifest(CHROME_HOSTS, 'chromium',
                      allowed_origins=['chrome-extension://%s/' % OTHER_CHROMIUM_ID])


def user_manifest_allowing_more(r):
    return r.manifest(USER_CHROMIUM_HOSTS, 'chromium',
                      allowed_origins=['chrome-extension://%s/' % r.chromium_id,
                                       'chrome-extension://%s/' % OTHER_CHROMIUM_ID])


def no_font_config(r):
    r.write('/fontconfig/empty.conf', '<?xml version="1.0"?>\n<fontconfig></fontconfig>\n')
    return {'FONTCONFIG_FILE': r.path('/fontconfig/empty.conf')}


# name, what breaks it (returns environment changes), the failing finding's id (None: the
# road stays clear), what its line must tell the customer to do, the warning expected.
SETUPS = [
    ('healthy', lambda r: {}, None, None, None),
    ('no pcscd', lambda r: {'PCSCLITE_CSOCK_NAME': r.path('/run/nobody/pcscd.comm')},
     'pcsc-service-down', "start it with 'sudo systemctl start pcscd.socket'", None),
    ('one reader empty', lambda r: r.pull([0]), None, None, 'card-absent'),
    ('every reader empty', lambda r: r.pull(), 'card-absent', INSERT_CARD, None),
    ('card of another application', lambda r: r.swap_all('other-application.txt'),
     'card-not-financial', INSERT_CARD, None),
    ('host manifest missing', lambda r: r.remove(CHROMIUM_HOSTS + '/com.zelb.quilta.json'),
     'bridge-manifest-missing', REINSTALL_BRIDGE, None),
    ('host manifest pointing elsewhere',
     lambda r: r.manifest(FIREFOX_HOSTS, 'firefox', path='/opt/old/quilta-nmhost'),
     'bridge-host-missing', REINSTALL_BRIDGE, None),
    ('host manifest naming another extension', other_extension,
     'bridge-extension-id', REINSTALL_BRIDGE, None),
    ("user's host manifest read before the system's", user_manifest_allowing_more,
     'bridge-extension-id', 'remove the file %s/com.zelb.quilta.json' % USER_CHROMIUM_HOSTS, None),
    ("plug-in's dialog helper missing", lambda r: r.remove(PLUGINS + '/quilta-dialogs'),
     'plugin-helper-missing', 'reinstall the package quilta-plugin', None),
    ('extension not added',
     lambda r: r.write(FIREFOX_PROFILE + '/extensions.json', '{"addons":[]}'),
     None, None, 'extension-missing'),
    ('no display', lambda r: {'DISPLAY': None}, 'display-missing',
     'run this check in a terminal on the desktop where the browser runs', None),
    ('font missing', no_font_config, 'font-missing', 'install the package fonts-arphic-ukai', None),
    # Last: the sandbox's pcscd is replaced.
    ('no reader', lambda r: r.pcscd_without_readers(), 'readers-none', 'plug the card reader in',
     None),
]


def check_healthy(rig, findings, problems):
    by_id = rig.healthy_problems(findings, ['Chromium', 'Firefox', 'Google Chrome'], problems)
    for wanted in ('pcsc-service', 'readers', 'plugin', 'display', 'font'):
        if wanted not in by_id:
            problems.append('no "%s" finding' % wanted)


def check(rig, checks, name, fail_id, todo, warn_id, result):
    problems = rig.report_problems(fail_id, todo, warn_id, result)
    if name == 'healthy':
        check_healthy(rig, result[1]['findings'], problems)
    checks.check(name, not problems, '\n  %s\n%s' % ('\n  '.join(problems), result[3]))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--doctor', required=True)
    ap.add_argument('--manifests', required=True)
    ap.add_argument('--profiles', required=True)
    rig = Rig(ap.parse_args())
    checks = Checks()
    try:
        for name, breaks, fail_id, todo, warn_id in SETUPS:
            rig.tree(name)
            env_changes = breaks(rig)
            check(rig, checks, name, fail_id, todo, warn_id, rig.run(env_changes))
            rig.undo_all()
    finally:
        rig.end()
        shutil.rmtree(rig.tmp, ignore_errors=True)
    return checks.summary()


if __name__ == '__main__':
    sys.exit(main())
