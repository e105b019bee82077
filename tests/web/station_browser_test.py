# SPDX-License-Identifier: GPL-3.0-or-later
"""A DSC station in a real browser (headless Chromium), served by kelvo-exchange on loopback.

Drives the page by its buttons as a trainee's mouse does: an individual routine call to the
exchange's coast partner leaves the exchange byte for byte as the station composes it, and the
partner's acknowledgement appears on the page's LCD lines. Then what a trainee meets around it: the
keyboard map works the same panel, the page plays the cue the station asks for, a reload resumes the
same station with its LCD as it was, a bad message from the page closes that page's socket only, a
second page gets the next MMSI of the pool, one beyond the cap is told the classroom is full, and a
closed page's station ends after the linger time. The browser's log stays empty. Every wait is for the event itself, with a generous ceiling.
Usage: station_browser_test.py BIN_DIR [SCREENSHOT_DIR]. Exit 77 when Chromium is missing.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "console"))
from browser_test import (BIN, CHROME, DRIVER, SHOTS, Output, browser_log, free_port,  # noqa: E402
                          free_voice_base, record, viewport, waited)
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

COAST, WEB, SECOND = "002470001", "274111101", "274111102"


def chrome(work, name, extra=()):
    opts = webdriver.ChromeOptions()
    opts.binary_location = CHROME
    for a in (*extra, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--disable-dev-shm-usage", "--window-size=1280,720", f"--user-data-dir={work}/{name}",
              "--autoplay-policy=no-user-gesture-required"):
        opts.add_argument(a)
    opts.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(DRIVER), options=opts)


def lcd(driver):
    """The nine LCD lines, read in one script."""
    return driver.execute_script("return Array.from(document.querySelectorAll('.lcd-line'), e => e.textContent)")


def click(driver, key):
    driver.find_element(By.CSS_SELECTOR, f'button[data-key="{key}"]').click()


def received(sock, want, ceiling):
    """Datagrams delivered to the stations' port until one contains `want`."""
    end = time.monotonic() + ceiling
    while time.monotonic() < end:
        sock.settimeout(max(0.05, end - time.monotonic()))
        try:
            data = sock.recv(4096)
        except socket.timeout:
            break
        if want in data:
            return data
    return None


