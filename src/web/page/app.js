// The station page: a session, the live event stream, and the operator's commands.
"use strict";
const $ = (id) => document.getElementById(id);
let csrf = "", events = null, lines = [], logLines = [];

async function api(path, options = {}) {
  const headers = Object.assign({ "X-CSRF-Token": csrf }, options.headers || {});
  const response = await fetch(path, Object.assign({ credentials: "same-origin" }, options, { headers }));
  const type = response.headers.get("Content-Type") || "";
  const body = type.startsWith("application/json") ? await response.json() : await response.text();
  if (!response.ok) throw new Error(body.error || response.statusText);
  return body;
}

async function command(line) {
  try {
    const reply = await api("/api/command", { method: "POST", body: line });
    $("reply").textContent = reply.ok ? reply.text || "ok" : "refused: " + reply.error;
    return reply;
  } catch (e) { $("reply").textContent = "refused: " + e.message; }
}

function show(state) {
  $("login").hidden = state.loggedIn || !state.password;
  $("station").hidden = !(state.loggedIn || state.publicStatus);
  for (const el of document.querySelectorAll(".operator")) el.hidden = !state.loggedIn;
  $("logout").hidden = !(state.loggedIn && state.password);
  if (!$("station").hidden && !events) listen();
  if (state.loggedIn) api("/api/schedule").then(showSchedule).catch(() => {});
  if (!state.loggedIn && state.password) $("password").focus();
}

async function start() {
  const state = await api("/api/session");
  csrf = state.csrf;
  setField("title", state.title || "Skedcast");
  show(state);
}

function setField(name, text) {
  if (name === "clock") { $("clock").textContent = text; return; }
  if (name === "title") { document.title = $("title").textContent = text.replace(/\s+/g, " ").trim(); return; }
  if (name === "queue") {
    $("queue").replaceChildren(...text.split("\n").filter(Boolean).map((t) => {
      const li = document.createElement("li"); li.textContent = t; return li;
    }));
    return;
  }
  if (name === "display") {
    $("running").textContent = text.slice(0, -1);
    $("current").textContent = text.slice(-1);
    return;
  }
  if (name === "progress") {
    $("f-progress").textContent = text;
    const percent = /(\d+) %/.exec(text);
    $("bar").style.width = (percent ? percent[1] : 0) + "%";
    return;
  }
  const el = $("f-" + name);
  if (!el) return;
  el.textContent = text;
  if (name === "transmit") el.classList.toggle("transmitting", /ON/.test(text));
}

function addLog(text) {
  logLines.push(text);
  if (logLines.length > 200) logLines.shift();
  const log = $("log"), atEnd = log.scrollTop + log.clientHeight >= log.scrollHeight - 4;
  log.textContent = logLines.join("\n");
  if (atEnd) log.scrollTop = log.scrollHeight;
}

function listen() {
  events = new EventSource("/api/events");
  events.onopen = () => { $("link").textContent = "live"; $("link").classList.add("live"); logLines = []; };
  events.onerror = () => { $("link").textContent = "reconnecting"; $("link").classList.remove("live"); };
  events.onmessage = (message) => {
    const e = JSON.parse(message.data);
    if (e.t === "field") setField(e.name, e.text);
    else if (e.t === "log") addLog(e.time ? e.time + " " + e.text : e.text);
    else if (e.t === "line") {
      lines.push(e.text);
      if (lines.length > 50) lines.shift();
      $("lines").textContent = lines.join("\n");
      $("lines").scrollTop = $("lines").scrollHeight;
    }
  };
}

$("loginForm").addEventListener("submit", async (event) => {
  event.preventDefault();
  $("loginError").textContent = "";
  try {
    const reply = await api("/api/login", { method: "POST", body: $("password").value });
    csrf = reply.csrf;
    $("password").value = "";
    await start();
  } catch (e) { $("loginError").textContent = e.message; }
});
$("logout").addEventListener("click", async () => {
  await api("/api/logout", { method: "POST" }).catch(() => {});
  if (events) { events.close(); events = null; }
  await start();
});
for (const button of document.querySelectorAll("[data-command]"))
  button.addEventListener("click", () => command(button.dataset.command));
$("modeForm").addEventListener("submit", (e) => { e.preventDefault(); command("mode " + $("mode").value); });
$("baudButton").addEventListener("click", () => command("baud " + $("baud").value));
$("tonesForm").addEventListener("submit", async (e) => {
  e.preventDefault();
  await command("tones mark");
  if ($("mark").value) await command("mark " + $("mark").value);
  if ($("space").value) await command("space " + $("space").value);
});
$("commandForm").addEventListener("submit", (e) => { e.preventDefault(); command($("command").value); });
$("addForm").addEventListener("submit", (e) => {
  e.preventDefault();
  const at = $("addAt").value.trim(), what = $("addWhat").value.trim();
  command(at ? "insert " + at + " " + what : "add " + what);
});
$("fileLoad").addEventListener("click", async () => {
  try {
    $("fileText").value = await api("/api/file?name=" + encodeURIComponent($("fileName").value));
    $("fileStatus").textContent = "loaded";
  } catch (e) { $("fileStatus").textContent = e.message; }
});
$("fileForm").addEventListener("submit", async (e) => {
  e.preventDefault();
  try {
    await api("/api/file?name=" + encodeURIComponent($("fileName").value), { method: "PUT", body: $("fileText").value });
    $("fileStatus").textContent = "saved in data/" + $("fileName").value;
  } catch (e) { $("fileStatus").textContent = e.message; }
});
$("fileUpload").addEventListener("change", async () => {
  const file = $("fileUpload").files[0];
  if (!file) return;
  $("fileName").value = file.name;
  $("fileText").value = await file.text();
  $("fileStatus").textContent = "read " + file.name + ": Save puts it into data/";
});
// The schedule under the editor's rules: a line is chosen by a click; Save writes the file and reloads it.
let chosen = -1;
function showSchedule(reply) {
  $("schedule").replaceChildren(...reply.lines.map((text, i) => {
    const li = document.createElement("li");
    li.textContent = text;
    li.classList.toggle("chosen", i === chosen);
    li.addEventListener("click", () => { chosen = chosen === i ? -1 : i; showSchedule(reply); });
    return li;
  }));
  $("scheduleStatus").textContent = reply.status || "";
}
async function schedule(op) {
  $("scheduleError").textContent = "";
  const action = { op, index: chosen, name: $("entryName").value, date: $("entryDate").value,
                   time: $("entryTime").value, repeat: $("entryRepeat").value };
  const response = await fetch("/api/schedule", { method: "POST", body: JSON.stringify(action),
    headers: { "X-CSRF-Token": csrf, "Content-Type": "application/json" } });
  const reply = await response.json();
  if (op === "delete" && reply.ok) chosen = -1;
  if (reply.lines) showSchedule(reply);
  $("scheduleError").textContent = reply.ok ? (op === "save" ? "saved; the station has reloaded it" : "")
                                            : reply.error;
}
for (const button of document.querySelectorAll("[data-schedule]"))
  button.addEventListener("click", () => schedule(button.dataset.schedule));

start().catch((e) => { $("loginError").textContent = e.message; $("login").hidden = false; });
