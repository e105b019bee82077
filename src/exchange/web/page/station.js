// SPDX-License-Identifier: GPL-3.0-or-later
"use strict";
// The station in a browser. The station itself runs in the exchange; this page is its window: it
// draws the panel the exchange describes, sends the keys pressed and released, and plays the cues
// the station asks for. Messages to the exchange: "down KEY [alt] [ctrl]", "up KEY ...",
// "enter KEY", "leave KEY". From it: hello, panel (what changed), cue, error, refused.
const Station = {
  params: new URLSearchParams(location.search),
  geometry: null,
  names: [],          // key names in the order the panel messages number the keys
  buttons: [],
  lines: [],
  ws: null,
  refused: false,
  held: new Map(),    // key name -> modifiers it was pressed with
  keyboardHeld: new Map(),   // keyboard code -> key name
  audio: null,
  cueBuffers: new Map(),
  cueSource: null,
  // For tests and benchmarks: what the page showed and played, with times (performance.now()).
  lcdChangedAt: 0,
  cuesPlayed: [],
  voiceHeard: 0,      // samples of the channel played
  voiceLevel: 0,
  micSent: 0,         // samples of the microphone sent
  listening: 0,
  listenSocket: null,
  playAt: 0,
  voiceRate: 22050,
  microphone: null,   // a promise: true once the microphone is on, false when there is none
  talking: false,
  micOk: null,        // true: the microphone is on; false: there is none
  micFrame: [],
  micPosition: 0,     // where the next 16 kHz sample falls, in samples from the last block's last one
  micLast: 0,         // the last block's last sample

  async start() {
    addEventListener("resize", () => this.fit());
    addEventListener("blur", () => this.releaseAll());
    document.addEventListener("visibilitychange", () => { if (document.hidden) this.releaseAll(); });
    addEventListener("keydown", e => this.keyboard(e, true));
    addEventListener("keyup", e => this.keyboard(e, false));
    for (const n of ["pointerdown", "keydown"])
      addEventListener(n, () => { this.unlockAudio(); this.startMicrophone(); }, {capture: true});
    try {
      const r = await fetch("/station-art/panel.json");
      this.geometry = await r.json();
    } catch (e) {
      this.notice("The panel's pictures could not be loaded: the keys work, the panel looks plain.");
    }
    this.fit();
    this.connect();
  },

  // The panel at the window's size when it fits; scaled to the screen otherwise (a tablet, a
  // phone, a projector). ?zoom= fixes the scale.
  fit() {
    const stage = document.getElementById("stage");
    const panel = document.getElementById("panel");
    const asked = parseFloat(this.params.get("zoom"));
    const room = Math.min((innerWidth - 32) / 672, (innerHeight - 200) / 330);
    const scale = asked > 0 ? asked : Math.max(0.4, Math.min(room, 1.6));
    panel.style.transform = `scale(${scale})`;
    stage.style.width = `${672 * scale}px`;
    stage.style.height = `${330 * scale}px`;
  },

  connect() {
    const q = new URLSearchParams();
    for (const name of ["code", "token", "mmsi"])
      if (this.params.get(name)) q.set(name, this.params.get(name));
    const session = sessionStorage.getItem("kelvo-station-session");
    if (session) q.set("session", session);
    const scheme = location.protocol === "https:" ? "wss" : "ws";
    const ws = new WebSocket(`${scheme}://${location.host}/api/station?${q}`);
    this.ws = ws;
    ws.onmessage = e => this.message(JSON.parse(e.data));
    ws.onclose = e => {
      if (this.ws !== ws) return;
      this.ws = null;
      if (this.refused) return;
      if (e.code === 1008 && e.reason) {
        this.refuse(e.reason);
        return;
      }
      if (e.code === 1002 && e.reason) this.notice(`The exchange closed this page's connection: ${e.reason}.`);
      this.link("connecting", "connection lost: reconnecting…");
      this.whyRefused(q).then(why => {
        if (why) this.refuse(why);
        else setTimeout(() => this.connect(), 1000);
      });
    };
  },

  // A socket refused before it opened says nothing; the same question over HTTP says why.
  async whyRefused(q) {
    try {
      const r = await fetch(`/api/station-access?${q}`);
      if (r.status === 401 || r.status === 403) return (await r.json()).error;
    } catch (e) { /* the exchange is away: try again */ }
    return null;
  },

  message(m) {
    switch (m.type) {
    case "hello":
      sessionStorage.setItem("kelvo-station-session", m.session);
      this.names = m.keys;
      document.getElementById("own-mmsi").textContent = m.mmsi;
      document.title = `Kelvo station ${m.mmsi}`;
      this.build();
      this.link("live", "connected");
      for (const file of m.cues || []) this.cueFile(file);
      break;
    case "panel": this.show(m); break;
    case "cue": this.playCue(m.file); break;
    case "error": this.notice(m.text); break;
    case "listen": this.listenTo(m.channel); break;
    case "refused": this.refuse(m.text); break;
    }
  },

  refuse(text) {
    this.refused = true;
    sessionStorage.removeItem("kelvo-station-session");
    const n = this.notice(text);
    n.classList.add("refused");
    this.link("ended", "not connected");
  },

  link(state, text) {
    const l = document.getElementById("link");
    l.className = state;
    l.textContent = text;
  },

  notice(text) {
    const n = document.getElementById("notice");
    n.textContent = text;
    n.hidden = false;
    return n;
  },

  // The keys as buttons at the window's places; the LCD's nine lines.
  build() {
    if (this.buttons.length) return;
    const panel = document.getElementById("panel");
    const g = this.geometry;
    this.names.forEach((name, i) => {
      const b = document.createElement("button");
      b.className = "key";
      b.type = "button";
      b.dataset.key = name;
      b.textContent = name;
      b.setAttribute("aria-label", Station.label(name));
      if (g) {
        const [x, y, w, h] = g.keys[i].rect;
        Object.assign(b.style, {left: `${x}px`, top: `${y}px`, width: `${w}px`, height: `${h}px`});
        b.appendChild(this.picture(g.keys[i].list));
      }
      this.bindKey(b, name);
      panel.appendChild(b);
      this.buttons.push(b);
    });
    const lcd = document.getElementById("lcd");
    const tops = g ? g.lcd.tops : [35, 52, 69, 87, 104, 121, 139, 156, 182];
    for (let n = 0; n < 9; n++) {
      const line = document.createElement("div");
      line.className = "lcd-line";
      line.style.left = `${g ? g.lcd.left : 37}px`;
      line.style.top = `${tops[n]}px`;
      lcd.appendChild(line);
      this.lines.push(line);
    }
    if (g) {
      const [x, y, w, h] = g.led;
      const led = document.getElementById("led");
      Object.assign(led.style, {left: `${x}px`, top: `${y}px`, width: `${w}px`, height: `${h}px`});
      led.appendChild(this.picture("imgList_status"));
      for (const [id, key] of [["mmsi-caption", "mmsiCaption"], ["lbl-mmsi", "mmsi"], ["group-caption", "groupCaption"],
                               ["lbl-group", "group"], ["lbl-info", "info"]]) {
        const el = document.getElementById(id);
        el.style.left = `${g.labels[key][0]}px`;
        el.style.top = `${g.labels[key][1]}px`;
      }
    }
  },

  label(name) {
    const words = {routine: "Routine", safety: "Safety", urgency: "Urgency", distress: "Distress",
      posreq: "Position request", group: "Group call", cover: "Distress alert (under the cover)",
      tx: "DSC transmit", ptt: "Push to talk", esc: "Escape", ent: "Enter", up: "Up", down: "Down",
      clr: "Clear", ok: "OK"};
    if (words[name]) return words[name];
    if (name.startsWith("ch")) return `Channel ${name.slice(2)}`;
    return name;
  },

  // A picture list's sheet behind a key: its cell chosen by the panel message.
  picture(list) {
    const p = document.createElement("span");
    p.className = "picture";
    p.dataset.list = list;
    const l = this.geometry.lists[list];
    Object.assign(p.style, {width: `${l.w}px`, height: `${l.h}px`,
      backgroundImage: `url(/station-art/${list}.png)`, backgroundSize: `${l.w * l.count}px ${l.h}px`,
      display: "none"});
    return p;
  },

  setPicture(holder, index) {
    const p = holder.querySelector(".picture");
    if (!p) return;
    if (index < 0) {
      p.style.display = "none";
      return;
    }
    const l = this.geometry.lists[p.dataset.list];
    p.style.display = "block";
    p.style.backgroundPosition = `${-index * l.w}px 0`;
  },

  show(m) {
    if (m.lines) {
      for (const l of m.lines) {
        const el = this.lines[l.n - 1];
        if (!el) continue;
        el.textContent = l.text;
        el.classList.toggle("bold", l.bold);
        el.classList.toggle("opaque", l.opaque);
        // The two entry lines are fixed boxes; the others as wide as their text.
        const entry = l.n === 3 || l.n === 5;
        el.style.width = entry ? "251px" : "";
        el.style.height = entry ? "19px" : "";
      }
      this.lcdChangedAt = performance.now();
    }
    if (m.keys) {
      for (const [i, picture, enabled] of m.keys) {
        const b = this.buttons[i];
        if (!b) continue;
        this.setPicture(b, picture);
        b.dataset.picture = picture;
        b.classList.toggle("disabled", !enabled);
        b.setAttribute("aria-disabled", enabled ? "false" : "true");
      }
    }
    if ("led" in m) {
      const led = document.getElementById("led");
      this.setPicture(led, m.led);
      led.dataset.picture = m.led;
    }
    if ("info" in m) document.getElementById("lbl-info").textContent = m.info;
    if ("mmsi" in m) {
      document.getElementById("lbl-mmsi").textContent = m.mmsi;
      document.getElementById("lbl-group").textContent = m.group;
    }
  },

  send(text) {
    if (this.ws && this.ws.readyState === WebSocket.OPEN) this.ws.send(text);
  },

  press(name, mods) {
    if (this.held.has(name)) return;
    this.held.set(name, mods);
    this.send(`down ${name}${mods}`);
    if (name === "ptt" && !mods) this.talking = true;
  },

  release(name) {
    if (!this.held.has(name)) return;
    const mods = this.held.get(name);
    this.held.delete(name);
    if (name === "ptt") this.talking = false;
    this.send(`up ${name}${mods}`);
  },

  releaseAll() {
    for (const name of [...this.held.keys()]) this.release(name);
    this.keyboardHeld.clear();
  },

  // Mouse, pen and touch alike: pressed where it went down, released when it lifts anywhere.
  bindKey(b, name) {
    b.addEventListener("pointerdown", e => {
      if (!e.isPrimary || e.button !== 0) return;
      e.preventDefault();
      b.setPointerCapture(e.pointerId);
      this.press(name, (e.altKey ? " alt" : "") + (e.ctrlKey ? " ctrl" : ""));
    });
    const up = e => { if (e.isPrimary) this.release(name); };
    b.addEventListener("pointerup", up);
    b.addEventListener("pointercancel", up);
    b.addEventListener("pointerenter", e => { if (e.pointerType === "mouse") this.send(`enter ${name}`); });
    b.addEventListener("pointerleave", e => { if (e.pointerType === "mouse") this.send(`leave ${name}`); });
    b.addEventListener("contextmenu", e => e.preventDefault());
    // Enter or Space on a focused button (a screen reader's click): one press and release.
    b.addEventListener("click", e => {
      if (e.detail !== 0) return;   // a pointer's click: already sent
      this.press(name, "");
      this.release(name);
    });
  },

  // The desktop window's keyboard map.
  keyOf(e) {
    const code = e.code, shift = e.shiftKey ? " alt" : "";
    if (/^Digit[0-9]$/.test(code) || /^Numpad[0-9]$/.test(code)) return [code.slice(-1), ""];
    const f = /^F([1-5])$/.exec(code);
    if (f) return [["ch16", "ch9", "ch23", "ch77", "ch84"][f[1] - 1], ""];
    switch (code) {
    case "Backspace": case "Delete": case "NumpadDecimal": return code === "NumpadDecimal" ? null : ["clr", ""];
    case "NumpadEnter": return ["ok", ""];
    case "Enter": return ["ent", ""];
    case "Escape": return ["esc", ""];
    case "ArrowUp": return ["up", ""];
    case "ArrowDown": return ["down", ""];
    case "KeyR": return ["routine", shift];
    case "KeyS": return ["safety", shift];
    case "KeyU": return ["urgency", shift];
    case "KeyD": return ["distress", shift];
    case "KeyP": return ["posreq", ""];
    case "KeyG": return ["group", ""];
    case "KeyX": return ["cover", ""];
    case "KeyT": return ["tx", ""];
    case "Space": return ["ptt", ""];
    }
    return null;
  },

  keyboard(e, down) {
    if (e.ctrlKey || e.metaKey || (e.altKey && !e.shiftKey)) return;   // the browser's own shortcuts
    if (down) {
      const k = this.keyOf(e);
      if (!k) return;
      e.preventDefault();
      if (e.repeat || this.keyboardHeld.has(e.code)) return;
      const b = this.buttons[this.names.indexOf(k[0])];
      if (b && b.classList.contains("disabled")) return;
      this.keyboardHeld.set(e.code, k[0]);
      this.press(k[0], k[1]);
    } else if (this.keyboardHeld.has(e.code)) {
      e.preventDefault();
      const name = this.keyboardHeld.get(e.code);
      this.keyboardHeld.delete(e.code);
      this.release(name);
    }
  },

  // Web Audio needs a gesture first; the cues are fetched once and kept decoded.
  unlockAudio() {
    if (!this.audio) this.audio = new AudioContext({latencyHint: "interactive"});
    if (this.audio.state === "suspended") this.audio.resume();
  },

  // Each cue's file fetched once, at the start; decoded once there is an audio context.
  cueFile(file) {
    if (!this.cueFiles) this.cueFiles = new Map();
    if (!this.cueFiles.has(file))
      this.cueFiles.set(file, fetch(`/station-cues/${encodeURIComponent(file)}`)
        .then(r => { if (!r.ok) throw new Error(r.status); return r.arrayBuffer(); }));
    return this.cueFiles.get(file);
  },

  async cueBuffer(file) {
    if (!this.cueBuffers.has(file))
      this.cueBuffers.set(file, this.cueFile(file).then(b => this.audio.decodeAudioData(b.slice(0))));
    return this.cueBuffers.get(file);
  },

  async playCue(file) {
    const asked = performance.now();
    this.unlockAudio();
    let buffer;
    try {
      buffer = await this.cueBuffer(file);
    } catch (e) {
      return;   // asked once: a cue the exchange does not have stays silent
    }
    // A new cue cuts the one in progress, as on the desktop.
    if (this.cueSource) try { this.cueSource.stop(); } catch (e) { /* already ended */ }
    const s = this.audio.createBufferSource();
    s.buffer = buffer;
    s.connect(this.audio.destination);
    s.start();
    this.cueSource = s;
    this.cuesPlayed.push({file, asked, started: performance.now(), state: this.audio.state});
  },
};

