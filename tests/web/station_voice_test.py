# SPDX-License-Identifier: GPL-3.0-or-later
"""A web station's voice both ways, in headless Chromium with a fake microphone playing a tone.

Holding push-to-talk (the page's button) on channel 16 puts the microphone on the air: the
exchange's watch recorder records a transmission on 16 from the exchange's own host, and what it
recorded is the tone at its own pitch, not silence; also without the browser's track reader, through
the audio graph. A station talking on 16 (voice packets as a desktop station sends them) is played
by the page. Every wait is for the event itself, with a generous ceiling.
Usage: station_voice_test.py BIN_DIR. Exit 77 when Chromium is missing.
"""
import array
import io
import math
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
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "console"))
from browser_test import BIN, Output, free_port, free_voice_base, talk, viewport, waited  # noqa: E402
from station_browser_test import chrome, lcd  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402


def tone(path, seconds=30, rate=48000):
    """A 440 Hz tone at half scale: what the fake microphone says, over and over."""
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(array.array("h", (int(16000 * math.sin(2 * math.pi * 440 * i / rate))
                                        for i in range(seconds * rate))).tobytes())


def samples_of_wav(data):
    """A 16-bit PCM WAV file's samples."""
    with wave.open(io.BytesIO(data)) as w:
        return array.array("h", w.readframes(w.getnframes()))


def rms_of_wav(data):
    """RMS of a 16-bit PCM WAV file's samples, and their count."""
    samples = samples_of_wav(data)
    return math.sqrt(sum(s * s for s in samples) / max(1, len(samples))), len(samples)


def pitch_of_wav(data, rate=22050, expected=440):
    """The tone's frequency in a recording: the median time between rising zero crossings (placed
    between samples, counted only after the wave went well below zero), over whole periods only,
    so a break in the sound does not count as a long period."""
    samples, armed, crossings = samples_of_wav(data), False, []
    for i in range(1, len(samples)):
        if samples[i] < -2000:
            armed = True
        elif armed and samples[i - 1] < 0 <= samples[i]:
            crossings.append(i - 1 + samples[i - 1] / (samples[i - 1] - samples[i]))
            armed = False
    period = rate / expected
    periods = sorted(b - a for a, b in zip(crossings, crossings[1:]) if 0.8 * period < b - a < 1.25 * period)
    return rate / periods[len(periods) // 2] if periods else 0


def ended(output, count, ceiling=60):
    """Waits until the exchange has said `count` transmissions on 16 ended; returns how many it said."""
    end = time.monotonic() + ceiling
    while (said := len(re.findall(r"voice ch 16 from 127\.0\.0\.1", output.text()))) < count:
        if time.monotonic() > end:
            raise RuntimeError(f"the exchange did not end transmission {count} on 16:\n" + output.text())
        time.sleep(0.05)
    return said


def open_page(driver, http):
    driver.get(f"http://127.0.0.1:{http}/station")
    waited("the page is live", lambda d: d.find_element(By.ID, "link").text == "connected"
           and any(l.strip() for l in lcd(d)), 30, driver)
    # A first gesture lets the page have sound and the microphone.
    driver.find_element(By.ID, "panel").click()
    waited("the microphone is on", lambda d: d.execute_script("return Station.micOk") is True, 30, driver)


def talk_from_page(driver, http, work, output, failures, how):
    """Push-to-talk held for over a second on 16: a transmission on 16 from this host, recorded, is
    the fake microphone's tone at its own pitch."""
    done = ended(output, 0)
    ptt = driver.find_element(By.CSS_SELECTOR, 'button[data-key="ptt"]')
    ActionChains(driver).click_and_hold(ptt).perform()
    waited("the station is on the air", lambda d: ptt.get_attribute("data-picture") == "5", 30, driver)
    on_air = driver.execute_script("return Station.micSent")
    waited("the page sends its microphone" + how, lambda d: d.execute_script("return Station.micSent") - on_air > 24000,
           30, driver)
    ActionChains(driver).release(ptt).perform()
    sent = driver.execute_script("return Station.micSent") - on_air
    ended(output, done + 1)
    recordings = sorted(f for f in os.listdir(os.path.join(work, "voice")) if "-ch16-" in f)
    if len(recordings) != done + 1:
        failures.append(f"{len(recordings)} recordings of channel 16 after {done + 1} transmissions")
        return
    wav = urllib.request.urlopen(f"http://127.0.0.1:{http}/api/recordings/{recordings[-1]}", timeout=30).read()
    rms, samples = rms_of_wav(wav)
    pitch = pitch_of_wav(wav)
    if rms < 1000 or samples < 22050 * 0.8:
        failures.append(f"the recording of the page's voice{how} is silent or short: rms {rms:.0f}, {samples} samples")
    elif abs(pitch - 440) > 440 * 0.001:   # a rate taken wrong anywhere on the way, or a sample lost per block
        failures.append(f"the page's 440 Hz tone{how} was recorded at {pitch:.2f} Hz")
    else:
        print(f"ok: the page's microphone{how} was recorded on 16: {samples / 22050:.1f} s, rms {rms:.0f}, "
              f"{pitch:.2f} Hz (page sent {sent / 16000:.1f} s)")


def main():
    work = tempfile.mkdtemp()
    mic = os.path.join(work, "tone.wav")
    tone(mic)
    http = free_port()
    base = free_voice_base()
    exchange = subprocess.Popen(
        [os.path.join(BIN, "kelvo-exchange"), "--local", "--listen-port", str(free_port(socket.SOCK_DGRAM)),
         "--station-port", str(free_port(socket.SOCK_DGRAM)), "--console", f"127.0.0.1:{http}",
         "--voice-base-port", str(base), "--record", os.path.join(work, "voice"), "--silent-partners"],
        stdout=subprocess.PIPE, text=True)
    output = Output(exchange.stdout)
    output.wait_for("stations in a browser on", 60)
    driver = chrome(work, "profile", ["--use-fake-device-for-media-stream", "--use-fake-ui-for-media-stream",
                                      f"--use-file-for-fake-audio-capture={mic}"])
    failures = []
    try:
        viewport(driver, 1280, 720)
        open_page(driver, http)
        talk_from_page(driver, http, work, output, failures, "")

        # A station talks on 16: the page plays it.
        before = driver.execute_script("return Station.voiceHeard")
        talker = threading.Thread(target=talk, args=(base + 16, 40))
        talker.start()
        waited("the station's lamp shows voice received", lambda d: d.find_element(By.ID, "led")
               .get_attribute("data-picture") == "3", 30, driver)
        waited("the page plays the channel", lambda d: d.execute_script("return Station.voiceHeard") - before
               > 20 * 5 * 320, 60, driver)
        talker.join()
        ended(output, 2)

        # The same without the browser's track reader (as in browsers that have none): the
        # microphone goes through the audio graph, in its blocks of 128 samples.
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": "delete window.MediaStreamTrackProcessor;"})
        open_page(driver, http)
        talk_from_page(driver, http, work, output, failures, " through the audio graph")
    finally:
        driver.quit()
        exchange.terminate()
        exchange.wait(30)
    shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
