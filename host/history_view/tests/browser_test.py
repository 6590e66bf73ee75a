#!/usr/bin/env python3
"""`vardel history view` in a real headless Chromium.

Makes a demo device, backs it up, adds a 5,000-message conversation and
messages holding markup to a history, starts `vardel history view
--no-browser` and drives Chromium through the DevTools protocol over
--remote-debugging-pipe (requests in on fd 3, answers out on fd 4, each a
JSON text ended by NUL). Nothing beyond the Python standard library.

  browser_test.py --vardel build/host/vardel [--require-chromium]
                  [--screenshots docs/] [--first-screen HISTORY]

--first-screen times, on a history of one's own (a big one), how long the
conversations, a long conversation and a search take to show, from asking
to drawn; it checks nothing.

Without --require-chromium (as ctest passes it), a machine without
Chromium skips the test with a message.
"""
import argparse
import fcntl
import http.client
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

LONG_NUMBER = "13911112222"
HOSTILE_NUMBER = "10000"
HOSTILE_TEXTS = [
    "<script>window.__pwned = 1</script>",
    '"><img src=x onerror="window.__pwned = 2">',
]


class Chromium:
    """One headless Chromium and one page in it, spoken to over the pipe."""

    def __init__(self, binary, profile):
        to_chrome_r, to_chrome_w = os.pipe()
        from_chrome_r, from_chrome_w = os.pipe()
        # Out of the way of 3 and 4, so the child's dup2 cannot clobber them.
        child_in = fcntl.fcntl(to_chrome_r, fcntl.F_DUPFD, 100)
        child_out = fcntl.fcntl(from_chrome_w, fcntl.F_DUPFD, 100)
        os.close(to_chrome_r)
        os.close(from_chrome_w)

        def wire():
            os.dup2(child_in, 3)
            os.dup2(child_out, 4)

        args = [binary, "--headless=new", "--remote-debugging-pipe",
                "--user-data-dir=" + profile, "--no-first-run", "--no-default-browser-check",
                "--disable-gpu", "--disable-extensions", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                "--force-device-scale-factor=1", "--lang=zh-CN", "--window-size=1100,760"]
        if os.geteuid() == 0:
            args.append("--no-sandbox")
        self.proc = subprocess.Popen(args + ["about:blank"], preexec_fn=wire, pass_fds=(3, 4),
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        os.close(child_in)
        os.close(child_out)
        self.out = os.fdopen(to_chrome_w, "wb", buffering=0)
        self.inp = os.fdopen(from_chrome_r, "rb", buffering=0)
        self.next_id = 0
        self.answers = {}
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": target, "flatten": True})["sessionId"]
        self.call("Page.enable", session=True)
        self.call("Runtime.enable", session=True)
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": 1100, "height": 760, "deviceScaleFactor": 1, "mobile": False},
                  session=True)

    def _read(self):
        buf = b""
        while True:
            chunk = self.inp.read(65536)
            if not chunk:
                break
            buf += chunk
            while b"\0" in buf:
                text, buf = buf.split(b"\0", 1)
                msg = json.loads(text)
                if "id" in msg:
                    with self.cond:
                        self.answers[msg["id"]] = msg
                        self.cond.notify_all()

    def call(self, method, params=None, session=False, timeout=15):
        self.next_id += 1
        mine = self.next_id
        msg = {"id": mine, "method": method, "params": params or {}}
        if session:
            msg["sessionId"] = self.session
        self.out.write(json.dumps(msg).encode() + b"\0")
        with self.cond:
            if not self.cond.wait_for(lambda: mine in self.answers, timeout):
                raise AssertionError(method + ": no answer from Chromium")
            answer = self.answers.pop(mine)
        if "error" in answer:
            raise AssertionError(method + ": " + json.dumps(answer["error"]))
        return answer.get("result", {})

    def js(self, expression):
        r = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                           "awaitPromise": True}, session=True)
        if "exceptionDetails" in r:
            raise AssertionError("script failed: " + expression + "\n" +
                                 json.dumps(r["exceptionDetails"])[:600])
        return r["result"].get("value")

    def wait(self, expression, what, timeout=8):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if self.js(expression):
                return
            time.sleep(0.03)
        raise AssertionError("gave up waiting for " + what + " (" + expression + ")")

    def go(self, url):
        self.call("Page.navigate", {"url": url}, session=True)
        self.wait("document.readyState === 'complete'", "the page to load")

    def click(self, selector):
        box = self.js("(() => { const e = document.querySelector(%s); e.scrollIntoView("
                      "{block: 'center'}); const r = e.getBoundingClientRect();"
                      " return [r.x + r.width / 2, r.y + r.height / 2]; })()"
                      % json.dumps(selector))
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", {"type": kind, "x": box[0], "y": box[1],
                                                   "button": "left", "clickCount": 1},
                      session=True)

    def type_into(self, selector, text):
        self.js("(() => { const e = document.querySelector(%s); e.focus(); e.select(); })()"
                % json.dumps(selector))
        self.call("Input.insertText", {"text": text}, session=True)

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", {"format": "png"}, session=True)["data"]
        import base64
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def close(self):
        try:
            self.call("Browser.close", timeout=5)
        except AssertionError:
            pass
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


