// The web remote's page: live over the program's WebSocket, pictures and the script through
// its HTTP API, every press sent as the remote's JSON command.
"use strict";

(function () {
  const body = document.body;
  const program = body.dataset.program; // "corvane" or "kestro"
  const webSocketPort = body.dataset.websocketPort;
  const tokenKey = "remote-token";
  const quietMs = 3500; // the state comes at least once a second: longer is a lost link
  let token = localStorage.getItem(tokenKey) || "";
  let socket = null;
  let reconnectMs = 500;
  let lastHeard = 0;
  let state = null;
  const shownTags = {}; // picture or script name -> the tag shown
  let versionsBusy = false;
  let versionsAgain = false;

  const $ = (id) => document.getElementById(id);

  function problem(text) {
    $("problem").textContent = text || "";
  }

  function setLink(up) {
    const link = $("link");
    link.className = "link " + (up ? "up" : "down");
    link.textContent = up ? "live" : "link lost";
  }

  function askToken(why) {
    const form = $("token");
    form.hidden = false;
    $("token-problem").textContent = why || "";
    $("token-text").focus();
  }

  $("token").addEventListener("submit", (event) => {
    event.preventDefault();
    token = $("token-text").value.trim();
    localStorage.setItem(tokenKey, token);
    $("token").hidden = true;
    if (socket) {
      socket.close();
    }
    connect();
  });

  function headers(extra) {
    const all = Object.assign({}, extra || {});
    if (token) {
      all.Authorization = "Bearer " + token;
    }
    return all;
  }

  // A refusal for want of a token asks for it; anything else is shown.
  async function refusal(response) {
    let message = response.statusText;
    try {
      message = (await response.json()).message || message;
    } catch (e) {
      // not JSON: the status says enough
    }
    if (response.status === 401) {
      askToken(message);
    } else if (response.status !== 503) {
      problem(message);
    }
    return null;
  }

  async function api(path, options) {
    try {
      const response = await fetch(path, Object.assign({ cache: "no-store" }, options || {},
        { headers: headers((options || {}).headers) }));
      if (!response.ok && response.status !== 304) {
        return refusal(response);
      }
      return response;
    } catch (e) {
      setLink(false);
      return null;
    }
  }

  function send(command) {
    const message = Object.assign({}, command);
    if (token) {
      message.token = token;
    }
    if (socket && socket.readyState === WebSocket.OPEN) {
      socket.send(JSON.stringify(message));
      return;
    }
    api("/api/command", {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify(command),
    });
  }

  // Buttons carry their command: data-command, with data-screen or data-value.
  body.addEventListener("click", (event) => {
    const button = event.target.closest("button[data-command]");
    if (!button) {
      return;
    }
    const command = { command: button.dataset.command };
    if (button.dataset.screen) {
      command.screen = Number(button.dataset.screen);
    }
    if (button.dataset.value) {
      command.value = Number(button.dataset.value);
    }
    problem("");
    send(command);
  });

  const gotoForm = $("goto");
  if (gotoForm) {
    gotoForm.addEventListener("submit", (event) => {
      event.preventDefault();
      const slide = Number($("goto-slide").value);
      if (Number.isInteger(slide) && slide >= 1) {
        send({ command: "slide", value: slide });
      }
    });
  }

  function connect() {
    const here = location.hostname.includes(":") ? "[" + location.hostname + "]"
                                                   : location.hostname;
    socket = new WebSocket("ws://" + here + ":" + webSocketPort);
    const mine = socket;
    mine.addEventListener("open", () => {
      reconnectMs = 500;
      // A token is given once for the connection; the state comes back at once.
      mine.send(JSON.stringify(token ? { command: "state", token: token } : { command: "state" }));
    });
    mine.addEventListener("message", (event) => {
      let message;
      try {
        message = JSON.parse(event.data);
      } catch (e) {
        return;
      }
      lastHeard = Date.now();
      if (message.type === "state") {
        setLink(true);
        $("token").hidden = true;
        render(message);
      } else if (message.type === "error") {
        if (/token/.test(message.message)) {
          askToken(message.message);
        } else {
          problem(message.message);
        }
      }
    });
    mine.addEventListener("close", () => {
      if (socket !== mine) {
        return;
      }
      setLink(false);
      socket = null;
      setTimeout(connect, reconnectMs);
      reconnectMs = Math.min(reconnectMs * 2, 5000);
    });
  }

  // A link that says nothing is as good as gone: a new one is made.
  setInterval(() => {
    if (socket && socket.readyState === WebSocket.OPEN && Date.now() - lastHeard > quietMs) {
      setLink(false);
      socket.close();
    }
  }, 1000);

  function text(id, value) {
    const element = $(id);
    if (element && element.textContent !== value) {
      element.textContent = value;
    }
  }

  function screenSection(screen) {
    const section = document.querySelector('.screen[data-screen="' + screen + '"]');
    if (!section.firstChild) {
      section.innerHTML =
        '<h3></h3><p class="media"></p><div class="pictures">' +
        '<figure><img alt="What the screen shows"><figcaption>Now</figcaption></figure>' +
        '<figure><img alt="What Next puts there"><figcaption>Next</figcaption></figure></div>' +
        '<div class="row"><button data-command=""></button><button data-command=""></button></div>' +
        '<div class="row blanks"><button data-command="black">Black</button>' +
        '<button data-command="white">White</button><button data-command="show">Show</button></div>';
      section.querySelector(".media").id = "screen" + screen + "-media";
      const images = section.querySelectorAll("img");
      images[0].id = "screen" + screen + "-current";
      images[1].id = "screen" + screen + "-next";
      const steps = section.querySelectorAll(".row:not(.blanks) button");
      steps[0].dataset.command = "screen/" + screen + "/previous";
      steps[0].id = "screen" + screen + "-previous";
      steps[0].textContent = "Back";
      steps[1].dataset.command = "screen/" + screen + "/next";
      steps[1].id = "screen" + screen + "-next-step";
      steps[1].textContent = "On";
      section.querySelectorAll(".blanks button").forEach((b) => {
        b.dataset.screen = String(screen);
      });
    }
    return section;
  }

  // A clip's countdown, as a button on a desk would show it.
  function clipText(s) {
    if (!s || s.media !== "playing") {
      return "";
    }
    const left = Math.max(0, Math.ceil(Number(s.remaining) || 0));
    const shown = left >= 60 ? Math.floor(left / 60) + ":" + String(left % 60).padStart(2, "0")
                             : left + " s";
    return "Clip playing: " + shown + " left";
  }

  function markBlank(container, blank) {
    container.querySelectorAll("button[data-command]").forEach((b) => {
      const command = b.dataset.command;
      b.classList.toggle("on", (command === "black" || command === "white") && blank === command);
    });
  }

  function render(next) {
    const changed = !state || state.revision !== next.revision;
    state = next;
    if (program === "corvane") {
      text("position", state.line > 0 ? "Line " + state.line + " of " + state.lines : "No script");
      text("current", state.current || "");
      text("next-step", state.next || "");
      for (let screen = 1; screen <= 3; ++screen) {
        const s = state["screen" + screen] || {};
        const section = screenSection(screen);
        const heading = "Screen " + screen + (s.slides ? ": slide " + s.slide + " of " + s.slides
                                                       : ": no show");
        if (section.querySelector("h3").textContent !== heading) {
          section.querySelector("h3").textContent = heading;
        }
        text("screen" + screen + "-media", clipText(s));
        markBlank(section.querySelector(".blanks"), s.blank);
      }
      document.querySelectorAll("#lines li").forEach((li) => {
        li.classList.toggle("current", Number(li.dataset.line) === state.line);
      });
    } else {
      text("position", state.slides ? "slide " + state.slide + " of " + state.slides : "No show");
      text("blank", state.blank && state.blank !== "none" ? "screen " + state.blank : "");
      text("media", clipText(state));
      markBlank(document.querySelector(".blank-all"), state.blank);
    }
    // Every state (at least one a second) looks at what changed; the pictures of a step are
    // made just after it, so a step looks again shortly.
    refreshVersions();
    if (changed) {
      setTimeout(refreshVersions, 250);
      setTimeout(refreshVersions, 700);
    }
  }

  function pictureImage(name) {
    return $(name.replace("/", "-"));
  }

  async function showPicture(name, tag) {
    const path = program === "corvane"
      ? "/api/screen/" + name.charAt(6) + "/" + name.split("/")[1] + ".jpg"
      : "/api/slide/" + name.split("/")[1] + ".jpg";
    const response = await api(path, { cache: "no-cache" });
    if (!response || response.status === 304) {
      return;
    }
    const picture = URL.createObjectURL(await response.blob());
    const image = pictureImage(name);
    const old = image.src;
    image.src = picture;
    image.dataset.tag = tag;
    shownTags[name] = tag;
    if (old.startsWith("blob:")) {
      URL.revokeObjectURL(old);
    }
  }

  async function showScript(tag) {
    const response = await api("/api/script");
    if (!response) {
      return;
    }
    const lines = await response.json();
    const list = $("lines");
    list.textContent = "";
    for (const line of lines) {
      const item = document.createElement("li");
      item.dataset.line = String(line.line);
      const button = document.createElement("button");
      button.dataset.command = "line";
      button.dataset.value = String(line.line);
      button.textContent = line.line + ": " + line.text;
      item.appendChild(button);
      if (state && state.line === line.line) {
        item.classList.add("current");
      }
      list.appendChild(item);
    }
    shownTags.script = tag;
  }

  // Which pictures (and the script) changed, then only those are fetched.
  async function refreshVersions() {
    if (versionsBusy) {
      versionsAgain = true;
      return;
    }
    versionsBusy = true;
    try {
      const response = await api("/api/versions");
      if (response) {
        const versions = await response.json();
        // A picture no longer there (nothing comes next) is not left standing.
        for (const name of Object.keys(shownTags)) {
          if (!(name in versions) && name !== "script" && pictureImage(name)) {
            pictureImage(name).removeAttribute("src");
            pictureImage(name).dataset.tag = "";
            delete shownTags[name];
          }
        }
        for (const [name, tag] of Object.entries(versions)) {
          if (shownTags[name] === tag) {
            continue;
          }
          if (name === "script") {
            if ($("lines")) {
              await showScript(tag);
            }
          } else if (pictureImage(name)) {
            await showPicture(name, tag);
          }
        }
      }
    } finally {
      versionsBusy = false;
      if (versionsAgain) {
        versionsAgain = false;
        refreshVersions();
      }
    }
  }

  if (program === "corvane") {
    for (let screen = 1; screen <= 3; ++screen) {
      screenSection(screen);
    }
  }
  setLink(false);
  connect();
})();
