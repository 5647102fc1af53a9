#!/usr/bin/python3
"""The native host as a program, driven over its pipes as a browser drives it:

  - stdout carries only frames (a library writing to stdout must not break the stream);
  - a malformed request inside a whole frame is answered and the session goes on;
  - the end of input, a frame cut short and SIGTERM end the process with the release logged;
  - a frame longer than the limit is answered once ("frame-too-long") and ends the session;
  - once answered, a request's PIN is nowhere in the host's memory, and the host writes no
    core file.

No card and no pcscd: the release line names what there was to release. Requests come from
the bank's page (DOMAIN, the build's bank domain), as the extension sends them.
    host_process_test.py --host PATH --domain DOMAIN
"""
import argparse
import json
import os
import signal
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness import Checks  # noqa: E402

MAX_FRAME = 1 << 20


class Host:
    origin = None

    def __init__(self, path, log):
        self.p = subprocess.Popen([path, 'chrome-extension://test/'], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  env=dict(os.environ, QUILTA_NMHOST_LOG=log))

    def send_raw(self, data):
        self.p.stdin.write(data)
        self.p.stdin.flush()

    def send(self, payload):
        if isinstance(payload, dict):
            payload = dict(payload, origin=self.origin)
        data = payload if isinstance(payload, bytes) else json.dumps(payload).encode()
        self.send_raw(struct.pack('=I', len(data)) + data)

    def answer(self):
        head = self.p.stdout.read(4)
        if len(head) < 4:
            return None
        n = struct.unpack('=I', head)[0]
        return json.loads(self.p.stdout.read(n).decode('utf-8'))

    def rest(self):
        """Everything else the host wrote to stdout, after it ended."""
        return self.p.stdout.read()


def memory_holding(pid, needles):
    """Names of the host's writable mappings that hold any of `needles` (root reads them).
    Mappings of a gigabyte and more are reservations (a sanitizer's shadow), not data. In a
    sanitizer's unoptimised build the stack keeps the spilled temporaries of every call and is
    left out; the heap, where frames and parsed requests live, is read in every build."""
    found = []
    with open('/proc/%d/maps' % pid) as f:
        sanitized = 'libasan' in f.read()
    overlap = max(len(n) for n in needles) - 1
    chunk = 1 << 20
    with open('/proc/%d/maps' % pid) as maps, open('/proc/%d/mem' % pid, 'rb', 0) as mem:
        for line in maps:
            fields = line.split()
            if 'w' not in fields[1]:
                continue
            start, end = (int(x, 16) for x in fields[0].split('-'))
            name = fields[5] if len(fields) > 5 else '[anon]'
            if end - start >= 1 << 30 or (sanitized and name == '[stack]'):
                continue
            at = start
            while at < end:
                try:
                    mem.seek(at)
                    data = mem.read(min(chunk + overlap, end - at))
                except OSError:
                    data = b''
                for n in needles:
                    if n in data and '%s %s' % (name, n) not in found:
                        found.append('%s %s' % (name, n))
                at += chunk
    return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--host', required=True)
    ap.add_argument('--domain', required=True)
    args = ap.parse_args()
    Host.origin = 'https://%s/atm/' % args.domain
    checks = Checks()

    def expect(name, got, want):
        checks.check(name, got == want, 'got %r, want %r' % (got, want))

    with tempfile.TemporaryDirectory() as tmp:
        log = os.path.join(tmp, 'host.log')

        def last_log(pid):
            with open(log) as f:
                lines = [l.strip() for l in f if l.startswith('quilta-nmhost[%d]:' % pid)]
            return lines[-1] if lines else ''

        # A session: requests, a malformed one in between, then the end of input.
        h = Host(args.host, log)
        h.send({'id': 1, 'op': 'call', 'name': 'GetComVersion'})
        expect('first answer', h.answer(), {'id': 1, 'result': '1,0,0,1'})
        h.send(b'{"id":2,"op":')
        expect('malformed request', h.answer()['error']['code'], 'bad-request')
        h.send(b'\xff\xfe')
        expect('invalid UTF-8', h.answer()['error']['code'], 'bad-request')
        # ConnectDriver opens a context when pcscd runs, else fails: either way the session
        # goes on and the end releases what there is.
        h.send({'id': 3, 'op': 'call', 'name': 'ConnectDriver'})
        expect('answer after malformed ones', h.answer()['id'], 3)
        h.p.stdin.close()
        expect('exit at the end of input', h.p.wait(10), 0)
        expect('nothing but frames on stdout', h.rest(), b'')
        line = last_log(h.p.pid)
        checks.check('end of input logged', 'end of input:' in line, repr(line))

        # PINs pass through a request (an argument, a write of aPIN) and are wiped with it.
        h = Host(args.host, log)
        pin = '13579BDF2468ACE0'
        h.send({'id': 1, 'op': 'call', 'name': 'VerifyPIN', 'args': [pin]})
        h.send({'id': 2, 'op': 'set', 'name': 'aPIN', 'args': ['F' + pin[::-1][1:]]})
        h.send({'id': 3, 'op': 'call', 'name': 'GetComVersion'})
        for want in (1, 2, 3):
            expect('answer %d' % want, (h.answer() or {}).get('id'), want)
        expect('PIN wiped after the answer',
               memory_holding(h.p.pid, [pin.encode(), pin.encode('utf-16-le')]), [])
        with open('/proc/%d/limits' % h.p.pid) as f:
            core = [l.split()[4] for l in f if l.startswith('Max core file size')]
        expect('no core file', core, ['0'])
        h.p.stdin.close()
        h.p.wait(10)

        # A frame cut short by the end of input.
        h = Host(args.host, log)
        h.send_raw(struct.pack('=I', 10) + b'{"id"')
        h.p.stdin.close()
        expect('exit after a cut frame', h.p.wait(10), 0)
        line = last_log(h.p.pid)
        checks.check('cut frame logged', 'end of input inside a frame' in line, repr(line))

        # SIGTERM while idle, stdin still open.
        h = Host(args.host, log)
        h.send({'id': 1, 'op': 'get', 'name': 'ErrorInfo'})
        expect('answer before SIGTERM', h.answer(), {'id': 1, 'result': ''})
        h.p.send_signal(signal.SIGTERM)
        expect('exit on SIGTERM', h.p.wait(10), 0)
        line = last_log(h.p.pid)
        checks.check('SIGTERM logged', 'signal' in line, repr(line))
        h.p.stdin.close()

        # A length over the limit: answered once, then the session ends.
        h = Host(args.host, log)
        h.send_raw(struct.pack('=I', MAX_FRAME + 1) + b'{}')
        a = h.answer()
        expect('frame too long', a and a['error']['code'], 'frame-too-long')
        expect('exit after a frame too long', h.p.wait(10), 1)
        expect('nothing after the refusal', h.rest(), b'')
        h.p.stdin.close()

    return checks.summary()


if __name__ == '__main__':
    sys.exit(main())
