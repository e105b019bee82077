# SPDX-License-Identifier: GPL-3.0-or-later
"""A browser's microphone to a desktop station's loudspeaker, through real audio devices.

A private PulseAudio server holds one stereo null sink, "the air" (as bench_voice_mouth_to_ear):
its left channel is the mouth (a sink of its own) and, through a remapped monitor, the default
source; its right channel is the default sink. Headless Chromium captures the default source
(PulseAudio, no fake device) in the /station page of a kelvo-exchange on loopback; the page holds
push-to-talk on channel 16; the exchange sends the page's microphone as GSM voice on 16; a desktop
station (kelvo-station, offscreen, same sound server) plays it on its loudspeaker. Tone bursts
(100 ms, one a second) go into the mouth; one recording of the air's monitor holds both ends on
one clock, and each burst's onset on the left to its onset on the right is mouth to ear. The
page's own sounds (key clicks, the channel it listens to) go to a sink off the air.

Where the time goes: the recording is also read as it comes, which places its samples on the wall
clock to a few ms; the page notes when each burst reaches it (where it sends its microphone on);
and, as root, a packet socket on loopback sees each burst's first GSM block go to the desktop
station. So the delay splits into the browser's capture, the page's socket with the exchange's
queue and encoder, and the desktop's jitter buffer with its loudspeaker stream.

Skips, saying why, when pulseaudio, parec, pacat or Chromium is missing, or when another station
holds UDP 8091 and no network namespace of its own can be had.
Usage: python3 bench/bench_web_mic_to_ear.py BUILD/bin [bursts, default 12]   (Debian's python3:
python3-selenium)
"""
import array
import math
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
RATE, QUIET, LOUD = 44100, 44100 // 5, 2000   # the air; 200 ms of quiet before an onset; |x| loud
DESKTOP = "274222002"
ONE = "channels=1 channel_map=mono remix=no master_channel_map="
AIR = f"""load-module module-null-sink sink_name=kelvo_air channels=2 rate=44100
load-module module-remap-sink sink_name=kelvo_mouth master=kelvo_air {ONE}front-left
load-module module-remap-sink sink_name=kelvo_ear master=kelvo_air {ONE}front-right
load-module module-remap-source source_name=kelvo_mic master=kelvo_air.monitor {ONE}front-left
load-module module-null-sink sink_name=kelvo_page
set-default-sink kelvo_ear
set-default-source kelvo_mic
"""
# The page's microphone blocks as they reach the page (where it sends them on): the wall-clock time
# of each block's first loud sample after a quiet stretch, and the capture stream's settings.
PROBE = """
const S = Station, loud = arguments[0];
S.benchOnsets = []; S.benchQuiet = 1e9;
S.microphoneBlock = (orig => function (b, r) {
  const now = performance.timeOrigin + performance.now(), rate = r || S.audio.sampleRate;
  for (let i = 0; i < b.length; i++, S.benchQuiet++)
    if (Math.abs(b[i]) >= loud) {
      if (S.benchQuiet >= rate / 5) S.benchOnsets.push(now - 1000 * (b.length - i) / rate);
      S.benchQuiet = 0;
    }
  return orig.call(this, b, r);
})(S.microphoneBlock);
const t = S.benchStream && S.benchStream.getAudioTracks()[0];
return {rate: S.audio.sampleRate, base: S.audio.baseLatency, track: t ? t.getSettings() : null};
"""


def skip(why):
    print(f"web mic to ear skipped: {why}")
    sys.exit(0)


