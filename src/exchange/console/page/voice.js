// SPDX-License-Identifier: GPL-3.0-or-later
// The voice channels on the console: a light per channel with the sender of the transmission in
// progress, and listening to one channel. The exchange sends the channel's sound as 16-bit PCM over
// a WebSocket; it is played with Web Audio a little behind real time, so that packets arriving
// unevenly still play without gaps.
"use strict";

const Voice = (() => {
  const $ = (id) => document.getElementById(id);
  const LEAD = 0.25;   // seconds of sound kept ahead of the playhead
  let withToken = (p) => p, channels = [], listening = 0, socket = null, audio = null, rate = 22050, playAt = 0;

  function draw() {
    const box = $("channels");
    box.innerHTML = channels.map((c) => {
      const live = !!c.sender;
      const cls = "channel" + (live ? " live" : "") + (listening === c.channel ? " listening" : "");
      const ear = listening === c.channel ? "listening" : "listen";
      const esc = Words.esc, title = listening === c.channel ? "Stop listening" : "Listen to channel " + c.channel;
      return `<button class="${cls}" data-channel="${esc(c.channel)}" title="${esc(title)}">` +
        `<span class=light></span><span class=ch>CH ${esc(c.channel)}</span><span class=ear>${ear}</span>` +
        `<span class=sender>${live ? Words.esc(c.sender) : "quiet"}</span></button>`;
    }).join("");
  }

  function show(data) {
    $("voice").hidden = !data.watched;
    $("voice-rec").className = "rec" + (data.recording ? " on" : "");
    $("voice-rec").textContent = data.recording ? "● REC" : "not recording";
    channels = data.channels || [];
    draw();
  }

  function play(pcm) {
    const samples = new Int16Array(pcm);
    if (!samples.length || !audio) return;
    const buffer = audio.createBuffer(1, samples.length, rate);
    const out = buffer.getChannelData(0);
    for (let i = 0; i < samples.length; i++) out[i] = samples[i] / 32768;
    const src = audio.createBufferSource();
    src.buffer = buffer;
    src.connect(audio.destination);
    // A late packet after a pause starts a new run LEAD seconds ahead; an early one follows on.
    if (playAt < audio.currentTime + 0.02) playAt = audio.currentTime + LEAD;
    src.start(playAt);
    playAt += buffer.duration;
    const tile = document.querySelector(`.channel[data-channel="${listening}"]`);
    if (tile) tile.dataset.heard = String(Number(tile.dataset.heard || 0) + samples.length);
    Voice.heard += samples.length;
  }

  function stop() {
    if (socket) { socket.onclose = null; socket.close(); socket = null; }
    listening = 0;
  }

  function listen(channel) {
    const again = listening === channel;
    stop();
    if (!again) {
      listening = channel;
      // Made on the instructor's click: browsers let sound start only from a gesture.
      if (!audio) audio = new AudioContext();
      audio.resume();
      playAt = 0;
      const url = new URL(withToken("api/listen?channel=" + channel), location.href);
      url.protocol = location.protocol === "https:" ? "wss:" : "ws:";
      socket = new WebSocket(url);
      socket.binaryType = "arraybuffer";
      socket.onmessage = (ev) => {
        if (typeof ev.data === "string") { const m = JSON.parse(ev.data); if (m.type === "format") rate = m.rate; }
        else play(ev.data);
      };
      socket.onclose = () => { if (listening === channel) { socket = null; listening = 0; draw(); } };
    }
    draw();
  }

  return {
    heard: 0,
    setUp(tokenPath, api) {
      withToken = tokenPath;
      $("channels").addEventListener("click", (ev) => {
        const b = ev.target.closest("button.channel");
        if (b) listen(Number(b.dataset.channel));
      });
      return api("api/channels").then((r) => { if (r.ok) show(r.data); });
    },
    update: show,
  };
})();
