// The switcher's page: the routing as the switcher reports it, kept live by
// the server's event stream. A tap asks the server; the buttons show a
// route only once the switcher has reported it.

const $ = (id) => document.getElementById(id);

let state = null; // as GET /api/v1/state, kept up to date by the events
let online = false; // the event stream is open and its state has come
let retryMs = 1000;
let retryNote = "";
let message = ""; // the last action's result, for the status line
let takeMode = false;
const staged = new Map(); // output -> input, in take mode
const pending = new Map(); // output -> input asked for, not answered yet
const refusals = new Map(); // output -> why its last route was refused
const groups = []; // per output: {group, title, note, buttons[]}
let me = null; // {user, role} as GET /api/v1/me, once known
let scenes = []; // as GET /api/v1/scenes
let socket = null;
const ranks = { viewer: 0, operator: 1, admin: 2 };
const may = (role) => me !== null && ranks[me.role] >= ranks[role];

// ---- the server ----

async function call(method, path, body) {
  try {
    const response = await fetch(
      path,
      method === "GET"
        ? { method }
        : { method, headers: { "Content-Type": "application/json" }, body: JSON.stringify(body ?? {}) },
    );
    const text = await response.text();
    if (response.status === 401 && !path.endsWith("login")) signedOut(JSON.parse(text).error);
    return { ok: response.ok, status: response.status, body: text ? JSON.parse(text) : {} };
  } catch {
    return { ok: false, status: 0, body: { error: "The server cannot be reached." } };
  }
}

function connect() {
  const url = new URL("api/v1/events", location.href);
  url.protocol = url.protocol === "https:" ? "wss:" : "ws:";
  const mine = new WebSocket(url);
  socket = mine;
  mine.onmessage = (e) => receive(JSON.parse(e.data));
  mine.onclose = () => {
    if (socket !== mine) return; // signed out: not to be opened again
    socket = null;
    online = false;
    const wait = retryMs;
    retryMs = Math.min(retryMs * 2, 30000);
    retryNote = `The server cannot be reached. Trying again in ${wait / 1000} s.`;
    showStatus();
    // Signed out elsewhere, or the account removed: asked before trying again.
    setTimeout(start, wait);
  };
}

// ---- who uses the page ----

async function start() {
  const r = await call("GET", "api/v1/me");
  if (r.status === 401) return;
  if (!r.ok) {
    retryNote = `The server cannot be reached. Trying again in ${retryMs / 1000} s.`;
    showStatus();
    setTimeout(start, retryMs);
    retryMs = Math.min(retryMs * 2, 30000);
    return;
  }
  me = r.body;
  $("sign-in").hidden = true;
  $("main").hidden = false;
  $("account").hidden = false;
  $("who").textContent = me.user
    ? `Signed in as ${me.user} (${me.role}).`
    : `This server's own machine, with every right (no accounts yet).`;
  $("sign-out").hidden = !me.user;
  showRights();
  if (!socket) connect();
  const r2 = await call("GET", "api/v1/scenes");
  if (r2.ok) showScenes(r2.body.scenes);
}

// ---- scenes ----

function showScenes(list) {
  scenes = list;
  const bar = $("scenes");
  bar.hidden = list.length === 0;
  bar.replaceChildren(
    ...list.map((scene) => {
      const b = document.createElement("button");
      b.type = "button";
      b.textContent = scene.name;
      b.setAttribute("aria-pressed", String(scene.active));
      b.addEventListener("click", () => recallScene(scene.name));
      return b;
    }),
  );
  const rows = $("scene-list");
  rows.replaceChildren(
    ...list.map((scene, k) => {
      const row = document.createElement("fieldset");
      const legend = document.createElement("legend");
      legend.textContent = scene.name;
      const label = document.createElement("label");
      label.htmlFor = `scene-schedule-${k}`;
      label.textContent = "Schedule";
      const field = document.createElement("input");
      field.id = `scene-schedule-${k}`;
      field.autocomplete = "off";
      field.value = scene.schedule.join("; ");
      const keep = document.createElement("button");
      keep.type = "button";
      keep.textContent = "Save schedule";
      keep.setAttribute("aria-label", `Save the schedule of ${scene.name}`);
      keep.addEventListener("click", () => saveSchedule(scene, field.value));
      const drop = document.createElement("button");
      drop.type = "button";
      drop.textContent = "Delete";
      drop.setAttribute("aria-label", `Delete ${scene.name}`);
      drop.addEventListener("click", () => deleteScene(scene.name));
      row.append(legend, label, field, keep, drop);
      return row;
    }),
  );
  showRights();
}

