# SPDX-License-Identifier: GPL-3.0-or-later
"""A web station (Chromium, driven by its buttons) and a desktop station (driven by clicks through
its test control) call each other through one exchange, from hosts of their own: each receives the
other's individual call and acknowledgement. Before that, from the same host: a page without the
class code is told it needs one, and the class code does not open the console's data. All over
https (--tls), with a certificate signed by the school's own authority. Then voice on
16: the page's microphone (a fake one playing a tone) is heard from the desktop station's
loudspeaker (a private PulseAudio null sink, recorded), and the desktop station's microphone (a tone
played into its source) is played by the page.
Usage: desktop_web_test.py BIN_DIR WORK_DIR DESKTOP_MMSI KEY_POSITIONS [SCREENSHOT_DIR]
"""
import base64
import hashlib
import os
import re
import ssl
import socket
import sys
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "console"))
from browser_test import viewport, waited  # noqa: E402
from station_browser_test import chrome, click, lcd  # noqa: E402
from station_voice_test import tone  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
import array  # noqa: E402
import math  # noqa: E402
import subprocess  # noqa: E402

WORK, DESKTOP, KEYS = sys.argv[2], sys.argv[3], sys.argv[4]
SHOTS = sys.argv[5] if len(sys.argv) > 5 and sys.argv[5] else None
EXCHANGE = "https://10.77.0.11:8080"
WEB, CODE = "274111101", "k7m2qp"
POS = dict(re.findall(r'KEYPOS\[(\w+)\]="([0-9 ]+)"', open(KEYS).read()))


def spki():
    """The SHA-256 of the exchange's public key, base64, as Chromium names a trusted key."""
    pub = subprocess.run(["openssl", "pkey", "-in", os.path.join(WORK, "exchange.key"), "-pubout", "-outform", "DER"],
                         capture_output=True, check=True).stdout
    return base64.b64encode(hashlib.sha256(pub).digest()).decode()


def ctl(command, ceiling=30):
    """One command to the desktop station's control socket."""
    end = time.monotonic() + ceiling
    while True:
        try:
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            s.settimeout(10)
            s.connect(os.path.join(WORK, DESKTOP + ".sock"))
            s.sendall(command.encode() + b"\n")
            s.shutdown(socket.SHUT_WR)
            out = b""
            while chunk := s.recv(4096):
                out += chunk
            s.close()
            return out.decode("utf-8", "replace")
        except OSError:
            if time.monotonic() > end:
                raise
            time.sleep(0.1)


def press(*keys):
    for k in keys:
        ctl("click " + POS[k])


def desktop_shows(text, ceiling=30):
    start = time.monotonic()
    while time.monotonic() - start < ceiling:
        out = ctl("dump")
        if text in out:
            print(f"ok: the desktop station shows {text!r} after {1000 * (time.monotonic() - start):.0f} ms", flush=True)
            return
        time.sleep(0.1)
    raise RuntimeError(f"the desktop station lacks {text!r}:\n{out}")