def android_sms(messages):
    """An Android SMS backup of (number, ms, received, text) tuples."""
    from xml.sax.saxutils import quoteattr
    lines = ["<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>",
             '<smses count="%d">' % len(messages)]
    for number, ms, received, text in messages:
        lines.append('  <sms protocol="0" address=%s date="%d" type="%d" body=%s read="1" />'
                     % (quoteattr(number), ms, 1 if received else 2, quoteattr(text)))
    lines.append("</smses>")
    return "\n".join(lines) + "\n"


def make_history(vardel, work):
    device = os.path.join(work, "device")
    env = dict(os.environ, TZ="UTC")
    run = lambda *a: subprocess.run([vardel, "--device", device] + list(a), check=True,
                                    stdout=subprocess.DEVNULL, env=env)
    run("device", "init", "--demo")
    run("backup", "--yes")
    start = 1262304000000  # 2010-01-01 UTC, after the demo's messages
    extra = [(LONG_NUMBER, start + i * 600000, i % 3 != 0, "长对话第 %d 条 message %d" % (i, i))
             for i in range(5000)]
    extra += [(HOSTILE_NUMBER, start + 5000 * 600000 + i * 1000, True, t)
              for i, t in enumerate(HOSTILE_TEXTS)]
    sms = os.path.join(work, "extra.xml")
    with open(sms, "w", encoding="utf-8") as f:
        f.write(android_sms(extra))
    history = os.path.join(work, "history.db")
    backup = os.path.join(device, "Storage Card", "vardelbackup")
    subprocess.run([vardel, "history", "add", "--history", history, backup, sms], check=True,
                   stdout=subprocess.DEVNULL, env=env)
    return history


class View:
    """`vardel history view --no-browser` running on a history."""

    def __init__(self, vardel, history):
        self.proc = subprocess.Popen([vardel, "history", "view", "--history", history,
                                      "--no-browser"], stdout=subprocess.PIPE, text=True)
        self.url = self.proc.stdout.readline().strip()
        assert self.url.startswith("http://127.0.0.1:"), self.url
        parts = urllib.parse.urlsplit(self.url)
        self.port = parts.port
        self.token = parts.path.strip("/")

    def end(self):
        self.proc.terminate()  # as Ctrl-C or a logout ends it
        rest = self.proc.stdout.read()
        status = self.proc.wait(10)
        assert status == 0, "view ended with %d" % status
        assert "ended" in rest, rest


def raw_get(port, path, host):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
    c.putrequest("GET", path, skip_host=True)
    c.putheader("Host", host)
    c.endheaders()
    r = c.getresponse()
    return r.status, r.read()


# --- the checks ------------------------------------------------------------------

def check_conversations(b, view):
    b.go(view.url)
    b.wait("document.querySelectorAll('.conv').length > 30", "the conversations")
    names = b.js("[...document.querySelectorAll('.conv .name')].map(e => e.firstChild"
                 ".textContent)")
    for demo_name in ("张伟", "李娜", "O'Brien, Siobhan", "Müller, Jürgen"):
        assert demo_name in names, (demo_name, names)
    assert b.js("document.documentElement.lang") == "zh-CN"
    # Newest first: the markup messages came last.
    assert names[0] == HOSTILE_NUMBER, names[:3]
    b.type_into("#filter", "张伟")
    b.wait("document.querySelectorAll('.conv').length === 1", "the filter")
    assert b.js("document.querySelector('.conv .name').firstChild.textContent") == "张伟"


def check_search(b, view):
    b.go(view.url + "#/search")
    b.wait("document.querySelector('#query') !== null", "the search box")
    for query, found in (("验证码", "您的验证码是"), ("running LATE", "Running late")):
        b.type_into("#query", query)
        b.wait("document.querySelectorAll('.hit').length > 0 && [...document.querySelectorAll"
               "('.hit-text')].every(e => e.textContent.includes(%s))" % json.dumps(found),
               "hits for " + query)
        marks = b.js("[...document.querySelectorAll('.hit mark')].map(e => e.textContent)")
        assert marks and all(m.lower() == query.lower() for m in marks), marks
        names = b.js("[...document.querySelectorAll('.hit .name')].map(e => e.textContent)")
        assert any(n and not n[0].isdigit() for n in names), names  # a contact's name
        hit = b.js("document.querySelector('.hit').dataset.id")
        b.click(".hit a")
        b.wait("document.querySelector('.msg.anchor') !== null", "the message opened")
        assert b.js("document.querySelector('.msg.anchor').dataset.id") == hit
        assert found in b.js("document.querySelector('.msg.anchor .bubble').textContent")
        b.go(view.url + "#/search")
        b.wait("document.querySelector('#query') !== null", "the search box")