// Dots escaped too: a name "." or ".." would otherwise be taken as a step
// of the path by the browser.
const scenePath = (name) =>
  `api/v1/scenes/${encodeURIComponent(name).replace(/\./g, "%2E")}`;

async function recallScene(name) {
  say(`Recalling ${name}.`);
  const r = await call("POST", `${scenePath(name)}/recall`);
  if (r.ok) showOutputs(r.body.outputs);
  say(r.ok ? `${name} recalled.` : `${name} not recalled: ${r.body.error}`);
}

async function captureScene(event) {
  event.preventDefault();
  const name = $("scene-name").value;
  const r = await call("POST", `${scenePath(name)}/capture`);
  say(r.ok ? `The routing is kept as ${name}.` : `${name} not kept: ${r.body.error}`);
  if (r.ok) $("scene-name").value = "";
}

async function saveSchedule(scene, text) {
  const schedule = text.split(";").map((x) => x.trim()).filter((x) => x);
  const r = await call("PUT", scenePath(scene.name), { routes: scene.routes, schedule });
  say(r.ok ? `The schedule of ${scene.name} is saved.` : `Not saved: ${r.body.error}`);
}

async function deleteScene(name) {
  const r = await call("DELETE", scenePath(name));
  say(r.ok ? `${name} deleted.` : `${name} not deleted: ${r.body.error}`);
}

function signedOut(why) {
  me = null;
  const s = socket;
  socket = null;
  if (s) s.close();
  online = false;
  $("main").hidden = true;
  $("account").hidden = true;
  $("sign-in").hidden = false;
  $("sign-in-note").textContent = why || "";
  $("status").textContent = "Sign in to use the switcher.";
}

async function signIn(event) {
  event.preventDefault();
  const r = await call("POST", "api/v1/login", { user: $("user").value, password: $("password").value });
  $("password").value = "";
  if (!r.ok) {
    $("sign-in-note").textContent = r.body.error;
    return;
  }
  $("sign-in-note").textContent = "";
  message = "";
  start();
}

async function signOut() {
  await call("POST", "api/v1/logout");
  signedOut("Signed out.");
}

// Controls the role may not use stay visible, disabled, with the reason
// read out with them.
function showRights() {
  const route = may("operator");
  const admin = may("admin");
  const rights = $("rights");
  rights.hidden = route;
  rights.textContent = route ? "" : "You are signed in as a viewer: you can watch the routing but not change it.";
  const setupRights = $("setup-rights");
  setupRights.hidden = admin;
  setupRights.textContent = admin ? "" : "Saving presets and editing labels needs an administrator.";
  const controls = [
    ...document.querySelectorAll("[data-recall], #take-mode, #outputs button, #scenes button"),
  ];
  for (const c of controls) disable(c, !route, "rights");
  for (const c of $("setup").querySelectorAll("button, input")) disable(c, !admin, "setup-rights");
  $("audit").hidden = !admin;
}

function disable(control, off, reason) {
  control.disabled = off;
  if (off) control.setAttribute("aria-describedby", reason);
  else if (control.getAttribute("aria-describedby") === reason) control.removeAttribute("aria-describedby");
}

