#!/usr/bin/env python3
"""wav_seconds.py FILE: the length of a WAV file's audio in seconds, on standard output."""
import sys
import wave

with wave.open(sys.argv[1]) as w:
    print("%.3f" % (w.getnframes() / w.getframerate()))