def check_long_conversation(b, view):
    b.go(view.url + "#/c/" + LONG_NUMBER)
    b.wait("document.querySelectorAll('.msg').length > 0", "the conversation")
    first = b.js("document.querySelectorAll('.msg').length")
    assert first < 200, first  # a page, not the whole of it
    last = b.js("[...document.querySelectorAll('.bubble')].pop().textContent")
    assert last.startswith("长对话第 4999 条"), last
    for _ in range(6):
        b.call("Input.dispatchMouseEvent", {"type": "mouseWheel", "x": 500, "y": 300,
                                            "deltaX": 0, "deltaY": -5000}, session=True)
        time.sleep(0.15)
    b.wait("document.querySelectorAll('.msg').length >= %d" % (first * 3), "older pages")
    texts = b.js("[...document.querySelectorAll('.bubble')].map(e => e.textContent)")
    numbers = [int(t.split(" ")[1]) for t in texts]
    assert numbers == list(range(numbers[0], 5000)), "older pages out of order or repeated"
    days = b.js("document.querySelectorAll('.day').length")
    assert days >= len(texts) // 150, days  # 144 messages a day
    # A day far back opens there, and the page goes on below it.
    b.go(view.url + "#/c/%s/d/2010-01-02" % LONG_NUMBER)
    b.wait("document.querySelector('.msg.anchor') !== null", "the day")
    assert b.js("document.querySelector('.msg.anchor .bubble').textContent").startswith(
        "长对话第 144 条")


def check_markup_is_text(b, view):
    b.go(view.url + "#/c/" + HOSTILE_NUMBER)
    b.wait("document.querySelectorAll('.msg').length === 2", "the markup messages")
    texts = b.js("[...document.querySelectorAll('.bubble')].map(e => e.textContent)")
    assert texts == HOSTILE_TEXTS, texts
    assert b.js("document.querySelectorAll('main img, main script').length") == 0
    b.go(view.url + "#/search?q=onerror")
    b.wait("document.querySelectorAll('.hit').length === 1", "the markup hit")
    assert b.js("document.querySelector('.hit-text').textContent") == HOSTILE_TEXTS[1]
    assert b.js("document.querySelectorAll('main img').length") == 0
    assert b.js("typeof window.__pwned") == "undefined"


