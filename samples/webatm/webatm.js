// The sample web-ATM's script. Every step is written once, against QuiltaAtm (below), and runs
// the same on the NPAPI plug-in and on the extension's window.webatm. Each step resolves true on
// success; every card call is logged with its status and ErrorInfo, every bank check with its
// verdict. window.webAtmSample.last holds the last outcome ({step, status, errorInfo, bank}, or
// {step, error} when a step could not go on) for whoever drives the page.
//
// The page's own global is not named webatm: on the bank's pages the extension defines a frozen
// window.webatm before the page's scripts run, and a page global of that name would lose to it.
// The script keeps to what QtWebKit's engine runs (no async functions, no fetch): the steps are
// generators whose `yield` waits for a promise as `await` would (flow, below).

// QuiltaAtm.open() resolves to the card object of whichever surface the browser has, with one
// promise API:
//   call(name, ...args)  the method's result: its status (GetComVersion: its text)
//   get(name)            the property's value
//   set(name, value)     true when written, false when refused
// The extension's window.webatm is that API already (it is there only on the bank's https pages,
// and only when the extension runs); the plug-in's <embed> answers synchronously and its answers
// are handed on as promises (an <embed> of a type no plug-in serves has no GetComVersion).
// open() rejects when neither is here, or when the extension's native host is not installed.
var QuiltaAtm = (function () {
  'use strict';
  const MIME = 'application/ZELB-Quilta-plugin';

  function extension(webatm) {
    return Object.freeze({
      surface: 'extension',
      call: (name, ...args) => webatm.call(name, ...args),
      get: (name) => webatm.get(name),
      set: (name, value) => webatm.set(name, value),
    });
  }

  function plugin(embed) {
    // Each promise settles with what the embed answered, or rejects with what it threw.
    const settle = (answer) => new Promise((resolve) => resolve(answer()));
    return Object.freeze({
      surface: 'plug-in',
      call: (name, ...args) => settle(() => {
        if (typeof embed[name] !== 'function') {
          const e = new Error('no method ' + name);
          e.code = 'unknown-member';
          throw e;
        }
        return embed[name](...args);
      }),
      get: (name) => settle(() => embed[name]),
      // A refused write raises an error in Gecko; WebKit completes it and the property keeps
      // its value, so there a refusal cannot be told (read a readable property back).
      set: (name, value) => settle(() => {
        try {
          embed[name] = value;
          return true;
        } catch (e) {
          return false;
        }
      }),
    });
  }

  function open() {
    const webatm = window.webatm;
    if (webatm && typeof webatm.call === 'function') {
      return webatm.call('GetComVersion').then(() => extension(webatm), (e) => {
        throw new Error(e && e.code === 'host-gone'
            ? 'the web-ATM extension is here, its host program is not (install quilta-webatm)'
            : 'the web-ATM extension does not answer: ' + (e && e.message));
      });
    }
    const embed = document.querySelector('embed[type="' + MIME + '"]');
    if (embed && typeof embed.GetComVersion === 'function') return Promise.resolve(plugin(embed));
    return Promise.reject(new Error('neither the web-ATM extension nor the plug-in is here'));
  }

  return Object.freeze({open: open});
})();