def main():
    work = tempfile.mkdtemp()
    udp_in = free_port(socket.SOCK_DGRAM)
    stations = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    stations.bind(("127.0.0.1", 0))
    http = free_port()
    exchange = subprocess.Popen(
        [os.path.join(BIN, "kelvo-exchange"), "--local", "--listen-port", str(udp_in), "--station-port",
         str(stations.getsockname()[1]), "--reply-delay", "0.5", "--coast-station", COAST,
         "--console", f"127.0.0.1:{http}", "--voice-base-port", str(free_voice_base()), "--silent-partners",
         "--web-max", "2", "--web-linger", "5"], stdout=subprocess.PIPE, text=True)
    output = Output(exchange.stdout)
    output.wait_for("stations in a browser on", 60)
    base = f"http://127.0.0.1:{http}/station"
    driver = chrome(work, "one")
    other = None
    failures = []
    try:
        viewport(driver, 1280, 720)
        driver.get(base)
        waited("the page is live with its station", lambda d: d.find_element(By.ID, "link").text == "connected"
               and d.find_element(By.ID, "own-mmsi").text == WEB and any(l.strip() for l in lcd(d)), 30, driver)
        keys = driver.execute_script("return Array.from(document.querySelectorAll('button[data-key]'), b => b.dataset.key)")
        expected = ["routine", "safety", "urgency", "distress", "posreq", "group", "cover", "tx", "ptt", "esc",
                    "ent", "up", "down", "clr", "ok", "ch16", "ch9", "ch23", "ch77", "ch84"] + [str(i) for i in range(10)]
        if sorted(keys) != sorted(expected) or len(lcd(driver)) != 9:
            failures.append(f"the page's keys {keys} or its {len(lcd(driver))} LCD lines")
        idle = lcd(driver)
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, "station-idle-1280x720.png"))

        # An individual routine call to the coast partner on 77, by the buttons.
        click(driver, "routine")
        for d in COAST:
            click(driver, d)
        click(driver, "ok")
        for d in "77":
            click(driver, d)
        waited("the ready screen shows channel 77", lambda d: any("77" in l for l in lcd(d)), 30, driver)
        # This browser has no microphone: the page says so, and the rest works on.
        waited("the page says it has no microphone",
               lambda d: "No microphone" in d.find_element(By.ID, "notice").text, 30, driver)
        started = time.monotonic()
        click(driver, "tx")
        want = record(WEB, COAST, "INDIVID ", "ROUTINE ", ch="77")
        got = received(stations, b"TXMMSI=" + WEB.encode(), 30)
        if got != want:
            failures.append(f"the call left as {got!r}, not {want!r}")
        else:
            print(f"ok: the call left byte for byte after {1000 * (time.monotonic() - started):.0f} ms")
        waited("the partner's acknowledgement on the LCD",
               lambda d: any("RECEIVED INDIVIDUAL ACK" in l for l in lcd(d)) and any(COAST in l for l in lcd(d)),
               30, driver)
        print("   LCD: " + " | ".join(l for l in lcd(driver) if l.strip()))
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, "station-ack-1280x720.png"))
        if "ok:" not in output.text() and f"{WEB}" not in output.text():
            failures.append("the exchange's log lacks the web station's call")

        played = driver.execute_script("return Station.cuesPlayed.map(c => c.file)")
        if "tx.wav" not in played or "btn1.wav" not in played:
            failures.append(f"the page played the cues {played}, not the key clicks and the transmission's")
        else:
            waits = sorted(driver.execute_script("return Station.cuesPlayed.map(c => c.started - c.asked)"))
            print(f"ok: the page played {len(played)} cues, the transmission's among them; from the cue's message "
                  f"to its start in the page: median {waits[len(waits) // 2]:.1f} ms")

        # The keyboard: Esc back to the idle screen.
        driver.find_element(By.TAG_NAME, "body").send_keys("\ue00c")   # Escape
        waited("Esc from the keyboard shows the idle screen", lambda d: lcd(d) == idle, 30, driver)

        # A reload resumes the same station, its LCD as it was.
        click(driver, "routine")
        waited("a call screen", lambda d: lcd(d) != idle, 30, driver)
        before = lcd(driver)
        driver.refresh()
        waited("the reloaded page shows the same station and screen",
               lambda d: d.find_element(By.ID, "link").text == "connected" and lcd(d) == before
               and d.find_element(By.ID, "own-mmsi").text == WEB, 30, driver)
        click(driver, "esc")

        # A second page gets the next MMSI of the pool; a third is told the classroom is full.
        other = chrome(work, "two")
        other.get(base)
        waited("a second page gets the next MMSI", lambda d: d.find_element(By.ID, "own-mmsi").text == SECOND,
               30, other)
        first_tab = other.current_window_handle
        # A new tab of its own (noopener: it does not inherit the page's session).
        other.execute_script("window.open(arguments[0], '_blank', 'noopener')", base)
        WebDriverWait(other, 30).until(lambda d: len(d.window_handles) == 2)
        other.switch_to.window([h for h in other.window_handles if h != other.current_window_handle][0])
        waited("a page beyond the cap is told why",
               lambda d: "classroom is full" in d.find_element(By.ID, "notice").text, 30, other)
        browser_log(other, failures, allowed=(r"WebSocket connection to .* failed",))

        # A bad message closes that page's socket only: the station stays, the other page works.
        driver.execute_script("Station.ws.send('down nonsense')")
        waited("the bad page reconnects to its station", lambda d: d.find_element(By.ID, "link").text == "connected"
               and d.find_element(By.ID, "own-mmsi").text == WEB, 30, driver)
        other.switch_to.window(first_tab)
        click(other, "routine")
        waited("the other page still works", lambda d: lcd(d) != idle, 30, other)
        browser_log(driver, failures, allowed=(r"WebSocket connection to .* failed",))

        # The panel at the window's own size (672 x 330), for a look beside the desktop window's
        # screenshot (tests/gui saves idle_panel.png).
        if SHOTS:
            driver.get(base + "?zoom=1")
            waited("the page at the window's size", lambda d: d.find_element(By.ID, "link").text == "connected"
                   and lcd(d) == idle, 30, driver)
            page_shot = os.path.abspath(os.path.join(SHOTS, "station-panel-672x330.png"))
            driver.find_element(By.ID, "panel").screenshot(page_shot)
            window_shot = os.path.abspath(os.path.join(SHOTS, "idle_panel.png"))   # saved by tests/gui (Form1Window.Screenshots)
            if os.path.exists(window_shot):
                side = os.path.join(work, "side.html")
                with open(side, "w") as f:
                    f.write("<body style='margin:0;display:flex;gap:16px;padding:8px;font:14px sans-serif'>"
                            f"<figure style='margin:0'><img src='file://{window_shot}'><figcaption>desktop window"
                            f"</figcaption></figure><figure style='margin:0'><img src='file://{page_shot}'>"
                            "<figcaption>page (/station)</figcaption></figure></body>")
                viewport(driver, 1400, 380)
                driver.get("file://" + side)
                WebDriverWait(driver, 30).until(lambda d: d.execute_script(
                    "return Array.from(document.images).every(i => i.complete && i.naturalWidth == 672)"))
                driver.save_screenshot(os.path.join(SHOTS, "station-beside-window.png"))
                print("ok: the page's panel and the window's saved side by side")
            viewport(driver, 820, 1180)
            WebDriverWait(driver, 30).until(lambda d: d.execute_script("return innerWidth") == 820)
            driver.get(base)
            waited("the page on a tablet", lambda d: d.find_element(By.ID, "link").text == "connected", 30, driver)
            driver.save_screenshot(os.path.join(SHOTS, "station-tablet-820x1180.png"))
            viewport(driver, 1280, 720)

        # The second browser closes: its station ends once the linger time has passed without a page.
        other.quit()
        other = None
        closed = time.monotonic()
        output.wait_for(f"web station {SECOND} ended", 60)
        print(f"ok: the closed page's station ended after {time.monotonic() - closed:.1f} s (linger 5 s)")
        if f"web station {WEB} ended" in output.text():
            failures.append("the station of the page still open ended too")
    finally:
        driver.quit()
        if other:
            other.quit()
        exchange.terminate()
        exchange.wait(30)
    shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