class OtherSite(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"<!doctype html><title>elsewhere</title><p>another site"
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def check_nothing_for_others(b, view):
    api = view.url + "api/conversations"
    # Without the token, with a foreign or rebinding Host: nothing.
    for path in ("/api/conversations", "/" + view.token[:-1] + "/api/conversations", "/"):
        status, body = raw_get(view.port, path, "127.0.0.1:%d" % view.port)
        assert status == 403 and body == b"", (path, status)
    for host in ("evil.example:%d" % view.port, "127.0.0.1.nip.io:%d" % view.port,
                 "127.0.0.1:%d" % (view.port + 1)):
        status, body = raw_get(view.port, urllib.parse.urlsplit(api).path, host)
        assert status == 403 and body == b"", (host, status)
    status, _ = raw_get(view.port, urllib.parse.urlsplit(api).path, "localhost:%d" % view.port)
    assert status == 200

    # A page of another origin in the same browser, even knowing the address.
    # Threads: Chromium opens spare connections that a lone thread would wait on.
    other = http.server.ThreadingHTTPServer(("127.0.0.1", 0), OtherSite)
    threading.Thread(target=other.serve_forever, daemon=True).start()
    try:
        b.go("http://127.0.0.1:%d/" % other.server_address[1])
        read = b.js("fetch(%s).then(r => r.text()).then(t => 'read ' + t.length,"
                    " e => 'refused')" % json.dumps(api))
        assert read == "refused", read
        blind = b.js("fetch(%s, {mode: 'no-cors'}).then(r => r.type + ' ' + r.status,"
                     " e => 'refused')" % json.dumps(api))
        assert blind in ("refused", "opaque 0"), blind
        # Loaded as a script, which needs no CORS: the server itself refuses.
        script = b.js("new Promise(done => { const s = document.createElement('script');"
                      " s.src = %s; s.onload = () => done('ran'); s.onerror = () =>"
                      " done('refused'); document.head.append(s); })"
                      % json.dumps(view.url + "app.js"))
        assert script == "refused", script
    finally:
        other.shutdown()
    # The server's own page without the token gets nothing either.
    b.go(view.url)
    assert b.js("fetch('/api/conversations').then(r => r.status)") == 403


def take_screenshots(b, view, folder):
    shots = [("history-conversations.png", "", ".conv"),
             ("history-conversation.png", "#/c/13800110866", ".msg"),
             ("history-search.png", "#/search?q=birthday", ".hit"),
             ("history-contacts.png", "#/contacts", ".contact"),
             ("history-contact.png", "#/contact/" + urllib.parse.quote("张伟"), ".version")]
    for name, where, ready in shots:
        b.go(view.url + where)
        b.wait("document.querySelector(%s) !== null" % json.dumps(ready), name)
        time.sleep(0.3)
        # As tall as the page's content (at most 1400), ending below the last
        # whole row, so nothing is cut at either edge.
        height = b.js("""(() => {
            const scroll = document.querySelector('.scroll');
            const top = scroll.getBoundingClientRect().top;
            const want = Math.min(Math.max(760, top + scroll.scrollHeight), 1400);
            let best = 0;
            for (const e of scroll.querySelectorAll('.list > li, .msg, .card, .more')) {
              const bottom = e.getBoundingClientRect().bottom + scroll.scrollTop;
              if (bottom <= want && bottom > best) best = bottom;
            }
            return Math.ceil(best ? best + 10 : want);
          })()""")
        b.call("Emulation.setDeviceMetricsOverride",
               {"width": 1100, "height": height, "deviceScaleFactor": 1, "mobile": False},
               session=True)
        b.js("document.querySelector('.scroll').scrollTop = 0")
        time.sleep(0.2)
        b.screenshot(os.path.join(folder, name))
        b.call("Emulation.setDeviceMetricsOverride",
               {"width": 1100, "height": 760, "deviceScaleFactor": 1, "mobile": False},
               session=True)
        print("wrote", os.path.join(folder, name))


def time_first_screens(b, view):
    conversations = "document.querySelectorAll('.conv').length > 0"
    started = time.monotonic()
    b.go(view.url)
    b.wait(conversations, "the conversations", timeout=30)
    shown = time.monotonic() - started
    count = b.js("document.querySelectorAll('.conv').length")
    print("conversations (first %d) shown in %.0f ms" % (count, shown * 1000))
    time.sleep(1)  # the rest of the list
    key = b.js("[...document.querySelectorAll('.conv .meta')].map(e => parseInt(e.textContent))"
               ".reduce((best, n, i, all) => n > all[best] ? i : best, 0)")
    href = b.js("document.querySelectorAll('.conv a')[%d].getAttribute('href')" % key)
    started = time.monotonic()
    b.go(view.url + href)
    b.wait("document.querySelectorAll('.msg').length > 0", "the conversation", timeout=30)
    print("longest conversation's first page shown in %.0f ms" %
          ((time.monotonic() - started) * 1000))
    started = time.monotonic()
    b.go(view.url + "#/search?q=" + urllib.parse.quote("验证码"))
    b.wait("document.querySelectorAll('.hit').length > 0", "the hits", timeout=30)
    print("search 验证码 shown in %.0f ms" % ((time.monotonic() - started) * 1000))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--vardel", required=True)
    p.add_argument("--require-chromium", action="store_true")
    p.add_argument("--screenshots")
    p.add_argument("--first-screen", metavar="HISTORY")
    a = p.parse_args()
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        if a.require_chromium:
            print("chromium is not installed (scripts/install-deps installs it)")
            return 1
        print("skipped: chromium is not installed")
        return 0

    with tempfile.TemporaryDirectory(prefix="vardel-browser-") as work:
        # A history that is not there is a usage error, before any server.
        r = subprocess.run([a.vardel, "history", "view", "--history",
                            os.path.join(work, "none.db"), "--no-browser"],
                           capture_output=True, text=True)
        assert r.returncode == 2 and "no history" in r.stderr, (r.returncode, r.stderr)

        history = a.first_screen or make_history(a.vardel, work)
        view = View(a.vardel, history)
        b = Chromium(chromium, os.path.join(work, "profile"))
        try:
            if a.screenshots:
                take_screenshots(b, view, a.screenshots)
                return 0
            if a.first_screen:
                time_first_screens(b, view)
                return 0
            checks = [check_conversations, check_search, check_long_conversation,
                      check_markup_is_text, check_nothing_for_others]
            for check in checks:
                started = time.monotonic()
                check(b, view)
                print("ok  %-28s %.1f s" % (check.__name__, time.monotonic() - started))
        finally:
            b.close()
            view.end()
    return 0


if __name__ == "__main__":
    sys.exit(main())
