// The switcher's page: the routing as the switcher reports it, kept live by
// the server's event stream. A tap asks the server; the buttons show a
// route only once the switcher has reported it. What the page says is what
// holds now: a note goes when its cause goes, a result fades.

const $ = (id) => document.getElementById(id);

let state = null; // as GET /api/v1/state, kept up to date by the events
let online = false; // the event stream is open and its state has come
let retryMs = 1000;
let retryAt = 0; // when the next try is due, while the server is away
let retryWhy = ""; // what went wrong, for the status line
let retryTimer = 0;
let message = ""; // the last action's result, until it fades
let messageTimer = 0;
let takeMode = false;
const staged = new Map(); // output -> input, in take mode
const pending = new Map(); // output -> input asked for, not answered yet
// output -> {text, cause}: why its last route was refused, kept while the
// cause ("absent", "locked" or "route": until the output's next report) holds.
const refusals = new Map();
const groups = new Map(); // output -> {group, row, title, note, box, buttons[]}
let me = null; // {user, role} as GET /api/v1/me, once known
let scenes = []; // as GET /api/v1/scenes
let rooms = []; // as GET /api/v1/rooms
const roomName = new URLSearchParams(location.search).get("room");
let socket = null;
let undo = null; // {routes, timer} while "Undo" is offered
const ranks = { viewer: 0, operator: 1, admin: 2 };
const may = (role) => me !== null && ranks[me.role] >= ranks[role];
const FADE_MS = 6000;
const UNDO_MS = 10000;
// Short enough that the page is live again within two seconds of the
// server's return.
const RETRY_MAX_MS = 2000;

// ---- the server ----

async function call(method, path, body) {
  try {
    const response = await fetch(
      path,
      method === "GET" || method === "DELETE"
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
  let heard = false;
  socket = mine;
  mine.onmessage = (e) => {
    heard = true;
    receive(JSON.parse(e.data));
  };
  mine.onclose = () => {
    if (socket !== mine) return; // signed out: not to be opened again
    socket = null;
    online = false;
    // A stream that ran is asked after at once: an account added or
    // removed closes it too, and the server is most likely there. One
    // refused from the start (too many streams) waits its turn.
    if (heard) start();
    else retryLater("The server closed the live view.");
  };
}

// The server did not answer, or not as asked: tried again after a wait
// counted down on the status line with why, or at once with "Try now".
function retryLater(why) {
  online = false;
  retryWhy = why;
  retryAt = Date.now() + retryMs;
  retryMs = Math.min(retryMs * 2, RETRY_MAX_MS);
  clearTimeout(retryTimer);
  const tick = () => {
    if (Date.now() >= retryAt) return start();
    showStatus();
    retryTimer = setTimeout(tick, Math.min(1000, retryAt - Date.now()));
  };
  tick();
}

// ---- who uses the page ----

async function start() {
  clearTimeout(retryTimer);
  const r = await call("GET", "api/v1/me");
  if (r.status === 401) return;
  // Unreachable, or the server's own sentence (busy, too many...).
  if (!r.ok) return retryLater(r.body.error ?? `The server answered ${r.status}.`);
  retryAt = 0;
  me = r.body;
  $("sign-in").hidden = true;
  $("main").hidden = false;
  $("menu").hidden = false;
  $("who").textContent = me.user
    ? `Signed in as ${me.user} (${me.role}).`
    : `This server's own machine, with every right (no accounts yet).`;
  $("sign-out").hidden = !me.user;
  showRights();
  if (!socket) connect();
  const [r2, r3] = await Promise.all([call("GET", "api/v1/scenes"), call("GET", "api/v1/rooms")]);
  if (r2.ok) showScenes(r2.body.scenes);
  if (r3.ok) showRooms(r3.body.rooms);
}

// ---- rooms ----

function room() {
  return roomName === null
    ? null
    : rooms.find((x) => x.name.toLowerCase() === roomName.toLowerCase()) ?? { name: roomName, outputs: [], scenes: [] };
}

function showRooms(list) {
  rooms = list;
  const nav = $("rooms");
  nav.hidden = list.length === 0;
  const link = (text, href) => {
    const a = document.createElement("a");
    a.textContent = text;
    a.href = href;
    return a;
  };
  nav.replaceChildren(link("Every output", "./"), ...list.map((x) => link(x.name, `?room=${encodeURIComponent(x.name)}`)));
  const r = room();
  $("room-name").hidden = !r;
  $("room-name").textContent = r ? (r.outputs.length ? r.name : `There is no room ${r.name}.`) : "";
  if (state) build();
  showScenes(scenes);
}

const inRoom = (o) => !room() || room().outputs.includes(o);

// ---- scenes ----

function showScenes(list) {
  scenes = list;
  const r = room();
  const shown = r ? list.filter((x) => r.scenes.includes(x.name)) : list;
  const bar = $("scenes");
  bar.hidden = shown.length === 0;
  // Buttons kept where the names are the same, so that focus stays on the
  // one just pressed.
  const same =
    bar.children.length === shown.length && shown.every((x, k) => bar.children[k].textContent === x.name);
  if (!same)
    bar.replaceChildren(
      ...shown.map((scene) => {
        const b = document.createElement("button");
        b.type = "button";
        b.textContent = scene.name;
        b.addEventListener("click", () => recallScene(scene.name));
        return b;
      }),
    );
  shown.forEach((x, k) => bar.children[k].setAttribute("aria-pressed", String(x.active)));
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
      const buttons = document.createElement("div");
      buttons.className = "bar";
      buttons.append(keep, drop);
      row.append(legend, label, field, buttons);
      return row;
    }),
  );
  showRights();
}

