// The watch face in a browser: the companion's pixels on one canvas, what a screen reader reads of
// them as real elements over it, the wrist's input (taps, the crown) sent back, and a panel for
// the developer. Everything comes from one socket; the token is in the page's fragment, which
// never leaves the browser.

const params = new URLSearchParams(location.hash.slice(1));
const token = params.get("token") || "";
const faceOnly = params.has("face");

const box = document.getElementById("face-box");
const canvas = document.getElementById("face");
const context = canvas.getContext("2d");
const overlay = document.getElementById("elements");
const ring = document.getElementById("ring");
const statusLine = document.getElementById("status");
const panel = document.getElementById("panel");
const toggle = document.getElementById("panel-toggle");

// The face as the companion draws it: pixels, and pixels per point.
let face = { width: canvas.width, height: canvas.height, scale: 2 };
let socket = null;
let retryDelay = 500;

// What tests and benchmarks read: frames drawn, and a promise of the moment the next one is
// (milliseconds since 1970).
const watchers = [];
window.dunvelView = {
  framesDrawn: 0,
  haptics: [],
  nextPixels() {
    return new Promise((resolve) => watchers.push(resolve));
  },
};

// Each haptic's buzz on a phone, in milliseconds on and off: the notification twice and long,
// success short and rising, failure three times, the click a tick.
const buzzes = {
  notification: [200, 100, 200],
  success: [40, 60, 120],
  failure: [120, 80, 120, 80, 120],
  click: [15],
};

function setStatus(text) {
  statusLine.textContent = text;
}

// ---- The socket ----

function connect() {
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  socket = new WebSocket(`${scheme}//${location.host}/view/socket?token=${encodeURIComponent(token)}`);
  socket.binaryType = "arraybuffer";
  socket.addEventListener("open", () => {
    retryDelay = 500;
    setStatus("watching");
  });
  socket.addEventListener("message", (event) => {
    if (typeof event.data === "string") {
      received(JSON.parse(event.data));
    } else {
      drawPixels(event.data);
    }
  });
  socket.addEventListener("close", (event) => {
    socket = null;
    const why = event.code === 1006 ? "cannot reach the companion, or the token is wrong"
                                    : `closed (${event.code}${event.reason ? ": " + event.reason : ""})`;
    setStatus(`${why}; trying again…`);
    setTimeout(connect, retryDelay);
    retryDelay = Math.min(retryDelay * 2, 10000);
  });
}

function send(message) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
}

function received(message) {
  switch (message.kind) {
    case "face":
      face = { width: message.width, height: message.height, scale: message.scale };
      if (canvas.width !== face.width || canvas.height !== face.height) {
        canvas.width = face.width;
        canvas.height = face.height;
      }
      fit();
      break;
    case "elements":
      showElements(message.elements);
      break;
    case "panel":
      showPanel(message);
      break;
    case "haptic":
      buzz(message.type);
      break;
  }
}

// One message of pixels: rectangles, each x, y, width, height (16-bit, little-endian) and then
// its rows of RGBA bytes.
function drawPixels(buffer) {
  const view = new DataView(buffer);
  let at = 0;
  while (at + 8 <= buffer.byteLength) {
    const x = view.getUint16(at, true);
    const y = view.getUint16(at + 2, true);
    const width = view.getUint16(at + 4, true);
    const height = view.getUint16(at + 6, true);
    at += 8;
    const length = width * height * 4;
    if (width === 0 || height === 0 || at + length > buffer.byteLength) break;
    context.putImageData(new ImageData(new Uint8ClampedArray(buffer, at, length), width, height), x, y);
    at += length;
  }
  window.dunvelView.framesDrawn += 1;
  const drawn = performance.timeOrigin + performance.now();
  for (const resolve of watchers.splice(0)) resolve(drawn);
}

// ---- Fitting the face to the window ----

