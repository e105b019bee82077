# SPDX-License-Identifier: GPL-3.0-or-later
"""The instructor's console in a real browser (headless Chromium driven by chromedriver).

Starts kelvo-exchange with a console, a virtual coast station and a short exercise, then checks what
the instructor meets: the page loads, a record sent to the exchange appears in the traffic, the
form sends a record that a listening socket receives byte for byte, the exercise starts from the
page, a voice transmission lights its channel and is heard by the page listening to it, a page of
another site cannot open the console's sockets, and the evaluation report lists the acknowledged
call with its response time and the recording (on paper: its file's name, once). The browser's
log stays empty throughout. Every wait is for the event itself, with a generous ceiling.
Usage: browser_test.py BIN_DIR [SCREENSHOT_DIR]. Exit 77 when Chromium is missing.
"""
import base64
import faulthandler
import http.server
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError:
    print("FAIL: python3-selenium missing (scripts/install-deps.sh installs it)")
    sys.exit(1)

BIN = sys.argv[1]
SHOTS = sys.argv[2] if len(sys.argv) > 2 else None
CHROME = shutil.which("chromium") or shutil.which("chromium-browser")
DRIVER = shutil.which("chromedriver")
if not CHROME or not DRIVER:
    print("SKIP: chromium or chromedriver missing")
    sys.exit(77)

TRAINEE, COAST = "274111001", "002470001"


def free_port(kind=socket.SOCK_STREAM):
    s = socket.socket(socket.AF_INET, kind)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def record(tx, rx, call, cat, ch="72", comply="N", danger="00"):
    return (f"TXMMSI={tx},RXMMSI={rx},CALL={call},CATEGORY={cat},DANGER={danger},LATD=00,LATM=00,NS=N,"
            f"LOND=000,LONM=00,EW=E,TIME=00:00,CH={ch},COMPLY={comply}").encode()


def _crc_table():
    table = []
    for i in range(256):
        c = i
        for _ in range(8):
            c = (0xEDB88320 ^ (c >> 1)) if c & 1 else c >> 1
        table.append(c)
    table[0] = 0xAA
    return table


CRC_TABLE = _crc_table()


def voice_datagram(body):
    """A voice datagram from its bytes after the check byte: the check byte put in front."""
    crc = 0xFFFFFFFF
    for b in b"\0" + body:
        crc = CRC_TABLE[(crc ^ b) & 0xFF] ^ (crc >> 8)
    check = (crc ^ (crc >> 8) ^ (crc >> 16) ^ (crc >> 24)) & 0xFF
    return bytes([check]) + body


def talk(port, packets, blocks=5):
    """A station's transmission: an announcement (GSM 6.10, 22050 Hz, epoch 3), then audio packets
    of GSM blocks at about the real rate (any 65 bytes are a block the decoder takes)."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.sendto(voice_datagram(bytes([0x23, 49, 0, 0x22, 0x56, 0, 1]) + bytes(12)), ("127.0.0.1", port))
    for seq in range(1, packets + 1):
        payload = bytes((i * 37 + seq) & 0xFF for i in range(65 * blocks))
        head = bytes([0x40 | (len(payload) >> 8), len(payload) & 0xFF, ((seq % 16) << 4) | (3 << 2) | 2])
        s.sendto(voice_datagram(head + payload + bytes(14)), ("127.0.0.1", port))
        time.sleep(blocks * 320 / 22050)
    s.close()


def free_voice_base():
    for base in range(42000 + os.getpid() % 97 * 100, 64000, 991):
        try:
            socks = []
            for off in (9, 16, 23, 77, 84, 123, 184):
                s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                socks.append(s)
                s.bind(("0.0.0.0", base + off))
            return base
        except OSError:
            pass
        finally:
            for s in socks:
                s.close()
    raise RuntimeError("no free voice ports")


def viewport(driver, width, height):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})


def waited(what, condition, ceiling, driver, poll=0.02):
    """Waits for `condition`, a function of the driver; prints how long it took."""
    t = time.monotonic()
    WebDriverWait(driver, ceiling, poll_frequency=poll).until(condition)
    took = time.monotonic() - t
    print(f"ok: {what} after {1000 * took:.0f} ms", flush=True)
    return took


def browser_log(driver, failures, allowed=()):
    """The browser's log since the last look: anything but `allowed` is a failure."""
    for entry in driver.get_log("browser"):
        if entry["message"].startswith("chrome://"):   # the browser's own new-tab page
            continue
        if not any(re.search(a, entry["message"]) for a in allowed):
            failures.append("the browser logged: " + entry["message"])