// ---- voice

// The channel the station listens to, played a little behind real time so that packets arriving
// unevenly still play without gaps (the exchange decodes it, as for the console's listen-in).
Station.listenTo = function (channel) {
  if (this.listenSocket) { this.listenSocket.onclose = null; this.listenSocket.close(); this.listenSocket = null; }
  this.listening = channel;
  if (![16, 9, 23, 77, 84].includes(channel)) return;
  const q = new URLSearchParams({channel: String(channel)});
  for (const name of ["code", "token"])
    if (this.params.get(name)) q.set(name, this.params.get(name));
  const scheme = location.protocol === "https:" ? "wss" : "ws";
  const ws = new WebSocket(`${scheme}://${location.host}/api/station-listen?${q}`);
  ws.binaryType = "arraybuffer";
  ws.onmessage = e => {
    if (typeof e.data === "string") {
      const m = JSON.parse(e.data);
      if (m.type === "format") this.voiceRate = m.rate;
    } else {
      this.playVoice(e.data);
    }
  };
  // A socket that drops while the station still listens there is opened again.
  ws.onclose = () => { if (this.listenSocket === ws) setTimeout(() => { if (this.listening === channel) this.listenTo(channel); }, 1000); };
  this.listenSocket = ws;
};

Station.playVoice = function (pcm) {
  const samples = new Int16Array(pcm);
  if (!samples.length) return;
  this.unlockAudio();
  const a = this.audio;
  const buffer = a.createBuffer(1, samples.length, this.voiceRate);
  const out = buffer.getChannelData(0);
  let sum = 0;
  for (let i = 0; i < samples.length; i++) {
    out[i] = samples[i] / 32768;
    sum += out[i] * out[i];
  }
  this.voiceLevel = Math.sqrt(sum / samples.length);   // for tests: what the last packet held
  const src = a.createBufferSource();
  src.buffer = buffer;
  src.connect(a.destination);
  // A packet after a pause starts a new run a little ahead; an early one follows on.
  if (this.playAt < a.currentTime + 0.02) this.playAt = a.currentTime + 0.12;
  src.start(this.playAt);
  this.playAt += buffer.duration;
  this.voiceHeard += samples.length;
};

