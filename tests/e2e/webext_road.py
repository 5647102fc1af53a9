#!/usr/bin/python3
"""The sample web-ATM (samples/webatm) on the extension: headless Chromium or Firefox ESR with
the built extension and native host, the sample page from the bank's web server
(quilta-bank-http) over https, the card simulator behind the real pcscd + vpcd.

Run inside tools/pcsc-sandbox (slot 0: a plain reader) under xvfb-run:

    webext_road.py --browser chromium|firefox --webext DIR --host HOST --manifest-dir DIR
                   --domain DOMAIN --bank-http TOOL --samples DIR --geometry TOOL --shots DIR

The bank's web server serves a folder of the test's own: webatm/ is the sample's folder as it
is, drive.html a page of the same origin that frames the sample and takes its steps as the
customer would (reader list, open card, VerifyPIN, log-in, inquiry, a transfer, the TAC log,
close), each judged by what the sample's steps resolve, window.webAtmSample.last (with the
bank's verdict from its /verify) and the sample's log. The drive page posts its checks to the
test's own https server on another port (https_rig.PageServer, answering across origins).
For the transfer it has the test start the customer (road.py --customer), who pulls the card
out and puts it back through the simulator and types the receiving account's last digits on
the host's confirmation dialog (the GTK helper on the Xvfb display).

The browser, its profile, the CA only it trusts and the host manifests are set up as the
extension's browser tests do it (tests/nmhost/browser/webext_test.py).
Exit status 0 when every check passed.
"""
import argparse
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'nmhost', 'browser'))
sys.path.insert(0, os.path.join(HERE, '..'))
import webext_test  # noqa: E402  (it puts https_rig's folder on the path)
import https_rig  # noqa: E402
from harness import wait_until  # noqa: E402

TIME_LIMIT = 240
CUSTOMER_LIMIT = 90

