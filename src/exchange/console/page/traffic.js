// SPDX-License-Identifier: GPL-3.0-or-later
// The live traffic list: every record the page has received, shown a page at a time. The first
// page follows the traffic as it comes; an older page stays put while new records arrive.
"use strict";

const Traffic = (() => {
  const $ = (id) => document.getElementById(id);
  const esc = (s) => Words.esc(s);
  const PAGE = 200;
  const KEEP = 50000;           // as many as the exchange keeps
  let byseq = new Map(), order = [];   // order: oldest first
  let anchor = 0, back = [];           // anchor 0: the newest page; otherwise the newest seq shown
  let newer = 0;                       // records arrived while an older page is shown

  // The filters as chosen now: a test of a record.
  function filter() {
    const station = $("filter-station").value, kind = $("filter-kind").value;
    return (rec) => matches(rec, station, kind);
  }

  function matches(rec, station, kind) {
    if (station && !(rec.fields && (rec.fields.TXMMSI === station || rec.fields.RXMMSI === station))) return false;
    return !kind || rec.words.kind === kind;
  }

  function row(rec, fresh) {
    const tr = document.createElement("tr");
    const w = rec.words, f = rec.fields;
    tr.dataset.seq = rec.seq;
    tr.className = (w.distress ? "distress" : "") + (rec.problem ? " rejected" : "") + (fresh ? " new" : "");
    const origin = rec.origin !== "station" ? `<span class="tag origin">${esc(rec.origin)}</span>` : "";
    const status = rec.relayed ? `<span class="tag relayed">relayed</span>` : `<span class="tag rejected">rejected</span>`;
    const from = f ? Words.who(f.TXMMSI).html : `<span class=who>${esc(rec.sender)}</span>`;
    const comply = f && f.CATEGORY === "ROUT_ACK" ? (f.COMPLY === "Y" ? "able" : "unable") : "";
    tr.innerHTML = `<td class=time>${esc(String(rec.time).slice(11, 19))}</td><td>${from}${origin}</td>` +
      `<td>${f ? Words.who(f.RXMMSI).html : ""}</td>` +
      `<td class=kind>${esc(w.text)}${w.detail ? `<small>${esc(w.detail)}</small>` : ""}</td>` +
      `<td>${f ? esc(f.CH) : ""}</td><td>${esc(comply)}</td>` +
      `<td>${status}${rec.problem ? `<small class=muted> ${esc(rec.problem)}</small>` : ""}</td>`;
    return tr;
  }

  // The matching records of the page shown, newest first, and how many match in all.
  function shown() {
    const out = [], wanted = filter();
    let before = 0, total = 0;
    for (let i = order.length - 1; i >= 0; i--) {
      const r = order[i];
      if (!wanted(r)) continue;
      total++;
      if (anchor && r.seq > anchor) before++;
      else if (out.length < PAGE) out.push(r);
    }
    return { list: out, before, total };
  }

  function drawPager(before, count, total) {
    $("traffic-pages").hidden = total <= PAGE && !anchor;
    $("traffic-range").textContent = total ? `${before + 1}–${before + count} of ${total}` : "none";
    $("traffic-newest").disabled = $("traffic-newer").disabled = !anchor;
    $("traffic-older").disabled = before + count >= total;
    $("traffic-newer").textContent = newer ? `◀ Newer (${newer} new)` : "◀ Newer";
  }

  function redraw() {
    const body = $("traffic");
    const { list, before, total } = shown();
    const frag = document.createDocumentFragment();
    for (const r of list) frag.appendChild(row(r, false));
    body.textContent = "";
    body.appendChild(frag);
    drawPager(before, list.length, total);
    $("traffic-count").textContent = byseq.size;
    $("traffic-empty").hidden = byseq.size > 0;
  }

  // Records from the stream or the API; returns how many were new.
  function add(list, fresh) {
    const body = $("traffic");
    const frag = document.createDocumentFragment();
    let added = 0, sorted = true;
    const wanted = filter();
    for (const rec of list) {
      if (byseq.has(rec.seq)) continue;
      rec.words = Words.describe(rec);
      byseq.set(rec.seq, rec);
      if (order.length && order[order.length - 1].seq > rec.seq) sorted = false;
      order.push(rec);
      if (wanted(rec)) { if (anchor) newer++; else frag.prepend(row(rec, fresh)); }
      added++;
    }
    if (!added) return 0;
    if (!sorted) order.sort((a, b) => a.seq - b.seq);
    if (order.length > KEEP) for (const r of order.splice(0, order.length - KEEP)) byseq.delete(r.seq);
    if (!sorted) { redraw(); return added; }
    if (!anchor) {
      body.prepend(frag);
      while (body.rows.length > PAGE) body.deleteRow(-1);
    }
    const { list: page, before, total } = shown();
    drawPager(before, page.length, total);
    $("traffic-count").textContent = byseq.size;
    $("traffic-empty").hidden = byseq.size > 0;
    return added;
  }

  // A new run of the exchange numbers its records from 1 again: the page starts afresh.
  function clear() {
    byseq = new Map(); order = []; anchor = 0; back = []; newer = 0;
    redraw();
  }

  function setUp() {
    $("filter-station").onchange = $("filter-kind").onchange = () => { anchor = 0; back = []; newer = 0; redraw(); };
    $("traffic-newest").onclick = () => { anchor = 0; back = []; newer = 0; redraw(); };
    $("traffic-newer").onclick = () => { anchor = back.pop() || 0; if (!anchor) newer = 0; redraw(); };
    $("traffic-older").onclick = () => {
      const { list } = shown();
      if (!list.length) return;
      back.push(anchor);
      anchor = list[list.length - 1].seq - 1;
      redraw();
    };
  }

  return {
    setUp, add, clear, redraw,
    lastSeq: () => (order.length ? order[order.length - 1].seq : 0),
  };
})();
