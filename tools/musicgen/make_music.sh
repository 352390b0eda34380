#!/bin/sh
# Synthesises the production's soundtrack with sox and encodes it with oggenc.
#   make_music.sh OUT.ogg WORK_DIR
# 120 beats per minute, 64 bars of 2 s in A minor (Am F C G), then a 2 s tail. The first half:
#   pads 0-64 s, hi-hats 4-62 s, kick 8-62 s, snare and bass 12-62 s, arpeggio 26-54 s;
# a bar of pads alone, then the second half: every voice 64-126 s, the arpeggio 80-110 s, pads to 128 s.
# The sync tracks in content/sync/demo.tracks follow the same score.
set -eu
out=$1
work=$2
mkdir -p "$work"
cd "$work"
rate=44100
make() { sox -q -n -r $rate -c 1 -b 16 "$@"; }

# One-shot drums, each padded to the length of its slot.
make kick.wav synth 0.3 sine 160-45 fade q 0.002 0.3 0.25 gain -2 pad 0 0.2
make snare_tone.wav synth 0.18 sine 190 fade q 0.001 0.18 0.15 gain -8
make snare_noise.wav synth 0.22 noise gain -6 fade q 0.001 0.22 0.2 highpass 1200
sox -q -m snare_tone.wav snare_noise.wav snare.wav pad 0 0.28
make hat.wav synth 0.04 noise gain -14 fade q 0.001 0.04 0.035 highpass 7000 pad 0 0.21
make rest.wav trim 0 0.5

# Drum bars of 2 s.
sox -q kick.wav kick.wav kick.wav kick.wav kick_bar.wav
sox -q rest.wav snare.wav rest.wav snare.wav snare_bar.wav
sox -q hat.wav hat.wav hat.wav hat.wav hat.wav hat.wav hat.wav hat.wav hat_bar.wav

# Chords: a pad of three detuned saw voices per chord, and the bass on eighth notes.
chord() {  # name note1 note2 note3 bass
  make "$1_a.wav" synth 2 sawtooth "$2" fade q 0.3 2 0.4 gain -22
  make "$1_b.wav" synth 2 sawtooth "$3" fade q 0.3 2 0.4 gain -22
  make "$1_c.wav" synth 2 sawtooth "$4" fade q 0.3 2 0.4 gain -22
  make "$1_d.wav" synth 2 sine "$2" fade q 0.3 2 0.4 gain -16 pitch 1200
  sox -q -m "$1_a.wav" "$1_b.wav" "$1_c.wav" "$1_d.wav" "$1_pad.wav" gain -4 lowpass 1800 chorus 0.7 0.9 55 0.4 0.25 2 -t
  make "$1_note.wav" synth 0.25 square "$5" gain -9 fade q 0.005 0.25 0.12 lowpass 600
  sox -q "$1_note.wav" "$1_note.wav" "$1_note.wav" "$1_note.wav" "$1_note.wav" "$1_note.wav" "$1_note.wav" \
    "$1_note.wav" "$1_bass.wav"
  # Arpeggio: sixteenth notes up and down the chord, an octave above.
  make "$1_n1.wav" synth 0.125 triangle "$2" fade q 0.002 0.125 0.08 gain -14 pitch 1200
  make "$1_n2.wav" synth 0.125 triangle "$3" fade q 0.002 0.125 0.08 gain -14 pitch 1200
  make "$1_n3.wav" synth 0.125 triangle "$4" fade q 0.002 0.125 0.08 gain -14 pitch 1200
  make "$1_n4.wav" synth 0.125 triangle "$2" fade q 0.002 0.125 0.08 gain -14 pitch 2400
  sox -q "$1_n1.wav" "$1_n2.wav" "$1_n3.wav" "$1_n4.wav" "$1_n3.wav" "$1_n2.wav" "$1_n1.wav" "$1_n2.wav" \
    "$1_n3.wav" "$1_n4.wav" "$1_n3.wav" "$1_n2.wav" "$1_n1.wav" "$1_n3.wav" "$1_n4.wav" "$1_n2.wav" "$1_arp.wav"
}
chord am A3 C4 E4 A1
chord f F3 A3 C4 F1
chord c C4 E4 G4 C2
chord g G3 B3 D4 G1

# Four-bar phrases of each voice, repeated to the song's length.
sox -q am_pad.wav f_pad.wav c_pad.wav g_pad.wav pad_phrase.wav
sox -q am_bass.wav f_bass.wav c_bass.wav g_bass.wav bass_phrase.wav
sox -q am_arp.wav f_arp.wav c_arp.wav g_arp.wav arp_phrase.wav

# Each layer as a whole-song file: silence before it starts, its bars, trimmed where it stops.
layer() {  # out source start_seconds stop_seconds
  sox -q "$2" "$1" repeat 40 trim 0 "$(($4 - $3))" pad "$3" 0
}
# Two spans of one voice in one file.
layer2() {  # out source start1 stop1 start2 stop2
  layer "$1.a.wav" "$2" "$3" "$4"
  layer "$1.b.wav" "$2" "$5" "$6"
  sox -q -m "$1.a.wav" "$1.b.wav" "$1"
}
layer pads.wav pad_phrase.wav 0 128
layer2 hats.wav hat_bar.wav 4 62 64 126
layer2 kicks.wav kick_bar.wav 8 62 64 126
layer2 snares.wav snare_bar.wav 12 62 64 126
layer2 basses.wav bass_phrase.wav 12 62 64 126
layer2 arps.wav arp_phrase.wav 26 54 80 110
sox -q am_pad.wav tail.wav pad 128 0

sox -q -m -v 0.5 pads.wav -v 0.45 hats.wav -v 0.5 kicks.wav -v 0.45 snares.wav -v 0.5 basses.wav -v 0.4 arps.wav \
  -v 0.5 tail.wav -c 2 mix.wav gain -6 reverb 25 50 60 gain -n -1
oggenc -Q -q 4 -o "$out" mix.wav
