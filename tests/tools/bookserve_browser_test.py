#!/usr/bin/env python3
"""bookserve read by a real browser: Chromium, headless, driven through its
DevTools protocol over a pipe (--remote-debugging-pipe: no debugging port, no
package beyond Python's own library).

Books are made here with bookc pack --strict. The checks read the page itself
(element text, links, image natural sizes, computed styles); screenshots go to
SHOTDIR for people to look at.

  bookserve_browser_test.py BOOKC BOOKSERVE ICON SHOTDIR

The browser is $EBOOK_CHROMIUM, else chromium or chromium-browser on PATH.
When there is none the test reports itself skipped (status 77), never passed.
"""
import base64
import ctypes
import fcntl
import json
import os
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import zlib

SKIPPED = 77
# Every wait ends by then; ctest's own limit is well above it.
DEADLINE = time.monotonic() + 150
STEP_SECONDS = 30


def end_with_this_test():
    """In a child before it runs: it is killed should this test die without ending it (a kill -9, say)."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)
    except (OSError, AttributeError):
        pass


PR_SET_PDEATHSIG = 1


class Failure(Exception):
    pass


class Stopped(Exception):
    pass


def on_stop_signal(signum, _frame):
    raise Stopped(f"signal {signum}")


def remaining(limit=STEP_SECONDS):
    left = min(limit, DEADLINE - time.monotonic())
    if left <= 0:
        raise Failure("the test ran out of time")
    return left


# --- Pictures with sizes a browser reports back as naturalWidth/Height. ---

def png_file(width, height):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes(v for x in range(width) for v in (x * 7 % 256, y * 11 % 256, 160)) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def bmp_file(width, height):
    stride = (width * 3 + 3) & ~3
    rows = b"".join(b"".join(bytes((200, y * 20 % 256, x * 12 % 256)) for x in range(width)).ljust(stride, b"\0")
                    for y in range(height))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return header + info + rows


PNG_SIZE = (37, 23)
BMP_SIZE = (19, 11)
HIGHLIGHT = "wick"

INDEX = """<html><head><title>Harbour lights</title></head><body>
<h1 id="heading">Harbour lights</h1>
<p><img id="wave" src="pics/wave.png" alt="wave"> <img id="chart" src="pics/chart.bmp" alt="chart"></p>
<p id="text">The keeper trims the wick at dusk; a short wick burns clean.</p>
<p><a href="chapters/one.htm">One</a> <a href="chapters/two.htm">Two</a></p>
</body></html>
"""
CHAPTERS = {
    "chapters/one.htm": "<html><body><h1>Chapter one</h1><p>Low water at the northern mole.</p></body></html>\n",
    "chapters/two.htm": "<html><body><h1>Chapter two</h1><p>The second lamp is lit at nine.</p>"
                        "<p><img src=\"../pics/wave.png\" alt=\"wave\"></p></body></html>\n",
}
BOOKMARKS = [("First chapter", "chapters/one.htm"), ("Second chapter", "chapters/two.htm")]
USER, PASSWORD = "reader", "s3cret word"


def make_book(work, bookc, icon, name, title, users):
    root = os.path.join(work, name)
    os.makedirs(os.path.join(root, "pics"))
    os.makedirs(os.path.join(root, "chapters"))
    with open(os.path.join(root, "index.htm"), "w") as f:
        f.write(INDEX)
    for path, text in CHAPTERS.items():
        with open(os.path.join(root, path), "w") as f:
            f.write(text)
    with open(os.path.join(root, "pics", "wave.png"), "wb") as f:
        f.write(png_file(*PNG_SIZE))
    with open(os.path.join(root, "pics", "chart.bmp"), "wb") as f:
        f.write(bmp_file(*BMP_SIZE))
    icon_hex = run([bookc, "hex", icon]).strip()
    config = ""
    if users:
        config += f"[users]\n{USER}={PASSWORD}\n\n"
    config += "[bookmarks]\n" + "".join(f"{t}={p}\n" for t, p in BOOKMARKS)
    config += f"\n[params]\ntitle={title}\nstart=index.htm\n\n[Icon]\nBitmap={icon_hex}\n"
    with open(os.path.join(root, "config.ini"), "w") as f:
        f.write(config)
    out = os.path.join(work, name + ".bin")
    run([bookc, "pack", root, out, "--strict"])
    return out


def run(command):
    done = subprocess.run(command, capture_output=True, text=True, timeout=remaining())
    if done.returncode != 0:
        raise Failure(f"{' '.join(command)} ended with status {done.returncode}: {done.stderr.strip()}")
    return done.stdout


# --- bookserve ---

def free_port():
    """A port nothing listens on now, as the system hands one out: the tests' servers start from it, so
    that a program holding 5055 (a reader's open e-book, an author's bookserve) is never in their way."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class BookServer:
    """One bookserve process; it probes for a free port from the one it is given and says which it took."""

    def __init__(self, bookserve, book, extra=()):
        command = [bookserve, book, "--port", str(free_port()), *extra]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, preexec_fn=end_with_this_test)
        ready, _, _ = select.select([self.process.stdout], [], [], remaining())
        line = self.process.stdout.readline() if ready else ""
        found = re.fullmatch(r'Serving "(.*)" at (http://127\.0\.0\.1:(\d+)/)(.*)\n', line)
        if not found:
            self.stop(expect_clean=False)
            raise Failure(f"bookserve {book} said {line!r}; stderr: {self.process.stderr.read().strip()}")
        self.title, self.base, self.port, self.start = found.group(1), found.group(2), found.group(3), found.group(4)

    def stop(self, expect_clean=True):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                if expect_clean:
                    raise Failure("bookserve did not end within 20 s of SIGTERM")
        if expect_clean and self.process.returncode != 0:
            raise Failure(f"bookserve ended with status {self.process.returncode} after SIGTERM: "
                          f"{self.process.stderr.read().strip()}")


