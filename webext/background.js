// The service worker (Firefox: the background script): one native host per page. A page's
// relay opens a port; its first request starts the host (com.zelb.quilta), which holds that
// page's card session. Every request goes on with `origin` set to the page's URL as the
// browser reports the port's sender, never a value from the page. When the host goes away
// (it ended or was killed) the page is told, so that its waiting calls are rejected, and the
// next request starts a new host: a fresh session. When the page goes away (closed, reloaded,
// navigated) its host's input is closed, and the host releases the card and the context.
'use strict';

const HOST = 'com.zelb.quilta';

chrome.runtime.onConnect.addListener((page) => {
  const url = page.sender && page.sender.url;
  if (page.name !== 'webatm' || typeof url !== 'string') {
    page.disconnect();
    return;
  }
  let host = null;

  // Requests sent to each host and not answered yet: when a host goes away, exactly those
  // are rejected (a request already sent to its successor is not).
  function open() {
    const h = chrome.runtime.connectNative(HOST);
    const waiting = new Set();
    h.waiting = waiting;
    h.onMessage.addListener((answer) => {
      if (answer) waiting.delete(answer.id);
      page.postMessage(answer);
    });
    h.onDisconnect.addListener(() => {
      const why = (chrome.runtime.lastError && chrome.runtime.lastError.message) ||
                  (h.error && h.error.message) || 'the native host ended';
      if (host === h) host = null;
      try {
        page.postMessage({ gone: true, ids: [...waiting], message: why });
      } catch (e) {
        // The page is gone as well.
      }
    });
    return h;
  }

  function send(request) {
    host.waiting.add(request.id);
    host.postMessage(request);
  }

  page.onMessage.addListener((m) => {
    const request = { id: m.id, op: m.op, name: m.name, args: m.args, origin: url };
    if (!host) host = open();
    try {
      send(request);
    } catch (e) {
      // The host went away and its notice has not arrived yet: a new one takes the request.
      host.waiting.delete(request.id);
      host = open();
      send(request);
    }
  });

  page.onDisconnect.addListener(() => {
    if (host) host.disconnect();
    host = null;
  });
});
