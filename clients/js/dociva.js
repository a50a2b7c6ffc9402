// The JavaScript client of `dociva serve` (docs/bridge.md): an ES module,
// served by the service at /dociva.js.
//
//   import { Dociva } from "http://127.0.0.1:17345/dociva.js";
//   const d = await Dociva.connect();
//   d.on("OnAfterScannerRegister", (object, text) => console.log(object.code));
//   await d.ScannerRegister("Dociva Virtual Duplex 300");
//
// Every method of the control's table is a function of the same name that
// returns a promise of the method's result; the table comes from the
// service in its hello, so the functions are always the control's own.
// Declarations for TypeScript: /dociva.d.ts.

const DEFAULT_PORT = 17345;
const PROTOCOL = 1;
const RECONNECT_MS = 1000;
// The viewer's picture, in pixels; pointer positions are sent in these.
const VIEWER_WIDTH = 665;
const VIEWER_HEIGHT = 800;

export class DocivaError extends Error {
  constructor(reply) {
    super(`${reply.error}: ${reply.reason}${reply.hresult ? " (" + reply.hresult + ")" : ""}`);
    this.name = "DocivaError";
    this.error = reply.error;
    this.reason = reply.reason;
    if (reply.hresult !== undefined) this.hresult = reply.hresult;
    if (reply.argument !== undefined) this.argument = reply.argument;
  }
}

// The default progress bar: a small box at the bottom of the page, shown
// while the control's progress dialog is.
function defaultProgress() {
  let box = null;
  return (state) => {
    if (typeof document === "undefined") return;
    if (!box) {
      box = document.createElement("div");
      box.className = "dociva-progress";
      box.style.cssText = "position:fixed;left:1em;bottom:1em;padding:.5em;background:#fff;border:1px solid #888;";
      box.append(document.createElement("progress"), document.createElement("div"));
      document.body.append(box);
    }
    const [bar, label] = box.children;
    bar.max = Math.max(1, state.high - state.low);
    bar.value = Math.max(0, state.position - state.low);
    label.textContent = state.text;
    box.hidden = !state.visible;
  };
}

// The default dialogs: the browser's own small dialogs.
async function defaultDialog(dialog) {
  switch (dialog.kind) {
    case "input": return window.prompt(dialog.prompt, dialog.initial);
    case "folder": return window.prompt(dialog.caption || "Folder", dialog.folder);
    case "file": return window.prompt(`File (${dialog.filter})`, "");
    case "alert": return window.confirm(`${dialog.caption}\n\n${dialog.message}`) ? 1 : 0;
    default: return null;  // the watermark dialog needs a form of the page's own
  }
}

class Session {
  constructor(options) {
    this.port = options.port || DEFAULT_PORT;
    this.host = options.host || "127.0.0.1";
    this.reconnect = options.reconnect !== false;
    this.dialogHandler = options.onDialog || defaultDialog;
    this.listeners = new Map();      // event name -> Set of handlers
    this.progressHandlers = new Set([options.onProgress || defaultProgress()]);
    this.connectionHandlers = new Set();
    this.pending = new Map();        // call id -> {resolve, reject}
    this.nextId = 0;
    this.closed = false;
    this.methods = [];
    this.events = [];
    this.viewerElement = null;
    this.pictureUrl = null;
  }

  // Opens the socket and waits for the service's hello.
  open() {
    return new Promise((resolve, reject) => {
      const ws = new WebSocket(`ws://${this.host.includes(":") ? "[" + this.host + "]" : this.host}:${this.port}/`);
      ws.binaryType = "blob";
      let greeted = false;
      let announced = null;  // the text frame that announced the next binary one
      ws.onmessage = (e) => {
        if (e.data instanceof Blob) {
          const header = announced;
          announced = null;
          if (header && header.type === "picture") this.showPicture(e.data);
          if (header && header.type === "file") this.receiveFile(header, e.data);
          return;
        }
        let message;
        try { message = JSON.parse(e.data); } catch { return; }
        if (!greeted) {
          if (message.type !== "hello" || message.protocol !== PROTOCOL) {
            ws.close();
            reject(new Error(`not a dociva service of protocol ${PROTOCOL}`));
            return;
          }
          greeted = true;
          this.ws = ws;
          this.learn(message);
          if (this.viewerElement) this.send({ type: "viewer", on: true });
          resolve(this);
          return;
        }
        if (message.type === "picture" || message.type === "file") { announced = message; return; }
        this.receive(message);
      };
      ws.onclose = () => {
        if (!greeted) { reject(new Error("the service refused the connection or is not running")); return; }
        this.lost(ws);
      };
    });
  }

  // The method table: one function per method, of the method's name.
  learn(hello) {
    this.methods = hello.methods;
    this.events = hello.events;
    for (const method of hello.methods) {
      if (!(method.name in this)) this[method.name] = (...args) => this.invoke(method.name, ...args);
    }
  }

