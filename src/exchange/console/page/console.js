// The console page: live traffic from the exchange's event stream, the stations and the calls in
// flight from its API, and the exercise controls. No framework: the DOM and fetch.
"use strict";

(() => {
  const token = new URLSearchParams(location.search).get("token") || "";
  const withToken = (path) => token ? path + (path.includes("?") ? "&" : "?") + "token=" + encodeURIComponent(token) : path;
  const $ = (id) => document.getElementById(id);
  const MAX_ROWS = 2000;

  const state = { records: new Map(), lastSeq: 0, stations: [], calls: [], exercise: null, now: 0, clockOffset: 0 };

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

  // ---- live traffic
  function matches(rec) {
    const station = $("filter-station").value, kind = $("filter-kind").value;
    if (station && !(rec.fields && (rec.fields.TXMMSI === station || rec.fields.RXMMSI === station))) return false;
    return !kind || rec.words.kind === kind;
  }

  function row(rec, fresh) {
    const tr = document.createElement("tr");
    const w = rec.words, f = rec.fields;
    tr.dataset.seq = rec.seq;
    tr.className = (w.distress ? "distress" : "") + (rec.problem ? " rejected" : "") + (fresh ? " new" : "");
    const time = rec.time.slice(11, 19);
    const origin = rec.origin !== "station" ? `<span class="tag origin">${Words.esc(rec.origin)}</span>` : "";
    const status = rec.relayed ? `<span class="tag relayed">relayed</span>` : `<span class="tag rejected">rejected</span>`;
    const from = f ? Words.who(f.TXMMSI).html : `<span class=who>${Words.esc(rec.sender)}</span>`;
    tr.innerHTML = `<td class=time>${time}</td><td>${from}${origin}</td><td>${f ? Words.who(f.RXMMSI).html : ""}</td>` +
      `<td class=kind>${Words.esc(w.text)}${w.detail ? `<small>${Words.esc(w.detail)}</small>` : ""}</td>` +
      `<td>${f ? Words.esc(f.CH) : ""}</td><td>${f && f.CATEGORY === "ROUT_ACK" ? (f.COMPLY === "Y" ? "able" : "unable") : ""}</td>` +
      `<td>${status}${rec.problem ? `<small class=muted> ${Words.esc(rec.problem)}</small>` : ""}</td>`;
    return tr;
  }

  function addRecords(list, fresh) {
    const body = $("traffic");
    const scroll = $("traffic-scroll");
    const atTop = scroll.scrollTop < 40;
    const frag = document.createDocumentFragment();
    let added = 0;
    for (const rec of list) {
      if (state.records.has(rec.seq)) continue;
      rec.words = Words.describe(rec);
      state.records.set(rec.seq, rec);
      state.lastSeq = Math.max(state.lastSeq, rec.seq);
      if (matches(rec)) frag.prepend(row(rec, fresh));
      added++;
    }
    if (!added) return;
    body.prepend(frag);
    while (body.rows.length > MAX_ROWS) body.deleteRow(-1);
    if (state.records.size > MAX_ROWS * 2) {
      const keys = [...state.records.keys()].sort((a, b) => a - b);
      for (const k of keys.slice(0, keys.length - MAX_ROWS)) state.records.delete(k);
    }
    if (!atTop) scroll.scrollTop += 0;
    $("traffic-count").textContent = state.records.size;
    $("traffic-empty").hidden = state.records.size > 0;
    refreshSoon();
  }

  function redrawTraffic() {
    const body = $("traffic");
    body.textContent = "";
    const recs = [...state.records.values()].sort((a, b) => b.seq - a.seq).filter(matches).slice(0, MAX_ROWS);
    const frag = document.createDocumentFragment();
    for (const r of recs) frag.appendChild(row(r, false));
    body.appendChild(frag);
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
    const names = {};
    for (const s of state.stations) if (s.name) names[s.mmsi] = s.name;
    Words.setNames(names);
    drawStations(); drawCalls(); drawExercise(); fillStationFilter();
  }

  const now = () => Date.now() + state.clockOffset;
  const running = (since) => `<span class="running-time" data-since="${since}">${Words.duration(now() - since)}</span>`;

  function drawStations() {
    const body = $("stations");
    body.innerHTML = state.stations.filter((s) => s.kind !== "group").map((s) => {
      const kind = s.kind === "trainee" ? "" : ` <span class="tag origin">${s.kind === "coast" ? "virtual coast" : "virtual ship"}</span>`;
      const owes = s.owes.length
        ? s.owes.map((o) => `<div class="owes${o.distress ? " distress" : ""}">${Words.esc(o.what)} from ${Words.esc(o.fromName || o.from)} ${running(o.since)}</div>`).join("")
        : `<span class=ok>nothing</span>`;
      const where = s.address ? `<small class=address>${Words.esc(s.address)}</small>` : "";
      const rename = s.kind === "trainee" ? ` <button class="rename" data-mmsi="${s.mmsi}" title="Name this station">✎</button>` : "";
      return `<tr><td>${Words.who(s.mmsi).html}${rename}${where}${kind}</td>` +
        `<td class=num>${s.sent}</td><td class=num>${s.received}</td><td>${owes}</td></tr>`;
    }).join("");
    $("stations-empty").hidden = state.stations.length > 0;
  }

  function drawCalls() {
    const list = $("calls");
    list.innerHTML = state.calls.slice(0, 60).map((c) => {
      const to = c.to ? " → " + Words.who(c.to).plain : " → all stations";
      const answer = c.open ? running(c.since)
        : `<span class=answered>✔ ${Words.esc(c.answeredByName || c.answeredBy)}<br>after ${(c.answeredAfterMs / 1000).toFixed(1)} s</span>`;
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
    $("exercise-clock").textContent = Words.duration(ex.positionMs + (ex.state === "running" ? now() - state.refreshedAt : 0));
    state.refreshedAt = now();
    $("ex-start").disabled = ex.state === "running";
    $("ex-pause").disabled = ex.state !== "running";
    $("ex-stop").disabled = ex.state === "idle";
  }

  function fillStationFilter() {
    const sel = $("filter-station"), chosen = sel.value;
    const opts = ['<option value="">all stations</option>'].concat(state.stations.filter((s) => s.kind !== "group")
      .map((s) => `<option value="${s.mmsi}">${Words.esc(Words.who(s.mmsi).plain)}</option>`));
    const html = opts.join("");
    if (sel.dataset.html !== html) { sel.innerHTML = html; sel.dataset.html = html; sel.value = chosen; }
  }

  // Running times tick every second without asking the exchange.
  setInterval(() => {
    for (const el of document.querySelectorAll(".running-time")) el.textContent = Words.duration(now() - Number(el.dataset.since));
    const ex = state.exercise;
    if (ex && ex.state === "running") $("exercise-clock").textContent = Words.duration(ex.positionMs + now() - state.refreshedAt);
  }, 1000);

  // ---- the event stream
  let socket = null, retry = 500;
  function connect() {
    const url = new URL(withToken("api/events"), location.href);
    url.protocol = location.protocol === "https:" ? "wss:" : "ws:";
    socket = new WebSocket(url);
    socket.onopen = () => { $("link").textContent = "live"; $("link").className = "link up"; retry = 500; };
    socket.binaryType = "arraybuffer";   // updates come as UTF-8 in binary frames
    socket.onmessage = async (ev) => {
      const msg = JSON.parse(typeof ev.data === "string" ? ev.data : new TextDecoder().decode(ev.data));
      if (msg.type === "hello") {
        // Everything before the stream began, in pages of the API.
        for (;;) {
          const r = await api("api/records?since=" + state.lastSeq);
          if (!r.ok || r.data.length === 0) break;
          addRecords(r.data, false);
          if (r.data.length < 5000) break;
        }
        refresh();
        api("api/channels").then((r) => { if (r.ok) Voice.update(r.data); });
      } else if (msg.type === "channels") {
        Voice.update(msg.channels);
      } else if (msg.type === "update") {
        if (msg.skipped) toast(`${msg.skipped} records went by too fast to show: see the exchange's log`);
        addRecords(msg.records, true);
        if (msg.changed) refresh();
      }
    };
    socket.onclose = () => {
      $("link").textContent = "reconnecting…"; $("link").className = "link down";
      setTimeout(connect, retry); retry = Math.min(retry * 2, 5000);
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
    redrawTraffic();
  });

  async function exercise(action) {
    const r = await api("api/exercise", { action });
    if (!r.ok) toast(r.data.error); else refresh();
  }

  async function start() {
    $("open-report").href = withToken("report");
    $("filter-station").onchange = $("filter-kind").onchange = redrawTraffic;
    $("ex-start").onclick = () => exercise("start");
    $("ex-pause").onclick = () => exercise("pause");
    $("ex-stop").onclick = () => exercise("stop");
    const meta = await api("api/meta");
    if (!meta.ok) { $("link").textContent = meta.status === 401 ? "access token needed" : "no exchange"; $("link").className = "link down"; return; }
    Words.setNatures(meta.data.natures);
    Forms.setUp(api, meta.data, toast);
    await Voice.setUp(withToken, api);
    await refresh();
    connect();
    setInterval(refresh, 5000);
  }
  start();
})();
