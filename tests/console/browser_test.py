"""The instructor's console in a real browser (headless Chromium driven by chromedriver).

Starts kelvo-exchange with a console, a virtual coast station and a short exercise, then checks what
the instructor meets: the page loads, a record sent to the exchange appears in the traffic within a
second, the form sends a record that a listening socket receives byte for byte, the exercise starts
from the page, and the evaluation report lists the acknowledged call with its response time.
Usage: browser_test.py BIN_DIR [SCREENSHOT_DIR]. Exit 77 when Chromium is missing.
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
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


def viewport(driver, width, height):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})


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
    exchange = subprocess.Popen(
        [os.path.join(BIN, "kelvo-exchange"), "--local", "--listen-port", str(udp_in), "--station-port",
         str(station_port), "--reply-delay", "0.6", "--exercise", exercise, "--log", log,
         "--console", f"127.0.0.1:{http}"], stdout=subprocess.PIPE, text=True)
    base = f"http://127.0.0.1:{http}/"
    for _ in range(50):
        try:
            urllib.request.urlopen(base + "api/meta", timeout=1)
            break
        except OSError:
            time.sleep(0.1)

    opts = webdriver.ChromeOptions()
    opts.binary_location = CHROME
    for a in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--disable-dev-shm-usage", "--window-size=1280,720", f"--user-data-dir={work}/profile"):
        opts.add_argument(a)
    driver = webdriver.Chrome(service=Service(DRIVER), options=opts)
    failures = []
    try:
        viewport(driver, 1280, 720)
        driver.get(base)
        wait = WebDriverWait(driver, 10, poll_frequency=0.02)
        wait.until(lambda d: d.find_element(By.ID, "link").text == "live")
        print("ok: the page loads and its live stream is up")

        # A trainee calls the coast station: the row appears within a second.
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        call = record(TRAINEE, COAST, "INDIVID ", "ROUTINE ")
        sent = time.monotonic()
        sender.sendto(call, ("127.0.0.1", udp_in))
        WebDriverWait(driver, 1.0, poll_frequency=0.02).until(
            lambda d: TRAINEE in d.find_element(By.ID, "traffic").text)
        print(f"ok: the trainee's call is in the traffic after {1000 * (time.monotonic() - sent):.0f} ms")

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
        WebDriverWait(driver, 6, poll_frequency=0.05).until(
            lambda d: d.find_elements(By.CSS_SELECTOR, "#traffic tr.distress"))
        wait.until(lambda d: d.find_element(By.ID, "distress-banner").is_displayed())
        print("ok: the exercise's distress alert is highlighted")
        # The trainee acknowledges the coast station's safety call and a position request is open.
        sender.sendto(record(TRAINEE, COAST, "INDIVID ", "ROUT_ACK", ch="12", comply="Y"), ("127.0.0.1", udp_in))
        sender.sendto(record(TRAINEE, "211222333", "INDIVID ", "POS_REQ "), ("127.0.0.1", udp_in))
        time.sleep(1.5)
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, "console-1280x720.png"))
            viewport(driver, 820, 1180)
            time.sleep(0.3)
            driver.save_screenshot(os.path.join(SHOTS, "console-tablet.png"))
            viewport(driver, 1280, 720)

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
    finally:
        driver.quit()
        exchange.terminate()
        out, _ = exchange.communicate(timeout=10)
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
    sys.exit(main())
