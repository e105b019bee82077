// SPDX-License-Identifier: GPL-3.0-or-later
// Records in an instructor's words: the kind of call, the parties by name, the position.
"use strict";

const Words = (() => {
  let natures = new Map();    // code -> name, from /api/meta
  let names = new Map();      // MMSI -> name of a virtual or named station (Maps: an MMSI may be any 9 characters)

  const trim = (s) => (s || "").trim();
  const lower = (s) => trim(s).toLowerCase().replace("_", " ");
  const esc = (s) => String(s).replace(/[&<>"']/g, (c) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;", "'": "&#39;" })[c]);

  function nature(code) {
    const n = parseInt(trim(code), 10);
    return natures.get(n) || (isNaN(n) ? "undesignated" : "nature " + n);
  }

  function position(f) {
    if (!f || f.LATD === "--" || f.TIME === "--:--") return "no position";
    if (f.LATD === "00" && f.LATM === "00" && f.LOND === "000" && f.LONM === "00") return "";
    return `${f.LATD}°${f.LATM}'${f.NS} ${f.LOND}°${f.LONM}'${f.EW}`;
  }

  // {text, detail, kind, distress}: kind is one of the traffic filter's values.
  function describe(rec) {
    if (rec.problem) return { text: "not a record", detail: rec.problem, kind: "rejected", distress: false };
    const f = rec.fields, call = trim(f.CALL), cat = trim(f.CATEGORY);
    const pos = position(f);
    const at = f.TIME && f.TIME !== "00:00" && f.TIME !== "--:--" ? " at " + f.TIME + " UTC" : "";
    if (call === "DISTRESS" && cat === "DISTRESS")
      return { text: "Distress alert — " + nature(f.DANGER), detail: (pos || "no position") + at, kind: "distress", distress: true };
    if (call === "DISTRESS" && cat === "DIST_ACK")
      return { text: "Distress acknowledgement", detail: "of " + who(f.RXMMSI).plain + " — " + nature(f.DANGER), kind: "distress", distress: true };
    if (cat === "ROUT_ACK")
      return { text: "Acknowledgement", detail: f.COMPLY === "Y" ? "able to comply, channel " + trim(f.CH) : "unable to comply", kind: "ack", distress: false };
    if (cat === "POS_REQ") return { text: "Position request", detail: "", kind: "position", distress: false };
    if (cat === "POS_ACK") return { text: "Position reply", detail: (pos || "no position") + at, kind: "position", distress: false };
    if (call === "ALLSHIPS") return { text: "All-ships " + lower(cat) + " call", detail: "", kind: "group", distress: false };
    if (call === "GROUP") return { text: "Group " + lower(cat) + " call", detail: "", kind: "group", distress: false };
    return { text: "Individual " + lower(cat) + " call", detail: "", kind: "individual", distress: false };
  }

  // A station as HTML (name over MMSI) and as plain text.
  function who(mmsi) {
    const m = trim(mmsi);
    if (m === "999999999") return { html: "<span class=who>All ships</span>", plain: "all ships" };
    const name = names.get(m);
    return name ? { html: `<span class=who>${esc(name)}<small>${esc(m)}</small></span>`, plain: `${name} (${m})` }
                : { html: `<span class=who>${esc(m)}</span>`, plain: m };
  }

  function duration(ms) {
    const s = Math.max(0, Math.floor(ms / 1000));
    const h = Math.floor(s / 3600), m = Math.floor((s % 3600) / 60), r = s % 60;
    const two = (n) => String(n).padStart(2, "0");
    return h ? `${h}:${two(m)}:${two(r)}` : `${m}:${two(r)}`;
  }

  return {
    setNatures(list) { natures = new Map(list.map((n) => [n.code, n.name])); },
    setNames(map) { names = map; },   // a Map
    describe, who, esc, duration, nature,
  };
})();
