#!/usr/bin/python3
"""Loads the plug-in in a real browser engine (QtWebKit) and scripts it from web pages.

Run under an X server (xvfb-run -a), with the system's python3 that has PyQt5.QtWebKit:
    xvfb-run -a /usr/bin/python3 qtwebkit_test.py --plugin-dir DIR --domain DOMAIN
             [--card] [--pinpad] [--plain-http-refused]

DOMAIN is the bank domain the module was built for (the build's QUILTA_BANK_DOMAIN).

The pages come over https from a server of the test (https_rig.py) that QtWebKit reaches as
its proxy, with a certificate from a throw-away CA that only this browser trusts (Qt's
default TLS configuration holds that CA alone). Two pages embed the plug-in: one on the bank's
own host, whose script exercises properties and methods, and one on a foreign host
(DOMAIN.evil.test) that frames a bank page which embeds the plug-in too. The foreign page's
own object answers GetComVersion and nothing else: every other method 5004, every property
undefined, every write refused; afterwards the bank frame finds its state as it left it.
With --plain-http-refused the bank's page over plain http gets GetComVersion and nothing else
too (a module built without QUILTA_ALLOW_PLAIN_HTTP). Each page reports its checks as console
messages; the test fails on any failed check or when a page never reports back.

With --card the pages also drive a card through the system's PC/SC (run it inside
tools/pcsc-sandbox, whose simulated demo card sits in the first reader): the bank page opens
the card, reads it and verifies the PIN; then the bank frame inside the foreign page opens the
card, the foreign page's object tries to read, verify, change the PIN and close it, and the
bank frame's card is still open with its ErrorInfo unchanged.
"""
import argparse
import json
import os
import shutil
import sys
import tempfile
from urllib.parse import urlsplit

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..'))
import https_rig  # noqa: E402
from harness import Checks  # noqa: E402

PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>web ATM</title></head><body>
<embed id="atm" type="application/ZELB-Quilta-plugin" width="1" height="1">
<embed id="atm2" type="application/ZELB-Quilta-plugin" width="1" height="1">
<script>
var BANK = %(bank)s, FOREIGN = %(foreign)s, CARD = %(card)s;
function report(name, ok, got) {
  console.log(JSON.stringify({check: name, ok: ok, got: String(got)}));
}
function same(name, got, want) { report(name, got === want, got); }
function finish() { console.log(JSON.stringify({done: true})); }
function run() {
  var atm = document.getElementById('atm');
  try {
    // A script that answers 'wait' calls finish() itself (or, in a frame, never).
    if ((function () {
%(body)s
    })() === 'wait') return;
  } catch (e) {
    report('no exception', false, e);
  }
  finish();
}
window.addEventListener('load', run);
</script></body></html>"""

BANK_CHECKS = r"""
    same('GetComVersion', atm.GetComVersion(), '1,0,0,1');
    same('default method', atm(), 'default method return val');
    same('AccountNo0 before any card read', atm.AccountNo0, '0000000000000000');
    same('ApplyType reads 0', atm.ApplyType, 0);
    report('SessionKey is a property', 'SessionKey' in atm, 'SessionKey' in atm);
    same('write-only SessionKey reads nothing', typeof atm.SessionKey, 'undefined');
    same('ActiveX-only method absent', typeof atm.DoAccessibleTransferTAC, 'undefined');

    atm.ReaderName = '\u8b80\u5361\u6a5f A';
    same('non-ASCII text round trip', atm.ReaderName, '\u8b80\u5361\u6a5f A');
    var other = document.getElementById('atm2');
    same('instances share the core', other.ReaderName, '\u8b80\u5361\u6a5f A');

    atm.ReaderType = 3;
    same('ReaderType from a script number', atm.ReaderType, 3);
    atm.ReaderType = 2.5;
    same('ReaderType keeps its value after 2.5', atm.ReaderType, 3);
    atm.ReaderType = '1';
    same('ReaderType keeps its value after a string', atm.ReaderType, 3);

    same('VerifyPIN without its argument', atm.VerifyPIN(), 6002);
    same('ErrorInfo after a missing argument', atm.ErrorInfo, ' para input error. (6002)');
    same('SetReaderType without its argument', atm.SetReaderType(), 5042);
    same('ChangePIN with one argument', atm.ChangePIN('1234'), 6002);

    var status = atm.ConnectCard();
    report('ConnectCard passes the origin check on the bank host', status !== 5004, status);