async function showAudit() {
  const r = await call("GET", "api/v1/audit");
  if (!r.ok) return say(`The audit trail cannot be read: ${r.body.error}`);
  const rows = r.body.entries.slice().reverse().map((e) => {
    const tr = document.createElement("tr");
    for (const text of [new Date(e.time).toLocaleString(), e.who, e.from, e.what]) {
      const td = document.createElement("td");
      td.textContent = text;
      tr.append(td);
    }
    return tr;
  });
  $("audit-rows").replaceChildren(...rows);
}

function receive(m) {
  if (m.type === "state") {
    state = m;
    online = true;
    retryMs = 1000;
    build();
  } else if (!state) {
    return;
  } else if (m.type === "output") {
    state.outputs[m.output - 1].input = m.input;
    update(m.output);
  } else if (m.type === "lock") {
    state.outputs[m.output - 1].locked = m.locked;
    update(m.output);
  } else if (m.type === "present") {
    state.present = m.present;
  } else if (m.type === "scenes") {
    showScenes(m.scenes);
  } else if (m.type === "job") {
    if (job && m.id === job.id) showJob(m);
  } else if (m.type === "label") {
    (m.side === "input" ? state.inputs : state.outputs)[m.number - 1].label = m.label;
    for (let o = 1; o <= state.outputs.length; o++) update(o);
    if (!$("setup").open) fillLabels();
  }
  showStatus();
}

// ---- what is shown ----

function showStatus() {
  const status = $("status");
  let text = message || "Ready.";
  let warn = false;
  if (!online) {
    text = retryNote || "Connecting to the server.";
    warn = Boolean(retryNote);
  } else if (!state.present) {
    text = "The switcher is not answering; routes cannot be made until it is back.";
    warn = true;
  }
  status.classList.toggle("warn", warn);
  if (status.textContent !== text) status.textContent = text;
  document.body.classList.toggle("away", !online || !state.present);
}

function say(text) {
  message = text;
  showStatus();
}

function build() {
  document.title = state.name;
  $("name").textContent = state.name;
  const box = $("outputs");
  if (groups.length !== state.outputs.length) {
    box.replaceChildren();
    groups.length = 0;
    for (const out of state.outputs) {
      const o = out.number;
      const group = document.createElement("section");
      group.className = "output";
      group.setAttribute("role", "group");
      group.setAttribute("aria-labelledby", `output-${o}-name`);
      group.setAttribute("aria-describedby", `output-${o}-note`);
      const title = document.createElement("h2");
      title.id = `output-${o}-name`;
      const note = document.createElement("p");
      note.id = `output-${o}-note`;
      note.className = "note";
      const row = document.createElement("div");
      row.className = "inputs";
      const buttons = state.inputs.map((input) => {
        const b = document.createElement("button");
        b.type = "button";
        b.append(document.createElement("span"), document.createElement("span"));
        b.lastChild.className = "mark";
        b.lastChild.setAttribute("aria-hidden", "true");
        b.addEventListener("click", () => tap(o, input.number));
        row.append(b);
        return b;
      });
      group.append(title, note, row);
      box.append(group);
      groups.push({ group, title, note, buttons });
    }
  }
  for (const out of state.outputs) update(out.number);
  fillLabels();
  showRights();
}

function inputLabel(i) {
  return state.inputs[i - 1].label;
}

function update(o) {
  const g = groups[o - 1];
  if (!g) return;
  const out = state.outputs[o - 1];
  g.title.textContent = out.label;
  const notes = [out.input ? `Shows ${inputLabel(out.input)}.` : "Input not known yet."];
  if (out.locked) notes.push("Locked by another client.");
  if (pending.has(o)) notes.push(`Switching to ${inputLabel(pending.get(o))}.`);
  if (staged.has(o)) notes.push(`${inputLabel(staged.get(o))} staged for Take.`);
  if (refusals.has(o)) notes.push(refusals.get(o));
  g.note.textContent = notes.join(" ");
  g.group.classList.toggle("locked", out.locked);
  g.group.classList.toggle("refused", refusals.has(o));
  g.buttons.forEach((b, index) => {
    const i = index + 1;
    const mark = pending.get(o) === i ? "pending" : staged.get(o) === i ? "staged" : "";
    b.firstChild.textContent = inputLabel(i);
    b.lastChild.textContent = mark;
    b.setAttribute("aria-label", mark ? `${inputLabel(i)}, ${mark}` : inputLabel(i));
    b.className = mark;
    b.setAttribute("aria-pressed", String(out.input === i));
  });
}

