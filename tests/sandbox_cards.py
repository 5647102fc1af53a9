"""The readers and cards of the tools/pcsc-sandbox a check runs in, as its environment names
them, for the checks that break a set-up on purpose and put it back (doctor_test.py,
nmhost_wine_test.py): each change registers its undoing in `undo`; undo_all() runs them,
the newest first, and end() also stops the pcscd started here. report_problems() judges the
report both checks give on a set-up (diagnosis/report.cpp's JSON and text forms)."""
import os
import select
import subprocess

PINPAD_PREFIX = 'Todos eCode Connectable'  # the simulated PIN-pad reader's name


class SandboxCards:
    def __init__(self, profiles):
        self.profiles = profiles  # the card simulator's profile files
        self.slots = int(os.environ['QUILTA_SANDBOX_SLOTS'])
        self.readers = [os.environ['QUILTA_SIM_READER%d' % i] for i in range(self.slots)]
        self.undo = []
        self.pcscd = None

    def simctl(self, slot, *request):
        subprocess.run([os.environ['QUILTA_SIMCTL'], '--slot', str(slot)] + list(request),
                       check=True, stdout=subprocess.DEVNULL)

    def pull(self, slots=None):
        """Pulls the cards of `slots` (every slot's by default); put back by undo_all()."""
        for s in range(self.slots) if slots is None else slots:
            self.simctl(s, 'remove', 'wait')
            self.undo.append(lambda s=s: self.simctl(s, 'insert', 'wait'))
        return {}

    def swap_all(self, profile):
        """Every slot's card made from the profile file; the default cards back by undo_all()."""
        for s in range(self.slots):
            self.simctl(s, 'swap', os.path.join(self.profiles, profile), 'wait')
            self.undo.append(lambda s=s: self.simctl(s, 'swap', 'default', 'wait'))
        return {}

    @staticmethod
    def stop_pcscd(pid):
        fd = os.pidfd_open(pid)
        os.kill(pid, 15)
        if not select.select([fd], [], [], 10)[0]:
            raise RuntimeError('pcscd did not stop')
        os.close(fd)

    def pcscd_without_readers(self):
        """The sandbox's pcscd replaced by one with no reader configured (left so)."""
        self.stop_pcscd(int(os.environ['QUILTA_SANDBOX_PCSCD_PID']))
        empty = os.path.join(os.environ['QUILTA_SANDBOX_DIR'], 'no-readers.conf.d')
        os.makedirs(empty, exist_ok=True)
        self.pcscd = subprocess.Popen(['pcscd', '-f', '-c', empty], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
        subprocess.run([os.environ['QUILTA_PCSC_WAIT'], '--timeout', '10', '--list'], check=True,
                       stdout=subprocess.DEVNULL)
        return {}

    def no_pcscd(self):
        """No smart-card service at all any more (left so); after pcscd_without_readers()."""
        self.stop_pcscd(self.pcscd.pid)
        self.pcscd.wait()
        return {}

    @staticmethod
    def report_problems(fail_id, todo, warn_id, result):
        """What is wrong with a report (`result`: the JSON form's exit status and report, the
        text form's exit status and text): on a set-up broken so it fails with `fail_id` alone
        and tells to `todo` (with None: healthy, it exits 0 and is clear); it warns of `warn_id`
        alone; both forms exit alike and each finding has its text line."""
        rc, report, text_rc, text = result
        findings = report['findings']
        problems = []
        fails = {f['id'] for f in findings if f['status'] == 'fail'}
        warns = {f['id'] for f in findings if f['status'] == 'warn'}
        if fail_id is None:
            if rc != 0 or fails or report['clear'] is not True:
                problems.append('exit %s, failures %s' % (rc, sorted(fails)))
        else:
            if rc == 0 or report['clear'] is not False:
                problems.append('exit %s' % rc)
            if fails != {fail_id}:
                problems.append('failures %s, expected only %s' % (sorted(fails), fail_id))
            for f in findings:
                if f['id'] == fail_id and todo not in f['text']:
                    problems.append('"%s" does not tell to %s' % (f['text'], todo))
        if warns != ({warn_id} if warn_id else set()):
            problems.append('warnings %s' % sorted(warns))
        if text_rc != rc:
            problems.append('text output exits %s, JSON %s' % (text_rc, rc))
        lines = [line.rstrip('\r') for line in text.splitlines()]
        prefix = {'ok': 'OK       ', 'warn': 'WARNING  ', 'fail': 'PROBLEM  '}
        for f in findings:
            if prefix[f['status']] + f['text'] not in lines:
                problems.append('no text line for "%s"' % f['text'])
        return problems

    def healthy_problems(self, findings, browsers, problems):
        """Adds to `problems` what the report on the sandbox's healthy machine lacks: every
        reader listed, a financial card in each, each reader's type, the bridge and the
        extension found in `browsers`. The findings by id."""
        by_id = {}
        for f in findings:
            by_id.setdefault(f['id'], []).append(f)
        listed = by_id['readers'][0]['detail']['readers'] if 'readers' in by_id else []
        if sorted(listed) != sorted(self.readers):
            problems.append('readers listed: %s' % listed)
        cards = sorted(f['detail']['reader'] for f in by_id.get('card', []))
        if cards != sorted(self.readers):
            problems.append('financial cards found in %s, not in every reader' % cards)
        for f in by_id.get('reader-type', []):
            want = 'yes' if f['detail']['reader'].startswith(PINPAD_PREFIX) else 'no'
            if f['detail']['pinpad'] != want:
                problems.append('%s: pinpad %s' % (f['detail']['reader'], f['detail']['pinpad']))
        for kind in ('bridge', 'extension'):
            found = sorted(f['detail']['browser'] for f in by_id.get(kind, []))
            if found != browsers:
                problems.append('"%s" findings for %s' % (kind, found))
        return by_id

    def undo_all(self):
        while self.undo:
            self.undo.pop()()

    def end(self):
        self.undo_all()
        if self.pcscd and self.pcscd.poll() is None:
            self.pcscd.terminate()
            self.pcscd.wait()
