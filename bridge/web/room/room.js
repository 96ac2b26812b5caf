// A room panel: the few controls the installer chose, large for a tablet on
// the wall. The server's live document is the only source of truth, and the
// server alone decides what may change: this page only leaves out what the
// panel does not offer.
'use strict';
(() => {
  const TEXT = {
    en: { muted: 'Muted', on: 'On', unlock: 'Unlock', locked: 'Locked: tap Unlock and enter the PIN',
          wrongPin: 'wrong PIN', offline: 'The mixer does not answer', token: 'This address needs its token',
          loaded: 'loaded', off: 'Off' },
    de: { muted: 'Stumm', on: 'Ein', unlock: 'Entsperren', locked: 'Gesperrt: Entsperren tippen und PIN eingeben',
          wrongPin: 'falsche PIN', offline: 'Das Mischpult antwortet nicht', token: 'Diese Adresse braucht ihren Token',
          loaded: 'geladen', off: 'Aus' },
  };
  const SOURCES = { tuner: 'Tuner', tape: 'Tape', cd: 'CD', aux: 'Aux', off: 'Off' };
  const { MUTE_POSITION, $, el, positionDb, mergePatch } = Kestra;
  const SEND_EVERY_MS = 25;
  const name = location.pathname.split('/')[2];
  const tokenKey = 'kestra-room-' + name;
  let { token } = Kestra.tokenFromAddress(tokenKey);  // kept once the server took it
  let pin = sessionStorage.getItem(tokenKey + '-pin') || '';
  let panel = null;
  let doc = {};
  let socket = null;
  let mayChange = false;
  let t = TEXT.en;
  const held = new Set();
  const controls = [];  // {render()} per control

  const dbText = (p) => (positionDb(p) === null ? 'mute' : positionDb(p) + 'dB');
  const channel = (key) => (doc.channels || {})[key] || {};

  function status(text) { $('status').textContent = text || ''; }
  const headers = () => {
    const h = { 'Content-Type': 'application/json' };
    if (token) h.Authorization = 'Bearer ' + token;
    if (pin) h['X-Kestra-Pin'] = pin;
    return h;
  };

  function send(patch) {
    if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(patch));
  }

  function fader(c) {
    const input = el('input', { type: 'range', min: MUTE_POSITION - c.bottom, max: MUTE_POSITION - c.top, step: 1,
                                'aria-label': c.label });
    const level = el('output', { class: 'level', 'aria-label': c.label + ' level' });
    let last = 0;
    let pending = null;
    const flush = () => {
      if (pending === null) return;
      const channels = {};
      for (const key of c.channels) channels[key] = { position: pending };
      send({ channels });
      pending = null;
      last = Date.now();
    };
    // Not moved under the hand that holds it, nor between key presses.
    const release = () => { held.delete(input); flush(); render(); };
    input.addEventListener('pointerdown', () => held.add(input));
    input.addEventListener('pointerup', release);
    input.addEventListener('pointercancel', release);
    input.addEventListener('keydown', () => { held.add(input); clearTimeout(input.releaseTimer); input.releaseTimer = setTimeout(release, 600); });
    input.addEventListener('input', () => {
      pending = MUTE_POSITION - Number(input.value);
      level.textContent = dbText(pending);
      if (Date.now() - last >= SEND_EVERY_MS) flush(); else setTimeout(flush, SEND_EVERY_MS);
    });
    function render() {
      const p = channel(c.channels[0]).position;
      if (p === undefined || held.has(input)) return;
      input.value = MUTE_POSITION - p;
      input.setAttribute('aria-valuetext', dbText(p));
      level.textContent = dbText(p);
    }
    controls.push({ render, inputs: [input] });
    return el('div', { class: 'fader' }, input, level);
  }

  function toggle(c, read, patchOf, cls) {
    const button = el('button', { type: 'button', class: cls, 'aria-label': c.label + (cls === 'mute' ? ' mute' : '') });
    button.addEventListener('click', () => send(patchOf(button.getAttribute('aria-pressed') !== 'true')));
    const lamp = c.kind === 'ducking' ? el('span', { class: 'lamp', role: 'img', 'aria-label': c.label + ' active lamp' }) : null;
    function render() {
      const on = read();
      if (on === undefined) return;
      button.setAttribute('aria-pressed', String(on));
      button.textContent = cls === 'mute' ? (on ? t.muted : t.on) : c.label;
      if (lamp) lamp.classList.toggle('lit', !!(doc.ducking || {}).active);
    }
    controls.push({ render, inputs: [button] });
    return lamp ? el('div', { class: 'choices' }, button, lamp) : button;
  }

  function sources(c) {
    const buttons = c.sources.map((s) => {
      const b = el('button', { type: 'button', 'aria-label': c.label + ' ' + SOURCES[s], 'aria-pressed': 'false' }, s === 'off' ? t.off : SOURCES[s]);
      b.addEventListener('click', () => send({ line_source: s }));
      return b;
    });
    controls.push({ render: () => buttons.forEach((b, i) => b.setAttribute('aria-pressed', String(doc.line_source === c.sources[i]))),
                    inputs: buttons });
    return el('div', { class: 'choices', role: 'group', 'aria-label': c.label }, ...buttons);
  }

  function preset(c) {
    const b = el('button', { type: 'button', 'aria-label': c.label }, c.label);
    b.addEventListener('click', async () => {
      const r = await fetch('/api/room/' + name + '/presets/' + c.preset + '/load', { method: 'POST', headers: headers() });
      const body = await r.json().catch(() => ({}));
      status(r.ok ? c.label + ': ' + t.loaded : body.error);
    });
    controls.push({ render() {}, inputs: [b] });
    return b;
  }

  function build() {
    t = TEXT[panel.language] || TEXT.en;
    document.documentElement.lang = panel.language;
    document.title = panel.title;
    $('title').textContent = panel.title;
    $('unlock').textContent = t.unlock;
    if (panel.colour) document.documentElement.style.setProperty('--accent', panel.colour);
    const main = $('controls');
    for (const [i, c] of panel.controls.entries()) {
      let body;
      if (c.kind === 'gain') body = fader(c);
      else if (c.kind === 'mute') body = toggle(c, () => channel(c.channels[0]).mute, (on) => ({ channels: Object.fromEntries(c.channels.map((k) => [k, { mute: on }])) }), 'mute');
      else if (c.kind === 'line_source') body = sources(c);
      else if (c.kind === 'ducking') body = toggle(c, () => (doc.ducking || {}).manual, (on) => ({ ducking: { manual: on } }), 'ducking');
      else body = preset(c);
      main.append(el('section', { class: 'card', 'aria-labelledby': 'control-' + i }, el('h2', { id: 'control-' + i }, c.label), body));
    }
  }

  function render() {
    const usable = doc.online === true && mayChange;
    $('online').classList.toggle('lit', doc.online === true);
    $('unlock').hidden = !panel.pin || mayChange;
    for (const c of controls) {
      c.render();
      for (const i of c.inputs) i.disabled = !usable;
    }
    if (doc.online === false) status(t.offline);
  }

  function connect() {
    const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
    const q = new URLSearchParams();
    if (token) q.set('token', token);
    if (pin) q.set('pin', pin);
    socket = new WebSocket(scheme + '//' + location.host + '/api/room/' + name + '/live?' + q);
    socket.onmessage = (e) => {
      const m = JSON.parse(e.data);
      if (m.error) { status(m.error); return; }
      if ('may_change' in m) {
        mayChange = m.may_change;
        delete m.may_change;
        doc = m;
        status(mayChange || !panel.pin ? '' : t.locked);
      } else {
        doc = mergePatch(doc, m);
      }
      render();
    };
    socket.onclose = (e) => {
      doc.online = false;
      render();
      if (e.code >= 4400 && e.code < 4404) { status(e.reason); return; }
      setTimeout(connect, 1000);
    };
  }

  async function start() {
    const r = await fetch('/api/room/' + name, { headers: headers() }).catch(() => null);
    if (!r) { status(TEXT.en.offline); setTimeout(start, 2000); return; }
    const body = await r.json().catch(() => ({}));
    if (r.status === 401 || r.status === 403) {
      status(token ? body.error : TEXT.en.token);
      $('token-form').hidden = false;
      return;
    }
    if (!r.ok) { status(body.error); return; }
    if (token) localStorage.setItem(tokenKey, token);
    $('token-form').hidden = true;
    panel = body.panel;
    build();
    connect();
  }

  $('token-form').addEventListener('submit', (e) => {
    e.preventDefault();
    token = $('token-input').value.trim();
    start();
  });
  $('unlock').addEventListener('click', () => { $('pin-form').hidden = false; $('pin-input').focus(); });
  $('pin-form').addEventListener('submit', async (e) => {
    e.preventDefault();
    const tried = $('pin-input').value.trim();
    $('pin-input').value = '';
    const h = headers();
    h['X-Kestra-Pin'] = tried;
    const r = await fetch('/api/room/' + name + '/unlock', { method: 'POST', headers: h });
    const body = await r.json().catch(() => ({}));
    if (!r.ok) { status(r.status === 403 ? t.wrongPin : body.error); return; }
    pin = tried;
    sessionStorage.setItem(tokenKey + '-pin', pin);
    $('pin-form').hidden = true;
    socket.onclose = null;
    socket.close();
    connect();
  });
  start();
})();
