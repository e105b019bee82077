// SPDX-License-Identifier: GPL-3.0-or-later
// The instructor's forms: send a call (with the exact record previewed by the exchange itself,
// which applies the checks of `kelvo-exchange compose`) and add a virtual station.
"use strict";

const Forms = (() => {
  let api = null;             // (path, body?) -> Promise of {ok, status, data}
  let previewTimer = 0;

  function fields(form) {
    const out = {};
    for (const el of form.elements)
      if (el.name && el.value.trim() !== "") out[el.name] = el.value.trim();
    return out;
  }

  function fill(select, values, label) {
    for (const v of values) {
      const o = document.createElement("option");
      o.value = v.value ?? v; o.textContent = label ? label(v) : v;
      select.appendChild(o);
    }
  }

  async function preview() {
    const form = document.getElementById("send-form");
    const box = document.getElementById("preview");
    const r = await api("api/compose", { fields: fields(form) });
    const ok = r.ok && r.data.ok;
    box.parentElement.classList.toggle("bad", !ok);
    box.textContent = ok ? r.data.text : r.data.error;
    document.getElementById("send-submit").disabled = !ok;
  }

  function schedulePreview() {
    clearTimeout(previewTimer);
    previewTimer = setTimeout(preview, 150);
  }

  function setUp(apiCall, meta, toast) {
    api = apiCall;
    const send = document.getElementById("send-dialog"), station = document.getElementById("station-dialog");
    const form = document.getElementById("send-form"), sform = document.getElementById("station-form");
    fill(form.elements.call, meta.calls);
    fill(form.elements.category, meta.categories);
    fill(form.elements.nature, meta.natures.map((n) => ({ value: String(n.code), name: n.name })), (n) => `${n.value} — ${n.name}`);
    form.elements.channel.value = "16";

    document.getElementById("open-send").onclick = () => {
      // From the first coast station, when the form is still empty.
      const coast = (Forms.stations || []).find((s) => s.kind === "coast");
      if (coast && !form.elements.from.value) form.elements.from.value = coast.mmsi;
      send.showModal();
      preview();
    };
    document.getElementById("send-cancel").onclick = () => send.close();
    form.addEventListener("input", schedulePreview);
    form.addEventListener("change", schedulePreview);
    form.addEventListener("submit", async (ev) => {
      ev.preventDefault();
      const r = await api("api/send", { fields: fields(form) });
      document.getElementById("send-problem").textContent = r.ok ? "" : r.data.error;
      if (r.ok) { send.close(); toast("Sent: " + r.data.sent); }
    });

    document.getElementById("open-station").onclick = () => station.showModal();
    document.getElementById("station-cancel").onclick = () => station.close();
    sform.addEventListener("submit", async (ev) => {
      ev.preventDefault();
      const body = fields(sform);
      const r = await api("api/stations", body);
      document.getElementById("station-problem").textContent = r.ok ? "" : r.data.error;
      if (r.ok) { station.close(); sform.reset(); toast(`${r.data.added} (${r.data.mmsi}) now answers calls`); }
    });
  }

  return { setUp, stations: [] };
})();
