// The web panel: the server's live document is the only source of truth.
// Controls send merge patches over the WebSocket and show what the device
// confirmed; a control the user is holding is not moved under their hand.
'use strict';
(() => {
  const TEXT = {
    en: { 30001: 'Control-Panel', 30002: 'Preferences', 30003: 'Preset', 30004: 'load', 30005: 'save',
          30006: 'Manual', 30007: 'Input', 30008: 'Output', 30025: 'off', 30058: 'Threshold', 30059: 'Hold time',
          30062: 'Attenuation', 30065: 'Fade in', 30066: 'Fade out', 30117: 'connected',
          30119: 'KESTRA connection error!', 30125: 'Language' },
    de: { 30001: 'Bedienfeld', 30002: 'Einstellungen', 30003: 'Voreinstellung', 30004: 'laden', 30005: 'speichern',
          30006: 'manuelles', 30007: 'Eingang', 30008: 'Ausgang', 30025: 'aus', 30058: 'Ansprechschwelle',
          30059: 'Haltezeit', 30062: 'Daempfung', 30065: 'Einblenden', 30066: 'Ausblenden', 30117: 'verbinden',
          30119: 'KESTRA connection error!', 30125: 'Sprache' },
  };
  const INPUTS = [1, 2, 3, 4, 5, 6].map((n) => ({ key: 'mic' + n, caption: 'MIC ' + n, mic: true }))
    .concat([{ key: 'line', caption: 'Line' }]);
  const OUTPUTS = [['sub', 'Sub'], ['master', 'Master']].map(([pair, caption]) => ({
    pair, caption, strips: [{ key: pair + '_left', caption: caption + ' left' }, { key: pair + '_right', caption: caption + ' right' }],
  }));
  const SOURCES = [['tuner', 'Tuner'], ['tape', 'Tape'], ['cd', 'CD'], ['aux', 'Aux'], ['off', null]];
  const SETTINGS = [['threshold', 30058, 2, 127], ['attenuation', 30062, 0, 79], ['hold_time', 30059, 1, 100],
    ['fade_out', 30066, 0, 63], ['fade_in', 30065, 0, 63]];
  // What a ducking byte means, as the window shows it; the JSON keeps the byte.
  const UNITS = {
    threshold: (v) => v + ' (' + Math.floor(v * 5500 / 255) + ' mV)',
    attenuation: (v) => v + ' steps',
    hold_time: (v) => v + ' (' + v * 10 + ' ms)',
  };
  const settingText = (key, v) => (UNITS[key] ? UNITS[key](v) : String(v));
  const { MUTE_POSITION, $, el, positionDb, mergePatch } = Kestra;
  const SEND_EVERY_MS = 25;

  let { token, offered } = Kestra.tokenFromAddress('kestra-token');  // offered: not yet taken by the server
  let lang = localStorage.getItem('kestra-lang') || (navigator.language.startsWith('de') ? 'de' : 'en');
  const t = (id) => TEXT[lang][id];

  let doc = null;
  let socket = null;
  const held = new Set();
  const controls = [];  // {render()} per control

  const dbText = (db) => (db === null || db === undefined ? 'mute' : db + 'dB');

  function status(text) { $('status').textContent = text; }

  function send(patch) {
    if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(patch));
  }

  // A drag sends at most one patch per item every SEND_EVERY_MS, the last one always.
  const waiting = new Map();
  function sendSoon(key, patch) {
    const first = !waiting.has(key);
    waiting.set(key, patch);
    if (first) {
      setTimeout(() => { send(waiting.get(key)); waiting.delete(key); }, SEND_EVERY_MS);
    }
  }

  function holdWhileTouched(input, key) {
    const release = () => { held.delete(key); render(); };
    input.addEventListener('pointerdown', () => held.add(key));
    input.addEventListener('pointerup', release);
    input.addEventListener('pointercancel', release);
    input.addEventListener('blur', release);
    input.addEventListener('keydown', () => { held.add(key); clearTimeout(input.releaseTimer); input.releaseTimer = setTimeout(release, 600); });
  }

  function channelPatch(key, fields) { return { channels: { [key]: fields } }; }

  function strip(channel, pair) {
    const fader = el('input', { type: 'range', class: 'fader', min: 0, max: MUTE_POSITION, step: 1, 'aria-label': channel.caption + ' gain' });
    const meter = el('meter', { min: 0, max: MUTE_POSITION, 'aria-label': channel.caption + ' level' });
    const edit = el('input', { type: 'text', class: 'db', inputmode: 'decimal', 'aria-label': channel.caption + ' gain in dB' });
    const mute = el('button', { type: 'button', class: 'toggle mute', 'aria-pressed': 'false', 'aria-label': channel.caption + ' mute' }, 'mute');
    const box = el('div', { class: 'strip' }, el('h3', {}, channel.caption), el('div', { class: 'fader-row' }, fader, meter), edit, mute);
    holdWhileTouched(fader, channel.key);
    fader.addEventListener('input', () => {
      const position = MUTE_POSITION - Number(fader.value);
      edit.value = dbText(positionDb(position));
      fader.setAttribute('aria-valuetext', edit.value);
      // On a ganged pair the device moves the right output with the left
      // one; the server reads it back, so only the left is sent.
      sendSoon(channel.key, channelPatch(channel.key, { position }));
    });
    // A muted channel says so, as the window does ("mute", an empty bar).
    const showLevel = () => {
      const c = doc.channels[channel.key];
      const level = doc.levels && doc.levels[channel.key];
      edit.value = c.mute ? 'mute' : level ? level.text : dbText(c.gain_db);
    };
    edit.addEventListener('change', () => {
      // Only a number or "mute": anything else would reach JSON as null, the mute position.
      const word = edit.value.trim().toLowerCase().replace(/\s*db$/, '');
      const db = word === 'mute' ? null : (/^[-+]?\d+(\.\d+)?$/.test(word) ? Number(word) : NaN);
      if (Number.isNaN(db)) {
        status(channel.caption + ' gain in dB: "' + edit.value + '"?');
        showLevel();
        return;
      }
      send(channelPatch(channel.key, { gain_db: db }));
    });
    mute.addEventListener('click', () => send(channelPatch(channel.key, { mute: !doc.channels[channel.key].mute })));
    const parts = [box];
    let priority = null;
    let lamp = null;
    if (channel.mic) {
      priority = el('button', { type: 'button', class: 'toggle', 'aria-pressed': 'false', 'aria-label': channel.caption + ' priority' }, 'prior');
      lamp = el('span', { class: 'lamp', role: 'img', 'aria-label': channel.caption + ' ducking lamp' });
      priority.addEventListener('click', () => send(channelPatch(channel.key, { priority: !doc.channels[channel.key].priority })));
      box.append(priority, lamp);
    }
    controls.push({
      render() {
        const c = doc.channels[channel.key];
        const level = doc.levels && doc.levels[channel.key];
        if (!held.has(channel.key)) {
          fader.value = MUTE_POSITION - c.position;
          fader.setAttribute('aria-valuetext', dbText(c.gain_db));
          if (document.activeElement !== edit) showLevel();
        }
        meter.value = c.mute ? 0 : level ? Math.max(0, MUTE_POSITION - level.position) : MUTE_POSITION - c.position;
        mute.setAttribute('aria-pressed', String(c.mute));
        // The right output of a ganged pair follows the left, as on the device.
        if (pair && pair.right) {
          const locked = doc.ganged[pair.name];
          fader.disabled = edit.disabled = locked || doc.online === false;
          mute.hidden = locked;
        }
        if (priority) {
          priority.setAttribute('aria-pressed', String(c.priority));
          // Lit while this microphone is being ducked: ducking runs and it has no priority.
          lamp.classList.toggle('lit', doc.ducking.active && !c.priority);
        }
      },
    });
    return parts;
  }

  function build() {
    for (const channel of INPUTS) $('inputs').append(...strip(channel));
    for (const out of OUTPUTS) {
      const [left, right] = out.strips;
      const ganged = el('button', { type: 'button', class: 'toggle', 'aria-pressed': 'false', 'aria-label': out.caption + ' ganged' }, 'ganged');
      ganged.addEventListener('click', () => send({ ganged: { [out.pair]: !doc.ganged[out.pair] } }));
      const strips = el('div', { class: 'strips' },
        ...strip(left, { name: out.pair }), ...strip(right, { name: out.pair, right: true }));
      $('outputs').append(el('div', { class: 'pair' }, strips, ganged));
      controls.push({ render() { ganged.setAttribute('aria-pressed', String(doc.ganged[out.pair])); } });
    }
    for (const [value, caption] of SOURCES) {
      const radio = el('input', { type: 'radio', name: 'line-source', value });
      const text = el('span', {}, caption || t(30025));
      radio.addEventListener('change', () => { if (radio.checked) send({ line_source: value }); });
      $('line-source').append(el('label', {}, radio, text));
      controls.push({
        render() { radio.checked = doc.line_source === value; },
        language() {
          text.textContent = caption || t(30025);
          radio.setAttribute('aria-label', 'Line source ' + (caption || t(30025)));
        },
      });
    }
    for (let n = 1; n <= 3; n++) $('preset-number').append(el('option', { value: n }, String(n)));
    for (const action of ['load', 'save']) {
      $('preset-' + action).addEventListener('click', () => preset(action));
    }
    $('manual-ducking').addEventListener('click', () => send({ ducking: { manual: !doc.ducking.manual } }));
    controls.push({
      render() {
        $('manual-ducking').setAttribute('aria-pressed', String(doc.ducking.manual));
        $('ducking-active').classList.toggle('lit', doc.ducking.active);
      },
      language() {
        $('manual-ducking').setAttribute('aria-label', t(30006) + ' ducking');
        $('preset-number').setAttribute('aria-label', t(30003) + ' number');
      },
    });
    for (const [key, id, min, max] of SETTINGS) {
      const label = el('label', { for: 'setting-' + key });
      const range = el('input', { type: 'range', id: 'setting-' + key, min, max, step: 1 });
      const value = el('output', { for: 'setting-' + key });
      holdWhileTouched(range, key);
      range.addEventListener('input', () => {
        value.textContent = settingText(key, Number(range.value));
        sendSoon(key, { ducking: { [key]: Number(range.value) } });
      });
      $('settings').append(label, range, value);
      controls.push({
        render() {
          if (!held.has(key)) range.value = doc.ducking[key];
          value.textContent = settingText(key, doc.ducking[key]);
        },
        language() { label.textContent = t(id); range.setAttribute('aria-label', t(id)); },
      });
    }
    for (const tab of document.querySelectorAll('[role="tab"]')) {
      tab.addEventListener('click', () => {
        for (const other of document.querySelectorAll('[role="tab"]')) {
          other.setAttribute('aria-selected', String(other === tab));
          $(other.getAttribute('aria-controls')).hidden = other !== tab;
        }
      });
    }
    $('lang-en').addEventListener('click', () => setLanguage('en'));
    $('lang-de').addEventListener('click', () => setLanguage('de'));
  }

  async function preset(action) {
    const n = $('preset-number').value;
    try {
      const reply = await fetch('/api/presets/' + n + '/' + action, { method: 'POST', headers: token ? { Authorization: 'Bearer ' + token } : {} });
      const body = await reply.json();
      status(reply.ok ? t(30003) + ' ' + n + ': ' + t(action === 'load' ? 30004 : 30005) : body.error);
      if (reply.status === 401) askForToken(body.error);
    } catch (e) {
      status(String(e));
    }
  }

  function setLanguage(which) {
    lang = which;
    localStorage.setItem('kestra-lang', which);
    document.documentElement.lang = which;
    for (const e of document.querySelectorAll('[data-t]')) e.textContent = t(e.dataset.t);
    $('lang-en').setAttribute('aria-pressed', String(which === 'en'));
    $('lang-de').setAttribute('aria-pressed', String(which === 'de'));
    document.querySelector('.language').setAttribute('aria-label', t(30125));
    for (const c of controls) if (c.language) c.language();
    render();
  }

  // While the device is offline (or the server gone) the controls look and
  // act disabled: nothing they would send could reach it.
  function setOffline(offline) {
    for (const e of document.querySelectorAll('main input, main button, main select')) e.disabled = offline;
  }

  function render() {
    if (!doc) return;
    $('online').classList.toggle('lit', doc.online !== false);
    setOffline(doc.online === false);
    for (const c of controls) c.render();
  }

  // The server asked for a token (none, or a wrong one): a field to give it.
  function askForToken(why) {
    status(why);
    $('token-form').hidden = false;
  }

  function connect() {
    const scheme = location.protocol === 'https:' ? 'wss' : 'ws';
    socket = new WebSocket(scheme + '://' + location.host + '/api/live' + (token ? '?token=' + encodeURIComponent(token) : ''));
    socket.onopen = () => { doc = null; };
    socket.onmessage = (event) => {
      const message = JSON.parse(event.data);
      if (message.error) {
        if (message.status === 401) askForToken(message.error); else status(message.error);
        render();
        return;
      }
      // The server refuses a wrong token before its first message.
      if (offered !== null) {
        localStorage.setItem('kestra-token', offered);
        offered = null;
        $('token-form').hidden = true;
      }
      doc = doc ? mergePatch(doc, message) : message;
      if ('online' in message) status(doc.online ? t(30117) : t(30119));
      render();
    };
    socket.onclose = (event) => {
      $('online').classList.remove('lit');
      setOffline(true);
      if (event.code === 4401) {
        askForToken(event.reason);  // tried again once a token is given
        return;
      }
      status(t(30119));
      setTimeout(connect, 1000);
    };
  }

  $('token-form').addEventListener('submit', (event) => {
    event.preventDefault();
    offered = token = $('token-input').value.trim();
    $('token-input').value = '';
    if (socket) { socket.onclose = null; socket.close(); }
    connect();
  });

  build();
  setLanguage(lang);
  connect();
})();