# --- The browser ---

class Browser:
    """Chromium with its DevTools protocol on fds 3 (commands in) and 4 (replies and events out),
    messages separated by NUL bytes."""

    def __init__(self, executable, work):
        self.log_path = os.path.join(work, "chromium.log")
        to_browser = os.pipe()
        from_browser = os.pipe()
        # Out of the way of 3 and 4, which the child's own ends become.
        high = [fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10) for fd in (*to_browser, *from_browser)]
        for fd in (*to_browser, *from_browser):
            os.close(fd)
        child_in, self.write_fd, self.read_fd, child_out = high

        def attach_pipe():
            end_with_this_test()
            os.dup2(child_in, 3)
            os.dup2(child_out, 4)

        arguments = [executable, "--headless", "--remote-debugging-pipe", "--user-data-dir=" + os.path.join(work, "profile"),
                     "--no-first-run", "--no-default-browser-check", "--disable-gpu", "--disable-extensions",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--no-proxy-server", "--window-size=800,600", "--hide-scrollbars", "about:blank"]
        if os.geteuid() == 0:
            arguments.insert(1, "--no-sandbox")
        with open(self.log_path, "w") as log:
            # A session of its own: the browser's helper processes share its
            # process group, which close() ends by the browser's id.
            self.process = subprocess.Popen(arguments, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                            pass_fds=(3, 4), preexec_fn=attach_pipe, start_new_session=True)
        os.close(child_in)
        os.close(child_out)
        self.next_id = 0
        self.buffer = b""
        self.replies = {}
        self.events = []
        self.handlers = []
        self.send("Browser.getVersion")

    def log_tail(self):
        try:
            with open(self.log_path, errors="replace") as f:
                return "".join(f.readlines()[-15:])
        except OSError:
            return ""

    def post(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        data = json.dumps(message).encode() + b"\0"
        while data:
            _, ready, _ = select.select([], [self.write_fd], [], remaining())
            if not ready:
                raise Failure(f"the browser took no command for {STEP_SECONDS} s")
            data = data[os.write(self.write_fd, data):]
        return self.next_id

    def pump(self, timeout):
        """Reads what the browser has said within timeout seconds; False when it said nothing."""
        ready, _, _ = select.select([self.read_fd], [], [], timeout)
        if not ready:
            return False
        chunk = os.read(self.read_fd, 1 << 20)
        if not chunk:
            raise Failure("the browser closed its end of the protocol pipe\n" + self.log_tail())
        self.buffer += chunk
        while b"\0" in self.buffer:
            raw, self.buffer = self.buffer.split(b"\0", 1)
            message = json.loads(raw)
            if "id" in message:
                self.replies[message["id"]] = message
            else:
                self.events.append(message)
                for handler in self.handlers:
                    handler(message)
        return True

    def send(self, method, params=None, session=None):
        number = self.post(method, params, session)
        end = time.monotonic() + remaining()
        while number not in self.replies:
            if time.monotonic() > end:
                raise Failure(f"no reply to {method} within {STEP_SECONDS} s")
            self.pump(0.2)
        reply = self.replies.pop(number)
        if "error" in reply:
            raise Failure(f"{method} failed: {reply['error']}")
        return reply.get("result", {})

    def wait_event(self, method, session, since, what):
        end = time.monotonic() + remaining()
        while True:
            for event in self.events[since:]:
                if event["method"] == method and event.get("sessionId") == session:
                    return event
                if event["method"] == "Inspector.targetCrashed" and event.get("sessionId") == session:
                    raise Failure(f"the page crashed while waiting for {what}")
            if time.monotonic() > end:
                raise Failure(f"no {method} within {STEP_SECONDS} s ({what})")
            self.pump(0.2)

    def close(self):
        """Ends the browser and every process of its group, by the browser's id."""
        pid = self.process.pid
        if self.process.poll() is None:
            try:
                self.post("Browser.close")
            except (Failure, OSError):
                pass
            try:
                # Waits without reaping: while the browser is a zombie its id
                # still names its process group and cannot be taken by another.
                end = time.monotonic() + 10
                while time.monotonic() < end and os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is None:
                    time.sleep(0.1)
                for sig in (signal.SIGTERM, signal.SIGKILL):
                    try:
                        os.killpg(pid, sig)
                    except ProcessLookupError:
                        break
                    time.sleep(0.5)
            except ChildProcessError:
                pass
        else:
            try:
                os.killpg(pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass
        self.process.wait(timeout=20)
        for fd in (self.read_fd, self.write_fd):
            os.close(fd)


class Tab:
    """A page in a browser context of its own (own cookies, cache and credentials)."""

    def __init__(self, browser):
        self.browser = browser
        self.context = browser.send("Target.createBrowserContext")["browserContextId"]
        target = browser.send("Target.createTarget", {"url": "about:blank", "browserContextId": self.context})
        self.session = browser.send("Target.attachToTarget", {"targetId": target["targetId"], "flatten": True})["sessionId"]
        self.send("Page.enable")
        self.send("Emulation.setDeviceMetricsOverride", {"width": 800, "height": 600, "deviceScaleFactor": 1,
                                                          "mobile": False})

    def send(self, method, params=None):
        return self.browser.send(method, params, self.session)

    def goto(self, url):
        since = len(self.browser.events)
        result = self.send("Page.navigate", {"url": url})
        if result.get("errorText"):
            raise Failure(f"{url}: {result['errorText']}")
        self.browser.wait_event("Page.loadEventFired", self.session, since, url)

    def value(self, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True, "awaitPromise": True})
        if "exceptionDetails" in result:
            raise Failure(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def click(self, selector):
        """A real mouse click in the middle of the element; waits for the page it opens."""
        box = self.value(f"(() => {{ const r = document.querySelector({json.dumps(selector)}).getBoundingClientRect();"
                         " return [r.x + r.width / 2, r.y + r.height / 2]; })()")
        since = len(self.browser.events)
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", {"type": kind, "x": box[0], "y": box[1], "button": "left",
                                                   "clickCount": 1})
        self.browser.wait_event("Page.loadEventFired", self.session, since, "the page behind " + selector)

    def screenshot(self, path):
        data = self.send("Page.captureScreenshot", {"format": "png"})["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def close(self):
        self.browser.send("Target.disposeBrowserContext", {"browserContextId": self.context})


# --- The checks ---

PICTURES = f"""[...document.images].map(i => ({{src: i.getAttribute('src'), complete: i.complete,
                                              width: i.naturalWidth, height: i.naturalHeight}}))"""
TEXT_BLOCKS = "[...document.querySelectorAll('h1, h2, h3, p')].map(e => e.textContent)"
HIGHLIGHTS = """[...document.querySelectorAll('span')].map(s => ({text: s.textContent,
                                                               background: getComputedStyle(s).backgroundColor}))"""


class Checks:
    def __init__(self, shots):
        self.shots = shots
        self.failures = []

    def expect(self, what, actual, expected):
        if actual != expected:
            self.failures.append(f"{what}: got {actual!r}, expected {expected!r}")

    def shot(self, tab, name):
        tab.screenshot(os.path.join(self.shots, name + ".png"))


def check_start_and_navigation(browser, server, checks):
    tab = Tab(browser)
    checks.expect("the start page bookserve names", server.start, "index.htm")
    tab.goto(server.base + server.start)
    checks.shot(tab, "start-page")
    checks.expect("start page heading", tab.value("document.getElementById('heading').textContent"), "Harbour lights")
    checks.expect("start page pictures (natural sizes)", tab.value(PICTURES), [
        {"src": "pics/wave.png", "complete": True, "width": PNG_SIZE[0], "height": PNG_SIZE[1]},
        {"src": "pics/chart.bmp", "complete": True, "width": BMP_SIZE[0], "height": BMP_SIZE[1]}])
    checks.expect("highlights without --highlight", tab.value(HIGHLIGHTS), [])

    tab.goto(server.base + "navigation_bar/navigate.h")
    checks.shot(tab, "navigation-page")
    links = tab.value("[...document.links].map(a => [a.textContent, a.href])")
    checks.expect("navigation page links", links,
                  [["Go to start page", server.base + "index.htm"]] + [[t, server.base + p] for t, p in BOOKMARKS])
    checks.expect("navigation page heading", tab.value("document.querySelector('h3') && document.querySelector('h3').textContent"),
                  "Bookmarks:")
    tab.click("a[href$='chapters/two.htm']")
    checks.shot(tab, "bookmark-followed")
    checks.expect("page behind the bookmark: address", tab.value("location.href"), server.base + "chapters/two.htm")
    checks.expect("page behind the bookmark: text", tab.value(TEXT_BLOCKS),
                  ["Chapter two", "The second lamp is lit at nine.", ""])
    checks.expect("page behind the bookmark: picture", tab.value(PICTURES),
                  [{"src": "../pics/wave.png", "complete": True, "width": PNG_SIZE[0], "height": PNG_SIZE[1]}])
    # And a link of the book's own page.
    tab.goto(server.base + server.start)
    tab.click("a[href='chapters/one.htm']")
    checks.expect("page behind the start page's link", tab.value("document.querySelector('h1').textContent"),
                  "Chapter one")
    tab.close()


def check_highlight(browser, server, checks):
    tab = Tab(browser)
    tab.goto(server.base + server.start)
    checks.shot(tab, "highlight")
    checks.expect(f"highlights of {HIGHLIGHT!r} (text, computed background)", tab.value(HIGHLIGHTS),
                  [{"text": HIGHLIGHT, "background": "rgb(255, 255, 0)"}] * 2)
    checks.expect("highlighted paragraph's text", tab.value("document.getElementById('text').textContent"),
                  "The keeper trims the wick at dusk; a short wick burns clean.")
    checks.expect("pictures under --highlight", tab.value(PICTURES), [
        {"src": "pics/wave.png", "complete": True, "width": PNG_SIZE[0], "height": PNG_SIZE[1]},
        {"src": "pics/chart.bmp", "complete": True, "width": BMP_SIZE[0], "height": BMP_SIZE[1]}])
    tab.close()


def login(browser, url, password):
    """Opens url in a fresh context, answering the first login request with the given password and
    any further one with Cancel (as a reader who gives up). Returns the tab and the challenges seen."""
    tab = Tab(browser)
    challenges = []

    def answer(event):
        if event.get("sessionId") != tab.session:
            return
        if event["method"] == "Fetch.requestPaused":
            browser.post("Fetch.continueRequest", {"requestId": event["params"]["requestId"]}, tab.session)
        elif event["method"] == "Fetch.authRequired":
            challenges.append(event["params"]["authChallenge"])
            reply = ({"response": "ProvideCredentials", "username": USER, "password": password}
                     if len(challenges) == 1 else {"response": "CancelAuth"})
            browser.post("Fetch.continueWithAuth", {"requestId": event["params"]["requestId"],
                                                    "authChallengeResponse": reply}, tab.session)

    browser.handlers.append(answer)
    try:
        tab.send("Fetch.enable", {"patterns": [{"urlPattern": "*"}], "handleAuthRequests": True})
        tab.goto(url)
    finally:
        browser.handlers.remove(answer)
    return tab, [(c.get("scheme"), c.get("realm"), c.get("source")) for c in challenges]


def check_login(browser, server, checks):
    url = server.base + server.start
    # Wrong credentials first: once a reader has logged in, the server lets everyone in.
    tab, challenges = login(browser, url, "wrong")
    checks.shot(tab, "login-wrong")
    checks.expect("login requests with a wrong password", challenges,
                  [("basic", "Protected", "Server")] * 2)
    checks.expect("page after a wrong password", tab.value("document.body.innerText.trim()"), "401 Unauthorized")
    tab.close()

    tab, challenges = login(browser, url, PASSWORD)
    checks.shot(tab, "login-right")
    checks.expect("login requests with the right password", challenges, [("basic", "Protected", "Server")])
    checks.expect("page after the right password", tab.value("document.getElementById('heading').textContent"),
                  "Harbour lights")
    checks.expect("pictures after the right password", tab.value(PICTURES), [
        {"src": "pics/wave.png", "complete": True, "width": PNG_SIZE[0], "height": PNG_SIZE[1]},
        {"src": "pics/chart.bmp", "complete": True, "width": BMP_SIZE[0], "height": BMP_SIZE[1]}])
    tab.close()


def main():
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    bookc, bookserve, icon, shots = sys.argv[1:]
    executable = os.environ.get("EBOOK_CHROMIUM") or shutil.which("chromium") or shutil.which("chromium-browser")
    if not executable or not os.path.isfile(executable) or not os.access(executable, os.X_OK):
        print(f"SKIPPED: no Chromium to run ({executable or 'none on PATH'}; scripts/setup installs it)")
        return SKIPPED

    signal.signal(signal.SIGTERM, on_stop_signal)
    signal.signal(signal.SIGINT, on_stop_signal)
    os.makedirs(shots, exist_ok=True)
    for old in os.listdir(shots):
        if old.endswith(".png"):
            os.remove(os.path.join(shots, old))
    checks = Checks(shots)
    started = time.monotonic()
    work = tempfile.mkdtemp(prefix="bookserve-browser-")
    browser = None
    servers = []
    try:
        plain = make_book(work, bookc, icon, "plain", "Harbour lights", users=False)
        locked = make_book(work, bookc, icon, "locked", "Harbour lights, locked", users=True)
        browser = Browser(executable, work)

        def serve(book, *extra):
            servers.append(BookServer(bookserve, book, extra))
            return servers[-1]

        for name, book, extra, check in [("start page and navigation", plain, (), check_start_and_navigation),
                                         ("--highlight", plain, ("--highlight", HIGHLIGHT), check_highlight),
                                         ("login", locked, (), check_login)]:
            server = serve(book, *extra)
            before = len(checks.failures)
            check(browser, server, checks)
            servers.remove(server)
            server.stop()
            print(f"{name} (port {server.port}): {'ok' if len(checks.failures) == before else 'FAILED'}")
    except (Failure, Stopped) as problem:
        checks.failures.append(str(problem))
    finally:
        for server in servers:
            server.stop(expect_clean=False)
        if browser:
            browser.close()
        shutil.rmtree(work, ignore_errors=True)

    for failure in checks.failures:
        print("FAIL:", failure, file=sys.stderr)
    print(f"screenshots in {shots}; {time.monotonic() - started:.1f} s")
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
