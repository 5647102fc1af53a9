"""The test pages of the web-ATM extension: scripts that use window.webatm as a bank's page
would, each check recorded as {check, ok, got} and posted to the test's web server.

Every page gets CONFIG (bank domain, reader names, what to run) and these helpers:
  same(name, promise, want)    the promise resolves to exactly `want`
  rejects(name, promise, code) the promise is rejected with an Error whose code is `code`
  driver(step)                 asks the test driver to act (freeze, thaw or kill the origin's
                               host, compare hosts, wait for a host to end) and returns its answer
  finish(next)                 posts the results; the driver answers with the next page
  raw(id, op, name, args)      a request posted as page.js posts it, with an id of the caller's
                               choice; resolves to the answer's result (20 s at most)
  second(how)                  opens the page SECOND in a new tab ('tab') or a frame ('frame')
                               and resolves to its window once it has loaded
"""

HEAD = r"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>web ATM</title></head><body>
<script>
'use strict';
const CONFIG = %(config)s;
const results = [];
function check(name, ok, got) { results.push({check: name, ok: !!ok, got: String(got)}); }
function why(e) { return 'rejected: ' + (e && e.code) + ' ' + (e && e.message); }
async function same(name, promise, want) {
  try {
    const got = await promise;
    check(name, got === want, got);
    return got;
  } catch (e) {
    check(name, false, why(e));
  }
}
async function rejects(name, promise, code) {
  try {
    check(name, false, 'resolved: ' + await promise);
  } catch (e) {
    // The Error may come from another page's window (a frame's, a tab's).
    check(name, Object.prototype.toString.call(e) === '[object Error]' && e.code === code, why(e));
  }
}
async function postJson(path, body) {
  const r = await fetch(path, {method: 'POST', body: JSON.stringify(body)});
  return r.json();
}
const driver = (step) => postJson('/driver', {step: step});
function raw(id, op, name, args) {
  return new Promise((resolve) => {
    const timer = setTimeout(() => resolve('no answer within 20 s'), 20000);
    window.addEventListener('message', function answer(e) {
      const d = e.data;
      if (e.source !== window || !d || d.tag !== 'quilta-webatm' || d.dir !== 'answer' || d.id !== id) return;
      window.removeEventListener('message', answer);
      clearTimeout(timer);
      resolve(d.result);
    });
    window.postMessage({tag: 'quilta-webatm', dir: 'request', id: id, op: op, name: name, args: args || []},
                       location.origin);
  });
}
// SECOND tells the window that opened or framed it when it has loaded; 20 s at most.
function second(how) {
  const url = location.href.replace(/[^/]*$/, 'second.html');
  return new Promise((resolve, reject) => {
    let win = null;
    const timer = setTimeout(() => reject(new Error('the second page did not load')), 20000);
    window.addEventListener('message', function loaded(e) {
      if (e.origin !== location.origin || !e.data || e.data.secondLoaded !== true) return;
      window.removeEventListener('message', loaded);
      clearTimeout(timer);
      resolve(win || e.source);
    });
    if (how === 'tab') {
      win = window.open(url);
      if (!win) reject(new Error('the second tab did not open'));
    } else {
      const frame = document.createElement('iframe');
      frame.src = url;
      document.body.appendChild(frame);
    }
  });
}
async function finish(final) {
  const answer = await postJson('/results', {page: location.pathname, final: final, results: results.splice(0)});
  if (final && answer.next) location.href = answer.next;
}
// A transaction as the bank runs it: the server's inputs written, the method called, the
// outputs read back and judged by the server. `during` runs while the method's call waits.
async function transaction(kind, method, pin, during) {
  const prepared = await (await fetch('/bank/prepare?kind=' + kind)).json();
  for (const [property, value] of prepared.inputs)
    await same(kind + ': set ' + property, webatm.set(property, value), true);
  const status = webatm.call(method, pin);
  if (during) await during();
  await same(method, status, 0);
  await same('ErrorInfo after ' + method, webatm.get('ErrorInfo'), 'Command successful. (0)');
  const outputs = {};
  for (const p of ['TAC', 'IccSeqNo', 'SessionTAC', 'EncOutAccountNo']) outputs[p] = await webatm.get(p);
  const verdict = await postJson('/bank/verify?kind=' + kind, outputs);
  check('the bank accepts the ' + kind + ' outputs', verdict.ok, verdict.reason);
}
window.addEventListener('load', async () => {
  try {
    if (await run() === 'navigating') return;  // the next page posts the results
  } catch (e) {
    check('no exception', false, e && e.stack || e);
  }
  await finish(true);
});
</script>
<script>
%(body)s
</script></body></html>"""

# The bank's page: the object, its members and the road of a card session up to the
# transactions, as on the plug-in.
BANK = r"""
async function run() {
  // The relay opens its port as the page loads: the origin's host runs before the first call.
  const started = await driver('host-started');
  check('the host starts as the page loads', started.ok, JSON.stringify(started));
  check('window.webatm exists', typeof webatm === 'object', typeof webatm);
  check('webatm is frozen', Object.isFrozen(webatm), Object.isFrozen(webatm));
  window.webatm = null;
  check('webatm cannot be replaced', window.webatm !== null, window.webatm);

  await same('GetComVersion', webatm.call('GetComVersion'), '1,0,0,1');
  await rejects('an unknown name', webatm.call('NoSuchMethod'), 'unknown-member');
  await rejects('a name that is not text', webatm.get(42), 'unknown-member');
  await rejects('an ActiveX-only method', webatm.call('DoAccessibleTransferTAC', '1234'), 'unknown-member');
  await rejects('a method read as a property', webatm.get('ConnectCard'), 'not-a-property');
  await rejects('a property called', webatm.call('ErrorInfo'), 'not-a-method');
  await same('AccountNo0 before any card read', webatm.get('AccountNo0'), '0000000000000000');
  await same('write-only SessionKey reads nothing', webatm.get('SessionKey'), undefined);
  await same('ReaderName takes non-ASCII text', webatm.set('ReaderName', '\u8b80\u5361\u6a5f A'), true);
  await same('non-ASCII text round trip', webatm.get('ReaderName'), '\u8b80\u5361\u6a5f A');
  // A request the host could not take in one frame is answered by the extension, and the
  // origin's session goes on (the host would end on it, for every page of the origin).
  await rejects('a request over 1 MiB', webatm.set('PCode', 'x'.repeat(1 << 20)), 'frame-too-long');
  await same('the session after it', webatm.get('ReaderName'), '\u8b80\u5361\u6a5f A');
  await same('ReaderType from a script number', webatm.set('ReaderType', 3), true);
  await same('ReaderType refuses 2.5', webatm.set('ReaderType', 2.5), false);
  await same('ReaderType refuses a string', webatm.set('ReaderType', '1'), false);
  await same('ReaderType keeps its value', webatm.get('ReaderType'), 3);
  await same('a read-only property refuses a write', webatm.set('ErrorInfo', 'x'), false);
  await same('VerifyPIN without its argument', webatm.call('VerifyPIN'), 6002);
  await same('ErrorInfo after a missing argument', webatm.get('ErrorInfo'), ' para input error. (6002)');
  await same('SetReaderType without its argument', webatm.call('SetReaderType'), 5042);
  await same('an argument that is neither text nor number counts as missing',
             webatm.call('ChangePIN', '1234', {}), 6002);

  if (!CONFIG.card) return;
  await same('ConnectDriver', webatm.call('ConnectDriver'), 0);
  await same('ListReadersName', webatm.call('ListReadersName'), 0);
  const count = await webatm.get('ReaderCount');
  check('the sandbox readers are listed', count >= CONFIG.readers.length, count);
  await same('Reader0', webatm.get('Reader0'), CONFIG.readers[0]);
  await same('ReaderName', webatm.set('ReaderName', CONFIG.readers[0]), true);
  await same('CheckCardInsert', webatm.call('CheckCardInsert'), 0);
  await same('SetReaderType', webatm.call('SetReaderType', 1), 0);
  await same('ConnectCard', webatm.call('ConnectCard'), 0);
  await same('ReadBasicData', webatm.call('ReadBasicData'), 0);
  await same('AccountNo0 of the demo card', webatm.get('AccountNo0'), '0081234500012345');
  await same('VerifyPIN with a wrong PIN', webatm.call('VerifyPIN', '0000'), 5031);
  await same('VerifyPIN with the PIN as a script number', webatm.call('VerifyPIN', 1234), 0);
  await same('ErrorInfo', webatm.get('ErrorInfo'), 'Command successful. (0)');
  await transaction('inquiry', 'DoInquiryTAC', '1234');

  if (CONFIG.pinpad) {
    // The second reader has its own PIN pad: the reader-instruction dialog (the GTK helper
    // next to the host, on the display) stays up while the customer types on the pad.
    await same('ReaderName of the PIN-pad reader', webatm.set('ReaderName', CONFIG.readers[1]), true);
    await same('SetReaderType 2', webatm.call('SetReaderType', '2'), 0);
    await same('ConnectCard on the PIN-pad reader', webatm.call('ConnectCard'), 0);
    // The dialog waits about two seconds before the reader gets the command: requests that
    // come meanwhile are taken inside it, as the plug-in's browser calls in during dialogs.
    await transaction('transfer', 'DoTransferTAC', '', async () => {
      await same('a call during the dialog is refused', webatm.call('ConnectDriver'), 6009);
      await same('a write during the dialog is refused', webatm.set('ReaderName', 'x'), false);
      await same('a read during the dialog is answered', webatm.get('ReaderName'), CONFIG.readers[1]);
    });
  }
  await same('DisconnectCard', webatm.call('DisconnectCard'), 0);
  await same('DisconnectDriver', webatm.call('DisconnectDriver'), 0);
}
"""

# The road across the bank's pages, which share the origin's host as the plug-in's pages
# share its object: the log-in page opens the card and verifies the PIN; the tab then goes on
# to the transfer page, which finds both, as does a second tab of the origin.
LOGIN = r"""
async function run() {
  const host = await driver('same-host');
  check('the log-in page has the host the first page started', host.ok, JSON.stringify(host));
  await same('log-in: ConnectDriver', webatm.call('ConnectDriver'), 0);
  await same('log-in: ReaderName', webatm.set('ReaderName', CONFIG.readers[0]), true);
  await same('log-in: SetReaderType', webatm.call('SetReaderType', 1), 0);
  await same('log-in: ConnectCard', webatm.call('ConnectCard'), 0);
  await same('log-in: VerifyPIN', webatm.call('VerifyPIN', '1234'), 0);
}
"""

TRANSFER = r"""
async function run() {
  const host = await driver('same-host');
  check('the transfer page has the log-in page\'s host', host.ok, JSON.stringify(host));
  await same('CheckCardInsert without ConnectCard', webatm.call('CheckCardInsert'), 0);
  await same('ReadBasicData on the card the log-in page opened', webatm.call('ReadBasicData'), 0);
  await same('ReadTACLog with the PIN the log-in page verified', webatm.call('ReadTACLog'), 0);
  const tab = await second('tab');
  await same('a second tab reads the ReaderName the first set', tab.webatm.get('ReaderName'), CONFIG.readers[0]);
  await same('a second tab finds the PIN verified', tab.webatm.call('ReadTACLog'), 0);
  const shared = await driver('same-host');
  check('both tabs have the one host', shared.ok, JSON.stringify(shared));
  tab.close();
}
"""

# Opened or framed by another page of the origin, which drives its window.webatm.
SECOND = r"""
async function run() {
  (window.opener || window.parent).postMessage({secondLoaded: true}, location.origin);
  return 'navigating';
}
"""

# The faults, with a frame of the origin beside the page: answers go to the page that asked
# under its own id, also when page and frame use the same id; the host killed while both wait
# on it rejects the call of each, and the next calls start one fresh host for both.
FAULTS = r"""
async function openCard(what) {
  await same(what + ': ConnectDriver', webatm.call('ConnectDriver'), 0);
  await same(what + ': ReaderName', webatm.set('ReaderName', CONFIG.readers[0]), true);
  await same(what + ': SetReaderType', webatm.call('SetReaderType', 1), 0);
  await same(what + ': ConnectCard', webatm.call('ConnectCard'), 0);
}
async function run() {
  const frame = await second('frame');
  let frozen = await driver('freeze');
  check('the origin has one host, now stopped', frozen.ok, JSON.stringify(frozen));
  const mine = raw('same', 'get', 'ReaderName');
  const its = frame.raw('same', 'get', 'ReaderType');
  const thawed = await driver('thaw');
  check('the host goes on', thawed.ok, JSON.stringify(thawed));
  const got = [await mine, await its];
  check('page and frame each get their own answer under the same id',
        got[0] === CONFIG.readers[0] && got[1] === 1, JSON.stringify(got));

  frozen = await driver('freeze');
  check('the host is stopped again', frozen.ok, JSON.stringify(frozen));
  const waiting = webatm.call('ReadBasicData');
  const framed = frame.webatm.call('ReadBasicData');
  const killed = await driver('kill');
  check('the host is killed', killed.ok, JSON.stringify(killed));
  await rejects('the page\'s call the killed host never answered', waiting, 'host-gone');
  await rejects('the frame\'s call the killed host never answered', framed, 'host-gone');
  await same('the next call starts a fresh session', webatm.get('ReaderName'), '');
  await same('the frame finds that session', frame.webatm.get('ReaderName'), '');
  const now = await driver('remember');
  check('one new host serves page and frame', now.ok && now.pid !== frozen.pid, JSON.stringify(now));
  // The killed host's card is free again: pcscd dropped its connection. The card stays open
  // when the tab leaves the bank: the host releases it after the grace period.
  await openCard('second session');
}
"""

# The bank's page over plain http: the extension stays away (unless the tree admits plain
# http, a test rig's setting, where the page works as over https).
PLAIN = r"""
async function run() {
  if (!CONFIG.plainHttp) {
    check('no window.webatm on the bank\'s page over plain http', typeof window.webatm === 'undefined',
          typeof window.webatm);
    return;
  }
  await same('GetComVersion over plain http', webatm.call('GetComVersion'), '1,0,0,1');
  await same('a write over plain http (admitted by the tree)', webatm.set('ReaderName', 'r'), true);
}
"""

# A foreign site that names the bank in its host: the extension stays away. The tab has left
# the bank's https pages: their host ends after the grace period, releasing what was open.
FOREIGN = r"""
async function run() {
  check('no window.webatm on ' + location.host, typeof window.webatm === 'undefined', typeof window.webatm);
  const ended = await driver('released');
  check('the bank\'s host ends once its last page is gone, releasing what was open',
        ended.ok, JSON.stringify(ended));
}
"""

# A foreign host the test's copy of the extension is widened to: its native host answers
# GetComVersion and nothing else, also when the page posts a request of its own that names the
# bank's URL.
WIDENED = r"""
async function run() {
  await same('GetComVersion from a foreign host', webatm.call('GetComVersion'), '1,0,0,1');
  const methods = [['ConnectDriver'], ['ListReadersName'], ['ConnectCard'], ['ReadBasicData'],
                   ['VerifyPIN', '0000'], ['ChangePIN', '0000', '1111'], ['DisconnectCard'],
                   ['DisconnectDriver']];
  for (const [name, ...args] of methods)
    await same(name + ' from a foreign host', webatm.call(name, ...args), 5004);
  for (const name of ['ErrorInfo', 'ReaderName', 'ReaderType', 'CardNo', 'AccountNo0'])
    await same(name + ' reads nothing on a foreign host', webatm.get(name), undefined);
  await same('a write from a foreign host is refused', webatm.set('ReaderName', 'x'), false);
  const spoofed = new Promise((resolve) => {
    window.addEventListener('message', (e) => {
      const d = e.data;
      if (d && d.tag === 'quilta-webatm' && d.dir === 'answer' && d.id === 'spoof') resolve(d.result);
    });
  });
  window.postMessage({tag: 'quilta-webatm', dir: 'request', id: 'spoof', op: 'call',
                      name: 'ConnectDriver', args: [], origin: 'https://' + CONFIG.bank + '/atm/'},
                     location.origin);
  check('an origin the page names itself is not used', await spoofed === 5004, await spoofed);
}
"""

# Round trips page -> host -> page of an empty read, timed in the page; before them the
# page's first call, sent as the page has loaded (its host started as the page began to load).
# WARM, on the widened foreign host, comes first: the extension runs when the bank's page
# loads, as in a browser that has been running.
WARM = r"""
async function run() {
  await webatm.call('GetComVersion');
}
"""

BENCH = r"""
async function run() {
  const sent = performance.now();
  await webatm.get('ErrorInfo');
  const first = performance.now() - sent;
  for (let i = 0; i < 30; ++i) await webatm.get('ErrorInfo');
  const times = [];
  for (let i = 0; i < CONFIG.rounds; ++i) {
    const t0 = performance.now();
    await webatm.get('ErrorInfo');
    times.push(performance.now() - t0);
  }
  times.sort((a, b) => a - b);
  const at = (q) => times[Math.min(times.length - 1, Math.floor(q * times.length))];
  check('bench', true, JSON.stringify({median: at(0.5), p90: at(0.9), min: times[0],
                                       rounds: times.length, first: first, sent: sent}));
}
"""

# The first call of a bank page as the page sees it, each on an origin of its own (a fresh host
# started as the page loads, the extension already running): FIRST_AT_ONCE calls from its first
# script, as early as a page can (while the host may still be starting), FIRST_ON_LOAD on the
# load event; 'nextpage' (the same script) is a later page of the bench's origin, whose host
# runs already.
FIRST_AT_ONCE = r"""
const firstSent = performance.now();
const firstAnswer = webatm.get('ErrorInfo').then(() => performance.now() - firstSent);
async function run() {
  const first = await firstAnswer;
  check('first', true, JSON.stringify({sent: firstSent, first: first}));
}
"""

FIRST_ON_LOAD = r"""
async function run() {
  const sent = performance.now();
  await webatm.get('ErrorInfo');
  check('first', true, JSON.stringify({sent: sent, first: performance.now() - sent}));
}
"""

PAGES = {'index': BANK, 'login': LOGIN, 'transfer': TRANSFER, 'second': SECOND, 'faults': FAULTS, 'plain': PLAIN, 'foreign': FOREIGN, 'widened': WIDENED,
         'warm': WARM, 'bench': BENCH, 'atonce': FIRST_AT_ONCE, 'onload': FIRST_ON_LOAD,
         'nextpage': FIRST_AT_ONCE}