// As large as the room allows, keeping the face's shape. Made larger, its pixels stay sharp
// squares (never blurred), a whole number of device pixels each when that loses little room.
function fit() {
  const room = document.getElementById("watch");
  const margin = faceOnly ? 0 : 16;
  const roomWidth = room.clientWidth - 2 * margin;
  const roomHeight = room.clientHeight - statusLine.offsetHeight - 2 * margin;
  const ratio = window.devicePixelRatio || 1;
  let perPixel = Math.max(Math.min(roomWidth / face.width, roomHeight / face.height), 0.05);
  const device = perPixel * ratio;
  const crisp = device >= 1;
  if (crisp && Math.floor(device) / device >= 0.85) perPixel = Math.floor(device) / ratio;
  box.style.width = `${face.width * perPixel}px`;
  box.style.height = `${face.height * perPixel}px`;
  canvas.classList.toggle("crisp", crisp);
}

window.addEventListener("resize", fit);

// ---- What a screen reader reads ----

// Elements are kept and changed in place: a new label or frame changes the element, so focus
// stays where it is, and nothing is a live region, so the clock's seconds are not read out.
function showElements(elements) {
  window.dunvelView.elements = elements;
  const pointsWide = face.width / face.scale;
  const pointsHigh = face.height / face.scale;
  elements.forEach((element, index) => {
    const tag = element.role === "button" ? "BUTTON" : "SPAN";
    let node = overlay.children[index];
    if (!node || node.tagName !== tag) {
      const made = document.createElement(tag);
      if (tag === "BUTTON") {
        made.type = "button";
        made.addEventListener("click", () => {
          if (made.dataset.id) send({ kind: "tap", id: made.dataset.id });
        });
      }
      if (node) overlay.replaceChild(made, node); else overlay.appendChild(made);
      node = made;
    }
    if (element.role === "image") {
      node.setAttribute("role", "img");
      node.setAttribute("aria-label", element.label);
      node.textContent = "";
    } else {
      node.removeAttribute("role");
      node.removeAttribute("aria-label");
      if (node.textContent !== element.label) node.textContent = element.label;
    }
    if (element.id !== undefined) node.dataset.id = element.id; else delete node.dataset.id;
    const [x, y, width, height] = element.frame;
    node.style.left = `${(100 * x) / pointsWide}%`;
    node.style.top = `${(100 * y) / pointsHigh}%`;
    node.style.width = `${(100 * width) / pointsWide}%`;
    node.style.height = `${(100 * height) / pointsHigh}%`;
    node.classList.toggle("out-of-sight", !element.showing);
  });
  while (overlay.children.length > elements.length) overlay.lastElementChild.remove();
}

// ---- The developer's panel ----

function showPanel(message) {
  document.getElementById("link-state").textContent =
      message.linkHeld ? "a host holds the link" : "no host holds the link";
  const findings = document.getElementById("findings");
  const lines = message.findings.length ? message.findings : ["no findings"];
  findings.replaceChildren(...lines.map((line) => {
    const item = document.createElement("li");
    item.textContent = line;
    return item;
  }));
  const log = document.getElementById("log");
  log.replaceChildren(...message.log.map((line) => {
    const item = document.createElement("li");
    item.textContent = line;
    return item;
  }));
  log.scrollTop = log.scrollHeight;
}

function showPanelOrNot(shown) {
  document.body.classList.toggle("panel-hidden", !shown);
  toggle.textContent = shown ? "hide the panel" : "show the panel";
  toggle.setAttribute("aria-expanded", String(shown));
  fit();
}

toggle.addEventListener("click", () => showPanelOrNot(document.body.classList.contains("panel-hidden")));

// ---- Haptics ----

function buzz(type) {
  window.dunvelView.haptics.push(type);
  ring.className = "";
  // Read to restart the animation of a ring still showing.
  void ring.offsetWidth;
  ring.className = `pulse ${type}`;
  if (navigator.vibrate && buzzes[type]) navigator.vibrate(buzzes[type]);
}

// ---- The wrist: taps, a finger's drag, the crown ----