def dsc_port_free():
    """The desktop station takes UDP 8091 for itself; another station there would stop it with a box."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        try:
            s.bind(("0.0.0.0", 8091))
        except OSError:
            return False
        return True


def onsets(samples, channel):
    """Frames where a loud stretch starts after QUIET quiet frames."""
    out, quiet = [], QUIET
    for frame, x in enumerate(samples[channel::2]):
        if abs(x) >= LOUD:
            if quiet >= QUIET:
                out.append(frame)
            quiet = 0
        else:
            quiet += 1
    return out


class Recorder:
    """parec of the air's monitor, read as it comes: the bytes, and for each read the wall-clock
    time and the bytes so far (the earliest-looking read places sample 0 on the wall clock)."""

    def __init__(self, server):
        self.proc = subprocess.Popen(["parec", f"--server={server}", "--device=kelvo_air.monitor", "--format=s16le",
                                      f"--rate={RATE}", "--channels=2", "--raw", "--latency-msec=10"],
                                     stdout=subprocess.PIPE)
        self.data, self.reads = bytearray(), []
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while chunk := self.proc.stdout.read1(4096):
            self.data += chunk
            self.reads.append((time.time(), len(self.data)))

    def stop(self):
        self.proc.terminate()
        self.thread.join(5)
        self.proc.wait(5)
        samples = array.array("h", bytes(self.data[:len(self.data) // 4 * 4]))
        zero = min(t - n / 4 / RATE for t, n in self.reads)
        return samples, zero


class VoiceTap:
    """Voice datagrams to a port as loopback carries them (a packet socket: root), each GSM block
    with the wall-clock time it went by and its loudest sub-frame's level code (xmaxc, 0 to 63)."""

    def __init__(self, port):
        self.port, self.blocks, self.running = port, [], True
        self.sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(3))
        self.sock.bind(("lo", 0))
        self.sock.settimeout(0.2)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while self.running:
            try:
                frame, addr = self.sock.recvfrom(65536)
            except socket.timeout:
                continue
            t, ip = time.time(), frame[14:]
            if addr[2] == socket.PACKET_OUTGOING or ip[0] >> 4 != 4 or ip[9] != 17:
                continue
            udp = ip[(ip[0] & 15) * 4:]
            data = udp[8:]
            if int.from_bytes(udp[2:4], "big") != self.port or len(data) < 83 or data[1] >> 6 != 1:
                continue
            for k in range(4, len(data) - 14 - 64, 65):   # WAV49 blocks: two frames of 260 bits, LSB first
                bits = int.from_bytes(data[k:k + 65], "little")
                self.blocks.append((t, max((bits >> (f * 260 + 47 + s * 56)) & 63 for f in (0, 1) for s in range(4))))

    def stop(self):
        self.running = False
        self.thread.join(5)
        self.sock.close()
        return self.blocks


def ctl(path, command, ceiling=60):
    """One command to the desktop station's control socket, once it listens."""
    end = time.monotonic() + ceiling
    while True:
        try:
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
                s.settimeout(10)
                s.connect(path)
                s.sendall(command.encode() + b"\n")
                s.shutdown(socket.SHUT_WR)
                return s.makefile("rb").read().decode("utf-8", "replace")
        except OSError:
            if time.monotonic() > end:
                raise
            time.sleep(0.1)