class Output:
    """The exchange's output, read as it comes (a pipe left unread would stop it)."""

    def __init__(self, stream):
        self.lines, self.cond = [], threading.Condition()
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            with self.cond:
                self.lines.append(line)
                self.cond.notify_all()

    def wait_for(self, pattern, ceiling):
        with self.cond:
            if not self.cond.wait_for(lambda: any(re.search(pattern, l) for l in self.lines), ceiling):
                raise RuntimeError(f"the exchange did not say {pattern!r} within {ceiling} s:\n" + "".join(self.lines))

    def text(self):
        with self.cond:
            return "".join(self.lines)


# A page of another site: it tries the console's sockets and notes what they bring.
STRANGER = """<!doctype html><title>stranger</title><script>
window.result = {messages: 0, ended: 0};
for (const path of ["api/events", "api/listen?channel=16"]) {
  const ws = new WebSocket("ws://127.0.0.1:%d/" + path);
  ws.onmessage = () => { window.result.messages++; };
  ws.onclose = () => { window.result.ended++; };
}
</script>"""


def serve_stranger(console_port):
    """Serves STRANGER from another port of this host (another origin); returns the server."""
    page = (STRANGER % console_port).encode()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)

        def log_message(self, *args):
            pass

    # A connection of its own per request: Chromium opens spare connections it may never use, and a
    # server that reads them one at a time cannot stop until Chromium drops them (a minute).
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def channel_classes(driver, channel):
    """The classes of a channel's tile, read in one script: the page redraws the tiles as the
    channels change, so an element found first and read after may already be gone."""
    return driver.execute_script(
        "const t = document.querySelector('.channel[data-channel=\"' + arguments[0] + '\"]');"
        "return t ? Array.from(t.classList) : [];", str(channel))