"""

CARD_BANK_CHECKS = r"""
    same('ConnectDriver', atm.ConnectDriver(), 0);
    same('ListReadersName', atm.ListReadersName(), 0);
    report('a reader is listed', atm.ReaderCount >= 1, atm.ReaderCount);
    atm.ReaderName = atm.Reader0;
    // A plain reader: the first page left type 3 (a PIN pad) in the process-wide core.
    same('SetReaderType', atm.SetReaderType(1), 0);
    same('ReaderType', atm.ReaderType, 1);
    same('ConnectCard', atm.ConnectCard(), 0);
    same('ReadBasicData', atm.ReadBasicData(), 0);
    same('AccountNo0 of the demo card', atm.AccountNo0, '0081234500012345');
    same('VerifyPIN with a wrong PIN', atm.VerifyPIN('0000'), 5031);
    same('VerifyPIN with the PIN as a script number', atm.VerifyPIN(1234), 0);
    same('ErrorInfo', atm.ErrorInfo, 'Command successful. (0)');
    same('DisconnectCard', atm.DisconnectCard(), 0);
    same('DisconnectDriver', atm.DisconnectDriver(), 0);
"""

# The second reader has its own PIN pad (the sandbox's slot 1): VerifyPIN with reader type 2
# shows the reader-instruction dialog, drawn by the dialog helper on the browser's display,
# which sends the command itself while the customer types the PIN on the pad.
PINPAD_CHECKS = r"""
    same('ConnectDriver', atm.ConnectDriver(), 0);
    same('ListReadersName', atm.ListReadersName(), 0);
    report('the PIN-pad reader is listed', atm.ReaderCount >= 2, atm.ReaderCount);
    atm.ReaderName = atm.Reader1;
    same('SetReaderType 2', atm.SetReaderType('2'), 0);
    same('ConnectCard', atm.ConnectCard(), 0);
    same('VerifyPIN on the reader\'s PIN pad, through its dialog', atm.VerifyPIN(''), 0);
    same('ErrorInfo', atm.ErrorInfo, 'Command successful. (0)');
    same('DisconnectCard', atm.DisconnectCard(), 0);
    same('DisconnectDriver', atm.DisconnectDriver(), 0);
"""

# A foreign page frames a bank page (FRAME_CHECKS); once the frame has set up (with CARD: opened
# the card), the foreign page's own object tries everything, then the frame looks again.
FOREIGN_CHECKS = r"""
    var frame = document.createElement('iframe');
    window.addEventListener('message', function (e) {
      if (e.origin !== BANK) return;
      if (e.data === 'ready') {
        try {
          same('GetComVersion on a foreign page', atm.GetComVersion(), '1,0,0,1');
          var calls = {
            ConnectDriver: function () { return atm.ConnectDriver(); },
            ListReadersName: function () { return atm.ListReadersName(); },
            ConnectCard: function () { return atm.ConnectCard(); },
            ReadBasicData: function () { return atm.ReadBasicData(); },
            ChangePIN: function () { return atm.ChangePIN('0000', '1111'); },
            DisconnectCard: function () { return atm.DisconnectCard(); },
            DisconnectDriver: function () { return atm.DisconnectDriver(); },
            VerifyPIN: function () { return atm.VerifyPIN('0000'); }
          };
          for (var m in calls) same(m + ' on a foreign page', calls[m](), 5004);
          atm.ReaderName = 'foreign';
          atm.ReaderType = 2;
          var props = ['ErrorInfo', 'ReaderName', 'ReaderType', 'Reader0', 'CardNo', 'AccountNo0'];
          for (var i = 0; i < props.length; ++i)
            same(props[i] + ' reads nothing on a foreign page', typeof atm[props[i]], 'undefined');
        } catch (x) {
          report('foreign page: no exception', false, x);
        }
        frame.contentWindow.postMessage('look', BANK);
      } else if (e.data === 'looked') {
        finish();
      }
    });
    frame.src = BANK + '/atm/frame.html';
    document.body.appendChild(frame);
    return 'wait';
