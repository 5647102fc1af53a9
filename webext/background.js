// The service worker (Firefox: the background script): one native host per bank origin and
// browser profile, as the plug-in keeps one card session in the browser's process across the
// bank's pages. The origin is the scheme, host and port of the page's URL as the browser
// reports the port's sender; private windows (and Firefox's containers) count as a profile of
// their own. Every page port of an origin (its tabs, its frames, the page after a navigation)
// goes to the same host (com.zelb.quilta), so the open card, the verified PIN and every
// property stay while the customer moves from the log-in page to the menu and the transfer.
//  - A page's relay opens its port as the page loads; that starts the origin's host, or
//    finds it running.
//  - Each request goes on with `origin` set to its own page's URL as the browser reports it,
//    never a value from the page, and with an id of the worker's own: the answer goes back to
//    the page that asked, under that page's id (two pages may use the same ids). The host
//    takes the requests of all the origin's pages in the order they arrive here.
//  - When the last page of an origin goes (closed, left, reloaded), the host is kept for
//    GRACE_MS, so that the next page of a navigation or a reload finds it; then its input is
//    closed, and the host releases the card and the PC/SC context.
//  - When a host goes away on its own (it ended, was killed), the calls it left unanswered
//    are rejected on every page that waits for one, and the next request starts a new host:
//    a fresh session.
//  - A request longer than the host takes in one frame (MAX_FRAME) is answered here with
//    "frame-too-long" and never sent: the host would end on it, and with it the session of
//    every page of the origin.
// Lifetime: an open native port keeps the worker alive in Chromium, and the background script
// in Firefox; a worker that ends all the same closes the pages' ports, and each page's next
// call opens a new one.
'use strict';

const HOST = 'com.zelb.quilta';
const GRACE_MS = 30000;
const MAX_FRAME = 1 << 20;  // bytes of one request's JSON, as the host reads it
const utf8 = new TextEncoder();

// Origin key -> { pages: Set of page ports, native: port or null, waiting: Map, timer }.
// `waiting` maps the worker's request id to the page port and the page's own id, for the
// requests sent to the current native port and not answered yet.
const origins = new Map();
let nextId = 1;

// The origin and profile a page port belongs to; null for a sender that is no web page.
function originKey(sender) {
  let origin;
  try {
    origin = new URL(sender.url).origin;
  } catch (e) {
    return null;
  }
  if (!/^https?:\/\//.test(origin)) return null;
  const tab = sender.tab || {};
  const profile = tab.cookieStoreId || (tab.incognito ? 'incognito' : 'default');
  return profile + ' ' + origin;
}

function post(page, message) {
  try {
    page.postMessage(message);
  } catch (e) {
    // The page is gone already.
  }
}

function startHost(entry) {
  const native = chrome.runtime.connectNative(HOST);
  const waiting = new Map();
  entry.native = native;
  entry.waiting = waiting;
  native.onMessage.addListener((answer) => {
    const to = answer && waiting.get(answer.id);
    if (!to) return;
    waiting.delete(answer.id);
    if (entry.pages.has(to.page)) post(to.page, { ...answer, id: to.id });
  });
  native.onDisconnect.addListener(() => {
    const why = (chrome.runtime.lastError && chrome.runtime.lastError.message) ||
                (native.error && native.error.message) || 'the native host ended';
    if (entry.native === native) entry.native = null;
    // Exactly the calls this host left unanswered, on each page that waits for some.
    const byPage = new Map();
    for (const { page, id } of waiting.values()) {
      if (!byPage.has(page)) byPage.set(page, []);
      byPage.get(page).push(id);
    }
    waiting.clear();
    for (const [page, ids] of byPage) {
      if (entry.pages.has(page)) post(page, { gone: true, ids, message: why });
    }
    if (entry.pages.size === 0 && !entry.native) forget(entry);
  });
}

function forget(entry) {
  clearTimeout(entry.timer);
  if (origins.get(entry.key) === entry) origins.delete(entry.key);
  if (entry.native) {
    const native = entry.native;
    entry.native = null;
    native.disconnect();  // the host's end of input: it releases the card and the context
  }
}

function send(entry, page, m) {
  const id = nextId++;
  const request = { id, op: m.op, name: m.name, args: m.args, origin: page.sender.url };
  if (utf8.encode(JSON.stringify(request)).length > MAX_FRAME) {
    post(page, { id: m.id, error: { code: 'frame-too-long',
                                    message: 'a request may hold at most ' + MAX_FRAME + ' bytes' } });
    return;
  }
  for (let attempt = 0; attempt < 2; ++attempt) {
    if (!entry.native) startHost(entry);
    entry.waiting.set(id, { page, id: m.id });
    try {
      entry.native.postMessage(request);
      return;
    } catch (e) {
      // The host went away and its notice has not arrived yet: a new one takes the request.
      entry.waiting.delete(id);
      entry.native = null;
    }
  }
  post(page, { gone: true, ids: [m.id], message: 'the native host could not be started' });
}

chrome.runtime.onConnect.addListener((page) => {
  const key = page.sender && typeof page.sender.url === 'string' ? originKey(page.sender) : null;
  if (page.name !== 'webatm' || key === null) {
    page.disconnect();
    return;
  }
  let entry = origins.get(key);
  if (!entry) {
    entry = { key, pages: new Set(), native: null, waiting: new Map(), timer: null };
    origins.set(key, entry);
  }
  clearTimeout(entry.timer);
  entry.timer = null;
  entry.pages.add(page);
  if (!entry.native) startHost(entry);

  page.onMessage.addListener((m) => {
    if (m && typeof m === 'object') send(entry, page, m);
  });
  page.onDisconnect.addListener(() => {
    entry.pages.delete(page);
    // Answers still due to this page are dropped when they come.
    if (entry.pages.size > 0) return;
    if (!entry.native) {
      forget(entry);
      return;
    }
    clearTimeout(entry.timer);
    entry.timer = setTimeout(() => {
      if (entry.pages.size === 0) forget(entry);
    }, GRACE_MS);
  });
});