function fillLabels() {
  for (const [side, list] of [["input", state.inputs], ["output", state.outputs]]) {
    const set = $(`${side}-labels`);
    for (const port of list) {
      const id = `${side}-label-${port.number}`;
      let field = $(id);
      if (!field) {
        const label = document.createElement("label");
        label.htmlFor = id;
        label.textContent = `${side === "input" ? "Input" : "Output"} ${port.number}`;
        field = document.createElement("input");
        field.id = id;
        field.autocomplete = "off";
        set.append(label, field);
      }
      field.value = port.label;
      field.dataset.was = port.label;
    }
  }
}

// ---- what the operator does ----

async function route(o, i) {
  pending.set(o, i);
  refusals.delete(o);
  update(o);
  const r = await call("PUT", `api/v1/outputs/${o}/input`, { input: i });
  pending.delete(o);
  if (r.ok) {
    state.outputs[o - 1].input = r.body.input;
    say(`${state.outputs[o - 1].label} shows ${inputLabel(i)}.`);
  } else {
    refusals.set(o, `Not switched: ${r.body.error}`);
    say(`${state.outputs[o - 1].label} not switched: ${r.body.error}`);
  }
  update(o);
}

function tap(o, i) {
  if (!takeMode) return route(o, i);
  if (staged.get(o) === i) staged.delete(o);
  else staged.set(o, i);
  refusals.delete(o);
  update(o);
  showTake();
}

function showTake() {
  $("take-mode").setAttribute("aria-pressed", String(takeMode));
  for (const id of ["take", "cancel"]) {
    $(id).hidden = !takeMode;
    $(id).disabled = staged.size === 0;
  }
  $("take").textContent = staged.size ? `Take (${staged.size})` : "Take";
}

function dropStaged() {
  const outputs = [...staged.keys()];
  staged.clear();
  outputs.forEach(update);
  showTake();
}

async function take() {
  const routes = [...staged].map(([output, input]) => ({ output, input }));
  for (const r of routes) pending.set(r.output, r.input);
  dropStaged();
  routes.forEach((r) => update(r.output));
  const r = await call("POST", "api/v1/routes", { routes });
  for (const x of routes) pending.delete(x.output);
  if (r.ok) {
    showOutputs(r.body.outputs);
    say(`${routes.length} routes taken together.`);
  } else {
    for (const x of routes) refusals.set(x.output, `Not switched: ${r.body.error}`);
    say(`Nothing taken: ${r.body.error}`);
  }
  routes.forEach((x) => update(x.output));
}

function showOutputs(list) {
  for (const out of list) {
    state.outputs[out.number - 1].input = out.input;
    update(out.number);
  }
}

async function recall(p) {
  say(`Recalling preset ${p}.`);
  const r = await call("POST", `api/v1/presets/${p}/recall`);
  if (r.ok) showOutputs(r.body.outputs);
  say(r.ok ? `Preset ${p} recalled.` : `Preset ${p} not recalled: ${r.body.error}`);
}

async function save(p) {
  const r = await call("POST", `api/v1/presets/${p}/save`);
  say(r.ok ? `The routing is saved as preset ${p}.` : `Preset ${p} not saved: ${r.body.error}`);
}