// The microphone, asked for at the first gesture: while push-to-talk is held its sound goes to the
// exchange as 16-bit PCM at 16 kHz, 20 ms a frame.
const MIC_WORKLET = `class KelvoMic extends AudioWorkletProcessor {
  process(inputs) { const c = inputs[0] && inputs[0][0]; if (c) this.port.postMessage(c.slice(0)); return true; }
}
registerProcessor("kelvo-mic", KelvoMic);`;

Station.startMicrophone = function () {
  if (this.microphone) return this.microphone;
  this.microphone = (async () => {
    try {
      if (!navigator.mediaDevices || !window.AudioWorkletNode) throw new Error("this browser gives no microphone here");
      const stream = await navigator.mediaDevices.getUserMedia(
        {audio: {echoCancellation: true, noiseSuppression: false, autoGainControl: false, channelCount: 1}});
      const track = stream.getAudioTracks()[0];
      if (window.MediaStreamTrackProcessor && window.AudioData && track) {
        // The track's frames as they are captured (10 ms each), where the browser gives them: the
        // way through the audio graph below queues them 20 to 110 ms more in Chromium.
        const reader = new MediaStreamTrackProcessor({track}).readable.getReader();
        (async () => {
          for (;;) {
            const {value: frame, done} = await reader.read();
            if (done) return;
            const block = new Float32Array(frame.numberOfFrames);
            frame.copyTo(block, {planeIndex: 0, format: "f32-planar"});
            const rate = frame.sampleRate;
            frame.close();
            this.microphoneBlock(block, rate);
          }
        })();
        return (this.micOk = true);
      }
      const a = this.audio;
      const url = URL.createObjectURL(new Blob([MIC_WORKLET], {type: "text/javascript"}));
      await a.audioWorklet.addModule(url);
      const node = new AudioWorkletNode(a, "kelvo-mic");
      node.port.onmessage = e => this.microphoneBlock(e.data);
      a.createMediaStreamSource(stream).connect(node);
      const mute = a.createGain();
      mute.gain.value = 0;
      node.connect(mute).connect(a.destination);   // keeps the node pulled, silently
      return (this.micOk = true);
    } catch (e) {
      this.notice("No microphone: push-to-talk puts the station on the air without your voice " +
        "(the browser refused the microphone, or has none" +
        (location.protocol === "http:" && location.hostname !== "localhost" && location.hostname !== "127.0.0.1"
          ? "; browsers give it only over https" : "") + "). Everything else works.");
      return (this.micOk = false);
    }
  })();
  return this.microphone;
};

Station.microphoneBlock = function (block, rate = this.audio.sampleRate) {
  if (!this.talking) {
    this.micFrame = [];
    this.micLast = block[block.length - 1];
    return;
  }
  // From the capture's rate to 16 kHz, by linear interpolation. Positions count from the previous
  // block's last sample (-1), so the step between two blocks is interpolated like any other.
  const step = rate / 16000;
  let pos = this.micPosition - 1;
  for (; pos < block.length - 1; pos += step) {
    const i = Math.floor(pos), f = pos - i;
    const v = (i < 0 ? this.micLast : block[i]) * (1 - f) + block[i + 1] * f;
    this.micFrame.push(Math.max(-32768, Math.min(32767, Math.round(v * 32767))));
    if (this.micFrame.length === 320) {
      if (this.ws && this.ws.readyState === WebSocket.OPEN) {
        this.ws.send(Int16Array.from(this.micFrame).buffer);
        this.micSent += 320;
      }
      this.micFrame = [];
    }
  }
  this.micPosition = pos - (block.length - 1);
  this.micLast = block[block.length - 1];
};

Station.start();