DRIVE = r"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>drive the sample web-ATM</title></head><body>
<script>
'use strict';
const CONFIG = %(config)s;
const results = [];
function check(name, ok, got) { results.push({check: name, ok: !!ok, got: String(got)}); }
async function report(path, body) {
  const r = await fetch(CONFIG.report + path, {method: 'POST', body: JSON.stringify(body)});
  return r.json();
}
function framed(url) {
  return new Promise((resolve) => {
    const frame = document.createElement('iframe');
    frame.style.width = '900px';
    frame.style.height = '700px';
    frame.onload = () => resolve(frame.contentWindow);
    frame.src = url;
    document.body.appendChild(frame);
  });
}
async function run() {
  const win = await framed('/webatm/');
  const doc = win.document;
  const sample = win.webAtmSample;
  check('the extension\'s window.webatm in the sample\'s frame',
        typeof win.webatm === 'object' && Object.isFrozen(win.webatm), typeof win.webatm);
  if (typeof sample !== 'object') return check('the sample\'s own global', false, typeof sample);
  const last = () => JSON.stringify(sample.last);
  async function step(name, promise) {
    const ok = await promise;
    check(name, ok === true, last());
    return ok === true;
  }
  const options = (id) => Array.from(doc.getElementById(id).options, (o) => o.value);
  doc.getElementById('pin').value = CONFIG.pin;
  if (!await step('readers listed', sample.listReaders())) return;
  check('the sample found the extension', sample.surface === 'extension', sample.surface);
  check('the sandbox\'s reader offered', options('readers').includes(CONFIG.reader),
        options('readers'));
  doc.getElementById('readers').value = CONFIG.reader;
  doc.getElementById('type').value = '1';
  if (!await step('card opened and read', sample.openCard())) return;
  check('the card\'s account listed', options('accounts').includes(CONFIG.account),
        options('accounts'));
  await step('VerifyPIN', sample.verifyPin());
  for (const kind of ['login', 'inquiry']) {
    await step(kind + ': the bank verifies the results', sample.run(kind));
    check(kind + ': the bank\'s verdict kept', sample.last.bank && sample.last.bank.ok === true,
          last());
  }
  const customer = await report('/customer', {});
  check('the customer is at the computer', customer.ok, JSON.stringify(customer));
  const transfer = sample.run('transfer');
  const played = await report('/customer-done', {});
  check('the customer played the confirmation dialog', played.rc === 0, JSON.stringify(played));
  await step('transfer: DoTransferTAC 0 and the bank verifies the results', transfer);
  await step('TAC log: the bank finds the transfer in its first record', sample.tacLog());
  await step('card closed', sample.close());
  const failed = Array.from(doc.querySelectorAll('#log .fail'), (line) => line.textContent);
  check('no failure in the sample\'s log', failed.length === 0, failed.join(' | '));
  const logged = doc.getElementById('log').textContent;
  check('the log shows the bank\'s verdicts',
        (logged.match(/bank: \w+ accepted/g) || []).length === 4, logged);
}
window.addEventListener('load', async () => {
  try {
    await run();
  } catch (e) {
    check('no exception', false, e && e.stack || e);
  }
  await report('/results', {results: results});
});
</script></body></html>
"""


class SampleRoad(webext_test.Test):
    """The extension's browser test set-up (profile, CA, host manifests, the extension copy),
    with the sample's pages from quilta-bank-http instead of the test pages."""
    time_limit = TIME_LIMIT

    def __init__(self, args):
        super().__init__(argparse.Namespace(
            browser=args.browser, webext=args.webext, host=args.host,
            manifest_dir=args.manifest_dir, system_manifests=False, domain=args.domain,
            card=True, pinpad=False, bank_tool=None, pages=None, bench=0))
        self.road = args
        self.bank_http = None
        self.bank_port = None
        self.customer = None

    def url(self, page):
        return 'https://%s:%d/drive.html' % (self.args.domain, self.bank_port)

    def start_customer(self):
        self.customer = subprocess.Popen(
            [sys.executable, os.path.join(HERE, 'road.py'), '--customer', '--reader-type', '1',
             '--shots', self.road.shots, '--geometry', self.road.geometry,
             '--simctl', os.environ['QUILTA_SIMCTL']])
        return {'ok': True}

    def customer_done(self):
        try:
            return {'rc': self.customer.wait(CUSTOMER_LIMIT)}
        except subprocess.TimeoutExpired:
            self.customer.kill()
            self.customer.wait()
            return {'rc': None, 'error': 'no end within %d s' % CUSTOMER_LIMIT}

    def serve(self):
        test = self

        class Handler(https_rig.Handler):
            def do_POST(self):
                n = int(self.headers.get('Content-Length') or 0)
                body = json.loads(self.rfile.read(n) or b'{}')
                if self.path == '/customer':
                    answer = test.start_customer()
                elif self.path == '/customer-done':
                    answer = test.customer_done()
                elif self.path == '/results':
                    test.results += [dict(r, page='sample') for r in body['results']]
                    test.finished.set()
                    answer = {}
                else:
                    return self.send_error(404)
                data = json.dumps(answer).encode()
                self.send_response(200)
                self.send_header('Content-Type', 'application/json')
                self.send_header('Content-Length', str(len(data)))
                self.send_header('Access-Control-Allow-Origin', 'https://%s:%d'
                                 % (test.args.domain, test.bank_port))
                self.end_headers()
                self.wfile.write(data)

        self.server = https_rig.PageServer(Handler, self.ca).start()
        self.port = self.server.port

        root = os.path.join(self.tmp, 'root')
        os.makedirs(root)
        os.symlink(os.path.abspath(os.path.join(self.road.samples, 'webatm')),
                   os.path.join(root, 'webatm'))
        config = {'report': 'https://%s:%d' % (self.args.domain, self.port), 'pin': '1234',
                  'reader': os.environ['QUILTA_SIM_READER0'], 'account': '0081234500012345'}
        with open(os.path.join(root, 'drive.html'), 'w') as f:
            f.write(DRIVE % {'config': json.dumps(config)})
        port_file = os.path.join(self.tmp, 'bank-port')
        self.bank_log = os.path.join(self.tmp, 'bank.log')
        self.bank_http = subprocess.Popen(
            [self.road.bank_http, '--root', root, '--cert', self.ca.cert, '--key', self.ca.key,
             '--port-file', port_file], stdout=open(self.bank_log, 'w'), stderr=subprocess.STDOUT)
        port = wait_until(lambda: os.path.exists(port_file) and open(port_file).read().strip()
                          or self.bank_http.poll() is not None and 'ended', 10)
        if not port or port == 'ended':
            raise SystemExit('quilta-bank-http did not start:\n' + open(self.bank_log).read())
        self.bank_port = int(port)

    def report(self, done):
        if not done or any(not r['ok'] for r in self.results):
            with open(self.bank_log, errors='replace') as f:
                print('---- bank.log (end) ----\n' + ''.join(f.readlines()[-20:]))
        return super().report(done)

    def stop(self):
        if self.customer and self.customer.poll() is None:
            self.customer.kill()
        super().stop()
        self.bank_http.terminate()
        self.bank_http.wait()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--browser', choices=['chromium', 'firefox'], required=True)
    ap.add_argument('--webext', required=True)
    ap.add_argument('--host', required=True)
    ap.add_argument('--manifest-dir', required=True)
    ap.add_argument('--domain', required=True)
    ap.add_argument('--bank-http', required=True)
    ap.add_argument('--samples', required=True)
    ap.add_argument('--geometry', required=True)
    ap.add_argument('--shots', required=True)
    args = ap.parse_args()
    os.makedirs(args.shots, exist_ok=True)
    return SampleRoad(args).run()


if __name__ == '__main__':
    sys.exit(main())
