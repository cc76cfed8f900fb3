#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""How often zuvela-cli send breaks, and how often its verdict is wrong, on every ALSA path.

For each path (PipeWire's ALSA plugin; ALSA's PulseAudio plugin into PipeWire's PulseAudio
layer; ALSA's PulseAudio plugin into PulseAudio; ALSA's file plugin over null), idle and with
`stress-ng --cpu 4` beside it, with the sound server at real-time priority (as rtkit gives it on
a desktop) and without, zuvela-cli sends the sequence N times while two recorders record the
sink's monitor. Each send gets one fault at a random moment, most of them in the first 100 ms or
the last 250 ms of the sound, or none: the sender stopped for 0.7 s or for 20 ms (a gap of about
one period), the server stopped for 0.5 s, or the server killed. A send counts as

  break        when it had no fault and the sound did not arrive whole (the machine's doing);
               aplay plays the same samples after each such send, for comparison,
  false alarm  when zuvela-cli reported a failure and the sound arrived whole,
  miss         when it reported success and the sound did not arrive whole.

"Whole" is what the recordings show (either recorder holds the rendered samples, sample for
sample, from the first to the last), except for a stopped server: its own recorders stand still
with it and a sound card would not, so a server stopped before the sound's end counts as a break.
Run by bench/send_verdict.sh, which installs what it needs.
"""
import argparse
import array
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

RATE = 22050
FAULTS = ["none", "sender 0.7 s", "none", "sender 20 ms", "none", "server 0.5 s", "server killed"]
# zuvela-cli plays half a second of silence before the sound (and starts in about 0.1 s).
SOUND_START = 0.6


def widened(raw):
    return [(b - 128) * 256 for b in raw]


def whole(recording, expected):
    """True when the expected samples stand in the recording without a break."""
    a = array.array("h")
    with open(recording, "rb") as f:
        data = f.read()
        a.frombytes(data[: len(data) // 2 * 2])
    a = a.tolist()
    first = next((i for i, v in enumerate(expected) if v != -256), 0)
    pattern = expected[first : first + 64]
    for k in range(len(a) - 64):
        if a[k : k + 64] == pattern:
            base = k - first
            if base < 0:
                return False
            segment = a[base : base + len(expected)]
            return len(segment) == len(expected) and all(
                s == e or (i < first and s in (0, -256)) for i, (s, e) in enumerate(zip(segment, expected))
            )
    return False


class Server:
    def __init__(self, kind, folder, pulse_root, realtime=False):
        self.kind, self.dir, self.pulse_root, self.realtime = kind, folder, pulse_root, realtime
        self.procs = {}
        os.makedirs(folder, exist_ok=True)
        self.env = dict(os.environ)
        self.env.update(
            XDG_RUNTIME_DIR=folder, PIPEWIRE_RUNTIME_DIR=folder, HOME=folder,
            XDG_STATE_HOME=folder + "/state", XDG_CONFIG_HOME=folder + "/config",
            DBUS_SESSION_BUS_ADDRESS="unix:path=" + folder + "/bus")
        self.env.pop("ALSA_CONFIG_PATH", None)
        native = folder + ("/pulse/native" if kind != "pulseaudio" else "/native")
        self.env["PULSE_SERVER"] = "unix:" + native
        self.native = native
        self.alsa_config = folder + "/asound.conf"
        self.capture = folder + "/capture.raw"
        with open(self.alsa_config, "w") as f:
            f.write("</usr/share/alsa/alsa.conf>\n@hooks.!0 { func load files [ ] errors false }\n")
            if kind == "file":
                f.write('pcm.!default { type file slave.pcm "null" file "%s" format "raw" }\n' % self.capture)
            else:
                plugin = "pipewire" if kind == "pipewire-alsa" else "pulse"
                conf = {"pipewire": "/usr/share/alsa/alsa.conf.d/50-pipewire.conf",
                        "pulse": "/usr/share/alsa/alsa.conf.d/50-pulseaudio.conf"}[plugin]
                f.write("<%s>\npcm.!default { type %s }\nctl.!default { type %s }\n" % (conf, plugin, plugin))
        self.log = open(folder + "/log.txt", "ab")

    def spawn(self, name, args, env=None, realtime=False):
        # A desktop's rtkit gives the server's data thread SCHED_FIFO; here chrt gives it the
        # whole server.
        if realtime and self.realtime and os.geteuid() == 0:
            args = ["chrt", "-f", "20"] + args
        self.procs[name] = subprocess.Popen(args, env=env or self.env, stdout=self.log, stderr=self.log)

    def wait_for(self, ready, seconds=10):
        deadline = time.monotonic() + seconds
        while not ready():
            if time.monotonic() > deadline:
                raise RuntimeError("%s did not come up (see %s/log.txt)" % (self.kind, self.dir))
            time.sleep(0.05)

    def run(self, args):
        subprocess.run(args, env=self.env, stdout=self.log, stderr=self.log, check=True, timeout=10)

    def start(self):
        if self.kind == "file":
            return
        for f in ("bus", "pipewire-0", "native", "pulse/native"):
            try:
                os.unlink(os.path.join(self.dir, f))
            except OSError:
                pass
        if self.kind == "pulseaudio":
            with open(self.dir + "/pa.pa", "w") as f:
                # norewinds: the monitor then holds what was mixed, in order.
                f.write("load-module module-null-sink sink_name=zsink rate=%d channels=1 norewinds=1\n" % RATE)
                f.write("set-default-sink zsink\n")
                f.write("load-module module-native-protocol-unix socket=%s auth-anonymous=1\n" % self.native)
            root = self.pulse_root
            env = dict(self.env)
            modules = root + "/usr/lib/pulse-16.1+dfsg1/modules"
            env["LD_LIBRARY_PATH"] = root + "/usr/lib/x86_64-linux-gnu/pulseaudio:" + modules
            self.spawn("server", [root + "/usr/bin/pulseaudio", "--dl-search-path=" + modules, "-n",
                                  "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                                  "-F", self.dir + "/pa.pa"], env, realtime=True)
            self.wait_for(lambda: os.path.exists(self.native))
            return
        self.spawn("bus", ["dbus-daemon", "--session", "--nofork", "--address=" + self.env["DBUS_SESSION_BUS_ADDRESS"]])
        self.wait_for(lambda: os.path.exists(self.dir + "/bus"))
        self.spawn("server", ["pipewire"], realtime=True)
        self.wait_for(lambda: os.path.exists(self.dir + "/pipewire-0"))
        self.run(["pw-metadata", "-n", "settings", "0", "clock.force-rate", str(RATE)])
        self.spawn("session", ["wireplumber"])
        self.spawn("pulse", ["pipewire-pulse"], realtime=True)
        self.run(["pw-cli", "create-node", "adapter",
                  "{ factory.name=support.null-audio-sink node.name=zsink media.class=Audio/Sink "
                  "object.linger=true audio.position=[ MONO ] audio.rate=%d }" % RATE])
        self.wait_for(lambda: subprocess.run(["wpctl", "inspect", "@DEFAULT_AUDIO_SINK@"], env=self.env,
                                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0)
        self.wait_for(lambda: os.path.exists(self.native))

    def stop(self):
        for name in ("pulse", "session", "server", "bus"):
            p = self.procs.pop(name, None)
            if p and p.poll() is None:
                p.terminate()
                try:
                    p.wait(3)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()

    def server_pid(self):
        p = self.procs.get("server")
        return p.pid if p and p.poll() is None else None

    def recorders(self, files):
        """Two recorders of the sink's monitor; PipeWire's own where it runs."""
        if self.kind == "file":
            if os.path.exists(self.capture):
                os.unlink(self.capture)
            return []
        args = [["parec", "--latency-msec=20", "--device=zsink.monitor", "--raw", "--format=s16le",
                 "--rate=%d" % RATE, "--channels=1", files[1]]]
        if self.kind == "pulseaudio":
            args.insert(0, args[0][:-1] + [files[0]])
        else:
            args.insert(0, ["pw-record", "--target", "zsink", "-P", "stream.capture.sink=true",
                            "--rate", str(RATE), "--channels", "1", "--format", "s16", files[0]])
        # Ahead of every ordinary thread where allowed: a starved recorder loses samples.
        if os.geteuid() == 0 and shutil.which("chrt"):
            args = [["chrt", "-f", "10"] + a for a in args]
        procs = [subprocess.Popen(a, env=self.env, stdout=self.log, stderr=self.log) for a in args]
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and not all(os.path.exists(f) and os.path.getsize(f) > 0 for f in files):
            time.sleep(0.02)
        return procs


def signal_alive(proc, sig):
    """Signals a child that still runs (never a PID that may be 0 or gone)."""
    if proc is not None and proc.poll() is None and proc.pid > 0:
        os.kill(proc.pid, sig)


def captured_whole(capture, expected):
    """The file plugin's bytes (16-bit, from 8-bit samples widened) hold the sound."""
    return os.path.exists(capture) and whole(capture, expected)


def one_send(server, cli, expected, fault, at, work, player="zuvela", raw=None):
    files = [os.path.join(work, "rec-a.raw"), os.path.join(work, "rec-b.raw")]
    for f in files:
        if os.path.exists(f):
            os.unlink(f)
    recs = server.recorders(files)
    env = dict(server.env, ALSA_CONFIG_PATH=server.alsa_config)
    start = time.monotonic()
    command = [cli, "send", "--address", "1=12345"]
    if player == "aplay":
        command = ["aplay", "-q", "-t", "raw", "-f", "S16_LE", "-r", str(RATE), "-c", "1", raw]
    p = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    killed = False
    stopped_at = None
    if fault != "none":
        while time.monotonic() - start < at and p.poll() is None:
            time.sleep(0.002)
        if fault.startswith("sender") and p.poll() is None:
            signal_alive(p, signal.SIGSTOP)
            time.sleep(0.7 if "0.7" in fault else 0.02)
            signal_alive(p, signal.SIGCONT)
        elif fault == "server 0.5 s":
            pid = server.server_pid()
            if pid:
                stopped_at = time.monotonic() - start
                os.kill(pid, signal.SIGSTOP)
                time.sleep(0.5)
                os.kill(pid, signal.SIGCONT)
        elif fault == "server killed":
            signal_alive(server.procs.get("server"), signal.SIGKILL)
            killed = True
    try:
        _, err = p.communicate(timeout=20)
    except subprocess.TimeoutExpired:
        p.kill()
        _, err = p.communicate()
    took = time.monotonic() - start
    time.sleep(0.6)
    for r in recs:
        signal_alive(r, signal.SIGINT)
    for r in recs:
        try:
            r.wait(3)
        except subprocess.TimeoutExpired:
            r.kill()
            r.wait()
    arrived = any(os.path.exists(f) and whole(f, expected) for f in files)
    if server.kind == "file":
        arrived = captured_whole(server.capture, expected)
    sound_seconds = len(expected) / RATE
    if stopped_at is not None:
        # Its recorders stood still with it; a sound card would have played a gap.
        if abs(stopped_at - sound_seconds) < 0.1:
            arrived = None  # too close to the end to tell
        elif stopped_at < sound_seconds:
            arrived = False
    if killed:
        server.procs.pop("server").wait()
        server.stop()
        server.start()
    return p.returncode == 0, arrived, took, err.decode(errors="replace").strip().splitlines()[-1:] 


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--sends", type=int, default=30)
    ap.add_argument("--paths", default="pipewire-alsa,pulse-on-pipewire,pulseaudio,file")
    ap.add_argument("--loads", default="idle,stress")
    ap.add_argument("--realtime", default="on,off", help="the sound server at real-time priority")
    ap.add_argument("--pulse-root", default="")
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    random.seed(args.seed)
    work = tempfile.mkdtemp(prefix="zuvela-verdict-")
    raw = os.path.join(work, "seq.raw")
    subprocess.run([args.cli, "render", "--address", "1=12345", "-o", raw], check=True)
    expected = widened(open(raw, "rb").read())
    # aplay plays the samples as zuvela-cli hands them to ALSA: widened to 16 bits.
    raw16 = os.path.join(work, "seq16.raw")
    array.array("h", expected).tofile(open(raw16, "wb"))
    rows = []
    try:
        for path in args.paths.split(","):
            kind = {"pipewire-alsa": "pipewire-alsa", "pulse-on-pipewire": "pipewire-pulse",
                    "pulseaudio": "pulseaudio", "file": "file"}[path]
            for rt in args.realtime.split(",") if kind != "file" else ["-"]:
              server = Server(kind, os.path.join(work, path + "-rt-" + rt), args.pulse_root, rt == "on")
              server.start()
              try:
                for load in args.loads.split(","):
                    stress = subprocess.Popen(["stress-ng", "--cpu", "4", "--quiet"]) if load == "stress" else None
                    try:
                        counts = dict(sends=0, ok=0, false_alarms=0, misses=0, unclear=0, clean=0,
                                      breaks=0, aplay=0, aplay_breaks=0)
                        details = []
                        sound = len(expected) / RATE
                        for i in range(args.sends):
                            fault = FAULTS[i % len(FAULTS)]
                            if kind == "file" and fault.startswith("server"):
                                fault = "none"
                            # At the edges of the sound, where breaks went unseen, and anywhere.
                            at = SOUND_START + random.choice([
                                random.uniform(0, 0.1), random.uniform(sound - 0.25, sound),
                                random.uniform(0, sound)])
                            ok, arrived, took, err = one_send(server, args.cli, expected, fault, at, work)
                            counts["sends"] += 1
                            counts["ok"] += ok
                            if fault == "none":
                                counts["clean"] += 1
                                counts["breaks"] += arrived is False
                                _, heard, _, _ = one_send(server, args.cli, expected, "none", 0, work,
                                                          "aplay", raw16)
                                counts["aplay"] += 1
                                counts["aplay_breaks"] += heard is False
                                print("%-18s %-6s %2d aplay beside it: %s" % (
                                    path, load, i + 1, {True: "whole", False: "broken", None: "unclear"}[heard]),
                                    flush=True)
                            if arrived is None:
                                counts["unclear"] += 1
                            elif not ok and arrived:
                                counts["false_alarms"] += 1
                                details.append("false alarm: %s at %.2f s: %s" % (fault, at, err))
                            elif ok and not arrived:
                                counts["misses"] += 1
                                details.append("miss: %s at %.2f s" % (fault, at))
                            print("%-18s %-6s rt %-3s %2d %-14s at %.2f s: %s, %s (%.1f s)" % (
                                path, load, rt, i + 1, fault, at, "sent" if ok else "failed",
                                {True: "whole", False: "broken", None: "unclear"}[arrived], took), flush=True)
                        rows.append(("%s (server rt %s)" % (path, rt), load, counts, details))
                    finally:
                        if stress:
                            stress.terminate()
                            stress.wait()
              finally:
                server.stop()
    except Exception as e:  # the rows measured so far still count
        print("stopped: %s" % e)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print()
    print("| path | load | sends | reported sent | false alarms | misses | too close to tell "
          "| breaks without a fault | aplay's breaks |")
    print("|---|---|---|---|---|---|---|---|---|")
    for path, load, c, details in rows:
        print("| %s | %s | %d | %d | %d | %d | %d | %d of %d | %d of %d |" % (
            path, load, c["sends"], c["ok"], c["false_alarms"], c["misses"], c["unclear"],
            c["breaks"], c["clean"], c["aplay_breaks"], c["aplay"]))
    for path, load, c, details in rows:
        for d in details:
            print("%s, %s: %s" % (path, load, d))
    return 0 if all(c["false_alarms"] == 0 and c["misses"] == 0 for _, _, c, _ in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