"""

# The bank page inside the foreign page: the state it leaves (with CARD: the card open) is what
# it finds when the foreign page has tried its worst.
FRAME_CHECKS = r"""
    if (CARD) {
      same('bank frame: ConnectDriver', atm.ConnectDriver(), 0);
      same('bank frame: ListReadersName', atm.ListReadersName(), 0);
      atm.ReaderName = atm.Reader0;
      same('bank frame: SetReaderType', atm.SetReaderType(1), 0);
      same('bank frame: ConnectCard', atm.ConnectCard(), 0);
      same('bank frame: ReadBasicData', atm.ReadBasicData(), 0);
      same('bank frame: CardNo read from the card', atm.CardNo !== '', true);
    } else {
      atm.ReaderName = 'bank frame reader';
      atm.ReaderType = 1;
    }
    var before = {};
    var props = ['ErrorInfo', 'ReaderName', 'ReaderType', 'CardNo', 'AccountNo0'];
    for (var i = 0; i < props.length; ++i) before[props[i]] = atm[props[i]];
    window.addEventListener('message', function (e) {
      if (e.origin !== FOREIGN || e.data !== 'look') return;
      try {
        for (var p in before) same('bank frame: ' + p + ' as it was', atm[p], before[p]);
        if (CARD) {
          same('bank frame: its card is still open', atm.ReadBasicData(), 0);
          same('bank frame: DisconnectCard', atm.DisconnectCard(), 0);
          same('bank frame: DisconnectDriver', atm.DisconnectDriver(), 0);
        }
      } catch (x) {
        report('bank frame: no exception', false, x);
      }
      e.source.postMessage('looked', FOREIGN);
    });
    parent.postMessage('ready', FOREIGN);
    return 'wait';
"""


# The bank's page over plain http (--plain-http-refused: the module is one for customers, not
# a test rig's that admits plain http): GetComVersion and nothing else.
PLAIN_CHECKS = r"""
    same('GetComVersion over plain http', atm.GetComVersion(), '1,0,0,1');
    same('ConnectDriver over plain http', atm.ConnectDriver(), 5004);
    same('ErrorInfo reads nothing over plain http', typeof atm.ErrorInfo, 'undefined');