def main():
    work = tempfile.mkdtemp()
    udp_in = free_port(socket.SOCK_DGRAM)
    station = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    station.bind(("127.0.0.1", 0))
    station_port = station.getsockname()[1]
    http = free_port()
    exercise = os.path.join(work, "drill.txt")
    with open(exercise, "w") as f:
        f.write(f"coast Coast-Radio {COAST} pos 44 24 N 008 55 E channel 12\n"
                "ship Aurora 211222333 pos 43 52 N 009 30 E channel 72\n"
                "at 0:01 Coast-Radio allships SAFETY channel 16\n"
                "at 0:02 Aurora distress 2\n")
    log = os.path.join(work, "course.jsonl")
    voice_base = free_voice_base()
    exchange = subprocess.Popen(
        [os.path.join(BIN, "kelvo-exchange"), "--local", "--listen-port", str(udp_in), "--station-port",
         str(station_port), "--reply-delay", "0.6", "--exercise", exercise, "--log", log,
         "--console", f"127.0.0.1:{http}", "--record", os.path.join(work, "voice"),
         "--voice-base-port", str(voice_base), "--silent-partners"], stdout=subprocess.PIPE, text=True)
    output = Output(exchange.stdout)
    base = f"http://127.0.0.1:{http}/"
    output.wait_for("listening on UDP port", 60)

    opts = webdriver.ChromeOptions()
    opts.binary_location = CHROME
    for a in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--disable-dev-shm-usage", "--window-size=1280,720", f"--user-data-dir={work}/profile",
              "--autoplay-policy=no-user-gesture-required"):
        opts.add_argument(a)
    opts.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(DRIVER), options=opts)
    failures = []
    try:
        viewport(driver, 1280, 720)
        driver.get(base)
        wait = WebDriverWait(driver, 30, poll_frequency=0.02)
        waited("the page loads and its live stream is up",
               lambda d: d.find_element(By.ID, "link").text == "live", 30, driver)

        # A page of another site cannot open the console's sockets (this host's loopback is the
        # console's only address, but another port is another origin).
        stranger = serve_stranger(http)
        driver.get(f"http://127.0.0.1:{stranger.server_port}/")
        waited("a page of another site has its sockets closed or hears the console",
               lambda d: d.execute_script("return window.result && (window.result.ended == 2 || window.result.messages > 0)"),
               30, driver)
        heard = driver.execute_script("return window.result.messages")
        if heard:
            failures.append(f"a page of another site read {heard} messages from the console's sockets")
        browser_log(driver, failures, allowed=(r"WebSocket connection to .* failed",))
        stranger.shutdown()
        driver.get(base)
        waited("the console is live again", lambda d: d.find_element(By.ID, "link").text == "live", 30, driver)

        # A trainee calls the coast station: the row appears in the traffic.
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        call = record(TRAINEE, COAST, "INDIVID ", "ROUTINE ")
        sender.sendto(call, ("127.0.0.1", udp_in))
        waited("the trainee's call is in the traffic", lambda d: TRAINEE in d.find_element(By.ID, "traffic").text,
               30, driver)

        # The instructor's form: the previewed text is what the station's socket receives.
        station.settimeout(0.2)
        try:
            while True:
                station.recv(1024)   # what the exchange relayed so far
        except socket.timeout:
            pass
        driver.find_element(By.ID, "open-send").click()
        form = driver.find_element(By.ID, "send-form")
        form.find_element(By.NAME, "from").send_keys(COAST)
        form.find_element(By.NAME, "to").send_keys(TRAINEE)
        Select(form.find_element(By.NAME, "call")).select_by_value("INDIVID")
        Select(form.find_element(By.NAME, "category")).select_by_value("SAFETY")
        ch = form.find_element(By.NAME, "channel")
        ch.clear()
        ch.send_keys("12")
        wait.until(lambda d: "CATEGORY=SAFETY" in d.find_element(By.ID, "preview").text
                   and "CH=12" in d.find_element(By.ID, "preview").text)
        preview = driver.find_element(By.ID, "preview").text
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, "console-send-form.png"))
        driver.find_element(By.ID, "send-submit").click()
        station.settimeout(3)
        got = b""
        while got != preview.encode():
            got = station.recv(1024)
            if b"CATEGORY=SAFETY" in got:
                break
        if got != preview.encode():
            failures.append(f"the station received {got!r}, the form showed {preview!r}")
        else:
            print("ok: the form's record reached the station byte for byte")

        # The exercise, started from the page: its distress alert is shown as distress.
        wait.until(lambda d: d.find_element(By.ID, "ex-start").is_displayed())
        driver.find_element(By.ID, "ex-start").click()
        waited("the exercise's distress alert is in the traffic",
               lambda d: d.find_elements(By.CSS_SELECTOR, "#traffic tr.distress"), 30, driver, poll=0.05)
        waited("the distress alert is highlighted",
               lambda d: d.find_element(By.ID, "distress-banner").is_displayed(), 30, driver)
        # The trainee acknowledges the coast station's safety call and a position request is open.
        sender.sendto(record(TRAINEE, COAST, "INDIVID ", "ROUT_ACK", ch="12", comply="Y"), ("127.0.0.1", udp_in))
        sender.sendto(record(TRAINEE, "211222333", "INDIVID ", "POS_REQ "), ("127.0.0.1", udp_in))
        waited("the acknowledgement and the position request are in the traffic",
               lambda d: "Position request" in d.find_element(By.ID, "traffic").text
               and "able to comply" in d.find_element(By.ID, "traffic").text, 30, driver)
        # The instructor listens to channel 16; a trainee talks on it: the light goes on with the
        # sender, the page plays the sound, and the light goes out after the transmission.
        driver.find_element(By.CSS_SELECTOR, '.channel[data-channel="16"]').click()
        wait.until(lambda d: "listening" in channel_classes(d, 16))
        talker = threading.Thread(target=talk, args=(voice_base + 16, 40))
        started = time.monotonic()
        talker.start()
        WebDriverWait(driver, 30, poll_frequency=0.02).until(
            lambda d: "live" in channel_classes(d, 16))
        lit = time.monotonic() - started
        tile = driver.find_element(By.CSS_SELECTOR, '.channel[data-channel="16"]')
        if "127.0.0.1" not in tile.text:
            failures.append("the live channel does not name its sender: " + tile.text)
        # The screenshot once the page has played some of the sound.
        waited("the page plays the channel", lambda d: d.execute_script("return Voice.heard") > 5 * 5 * 320, 30, driver)
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, "console-voice.png"))
        talker.join()
        heard = int(driver.execute_script("return Voice.heard"))
        if heard < 30 * 5 * 320:
            failures.append(f"the listening page played {heard} samples of {40 * 5 * 320}")
        else:
            print(f"ok: channel 16 lit after {1000 * lit:.0f} ms; the page played {heard} samples")
        # The light goes out when the exchange has ended the transmission (after its silence).
        output.wait_for(r"voice ch 16 from 127\.0\.0\.1", 60)
        waited("the light went out after the transmission ended",
               lambda d: "live" not in channel_classes(d, 16), 30, driver, poll=0.05)
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, "console-1280x720.png"))
            viewport(driver, 820, 1180)
            WebDriverWait(driver, 30).until(lambda d: d.execute_script("return innerWidth") == 820)
            driver.save_screenshot(os.path.join(SHOTS, "console-tablet.png"))
            viewport(driver, 1280, 720)
        browser_log(driver, failures)

        # The report: the trainee's call acknowledged by the coast station, with its response time.
        driver.get(base + "report")
        text = driver.find_element(By.TAG_NAME, "body").text
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, "report.png"))
        rows = [r.text for r in driver.find_elements(By.CSS_SELECTOR, "article.station tr")]
        acked = [r for r in rows if "individual ROUTINE call" in r and "Coast-Radio" in r and " s" in r]
        if not acked or "no answer" in acked[0]:
            failures.append("the report lacks the acknowledged call:\n" + text)
        else:
            print("ok: the report lists the acknowledged call: " + acked[0].replace("\n", " "))
        players = driver.find_elements(By.CSS_SELECTOR, "table.voice audio")
        if len(players) != 1 or "-ch16-127.0.0.1.wav" not in players[0].get_attribute("src"):
            failures.append("the report lacks the recorded transmission:\n" + text)
        else:
            ok = driver.execute_async_script(
                "const done = arguments[0]; const a = document.querySelector('table.voice audio');"
                "a.onloadedmetadata = () => done(a.duration); a.onerror = () => done(-1); a.load();")
            if not ok or ok < 0.5:
                failures.append(f"the report's player cannot load the recording (duration {ok})")
            else:
                print(f"ok: the report plays the recording ({ok:.1f} s)")
        # On paper: the transmission once, with its file's name and nothing else under it.
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": "print"})
        voice = driver.find_element(By.CSS_SELECTOR, "table.voice").text
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": ""})
        lines = [l for l in voice.splitlines() if l.strip()]
        if len(lines) != 2 or "-ch16-127.0.0.1.wav" not in lines[1] or "call" in voice.lower():
            failures.append("the printed report's voice transmissions read:\n" + voice)
        else:
            print("ok: printed, the report lists the transmission once with its file: " + lines[1])
        pdf = driver.execute_cdp_cmd("Page.printToPDF", {})["data"]
        pages = len(re.findall(rb"/Type\s*/Page[^s]", base64.b64decode(pdf)))
        print(f"ok: the report prints on {pages} pages")
        browser_log(driver, failures)
    finally:
        driver.quit()
        exchange.terminate()
        exchange.wait(30)
        out = output.text()
    report = os.path.join(work, "course-report.html")
    if not os.path.exists(report) or "Evaluation report" not in open(report).read():
        failures.append("no evaluation report beside the log at the stop:\n" + out)
    else:
        print("ok: the report was written beside the log")
    shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    # Short of the test's ceiling (300 s), every thread's stack: where a stuck run was waiting.
    faulthandler.dump_traceback_later(280, exit=True)
    sys.exit(main())