def stats(label, values):
    if values:
        print(f"{label}: median {statistics.median(values):.1f} ms, min {min(values):.1f}, max {max(values):.1f} "
              f"({len(values)})")


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    bin_dir, bursts = os.path.abspath(sys.argv[1]), max(1, int(sys.argv[2])) if len(sys.argv) > 2 else 12
    for tool in ("pulseaudio", "parec", "pacat", "chromium", "chromedriver"):
        if not shutil.which(tool):
            skip(f"{tool} is not installed")
    try:
        import selenium.webdriver  # noqa: F401
    except ImportError:
        skip("python3-selenium is not installed (run with /usr/bin/python3)")
    for prog in ("kelvo-exchange", "kelvo-station"):
        if not os.access(os.path.join(bin_dir, prog), os.X_OK):
            skip(f"no {prog} in {bin_dir}")
    if not dsc_port_free():
        # Another station on this host: run in a network namespace of our own when we may.
        if os.geteuid() == 0 and shutil.which("unshare") and not os.environ.get("KELVO_BENCH_NETNS"):
            os.environ["KELVO_BENCH_NETNS"] = "1"
            os.execvp("unshare", ["unshare", "-n", "sh", "-c", 'ip link set lo up && exec "$0" "$@"', sys.executable,
                                  *sys.argv])
        skip("UDP port 8091 is taken (another station on this host)")
    if os.environ.get("KELVO_BENCH_NETNS"):
        print("in a network namespace of its own: another station holds UDP 8091 on this host")

    sys.path[:0] = [os.path.join(HERE, "..", "tests", "console"), os.path.join(HERE, "..", "tests", "web")]
    from browser_test import Output, free_port, free_voice_base, viewport, waited
    from station_browser_test import chrome, click
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By

    work = tempfile.mkdtemp(prefix="kelvo-webmic-")
    procs, driver = [], None
    try:
        # The sound server, as tests/support/private_pulse.h starts it.
        with open(os.path.join(work, "default.pa"), "w") as f:
            f.write(f"load-module module-native-protocol-unix socket={work}/native auth-anonymous=1\n" + AIR)
        env = dict(os.environ, HOME=work, XDG_RUNTIME_DIR=work, PULSE_RUNTIME_PATH=work)
        procs.append(subprocess.Popen(["pulseaudio", "--daemonize=no", "--system=false", "--exit-idle-time=-1", "-n",
                                       "-F", f"{work}/default.pa", "--use-pid-file=no", "--disable-shm=yes"], env=env))
        end = time.monotonic() + 30
        while not os.path.exists(f"{work}/native") and time.monotonic() < end:
            time.sleep(0.1)
        if not os.path.exists(f"{work}/native"):
            skip("the sound server made no socket")
        server = f"unix:{work}/native"

        # The exchange first: its watch of the channels binds the voice ports with address reuse,
        # and of two sockets on one port the one bound last gets loopback's unicast datagrams.
        http, base = free_port(), free_voice_base()
        exchange = subprocess.Popen(
            [os.path.join(bin_dir, "kelvo-exchange"), "--local", "--listen-port", str(free_port(socket.SOCK_DGRAM)),
             "--station-port", str(free_port(socket.SOCK_DGRAM)), "--console", f"127.0.0.1:{http}",
             "--voice-base-port", str(base), "--silent-partners", "--web-max", "1"], stdout=subprocess.PIPE, text=True)
        procs.append(exchange)
        Output(exchange.stdout).wait_for("stations in a browser on", 60)

        # The desktop station: its own folder and settings (LOCAL, the exchange's voice ports).
        desk = os.path.join(work, DESKTOP)
        os.makedirs(desk)
        for name in os.listdir(bin_dir):
            if name == "kelvo-station" or name.endswith(".wav"):
                shutil.copy2(os.path.join(bin_dir, name), desk)
        with open(os.path.join(desk, "radiosim.ini"), "w") as f:
            f.write(f"[kelvo]\nmmsi={DESKTOP}\n[radio]\nmode=0\nbase_port={base}\n")
        sock = os.path.join(work, "desktop.sock")
        procs.append(subprocess.Popen([os.path.join(desk, "kelvo-station")], cwd=desk, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.STDOUT, env=dict(env, QT_QPA_PLATFORM="offscreen",
                                                                         PULSE_SERVER=server, KELVO_TEST_CONTROL=sock)))
        if "channel 16" not in ctl(sock, "panel"):
            raise RuntimeError("the desktop station is not on 16: " + ctl(sock, "panel"))

        # Chromium on the same sound server: its capture is the air's left; what the page plays
        # goes to kelvo_page, off the air. The microphone is granted, not faked.
        os.environ.update(PULSE_SERVER=server, PULSE_SINK="kelvo_page")
        driver = chrome(work, "profile", ["--use-fake-ui-for-media-stream"])
        viewport(driver, 1280, 720)
        driver.get(f"http://127.0.0.1:{http}/station")
        waited("the page is live", lambda d: d.find_element(By.ID, "link").text == "connected", 30, driver)
        driver.execute_script("const g = navigator.mediaDevices.getUserMedia.bind(navigator.mediaDevices);"
                              "navigator.mediaDevices.getUserMedia = async c => (Station.benchStream = await g(c));")
        driver.find_element(By.ID, "panel").click()   # the first gesture asks for the microphone
        waited("the page has asked for the microphone", lambda d: d.execute_script("return Station.micOk") is not None,
               30, driver)
        if not driver.execute_script("return Station.micOk"):
            skip("Chromium gave the page no microphone: " + driver.find_element(By.ID, "notice").text)
        page = driver.execute_script(PROBE, LOUD / 32768)
        click(driver, "ch16")
        ptt = driver.find_element(By.CSS_SELECTOR, 'button[data-key="ptt"]')
        ActionChains(driver).click_and_hold(ptt).perform()
        waited("the page is on the air", lambda d: ptt.get_attribute("data-picture") == "5", 30, driver)
        before = driver.execute_script("return Station.micSent")
        waited("the page sends its microphone", lambda d: d.execute_script("return Station.micSent") - before > 16000,
               30, driver)
        time.sleep(1)   # the chain settles, carrying the microphone's silence

        try:
            tap = VoiceTap(base + 16)
        except OSError:
            tap = None
        rec = Recorder(server)
        # Bursts of 100 ms of 1 kHz, one a second, after half a second of silence.
        burst = [int(8000 * math.sin(2 * math.pi * 1000 * i / 22050)) for i in range(2205)]
        with open(os.path.join(work, "mouth.raw"), "wb") as f:
            f.write(array.array("h", [0] * 11025 + (burst + [0] * (22050 - 2205)) * bursts + [0] * 11025).tobytes())
        subprocess.run(["pacat", f"--server={server}", "--device=kelvo_mouth", "--format=s16le", "--rate=22050",
                        "--channels=1", "--raw", os.path.join(work, "mouth.raw")], check=True, timeout=60 + 2 * bursts)
        time.sleep(1)
        samples, zero = rec.stop()
        at_page = driver.execute_script("return Station.benchOnsets")
        blocks = tap.stop() if tap else []
        on_air, quiet = [], 99   # the first block of each burst: level code 3 or more after 200 ms of 0 to 2
        for t, x in blocks:
            if x >= 3 and quiet >= 14:
                on_air.append(t)
            quiet = 0 if x >= 3 else quiet + 1
        ActionChains(driver).release(ptt).perform()
        counts = ctl(sock, "counts").split()

        left, right = onsets(samples, 0), onsets(samples, 1)
        delays, capture, rest, sent, played = [], [], [], [], []
        for i, l in enumerate(left):
            until = left[i + 1] if i + 1 < len(left) else len(samples) // 2
            r = next((r for r in right if l <= r < until), None)
            if r is None:
                continue
            delays.append(1000 * (r - l) / RATE)
            mouth_t, ear_t = zero + l / RATE, zero + r / RATE
            p = next((p / 1000 for p in at_page if mouth_t - 0.05 <= p / 1000 < ear_t), None)
            if p is not None:
                capture.append(1000 * (p - mouth_t))
                rest.append(1000 * (ear_t - p))
                u = next((u for u in on_air if p <= u < ear_t), None)
                if u is not None:
                    sent.append(1000 * (u - p))
                    played.append(1000 * (ear_t - u))
        print(f"recorded {len(samples) / 2 / RATE:.1f} s; bursts played {bursts}, seen at the mouth {len(left)}, "
              f"heard at the ear {len(delays)}; the desktop heard {counts[-1] if counts else '?'} voice(s)")
        track = page["track"] or {}
        print(f"page: AudioContext {page['rate']} Hz, base latency {1000 * (page['base'] or 0):.1f} ms; microphone "
              f"track {track.get('sampleRate')} Hz, latency {1000 * track.get('latency', 0):.1f} ms, "
              f"echo cancellation {track.get('echoCancellation')}")
        print("delays: " + " ".join(f"{d:.1f}" for d in delays) + " ms")
        stats("  air to page (Chromium's capture)", capture)
        stats("  page to ear (socket, exchange, UDP, desktop)", rest)
        stats("    page to UDP on 16 (socket, exchange's queue, encoder)", sent)
        stats("    UDP to ear (desktop's jitter buffer, loudspeaker stream)", played)
        stats("web mic to ear (target median <= 150 ms)", delays)
        print("load: " + subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip())
        return 0
    finally:
        if driver:
            driver.quit()
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
