// What the full page and the room panels share: building elements, the
// gain scale's levels, merge patches, and the token an address brings.
'use strict';
const Kestra = (() => {
  const MUTE_POSITION = 79;
  const el = (tag, attrs = {}, ...children) => {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v);
    e.append(...children);
    return e;
  };

  // The gain scale: 0.5 dB steps to -16, 1 dB to -48, 2 dB to -76, then mute.
  function positionDb(p) {
    if (p >= MUTE_POSITION) return null;
    if (p <= 32) return -0.5 * p;
    if (p <= 64) return -16 - (p - 32);
    return -48 - 2 * (p - 64);
  }

  function mergePatch(target, patch) {
    if (patch === null || typeof patch !== 'object' || Array.isArray(patch)) return patch;
    const out = (target && typeof target === 'object' && !Array.isArray(target)) ? { ...target } : {};
    for (const [k, v] of Object.entries(patch)) {
      if (v === null) delete out[k]; else out[k] = mergePatch(out[k], v);
    }
    return out;
  }

  // The page's first load may carry ?token=; it is taken out of the address
  // so that it does not end up in bookmarks or over shoulders. It is used
  // for this page (`offered`), and kept under `key` only once the server
  // took it: any site can send the browser to an address with a token of its
  // choosing.
  function tokenFromAddress(key) {
    const query = new URLSearchParams(location.search);
    const kept = localStorage.getItem(key) || '';
    if (!query.has('token')) return { token: kept, offered: null };
    history.replaceState(null, '', location.pathname);
    return { token: query.get('token'), offered: query.get('token') };
  }

  return { MUTE_POSITION, $: (id) => document.getElementById(id), el, positionDb, mergePatch, tokenFromAddress };
})();
