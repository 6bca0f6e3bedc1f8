#!/usr/bin/env python3
"""Makes the demo site's two short MP3 files (needs Debian's `lame`).

The sounds are synthesised, so nothing third-party is redistributed:
rain.mp3 is filtered noise, bell.mp3 a decaying chord.
"""
import math
import random
import struct
import subprocess
import tempfile
import wave
from pathlib import Path

RATE = 22050
HERE = Path(__file__).resolve().parent


def rain(seconds=1.5):
    rng = random.Random(7)
    level, out = 0.0, []
    for i in range(int(RATE * seconds)):
        level = 0.85 * level + 0.15 * rng.uniform(-1, 1)
        drop = 0.6 if rng.random() < 0.002 else 0.0
        fade = min(1.0, i / 2000, (RATE * seconds - i) / 4000)
        out.append((level + drop * rng.uniform(-1, 1)) * 0.5 * fade)
    return out


def bell(seconds=1.5):
    out = []
    for i in range(int(RATE * seconds)):
        t = i / RATE
        tone = sum(math.sin(2 * math.pi * f * t) / k for k, f in enumerate((660, 990, 1320), 1))
        out.append(0.35 * tone * math.exp(-3 * t))
    return out


def write_mp3(samples, name):
    with tempfile.TemporaryDirectory() as tmp:
        wav = Path(tmp) / "sound.wav"
        with wave.open(str(wav), "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(RATE)
            w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, s)) * 32767)) for s in samples))
        subprocess.run(["lame", "--quiet", "-b", "48", "--noreplaygain", str(wav), str(HERE / name)], check=True)


if __name__ == "__main__":
    write_mp3(rain(), "rain.mp3")
    write_mp3(bell(), "bell.mp3")