def main():
    global SCHOOL
    # What the school's PCs trust: its own certificate authority.
    SCHOOL = ssl.create_default_context(cafile=os.path.join(WORK, "ca.pem"))
    failures = []
    ctl("dump", 60)
    # The exchange is up once its console answers.
    end = time.monotonic() + 60
    while True:
        try:
            urllib.request.urlopen(EXCHANGE + "/station", timeout=5, context=SCHOOL).read()
            break
        except OSError:
            if time.monotonic() > end:
                raise
            time.sleep(0.2)
    try:
        urllib.request.urlopen(f"{EXCHANGE}/api/stations?token={CODE}", timeout=10, context=SCHOOL)
        failures.append("the class code opened the console's station list")
    except urllib.error.HTTPError as e:
        print(f"ok: the class code does not open the console's data ({e.code})")

    work = os.path.join(WORK, "browser")
    os.makedirs(work, exist_ok=True)
    mic = os.path.join(work, "tone.wav")
    tone(mic)
    driver = chrome(work, "profile", ["--use-fake-device-for-media-stream", "--use-fake-ui-for-media-stream",
                                      f"--use-file-for-fake-audio-capture={mic}",
                                      # The school's certificate authority, trusted as its PCs would: by
                                      # the exchange's key (headless Chromium has no certificate store).
                                      f"--ignore-certificate-errors-spki-list={spki()}"])
    try:
        viewport(driver, 1280, 720)
        driver.get(EXCHANGE + "/station")
        waited("a page without the class code is told it needs one",
               lambda d: "class code" in d.find_element(By.ID, "notice").text, 30, driver)
        driver.get(f"{EXCHANGE}/station?code={CODE}")
        waited("the page with the class code is live", lambda d: d.find_element(By.ID, "link").text == "connected"
               and d.find_element(By.ID, "own-mmsi").text == WEB and any(l.strip() for l in lcd(d)), 30, driver)

        # The web station calls the desktop station on 77; the desktop acknowledges ABLE.
        click(driver, "routine")
        for d in DESKTOP:
            click(driver, d)
        click(driver, "ok")
        for d in "77":
            click(driver, d)
        waited("the web station's ready screen", lambda d: any("77" in l for l in lcd(d)), 30, driver)
        click(driver, "tx")
        desktop_shows("-RECEIVED INDIVIDUAL CALL-")
        desktop_shows(f"From     = {WEB}")
        press("imgENT", "imgENT", "btnTX")
        waited("the desktop's acknowledgement on the web station's LCD",
               lambda d: any("RECEIVED INDIVIDUAL ACK" in l for l in lcd(d)) and any(DESKTOP in l for l in lcd(d)),
               30, driver)

        # The desktop station calls the web station; the web station acknowledges ABLE.
        click(driver, "esc")
        press("imgESC", "btnRoutine", *[f"num{d}" for d in WEB], "num11", "num7", "num7")
        desktop_shows("77")
        press("btnTX")
        waited("the desktop's call on the web station's LCD",
               lambda d: any("RECEIVED INDIVIDUAL CALL" in l for l in lcd(d)) and any(DESKTOP in l for l in lcd(d)),
               30, driver)
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, "station-received-call.png"))
        for k in ("ent", "ent"):
            click(driver, k)
        waited("the web station's acknowledgement is ready", lambda d: any("DSC TX" in l or "ACK" in l for l in lcd(d)),
               30, driver)
        click(driver, "tx")
        desktop_shows("-RECEIVED INDIVIDUAL ACK-")
        desktop_shows("ABLE TO COMPLY")
        click(driver, "esc")
        press("imgESC")
        # Both on channel 16 (the calls moved them to their working channel).
        click(driver, "ch16")
        press("imgCH16")
        out = ctl("panel")
        print("   desktop panel: " + out.replace("\n", " | "))

        # The page talks on 16: the desktop station's loudspeaker plays the tone.
        waited("the page's microphone is on", lambda d: d.execute_script("return Station.micOk") is True, 30, driver)
        ear = subprocess.Popen(["parec", "-d", "kelvo_sink.monitor", "--rate=22050", "--channels=1",
                                "--format=s16le", "--raw"], stdout=subprocess.PIPE)
        ptt = driver.find_element(By.CSS_SELECTOR, 'button[data-key="ptt"]')
        ActionChains(driver).click_and_hold(ptt).perform()
        # On the air once the station has finished what it was doing (its pauses) and opened the
        # microphone: the key shows its transmitting picture.
        waited("the station is on the air", lambda d: ptt.get_attribute("data-picture") == "5", 30, driver)
        on_air = driver.execute_script("return Station.micSent")
        waited("the page sends two seconds of its microphone",
               lambda d: d.execute_script("return Station.micSent") - on_air > 32000, 30, driver)
        ActionChains(driver).release(ptt).perform()
        # Loud 20 ms stretches (RMS over 1000) of what the loudspeaker played, until a second of them.
        loud = 0
        end = time.monotonic() + 30
        while loud < 50 and time.monotonic() < end:
            block = array.array("h", ear.stdout.read(882))
            if block and math.sqrt(sum(x * x for x in block) / len(block)) > 1000:
                loud += 1
        ear.kill()
        print("   desktop counts: " + ctl("counts").replace("\n", " | "))
        if loud < 50:
            failures.append(f"the desktop station's loudspeaker played {loud * 20} ms of the page's voice")
        else:
            print(f"ok: the desktop station's loudspeaker played a second of the page's voice")

        # The desktop station talks on 16 (a tone into its microphone) once the page's transmission
        # has ended there (its lamp is off): the page plays it.
        end = time.monotonic() + 30
        while "led -1" not in ctl("panel") and time.monotonic() < end:
            time.sleep(0.1)
        before = driver.execute_script("return Station.voiceHeard")
        mouth = subprocess.Popen(["paplay", "-d", "kelvo_mic", mic])
        ctl("press " + POS["btnAudio"])
        try:
            waited("the page plays the desktop station's voice",
                   lambda d: d.execute_script("return Station.voiceHeard") - before > 22050, 60, driver)
            level = driver.execute_script("return Station.voiceLevel")
            print(f"   the page's last voice level {level:.3f}")
        finally:
            ctl("release " + POS["btnAudio"])
            mouth.kill()
    finally:
        driver.quit()
    with open(os.path.join(WORK, "exchange.log")) as log:
        print("   the exchange's voice lines: " + " | ".join(l.strip() for l in log if "voice ch" in l))
    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("PASS")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