// Dots escaped too: a name "." or ".." would otherwise be taken as a step
// of the path by the browser.
const scenePath = (name) => `api/v1/scenes/${encodeURIComponent(name).replace(/\./g, "%2E")}`;

async function recallScene(name) {
  const before = routing();
  say(`Recalling ${name}.`);
  const r = await call("POST", `${scenePath(name)}/recall`);
  if (r.ok) showOutputs(r.body.outputs);
  say(r.ok ? `${name} recalled.` : `${name} not recalled: ${r.body.error}`);
  if (r.ok) offerUndo(before, `${name} recalled.`);
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
  if (!confirm(`Delete the scene ${name}? This cannot be undone.`)) return;
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
  $("menu").hidden = true;
  $("menu").open = false;
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

// Controls that cannot be used now stay visible, disabled, with the reason
// read out with them: the role, the switcher away, an output's lock.
function showRights() {
  const route = may("operator");
  const admin = may("admin");
  const away = !online || !state?.present;
  const rights = $("rights");
  rights.hidden = route;
  rights.textContent = route ? "" : "You are signed in as a viewer: you can watch the routing but not change it.";
  const awayNote = $("away-note");
  awayNote.hidden = !route || !away;
  awayNote.textContent = "The switcher is away: the routes shown are the last known, and nothing can be switched.";
  const setupRights = $("setup-rights");
  setupRights.hidden = admin;
  setupRights.textContent = admin ? "" : "Saving presets and editing labels needs an administrator.";
  for (const c of document.querySelectorAll("[data-recall], #take-mode, #scenes button, #undo, #take")) {
    const why = !route ? "rights" : away ? "away-note" : "";
    disable(c, Boolean(why) || (c.id === "take" && staged.size === 0), why);
  }
  for (const c of $("setup").querySelectorAll("button, input")) disable(c, !admin, "setup-rights");
  $("audit").hidden = !admin;
  for (const o of groups.keys()) update(o);
}

function disable(control, off, reason) {
  control.disabled = off;
  if (off && reason) control.setAttribute("aria-describedby", reason);
  else if (control.getAttribute("aria-describedby") !== "undo-note") control.removeAttribute("aria-describedby");
}

async function showAudit() {
  const r = await call("GET", "api/v1/audit");
  if (!r.ok) return say(`The audit trail cannot be read: ${r.body.error}`);
  const rows = r.body.entries
    .slice()
    .reverse()
    .map((e) => {
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

const output = (o) => state.outputs.find((x) => x.number === o);

function receive(m) {
  if (m.type === "state") {
    state = m;
    online = true;
    retryMs = 1000;
    for (const o of [...refusals.keys()]) if (!output(o)) refusals.delete(o);
    build();
  } else if (!state) {
    return;
  } else if (m.type === "output" && output(m.output)) {
    output(m.output).input = m.input;
    // A new report ends a refusal of a route: what holds is shown.
    if (refusals.get(m.output)?.cause === "route") refusals.delete(m.output);
    update(m.output);
  } else if (m.type === "lock" && output(m.output)) {
    Object.assign(output(m.output), { locked: m.locked, holder: m.holder });
    if (!m.locked && refusals.get(m.output)?.cause === "locked") refusals.delete(m.output);
    update(m.output);
  } else if (m.type === "present") {
    state.present = m.present;
    if (m.present) for (const [o, r] of [...refusals]) if (r.cause === "absent") refusals.delete(o);
    showRights();
  } else if (m.type === "scenes") {
    showScenes(m.scenes);
  } else if (m.type === "rooms") {
    showRooms(m.rooms);
  } else if (m.type === "job") {
    if (job && m.id === job.id) showJob(m);
  } else if (m.type === "label") {
    const list = m.side === "input" ? state.inputs : state.outputs;
    const port = list.find((x) => x.number === m.number);
    if (port) port.label = m.label;
    for (const o of groups.keys()) update(o);
    if (!$("setup").open) fillLabels();
  }
  showStatus();
}

// ---- what is shown ----

// The status line says what holds now; a result stays a few seconds.
function showStatus() {
  const status = $("status");
  let text = message || "Live: every change shows here as it happens.";
  let warn = false;
  if (!online && retryAt) {
    const s = Math.max(1, Math.ceil((retryAt - Date.now()) / 1000));
    text = `${retryWhy} Trying again in ${s} s.`;
    warn = true;
  } else if (!online) {
    text = "Connecting to the server.";
  } else if (!state.present) {
    text = "The switcher is not answering: routes shown are the last known.";
    warn = true;
  }
  $("retry").hidden = online || !retryAt;
  status.classList.toggle("warn", warn);
  if (status.textContent !== text) status.textContent = text;
  document.body.classList.toggle("away", !online || !state?.present);
}

function say(text) {
  message = text;
  clearTimeout(messageTimer);
  messageTimer = setTimeout(() => {
    message = "";
    showStatus();
  }, FADE_MS);
  showStatus();
}

function build() {
  document.title = state.name;
  $("name").textContent = state.name;
  const box = $("outputs");
  const numbers = state.outputs.map((x) => x.number).join();
  if (box.dataset.numbers !== numbers) {
    box.dataset.numbers = numbers;
    box.replaceChildren();
    groups.clear();
    for (const out of state.outputs) box.append(makeGroup(out.number));
  }
  for (const o of groups.keys()) groups.get(o).group.hidden = !inRoom(o);
  buildPresets();
  fillLabels();
  showRights();
}

// As many presets as the switcher keeps: a recall button in the tools and a
// save button in the set-up.
function buildPresets() {
  const recalls = $("presets");
  const numbers = state.presets.join();
  if (recalls.dataset.numbers === numbers) return;
  recalls.dataset.numbers = numbers;
  const make = (p, text, key, act) => {
    const b = document.createElement("button");
    b.type = "button";
    b.textContent = `${text} ${p}`;
    b.dataset[key] = p;
    b.addEventListener("click", () => act(p));
    return b;
  };
  recalls.replaceChildren(...state.presets.map((p) => make(p, "Recall preset", "recall", recall)));
  $("preset-saves").replaceChildren(...state.presets.map((p) => make(p, "Save as preset", "save", save)));
}

function makeGroup(o) {
  const group = document.createElement("section");
  group.className = "output";
  group.setAttribute("role", "group");
  group.setAttribute("aria-labelledby", `output-${o}-name`);
  group.setAttribute("aria-describedby", `output-${o}-note`);
  // The compact list's row: one per output, opening its inputs.
  const row = document.createElement("button");
  row.type = "button";
  row.className = "row";
  row.setAttribute("aria-expanded", "false");
  row.addEventListener("click", () => {
    const open = !group.classList.contains("open");
    group.classList.toggle("open", open);
    row.setAttribute("aria-expanded", String(open));
  });
  const title = document.createElement("h2");
  title.id = `output-${o}-name`;
  const note = document.createElement("p");
  note.id = `output-${o}-note`;
  note.className = "note";
  const box = document.createElement("div");
  box.className = "inputs";
  box.addEventListener("keydown", (e) => arrow(e, box));
  const buttons = state.inputs.map((input) => {
    const b = document.createElement("button");
    b.type = "button";
    b.append(document.createElement("span"), document.createElement("span"));
    b.lastChild.className = "mark";
    b.lastChild.setAttribute("aria-hidden", "true");
    b.addEventListener("click", () => tap(o, input.number));
    box.append(b);
    return b;
  });
  group.append(row, title, note, box);
  groups.set(o, { group, row, title, note, box, buttons });
  return group;
}

// One Tab stop per output: the arrow keys, Home and End move within it.
function arrow(e, box) {
  const list = [...box.children];
  const at = list.indexOf(document.activeElement);
  const step = { ArrowRight: 1, ArrowDown: 1, ArrowLeft: -1, ArrowUp: -1 }[e.key];
  let next = e.key === "Home" ? 0 : e.key === "End" ? list.length - 1 : step ? at + step : -1;
  if (next < 0 || at < 0) return;
  next = (next + list.length) % list.length;
  e.preventDefault();
  list.forEach((b, k) => (b.tabIndex = k === next ? 0 : -1));
  list[next].focus();
}

const inputLabel = (i) => state.inputs.find((x) => x.number === i)?.label ?? `Input ${i}`;

function update(o) {
  const g = groups.get(o);
  const out = output(o);
  if (!g || !out) return;
  const away = !online || !state.present;
  const known = out.input ? inputLabel(out.input) : "not known yet";
  g.title.textContent = out.label;
  const next = pending.has(o) ? `, switching to ${inputLabel(pending.get(o))}` : staged.has(o) ? `, ${inputLabel(staged.get(o))} staged` : "";
  g.row.textContent = `${out.label} — ${known}${out.locked ? ", locked" : ""}${away ? " (last known)" : next}`;
  const notes = [out.input ? `${away ? "Last known" : "Shows"}: ${known}.` : "Input not known yet."];
  if (out.locked) notes.push(`Locked by ${out.holder || "another client"}: it cannot be switched here.`);
  if (pending.has(o)) notes.push(`Switching to ${inputLabel(pending.get(o))}.`);
  if (staged.has(o)) notes.push(`${inputLabel(staged.get(o))} staged for Take.`);
  if (refusals.has(o)) notes.push(refusals.get(o).text);
  g.note.textContent = notes.join(" ");
  g.group.classList.toggle("locked", Boolean(out.locked));
  g.group.classList.toggle("refused", refusals.has(o));
  g.group.classList.toggle("last-known", away);
  const why = !may("operator") ? "rights" : away ? "away-note" : out.locked ? g.note.id : "";
  const focusable = g.buttons.includes(document.activeElement) ? document.activeElement : null;
  g.buttons.forEach((b, index) => {
    const i = index + 1;
    const mark = pending.get(o) === i ? "pending" : staged.get(o) === i ? "staged" : "";
    b.firstChild.textContent = inputLabel(i);
    b.lastChild.textContent = mark;
    b.setAttribute("aria-label", mark ? `${inputLabel(i)}, ${mark}` : inputLabel(i));
    b.className = mark;
    b.setAttribute("aria-pressed", String(out.input === i));
    disable(b, Boolean(why), why);
    b.tabIndex = (focusable ? b === focusable : out.input ? out.input === i : i === 1) ? 0 : -1;
  });
}

function fillLabels() {
  for (const [side, list] of [
    ["input", state.inputs],
    ["output", state.outputs],
  ]) {
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

// Why a route was refused, and so what ends the note: the switcher's
// return, the lock's release, or the output's next report.
function refuse(o, r) {
  const cause = r.status === 503 ? "absent" : r.status === 409 ? "locked" : "route";
  refusals.set(o, { text: `Not switched: ${r.body.error}`, cause });
}

async function route(o, i) {
  pending.set(o, i);
  refusals.delete(o);
  update(o);
  const r = await call("PUT", `api/v1/outputs/${o}/input`, { input: i });
  pending.delete(o);
  if (r.ok) {
    output(o).input = r.body.input;
    say(`${output(o).label} shows ${inputLabel(i)}.`);
  } else {
    refuse(o, r);
    say(`${output(o).label} not switched: ${r.body.error}`);
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
  $("take-bar").hidden = !takeMode;
  document.body.classList.toggle("docked", takeMode || Boolean(undo));
  $("cancel").disabled = staged.size === 0;
  $("take").textContent = staged.size ? `Take (${staged.size})` : "Take";
  showRights();
}

function dropStaged() {
  const outputs = [...staged.keys()];
  staged.clear();
  outputs.forEach(update);
  showTake();
}

// The routing now, to be put back by "Undo".
const routing = () => new Map(state.outputs.map((x) => [x.number, x.input]));

// After a change of several outputs: "Undo" for a while, putting back what
// they showed before as one salvo.
function offerUndo(before, what) {
  const routes = [];
  for (const [o, i] of before) if (i && output(o)?.input !== i) routes.push({ output: o, input: i });
  if (routes.length < 2) return;
  clearTimeout(undo?.timer);
  undo = { routes, timer: setTimeout(dropUndo, UNDO_MS) };
  $("undo-note").textContent = `${what} ${routes.length} outputs changed.`;
  $("undo").setAttribute("aria-describedby", "undo-note");
  $("undo-bar").hidden = false;
  showTake();
}

function dropUndo() {
  if (undo) clearTimeout(undo.timer);
  undo = null;
  $("undo-bar").hidden = true;
  showTake();
}

async function putBack() {
  const routes = undo.routes;
  dropUndo();
  const r = await call("POST", "api/v1/routes", { routes });
  if (r.ok) showOutputs(r.body.outputs);
  say(r.ok ? `${routes.length} outputs put back as they were.` : `Not put back: ${r.body.error}`);
}

async function take() {
  const before = routing();
  const routes = [...staged].map(([output, input]) => ({ output, input }));
  for (const r of routes) pending.set(r.output, r.input);
  dropStaged();
  routes.forEach((r) => update(r.output));
  const r = await call("POST", "api/v1/routes", { routes });
  for (const x of routes) pending.delete(x.output);
  if (r.ok) {
    showOutputs(r.body.outputs);
    say(`${routes.length} routes taken together.`);
    offerUndo(before, `${routes.length} routes taken.`);
  } else {
    for (const x of routes) refuse(x.output, r);
    say(`Nothing taken: ${r.body.error}`);
  }
  routes.forEach((x) => update(x.output));
}

function showOutputs(list) {
  for (const out of list) {
    if (!output(out.number)) continue;
    output(out.number).input = out.input;
    update(out.number);
  }
}

async function recall(p) {
  const before = routing();
  say(`Recalling preset ${p}.`);
  const r = await call("POST", `api/v1/presets/${p}/recall`);
  if (r.ok) showOutputs(r.body.outputs);
  say(r.ok ? `Preset ${p} recalled.` : `Preset ${p} not recalled: ${r.body.error}`);
  if (r.ok) offerUndo(before, `Preset ${p} recalled.`);
}

async function save(p) {
  if (!confirm(`Save the routing shown as preset ${p}? This replaces what preset ${p} held.`)) return;
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
$("undo").addEventListener("click", putBack);
$("retry").addEventListener("click", () => {
  retryMs = 1000;
  start();
});
$("to-setup").addEventListener("click", () => {
  $("setup").open = true;
  $("menu").open = false;
  $("setup").querySelector("summary").focus();
});
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
