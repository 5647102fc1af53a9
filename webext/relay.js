// The relay, in the extension's isolated world of the page: carries the page's requests
// (window messages from page.js) to the service worker over one port per page, and the
// answers back. It passes on only the fields of a request (id, op, name, args): what the
// page claims about itself never reaches the host; the service worker adds the page's URL as
// the browser reports it. When the port closes (the worker or the host went away) every
// waiting call is rejected; the next request opens a new port.
(() => {
  'use strict';
  const TAG = 'quilta-webatm';
  const origin = window.location.origin;
  let port = null;

  const toPage = (message) => window.postMessage({ tag: TAG, ...message }, origin);

  function connect() {
    const p = chrome.runtime.connect({ name: 'webatm' });
    p.onMessage.addListener((m) => {
      if (m && m.gone) toPage({ dir: 'gone', ids: m.ids, message: String(m.message) });
      else if (m) toPage({ dir: 'answer', id: m.id, result: m.result, error: m.error });
    });
    p.onDisconnect.addListener(() => {
      if (port === p) port = null;
      toPage({ dir: 'gone', message: 'the extension closed the connection' });
    });
    return p;
  }

  window.addEventListener('message', (event) => {
    const d = event.data;
    if (event.source !== window || event.origin !== origin) return;
    if (!d || d.tag !== TAG || d.dir !== 'request') return;
    if (!port) port = connect();
    port.postMessage({ id: d.id, op: d.op, name: d.name, args: d.args });
  });
})();