  receive(message) {
    switch (message.type) {
      case "result":
      case "error": {
        const call = this.pending.get(message.id);
        if (!call) {
          if (message.type === "error") console.warn("dociva:", message.error, message.reason);
          return;
        }
        this.pending.delete(message.id);
        if (message.type === "result") call.resolve(message.value);
        else call.reject(new DocivaError(message));
        return;
      }
      case "event": {
        let object = null;
        try { object = JSON.parse(message.data); } catch { /* handlers still get the text */ }
        for (const handler of this.listeners.get(message.name) || []) handler(object, message.data);
        return;
      }
      case "progress":
        for (const handler of this.progressHandlers) handler(message);
        return;
      case "dialog":
        Promise.resolve()
          .then(() => this.dialogHandler(message))
          .catch(() => null)
          .then((value) => this.send({ type: "answer", dialog: message.dialog, value: value === undefined ? null : value }));
        return;
      default:
        return;
    }
  }

  send(message) {
    if (this.ws && this.ws.readyState === WebSocket.OPEN) this.ws.send(JSON.stringify(message));
  }

  lost(ws) {
    if (ws !== this.ws) return;
    this.ws = null;
    for (const call of this.pending.values()) {
      call.reject(new DocivaError({ error: "closed", reason: "the connection to the service ended" }));
    }
    this.pending.clear();
    for (const handler of this.connectionHandlers) handler(false);
    if (this.closed || !this.reconnect) return;
    // The service restarted (or will): a new session, with a new control.
    const retry = () => {
      if (this.closed) return;
      this.open().then(() => {
        for (const handler of this.connectionHandlers) handler(true);
      }, () => setTimeout(retry, RECONNECT_MS));
    };
    setTimeout(retry, RECONNECT_MS);
  }

  invoke(name, ...args) {
    if (!this.ws) return Promise.reject(new DocivaError({ error: "closed", reason: "not connected" }));
    const id = ++this.nextId;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      this.send({ type: "call", id, method: name, args });
    });
  }

  // Shows the control's viewer in an <img> (its picture, sent whenever it
  // changes) and sends the pointer on it back as the viewer's mouse, so
  // zoom, drag, crop and page mode work as in the control's window.
  // Returns a function that detaches it.
  viewer(element) {
    this.viewerElement = element;
    element.draggable = false;
    const at = (e) => {
      const r = element.getBoundingClientRect();
      return {
        x: Math.round((e.clientX - r.left) * VIEWER_WIDTH / Math.max(1, r.width)),
        y: Math.round((e.clientY - r.top) * VIEWER_HEIGHT / Math.max(1, r.height)),
      };
    };
    const mouse = (kind) => (e) => {
      if (kind === "down") {
        if (e.button !== 0) return;
        element.setPointerCapture(e.pointerId);
      }
      if (kind === "move" && (e.buttons & 1)) kind = "drag";
      e.preventDefault();
      this.send({ type: "mouse", kind, ...at(e) });
    };
    const handlers = {
      pointerdown: mouse("down"), pointermove: mouse("move"), pointerup: mouse("up"),
      dblclick: mouse("dblclick"), pointerleave: mouse("leave"),
    };
    for (const [name, handler] of Object.entries(handlers)) element.addEventListener(name, handler);
    this.send({ type: "viewer", on: true });
    return () => {
      for (const [name, handler] of Object.entries(handlers)) element.removeEventListener(name, handler);
      this.viewerElement = null;
      this.send({ type: "viewer", on: false });
    };
  }

  // The session's files (what its scans brought into the viewer):
  // [{file, name, pages}]; file is the id to read one with.
  files() {
    return this.request({ type: "files" });
  }

  // One of them as a Blob (its name in blob.name), to upload or download.
  file(id) {
    return this.request({ type: "file", file: id });
  }

  request(message) {
    if (!this.ws) return Promise.reject(new DocivaError({ error: "closed", reason: "not connected" }));
    const id = ++this.nextId;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      this.send({ ...message, id });
    });
  }

  receiveFile(header, blob) {
    const call = this.pending.get(header.id);
    if (!call) return;
    this.pending.delete(header.id);
    const type = header.name.toLowerCase().endsWith(".pdf") ? "application/pdf" : "";
    const file = new Blob([blob], { type });
    file.name = header.name;
    call.resolve(file);
  }

  showPicture(blob) {
    if (!this.viewerElement) return;
    const url = URL.createObjectURL(blob);
    const previous = this.pictureUrl;
    this.pictureUrl = url;
    this.viewerElement.src = url;
    if (previous) URL.revokeObjectURL(previous);
  }

  on(event, handler) {
    if (!this.listeners.has(event)) this.listeners.set(event, new Set());
    this.listeners.get(event).add(handler);
    return () => this.listeners.get(event).delete(handler);
  }

  onProgress(handler) {
    this.progressHandlers.add(handler);
    return () => this.progressHandlers.delete(handler);
  }

  // handler(true) after a reconnection, handler(false) when the connection ends.
  onConnection(handler) {
    this.connectionHandlers.add(handler);
    return () => this.connectionHandlers.delete(handler);
  }

  close() {
    this.closed = true;
    if (this.ws) this.ws.close();
  }
}

export const Dociva = {
  defaultPort: DEFAULT_PORT,
  // Resolves once the service has greeted the page; the control's first
  // events (OnProfileReady, OnSourceReady) follow at once, so handlers
  // meant for them go in options.events: {name: handler}.
  async connect(options = {}) {
    const session = new Session(options);
    for (const [name, handler] of Object.entries(options.events || {})) session.on(name, handler);
    return session.open();
  },
};

export default Dociva;
