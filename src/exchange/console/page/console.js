// SPDX-License-Identifier: GPL-3.0-or-later
// The console page: live traffic from the exchange's event stream, the stations and the calls in
// flight from its API, and the exercise controls. No framework: the DOM and fetch.
"use strict";

(() => {
  const token = new URLSearchParams(location.search).get("token") || "";
  const withToken = (path) => token ? path + (path.includes("?") ? "&" : "?") + "token=" + encodeURIComponent(token) : path;
  const $ = (id) => document.getElementById(id);
  const esc = (s) => Words.esc(s);

  // run: the exchange's run the page shows (a restarted exchange numbers its records from 1 again).
  const state = { run: "", live: false, stations: [], calls: [], exercise: null, exerciseAt: 0, clockOffset: 0 };

  async function api(path, body) {
    const init = body === undefined ? {} : { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body) };
    try {
      const res = await fetch(withToken(path), init);
      const data = await res.json().catch(() => ({ error: res.statusText }));
      return { ok: res.ok, status: res.status, data };
    } catch (e) {
      return { ok: false, status: 0, data: { error: "the exchange does not answer" } };
    }
  }

  function toast(text) {
    const t = $("toast");
    t.textContent = text; t.hidden = false;
    clearTimeout(toast.timer);
    toast.timer = setTimeout(() => { t.hidden = true; }, 4000);
  }

  // ---- stations, calls in flight, exercise
  let refreshTimer = 0, lastRefresh = 0;
  function refreshSoon() {
    if (refreshTimer) return;
    const wait = Math.max(0, 400 - (Date.now() - lastRefresh));
    refreshTimer = setTimeout(refresh, wait);
  }

  async function refresh() {
    refreshTimer = 0; lastRefresh = Date.now();
    const r = await api("api/stations");
    if (!r.ok) return;
    state.stations = r.data.stations; state.calls = r.data.calls; state.exercise = r.data.exercise;
    Forms.stations = state.stations;
    state.clockOffset = r.data.now - Date.now();
    state.exerciseAt = r.data.now;   // the exercise's position is that of this moment
    Words.setNames(new Map(state.stations.filter((s) => s.name).map((s) => [s.mmsi, s.name])));
    drawStations(); drawCalls(); drawExercise(); fillStationFilter();
  }

  const now = () => Date.now() + state.clockOffset;
  const running = (since) => `<span class="running-time" data-since="${esc(since)}">${esc(Words.duration(now() - since))}</span>`;

  function drawStations() {
    const body = $("stations");
    body.innerHTML = state.stations.filter((s) => s.kind !== "group").map((s) => {
      const kind = s.kind === "trainee" ? "" : ` <span class="tag origin">${s.kind === "coast" ? "virtual coast" : "virtual ship"}</span>`;
      const more = s.owesMore ? `<div class=owes>and ${esc(s.owesMore)} more</div>` : "";
      const owes = s.owes.length
        ? s.owes.map((o) => `<div class="owes${o.distress ? " distress" : ""}">${esc(o.what)} from ${esc(o.fromName || o.from)} ${running(o.since)}</div>`).join("") + more
        : `<span class=ok>nothing</span>`;
      const where = s.address ? `<small class=address>${esc(s.address)}</small>` : "";
      const rename = s.kind === "trainee" ? ` <button class="rename" data-mmsi="${esc(s.mmsi)}" title="Name this station">✎</button>` : "";
      return `<tr><td>${Words.who(s.mmsi).html}${rename}${where}${kind}</td>` +
        `<td class=num>${esc(s.sent)}</td><td class=num>${esc(s.received)}</td><td>${owes}</td></tr>`;
    }).join("");
    $("stations-empty").hidden = state.stations.length > 0;
  }

  function drawCalls() {
    const list = $("calls");
    list.innerHTML = state.calls.slice(0, 60).map((c) => {
      const to = c.to ? " → " + Words.who(c.to).plain : " → all stations";
      const answer = c.open ? running(c.since)
        : `<span class=answered>✔ ${esc(c.answeredByName || c.answeredBy)}<br>after ${esc((c.answeredAfterMs / 1000).toFixed(1))} s</span>`;
      return `<li class="card${c.distress ? " distress" : ""}${c.open ? "" : " done"}"><span class=what>${Words.esc(c.kind)}</span>` +
        `<span class=state>${answer}</span><span class=parties>${Words.esc(Words.who(c.from).plain)}${Words.esc(to)}` +
        `${c.outcome ? " — " + Words.esc(c.outcome) : ""}</span></li>`;
    }).join("");
    $("calls-empty").hidden = state.calls.length > 0;
    const open = state.calls.filter((c) => c.distress && c.open);
    const banner = $("distress-banner");
    banner.hidden = open.length === 0;
    if (open.length)
      banner.innerHTML = open.map((c) => `<span>⚠ ${Words.esc(c.kind.toUpperCase())} from ${Words.esc(Words.who(c.from).plain)} — not acknowledged</span>${running(c.since).replace("running-time", "running-time timer")}`).join(" ");
  }

  function drawExercise() {
    const ex = state.exercise, box = $("exercise");
    box.hidden = !ex;
    if (!ex) return;
    const pill = $("exercise-state");
    pill.textContent = `${ex.state} · ${ex.sent}/${ex.events}`;
    pill.className = "pill " + ex.state;
    $("exercise-clock").textContent = Words.duration(exercisePosition());
    $("ex-start").disabled = ex.state === "running";
    $("ex-pause").disabled = ex.state !== "running";
    $("ex-stop").disabled = ex.state === "idle";
  }

  function fillStationFilter() {
    const sel = $("filter-station"), chosen = sel.value;
    const opts = ['<option value="">all stations</option>'].concat(state.stations.filter((s) => s.kind !== "group")
      .map((s) => `<option value="${esc(s.mmsi)}">${esc(Words.who(s.mmsi).plain)}</option>`));
    const html = opts.join("");
    if (sel.dataset.html !== html) { sel.innerHTML = html; sel.dataset.html = html; sel.value = chosen; }
  }

  // Where the exercise is now: its position when last asked, and the time since, while it runs.
  function exercisePosition() {
    const ex = state.exercise;
    return ex.positionMs + (ex.state === "running" ? Math.max(0, now() - state.exerciseAt) : 0);
  }

  // Running times tick every second without asking the exchange.
  setInterval(() => {
    for (const el of document.querySelectorAll(".running-time")) el.textContent = Words.duration(now() - Number(el.dataset.since));
    if (state.exercise && state.exercise.state === "running") $("exercise-clock").textContent = Words.duration(exercisePosition());
  }, 1000);

  // ---- the event stream
  function link(text, up) { $("link").textContent = text; $("link").className = "link " + (up ? "up" : "down"); }

  // A new run of the exchange (restarted): what the page holds belongs to the old one.
  function newRun(run) {
    if (state.run && run !== state.run) {
      Traffic.clear();
      toast("The exchange was restarted: the traffic shown is that of the new run");
    }
    state.run = run;
  }

  // The records after `since` up to `until`, in pages of the API.
  async function fetchSince(since, until) {
    while (since < until) {
      const r = await api("api/records?since=" + since);
      if (!r.ok || r.data.length === 0) return;
      Traffic.add(r.data.filter((rec) => rec.seq < until), false);
      since = r.data[r.data.length - 1].seq;
      if (r.data.length < 5000) return;
    }
  }

  let socket = null, retry = 250;
  function connect() {
    const url = new URL(withToken("api/events"), location.href);
    url.protocol = location.protocol === "https:" ? "wss:" : "ws:";
    socket = new WebSocket(url);
    socket.binaryType = "arraybuffer";   // updates come as UTF-8 in binary frames
    socket.onopen = () => { state.live = true; link("live", true); retry = 250; };
    socket.onmessage = async (ev) => {
      const msg = JSON.parse(typeof ev.data === "string" ? ev.data : new TextDecoder().decode(ev.data));
      if (msg.type === "hello") {
        newRun(msg.run);
        await fetchSince(Traffic.lastSeq(), Infinity);   // everything before the stream began
        refresh();
        api("api/channels").then((r) => { if (r.ok) Voice.update(r.data); });
      } else if (msg.type === "channels") {
        Voice.update(msg.channels);
      } else if (msg.type === "update") {
        // Under a flood the stream sends only the newest records: the others come from the API.
        const before = Traffic.lastSeq();
        if (Traffic.add(msg.records, true)) refreshSoon();
        if (msg.skipped && msg.records.length) await fetchSince(before, msg.records[0].seq);
        if (msg.changed) refresh();
      }
    };
    // Back within half a second of the exchange's return (a restart is quick).
    socket.onclose = () => {
      state.live = false; link("reconnecting…", false);
      setTimeout(connect, retry); retry = Math.min(retry * 2, 500);
    };
  }

  // The instructor names a trainee's station (a name or the trainee's): the traffic uses it.
  $("stations").addEventListener("click", async (ev) => {
    const b = ev.target.closest("button.rename");
    if (!b) return;
    const name = prompt(`Name for station ${b.dataset.mmsi}`, Words.who(b.dataset.mmsi).plain.replace(/ \(.*/, ""));
    if (!name) return;
    const r = await api("api/names", { mmsi: b.dataset.mmsi, name });
    if (!r.ok) { toast(r.data.error); return; }
    await refresh();
    Traffic.redraw();
  });

  async function exercise(action) {
    const r = await api("api/exercise", { action });
    if (!r.ok) toast(r.data.error); else refresh();
  }

  // Without the token (or with one of another exchange) the page says what to open.
  function needToken() {
    link("access token needed", false);
    $("need-token").hidden = false;
    for (const id of ["open-send", "open-station", "open-report"]) $(id).hidden = true;
    document.querySelector("main").hidden = true;
  }

  async function start() {
    $("open-report").href = withToken("report");
    Traffic.setUp();
    $("ex-start").onclick = () => exercise("start");
    $("ex-pause").onclick = () => exercise("pause");
    $("ex-stop").onclick = () => exercise("stop");
    const meta = await api("api/meta");
    if (!meta.ok) { if (meta.status === 401) needToken(); else link("no exchange", false); return; }
    state.run = meta.data.run;
    Words.setNatures(meta.data.natures);
    Forms.setUp(api, meta.data, toast);
    await Voice.setUp(withToken, api);
    await refresh();
    connect();
    // The stations' times and the exercise, now and then; not while the exchange is away.
    setInterval(() => { if (state.live) refresh(); }, 5000);
  }
  start();
})();