"""


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--plugin-dir', required=True)
    ap.add_argument('--domain', required=True,
                    help='the bank domain the module was built for (QUILTA_BANK_DOMAIN)')
    ap.add_argument('--card', action='store_true',
                    help='also drive the card in the first reader of the system\'s PC/SC')
    ap.add_argument('--pinpad', action='store_true',
                    help='also verify the PIN on the PIN pad of the second reader, with the '
                         'real dialog')
    ap.add_argument('--plain-http-refused', action='store_true',
                    help='also check that the bank\'s page over plain http is refused')
    args = ap.parse_args()
    os.environ['QTWEBKIT_PLUGIN_PATH'] = os.path.abspath(args.plugin_dir)

    from PyQt5.QtCore import QTimer, QUrl
    from PyQt5.QtNetwork import QNetworkProxy
    from PyQt5.QtWebKit import QWebSettings
    from PyQt5.QtWebKitWidgets import QWebPage, QWebView
    from PyQt5.QtWidgets import QApplication

    app = QApplication(sys.argv[:1])
    settings = QWebSettings.globalSettings()
    settings.setAttribute(QWebSettings.PluginsEnabled, True)
    settings.setAttribute(QWebSettings.JavascriptEnabled, True)

    bank = 'https://' + args.domain
    # The bank's domain appears in the host's name and in the query, but the host is foreign.
    foreign = 'https://%s.evil.test' % args.domain
    pages = [
        ('bank page', bank + '/atm/index.html', BANK_CHECKS),
        ('foreign page', foreign + '/atm/?next=%s/' % bank, FOREIGN_CHECKS),
    ]
    if args.plain_http_refused:
        pages += [('bank page over plain http', 'http://%s/atm/plain.html' % args.domain,
                   PLAIN_CHECKS)]
    if args.card:
        pages += [
            ('bank card page', bank + '/atm/card.html', CARD_BANK_CHECKS),
            ('foreign card page', foreign + '/atm/card/?next=%s/' % bank, FOREIGN_CHECKS),
        ]
    if args.pinpad:
        pages += [('PIN-pad reader page', bank + '/atm/pinpad.html', PINPAD_CHECKS)]
    state = {'index': -1, 'finished': 0}
    checks = Checks()

    # The pages by host and path; the bank frame is served with the card setting of the
    # foreign page that is loaded.
    def html(body):
        return PAGE % {'body': body, 'bank': json.dumps(bank), 'foreign': json.dumps(foreign),
                       'card': json.dumps(pages[state['index']][1].startswith(
                           foreign + '/atm/card/'))}

    def served(scheme, host, path):
        if (scheme, host, path) == ('https', args.domain, '/atm/frame.html'):
            return html(FRAME_CHECKS)
        name, url, body = pages[state['index']]
        u = urlsplit(url)
        return html(body) if (u.scheme, u.hostname, u.path) == (scheme, host, path) else None

    class Handler(https_rig.Handler):
        def do_GET(self):
            u = urlsplit(self.path)  # a proxied http request names the whole URL
            host = (u.hostname or self.headers.get('Host', '').split(':')[0]).lower()
            body = served('https' if self.https else 'http', host, u.path)
            if body is None:
                return self.send_error(404)
            data = body.encode('utf-8')
            self.send_response(200)
            self.send_header('Content-Type', 'text/html; charset=utf-8')
            self.send_header('Content-Length', str(len(data)))
            self.send_header('Cache-Control', 'no-store')
            self.end_headers()
            self.wfile.write(data)

    tmp = tempfile.mkdtemp(prefix='quilta-qtwebkit-')
    try:
        ca = https_rig.TestCA(tmp, [args.domain, args.domain + '.evil.test'])
        server = https_rig.PageServer(Handler, ca).start()
    except Exception:
        shutil.rmtree(tmp, ignore_errors=True)
        raise
    https_rig.qt_trust(ca.ca)
    QNetworkProxy.setApplicationProxy(QNetworkProxy(QNetworkProxy.HttpProxy, '127.0.0.1',
                                                    server.port))

    class Page(QWebPage):
        def javaScriptConsoleMessage(self, message, line, source):
            try:
                msg = json.loads(message)
            except ValueError:
                print('console: %s' % message)
                return
            name = pages[state['index']][0]
            if msg.get('done'):
                state['finished'] += 1
                # Once the page's load has finished (its script may run in the load event).
                QTimer.singleShot(0, load_next)
            else:
                checks.check('%s: %s' % (name, msg['check']), msg['ok'], 'got %s' % msg['got'])

    view = QWebView()
    page = Page()
    view.setPage(page)
    view.resize(400, 300)
    view.show()

    def load_next():
        state['index'] += 1
        if state['index'] >= len(pages):
            app.quit()
            return
        name, url, body = pages[state['index']]
        print('-- %s (%s)' % (name, url))
        page.mainFrame().load(QUrl(url))

    def loaded(ok):
        if not ok:
            checks.check('%s loaded' % pages[state['index']][1], False)
            app.quit()

    def give_up():
        checks.check('the page script reported back', False)
        app.quit()

    page.mainFrame().loadFinished.connect(loaded)
    QTimer.singleShot(0, load_next)
    # A guard against a hang, not a time limit on the plug-in.
    QTimer.singleShot(120000, give_up)
    app.exec_()
    server.shutdown()
    shutil.rmtree(tmp, ignore_errors=True)

    if state['finished'] != len(pages):  # the "ok" lines are the pages' checks alone
        checks.check('every page finished', False, '%d of %d' % (state['finished'], len(pages)))
    return checks.summary()


if __name__ == '__main__':
    sys.exit(main())