var webAtmSample = (function () {
  'use strict';
  const self = {last: null, results: [], surface: null};
  let bridge = null;        // the promise of the card object, asked for at the first step
  let lastVerified = null;  // the id of the last transaction the bank verified

  function log(text, ok) {
    const line = document.createElement('div');
    line.textContent = text;
    if (!ok) line.className = 'fail';
    document.getElementById('log').appendChild(line);
    if (window.console) console.log('webatm sample: ' + text);
  }

  function card() {
    if (!bridge) {
      bridge = QuiltaAtm.open().then((atm) => {
        self.surface = atm.surface;
        log('card bridge: ' + atm.surface, true);
        return atm;
      }, (e) => {
        bridge = null;  // the next step asks again
        throw e;
      });
    }
    return bridge;
  }

  // Runs the generator `steps`: each value it yields is waited for and handed back to it (a
  // rejection is thrown into it). Resolves to what it returns.
  function flow(steps) {
    return new Promise((resolve, reject) => {
      const it = steps();
      function go(how, value) {
        let r;
        try {
          r = it[how](value);
        } catch (e) {
          reject(e);
          return;
        }
        if (r.done) resolve(r.value);
        else Promise.resolve(r.value).then((v) => go('next', v), (e) => go('throw', e));
      }
      go('next');
    });
  }

  // A step the customer starts. The buttons are off while it runs: a call made meanwhile
  // would wait behind it, or be refused (6009) while one of the card's dialogs is open.
  // Resolves true on success, false otherwise; what stopped it (no card bridge, a host that
  // went away) is logged as its failure.
  function action(name, steps) {
    const buttons = Array.prototype.slice.call(document.querySelectorAll('button'));
    buttons.forEach((b) => { b.disabled = true; });
    return flow(steps).then((ok) => ok === true, (e) => {
      const why = (e && e.code ? e.code + ': ' : '') + (e && e.message || e);
      self.last = {step: name, error: why};
      self.results.push(self.last);
      log(name + ': ' + why, false);
      return false;
    }).then((ok) => {
      buttons.forEach((b) => { b.disabled = false; });
      return ok;
    });
  }

  // A card method: its status and ErrorInfo logged and kept; true when it returned 0.
  function call(atm, method, ...args) {
    return atm.call(method, ...args).then((status) => atm.get('ErrorInfo').then((info) => {
      self.last = {step: method, status: status, errorInfo: info};
      self.results.push(self.last);
      log(method + ' -> ' + status + '  ' + info, status === 0);
      return status === 0;
    }));
  }

  // A property write; a refused one is logged.
  function write(atm, property, value) {
    return atm.set(property, value).then((done) => {
      if (!done) log('the write of ' + property + ' was refused', false);
      return done;
    });
  }

  function http(method, url, body) {
    return new Promise((resolve, reject) => {
      const xhr = new XMLHttpRequest();
      xhr.open(method, url);
      if (body) xhr.setRequestHeader('Content-Type', 'application/x-www-form-urlencoded');
      xhr.onload = () => {
        try {
          resolve(JSON.parse(xhr.responseText));
        } catch (e) {
          reject(new Error(method + ' ' + url + ': ' + xhr.status + ' ' + xhr.responseText));
        }
      };
      xhr.onerror = () => reject(new Error(method + ' ' + url + ': no answer from the bank'));
      xhr.send(body || null);
    });
  }

  function form(fields) {
    const parts = [];
    for (const k in fields) parts.push(k + '=' + encodeURIComponent(fields[k]));
    return parts.join('&');
  }

  function bank(step, verdict) {
    if (self.last) self.last.bank = verdict;
    log('bank: ' + step + ' ' + (verdict.ok ? 'accepted' : 'refused') + ' (' + verdict.reason + ')',
        verdict.ok);
    return verdict.ok;
  }

  const value = (id) => document.getElementById(id).value;

  self.listReaders = () => action('listReaders', function* () {
    const atm = yield card();
    if (!(yield call(atm, 'ConnectDriver'))) return false;
    if (!(yield call(atm, 'ListReadersName'))) return false;
    const count = yield atm.get('ReaderCount');
    const list = document.getElementById('readers');
    list.innerHTML = '';
    for (let i = 0; i < count; i++) list.add(new Option(yield atm.get('Reader' + i)));
    return true;
  });

  self.openCard = () => action('openCard', function* () {
    const atm = yield card();
    if (!(yield write(atm, 'ReaderName', value('readers')))) return false;
    if (!(yield call(atm, 'SetReaderType', value('type')))) return false;
    if (!(yield call(atm, 'CheckCardInsert'))) return false;
    if ((yield atm.get('ReaderInsert')) !== 'Y') {
      log('no card in ' + (yield atm.get('ReaderName')), false);
      return false;
    }
    if (!(yield call(atm, 'ConnectCard'))) return false;
    if (!(yield call(atm, 'ReadBasicData'))) return false;
    document.getElementById('card').textContent =
        'card ' + (yield atm.get('CardNo')) + ', bank ' + (yield atm.get('IssuerBankNo')) + ', ' +
        (yield atm.get('AccountCount')) + ' account(s)';
    const list = document.getElementById('accounts');
    list.innerHTML = '';
    for (let i = 0; i < 8; i++) {
      const account = yield atm.get('AccountNo' + i);
      if (account !== '0000000000000000') list.add(new Option(account));
    }
    return true;
  });

  self.verifyPin = () => action('verifyPin', function* () {
    const atm = yield card();
    return yield call(atm, 'VerifyPIN', value('pin'));
  });

  // A transaction: the bank's session and inputs, the method, the bank's check.
  self.run = (kind) => action(kind, function* () {
    const atm = yield card();
    const s = yield http('GET', '/session?kind=' + kind);
    for (const input of s.inputs) {  // nono and SessionKey first
      if (!(yield write(atm, input.property, input.value))) return false;
    }
    const args = kind === 'login' ? [] : [value('pin')];
    if (!(yield call(atm, s.method, ...args))) return false;
    const out = {id: s.id, SessionTAC: yield atm.get('SessionTAC')};
    if (kind !== 'login') {
      for (const p of ['TAC', 'IccSeqNo', 'EncOutAccountNo']) out[p] = yield atm.get(p);
    }
    if (!bank(s.method, yield http('POST', '/verify', form(out)))) return false;
    if (kind !== 'login') lastVerified = s.id;
    return true;
  });

  self.tacLog = () => action('tacLog', function* () {
    const atm = yield card();
    if (!(yield call(atm, 'ReadTACLog'))) return false;
    for (let i = 0; i < 10; i++) {
      const record = yield atm.get('TACLog' + i);
      if (record) log('TACLog' + i + ' ' + record, true);
    }
    if (lastVerified === null) return true;
    const first = yield atm.get('TACLog0');
    return bank('TACLog0', yield http('POST', '/verify', form({id: lastVerified, TACLog: first})));
  });

  self.input = () => action('input', function* () {
    const atm = yield card();
    const s = yield http('GET', '/session?kind=input');
    for (const input of s.inputs) {
      if (!(yield write(atm, input.property, input.value))) return false;
    }
    if (!(yield call(atm, 'DoInput'))) return false;
    const typed = yield atm.get('Value');
    log('typed ' + typed, true);
    const valueTac = yield atm.get('ValueTAC');
    return bank('DoInput',
                yield http('POST', '/verify', form({id: s.id, Value: typed, ValueTAC: valueTac})));
  });

  self.close = () => action('close', function* () {
    const atm = yield card();
    return (yield call(atm, 'DisconnectCard')) && (yield call(atm, 'DisconnectDriver'));
  });

  return self;
})();