// A point of the face, in points, from a pointer's place on the page; clamped to the face, as a
// finger that slides off the glass stays on its edge.
function pointOf(event) {
  const rect = box.getBoundingClientRect();
  const pointsWide = face.width / face.scale;
  const pointsHigh = face.height / face.scale;
  const x = ((event.clientX - rect.left) / rect.width) * pointsWide;
  const y = ((event.clientY - rect.top) / rect.height) * pointsHigh;
  return { x: Math.min(Math.max(x, 0), pointsWide), y: Math.min(Math.max(y, 0), pointsHigh) };
}

const pointers = new Map();
let pressing = null;    // the pointer whose press the face holds
let crownY = null;      // two fingers: their mean height when last sent, in points
let pendingMove = null;
let pendingScroll = null;

// Moves and the crown go at most once a frame, the latest move and the sum of the scrolling.
function flushSoon() {
  requestAnimationFrame(() => {
    if (pendingMove) send(pendingMove);
    if (pendingScroll && pendingScroll.amount !== 0) send(pendingScroll);
    pendingMove = null;
    pendingScroll = null;
  });
}

function scrollBy(point, amount) {
  if (!pendingMove && !pendingScroll) flushSoon();
  if (pendingScroll) {
    pendingScroll.amount += amount;
  } else {
    pendingScroll = { kind: "scroll", x: point.x, y: point.y, amount, unit: "point" };
  }
}

function meanY() {
  let sum = 0;
  for (const point of pointers.values()) sum += point.y;
  return sum / pointers.size;
}

box.addEventListener("pointerdown", (event) => {
  if (event.pointerType === "mouse" && event.button !== 0) return;
  event.preventDefault();
  box.setPointerCapture(event.pointerId);
  const point = pointOf(event);
  pointers.set(event.pointerId, point);
  if (pointers.size === 1) {
    pressing = event.pointerId;
    send({ kind: "press", x: point.x, y: point.y });
  } else if (pointers.size === 2) {
    // A second finger: the two together are the crown, and the first one taps nothing.
    if (pressing !== null) send({ kind: "cancel" });
    pressing = null;
    pendingMove = null;
    crownY = meanY();
  }
});

box.addEventListener("pointermove", (event) => {
  if (!pointers.has(event.pointerId)) return;
  const point = pointOf(event);
  pointers.set(event.pointerId, point);
  if (crownY !== null && pointers.size >= 2) {
    const now = meanY();
    // The content follows the fingers.
    scrollBy(point, crownY - now);
    crownY = now;
  } else if (event.pointerId === pressing) {
    if (!pendingMove && !pendingScroll) flushSoon();
    pendingMove = { kind: "move", x: point.x, y: point.y };
  }
});

function pointerEnded(event, cancelled) {
  if (!pointers.has(event.pointerId)) return;
  const point = pointOf(event);
  pointers.delete(event.pointerId);
  if (event.pointerId === pressing) {
    pressing = null;
    pendingMove = null;
    send(cancelled ? { kind: "cancel" } : { kind: "release", x: point.x, y: point.y });
  }
  if (pointers.size < 2) crownY = null;
}

box.addEventListener("pointerup", (event) => pointerEnded(event, false));
box.addEventListener("pointercancel", (event) => pointerEnded(event, true));

box.addEventListener("wheel", (event) => {
  event.preventDefault();
  const point = pointOf(event);
  // A wheel's notch (100 pixels, or 3 lines) is about a line of the board: 24 points.
  const amount = event.deltaMode === 1 ? event.deltaY * 8 : event.deltaY * 0.24;
  scrollBy(point, amount);
}, { passive: false });

// ---- A phone held as a watch keeps its screen on ----

async function keepAwake() {
  if (!("wakeLock" in navigator) || document.visibilityState !== "visible") return;
  try {
    await navigator.wakeLock.request("screen");
  } catch {
    // Refused (a battery saver, a page without focus): the screen dims as it would.
  }
}

document.addEventListener("visibilitychange", keepAwake);

// ---- Start ----

if (faceOnly) {
  document.body.classList.add("face-only");
  showPanelOrNot(false);
}
fit();
keepAwake();
connect();