async function saveLabels(event) {
  event.preventDefault();
  const failed = [];
  let saved = 0;
  for (const field of $("labels").querySelectorAll("input")) {
    if (field.value === field.dataset.was) continue;
    const [side, , n] = field.id.split("-");
    const r = await call("PUT", `api/v1/${side}s/${n}/label`, { label: field.value });
    if (r.ok) {
      field.dataset.was = field.value = r.body.label;
      saved++;
    } else {
      failed.push(`${side} ${n}: ${r.body.error}`);
    }
  }
  say(failed.length ? `Not saved: ${failed.join(" ")}` : `${saved} labels saved.`);
}

// ---- back up and restore (administrators) ----

let job = null; // the job running, as the API gives it

function showJob(j, lines) {
  job = j.state === "running" ? j : null;
  $("job-progress").hidden = $("job-cancel").hidden = !job;
  $("job-progress").max = Math.max(j.total, 1);
  $("job-progress").value = j.done;
  if (lines) {
    const list = $("job-lines");
    list.replaceChildren();
    for (const line of lines) list.append(Object.assign(document.createElement("li"), { textContent: line }));
  }
}

// Starts a job and follows it until it is over; its last state, or null.
async function runJob(body) {
  const r = await call("POST", "api/v1/jobs", body);
  if (!r.ok) {
    say(`Not started: ${r.body.error}`);
    return null;
  }
  let j = r.body;
  while (j.state === "running") {
    showJob(j);
    await new Promise((done) => setTimeout(done, 500));
    const next = await call("GET", `api/v1/jobs/${j.id}`);
    if (!next.ok) break;
    j = next.body;
  }
  showJob(j);
  if (j.state !== "done") say(`The ${j.kind} ${j.state}: ${j.error ?? ""}`);
  return j.state === "done" ? j : null;
}

async function backUp() {
  say("Backing up the switcher.");
  const j = await runJob({ kind: "backup" });
  if (!j) return;
  const link = document.createElement("a");
  link.href = URL.createObjectURL(new Blob([JSON.stringify(j.result, null, 2)], { type: "application/json" }));
  link.download = `${state?.name ?? "switcher"}-backup.json`;
  link.click();
  URL.revokeObjectURL(link.href);
  say("The backup is downloaded.");
}

async function restore() {
  const file = $("restore-file").files[0];
  if (!file) return say("Choose a backup file first.");
  let backup;
  try {
    backup = JSON.parse(await file.text());
  } catch {
    return say("The file is not JSON; nothing was written.");
  }
  say("Comparing the switcher with the file.");
  const dry = await runJob({ kind: "restore", backup, dry_run: true });
  if (!dry) return;
  const lines = dry.result.differences;
  showJob(dry, lines);
  if (!lines.length) return say("The switcher already matches the file; nothing was written.");
  if (!confirm(`${lines.length} differences (listed under Restore). Write them to the switcher?`))
    return say("Nothing was written.");
  const done = await runJob({ kind: "restore", backup, dry_run: false });
  if (done) {
    showJob(done, done.result.written.map((item) => `written: ${item}`));
    say("The switcher was restored.");
  }
}

$("take-mode").addEventListener("click", () => {
  takeMode = !takeMode;
  if (!takeMode) dropStaged();
  showTake();
});
$("take").addEventListener("click", take);
$("cancel").addEventListener("click", () => {
  dropStaged();
  say("Staged routes dropped.");
});
for (const b of document.querySelectorAll("[data-recall]"))
  b.addEventListener("click", () => recall(b.dataset.recall));
for (const b of document.querySelectorAll("[data-save]"))
  b.addEventListener("click", () => save(b.dataset.save));
$("labels").addEventListener("submit", saveLabels);
$("sign-in").addEventListener("submit", signIn);
$("scene-capture").addEventListener("submit", captureScene);
$("sign-out").addEventListener("click", signOut);
$("audit").addEventListener("toggle", () => $("audit").open && showAudit());
$("audit-refresh").addEventListener("click", showAudit);
$("backup-start").addEventListener("click", backUp);
$("restore-start").addEventListener("click", restore);
$("job-cancel").addEventListener("click", () => job && call("DELETE", `api/v1/jobs/${job.id}`));
start();
