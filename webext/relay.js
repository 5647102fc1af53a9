// The relay, in the extension's isolated world of the page (and of each bank frame): carries
// the page's requests (window messages from page.js) to the service worker over one port per
// page, and the answers back. The port is opened as the page loads (document start), so that
// the worker starts the origin's native host, or finds it running, before the page's first
// call. It passes on only the fields of a request (id, op, name, args): what the page claims
// about itself never reaches the host; the service worker adds the page's URL as the browser
// reports it. When the port closes (the worker went away, or the page was kept in the
// back-forward cache) every waiting call is rejected; the page's next request, or its coming
// back from that cache, opens a new port.
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
  window.addEventListener('pageshow', (event) => {
    if (event.persisted && !port) port = connect();
  });

  port = connect();
})();
