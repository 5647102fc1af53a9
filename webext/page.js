// The page's side of the web-ATM bridge, in the page's own world (MAIN). It defines
// window.webatm, frozen and not replaceable:
//   await webatm.get(name)            a property's value (undefined for a write-only one)
//   await webatm.set(name, value)     true when written, false when refused
//   await webatm.call(name, ...args)  a method's status (GetComVersion: its text)
// mirroring the plug-in's scriptable members. Each call goes through the relay (relay.js)
// and the extension's service worker to the native host of the page's origin, which holds the
// card session that all the origin's pages share, as the plug-in's pages share it in the
// browser's process. A promise is rejected (an Error with a `code`) for a name that is no member
// ("unknown-member"), a method read as a property or the reverse ("not-a-property",
// "not-a-method"), and when the host went away before answering ("host-gone"; the next
// call starts a new session with a fresh host).
// Arguments that are neither texts nor numbers reach the host as null, which counts as a
// missing argument, as the plug-in counts them.
(() => {
  'use strict';
  const TAG = 'quilta-webatm';
  const origin = window.location.origin;
  const post = window.postMessage.bind(window);
  const pending = new Map();
  let nextId = 1;

  const failure = (code, message) => Object.assign(new Error(message), { code });

  window.addEventListener('message', (event) => {
    const d = event.data;
    if (event.source !== window || !d || d.tag !== TAG) return;
    if (d.dir === 'answer') {
      const p = pending.get(d.id);
      if (!p) return;
      pending.delete(d.id);
      if (d.error) p.reject(failure(d.error.code, d.error.message));
      else p.resolve(d.result === null ? undefined : d.result);
    } else if (d.dir === 'gone') {
      // The host's unanswered calls, or every waiting call when the worker itself went away.
      const ids = Array.isArray(d.ids) ? d.ids : [...pending.keys()];
      for (const id of ids) {
        const p = pending.get(id);
        if (!p) continue;
        pending.delete(id);
        p.reject(failure('host-gone', d.message));
      }
    }
  });

  const plain = (v) => (typeof v === 'string' || typeof v === 'number' ? v : null);

  function request(op, name, args) {
    if (typeof name !== 'string' || !/^[A-Za-z][A-Za-z0-9]{0,63}$/.test(name)) {
      return Promise.reject(failure('unknown-member', 'no member named ' + String(name)));
    }
    return new Promise((resolve, reject) => {
      const id = nextId++;
      pending.set(id, { resolve, reject });
      post({ tag: TAG, dir: 'request', id, op, name, args: args.map(plain) }, origin);
    });
  }

  const webatm = Object.freeze({
    get: (name) => request('get', name, []),
    set: (name, value) => request('set', name, [value]),
    call: (name, ...args) => request('call', name, args),
  });
  Object.defineProperty(window, 'webatm', { value: webatm, writable: false, configurable: false });
})();
