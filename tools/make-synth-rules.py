#!/usr/bin/env python3
"""Writes the rules for the built-in synthesizer from one table:

  data/synth.sub                 120 active rules, CR LF
  src/synth/ControllerMap.inc    the synthesizer's extra controller modulators
  README.md                      its table of what each gene does (between the marks)

Run it from the repository root after changing the table; commit all three.

Every gene drives a parameter state of its own (a SoundFont generator offset
through an NRPN, or a controller), so no gene is overwritten by another. Where
several genes move one parameter, their effects add up: the controllers that
General MIDI leaves free are given small modulators of their own in the
synthesizer. Ranges stay narrow and are scaled in the rule itself, so that no
gene silences the voice or detunes it far.
"""

# Generator numbers (fluidsynth/gen.h).
GEN = dict(MODLFOTOPITCH=5, VIBLFOTOPITCH=6, MODENVTOPITCH=7, FILTERFC=8, FILTERQ=9,
           MODLFOTOFILTERFC=10, MODENVTOFILTERFC=11, MODLFOTOVOL=13, CHORUSSEND=15,
           REVERBSEND=16, PAN=17, MODLFODELAY=21, MODLFOFREQ=22, VIBLFODELAY=23,
           VIBLFOFREQ=24, MODENVDELAY=25, MODENVATTACK=26, MODENVHOLD=27, MODENVDECAY=28,
           MODENVSUSTAIN=29, MODENVRELEASE=30, COARSETUNE=51, VOLENVDELAY=33, VOLENVATTACK=34,
           VOLENVHOLD=35, VOLENVDECAY=36, VOLENVSUSTAIN=37, VOLENVRELEASE=38, FINETUNE=52,
           ATTENUATION=48)

def cc_bytes(controller, value):
    return f"4(CC) 4(%1) 8({controller}) 1(0) 7({value})"

def nrpn(gen, offset):
    """NRPN 120/gen, data 8192 + offset (LSB first: the MSB applies it)."""
    v = f"8192 +({offset})"
    return (f"4(CC) 4(%1) 8(99) 8(120) 4(CC) 4(%1) 8(98) 8({GEN[gen]}) "
            f"4(CC) 4(%1) 8(38) 1(0) 7({v}) 4(CC) 4(%1) 8(6) 1(0) 7(({v}) / 128)")

# (rule, what it does) for each gene, in gene order. NRPN data units per
# generator (FluidSynth): cents x2 for pitch/filter/LFO frequency x4, timecents x2,
# centibels x1, 0.1 % x1.
genes = []
def N(gen, offset, text):  genes.append((nrpn(gen, offset), f"NRPN {GEN[gen]}: {text}"))
def C(cc, value, text):    genes.append((cc_bytes(cc, value), f"CC {cc}: {text}"))
def CP(value, text):       genes.append((f"4(CP) 4(%1) 1(0) 7({value})", f"channel pressure: {text}"))

# Extra controller modulators: (cc, generator, amount at 127, bipolar, scaling cc).
# Sound controllers 71-79 are bipolar around 64 (their reset value): the
# amount is reached at 0 (negative) and 127.
mods = []
def M(cc, gen, amount, value, text, bipolar=False):
    mods.append((cc, GEN[gen], amount, bipolar, 0))
    C(cc, value, text)

half = "%3 / 2"

def fold(k):
    """The gene folded k times over 0..255, up and down: a triangle wave, so
    neighbouring values stay neighbours (mutation and morph move smoothly)
    while a mutation step moves the parameter k times as far. Random genes
    still spread evenly over the whole range. The middle value 128 stays in
    the middle."""
    t = f"(((%3 * {k}) + {(128 - 128 * k) % 512}) MOD 512)"
    return f"({t} XOR(({t} / 256) * 511))"

# Filter cutoff.
N("FILTERFC", f"({fold(4)} * 16) - 2250", "filter cutoff -4500 .. +3660 cents, the range 4 times over")
M(74, "FILTERFC", 1200, "%3 / 4 + 32", "brightness: filter cutoff -600 .. +600 cents", True)
# Resonance.
N("FILTERQ", f"({fold(3)} * 8) / 25", "filter resonance +0 .. +8 dB, the range 3 times over")
M(71, "FILTERQ", 40, "%3 / 4 + 64", "resonance +0 .. +4 dB", True)
# Volume envelope.
N("VOLENVDELAY", "%3 * 8", "volume envelope delay, up to +4080 timecents (about 10 ms)")
N("VOLENVATTACK", "%3 * 6", "attack time, up to +3060 timecents")
M(73, "VOLENVATTACK", 1200, half, "attack time -1200 .. +1200 timecents", True)
N("VOLENVHOLD", "%3 * 20", "hold time, up to +10200 timecents (about 0.35 s)")
N("VOLENVDECAY", "(%3 - 192) * 8", "decay time -3072 .. +1008 timecents")
M(75, "VOLENVDECAY", 1200, half, "decay time -1200 .. +1200 timecents", True)
N("VOLENVSUSTAIN", "(%3 * 5) / 8", "sustain level -0 .. -15.9 dB")
N("VOLENVRELEASE", "(%3 - 255) * 4", "release time -2040 .. +0 timecents")
M(72, "VOLENVRELEASE", 1200, "%3 / 4 + 32", "release time -600 .. +600 timecents", True)
# Level and place.
N("ATTENUATION", "%3 / 8", "level -0 .. -3.1 dB")
C(7, "%3 / 16 + 112", "volume 112 .. 127")
C(11, "%3 / 16 + 112", "expression 112 .. 127")
N("PAN", "((%3 - 128) * 3) / 2", "pan -19 .. +19 %")
C(10, "%3 / 8 + 48", "pan 48 .. 79")
# Effects.
N("REVERBSEND", "%3", "reverb send +0 .. +25 %")
C(91, "%3 / 4", "reverb send 0 .. 63")
# No chorus: FluidSynth's chorus puts left and right out of phase, so a mono
# sum would cancel. This gene holds the chorus send at -100 % before it sets
# the octave, which lets the sounds reach from dark to bright.
genes.append((nrpn("CHORUSSEND", "0 - 1000") + " " + nrpn("COARSETUNE", "((%3 / 64) - 1) * 12"),
              "NRPN 15: no chorus; NRPN 51: octave -1, 0, +1 or +2"))
# A controller General MIDI leaves free (the low byte of balance).
M(40, "FILTERFC", 1200, half, "filter cutoff -600 .. +600 cents", True)
# Vibrato (its own LFO). Depths add up to at most 62 cents.
N("VIBLFOFREQ", "(%3 - 128) * 2", "vibrato rate -1024 .. +1020 cents")
M(76, "VIBLFOFREQ", 600, half, "vibrato rate -600 .. +600 cents", True)
N("VIBLFOTOPITCH", "%3 / 16", "vibrato depth +0 .. +30 cents")
C(1, "%3 / 16", "modulation wheel: vibrato depth +0 .. +6 cents")
CP("%3 / 16", "vibrato depth +0 .. +6 cents")
M(77, "VIBLFOTOPITCH", 20, "%3 / 4 + 64", "vibrato depth +0 .. +20 cents", True)
N("VIBLFODELAY", "%3 * 10", "vibrato delay, up to +5100 timecents")
M(78, "VIBLFODELAY", 1200, half, "vibrato delay -1200 .. +1200 timecents", True)
# Modulation LFO.
N("MODLFOFREQ", "(%3 - 128) * 2", "modulation LFO rate -1024 .. +1020 cents")
N("MODLFODELAY", "%3 * 10", "modulation LFO delay, up to +5100 timecents")
N("MODLFOTOPITCH", "%3 / 16", "modulation LFO to pitch +0 .. +30 cents")
N("MODLFOTOFILTERFC", "%3 * 2", "modulation LFO to filter +0 .. +1020 cents")
M(79, "MODLFOTOFILTERFC", 600, "%3 / 4 + 64", "modulation LFO to filter +0 .. +600 cents", True)
N("MODLFOTOVOL", "%3 / 4", "tremolo +0 .. +6.3 dB")
# Modulation envelope.
N("MODENVDELAY", "%3 * 8", "modulation envelope delay, up to +4080 timecents")
N("MODENVATTACK", "%3 * 12", "modulation envelope attack, up to +6120 timecents")
N("MODENVHOLD", "%3 * 16", "modulation envelope hold, up to +8160 timecents")
N("MODENVDECAY", "(%3 - 64) * 8", "modulation envelope decay -1024 .. +3056 timecents")
N("MODENVSUSTAIN", "(0 -%3) * 2", "modulation envelope sustain +0 .. +51 %")
N("FINETUNE", "(%3 - 128) / 21", "fine tuning -6 .. +6 cents")
# Kept moderate: a delayed modulation envelope that swings the cutoff far
# and fast through a resonant filter makes it ring beyond full scale.
N("MODENVTOFILTERFC", "(%3 - 64) * 5", "modulation envelope to filter -640 .. +1910 cents")
N("MODENVTOPITCH", "(%3 - 128) / 8", "modulation envelope to pitch -32 .. +30 cents")

# The remaining genes come in pairs of free controllers that drive one
# modulator together: the first sets the amount, the second (42 .. 127) scales
# it by a third to one. A SoundFont voice holds few modulators, so one
# modulator serves two genes.
free = ([2, 3, 4, 9] + list(range(12, 32)) + [33, 34, 35, 36, 39] + list(range(41, 64)) + [70]
        + list(range(80, 84)) + list(range(85, 91)) + [92, 94, 95] + list(range(102, 120)))
def both(gen, amount, unit, name, count):
    """`count` pairs on one parameter, raising and lowering it in turn, so that
    they cancel where the genes agree and the sum stays in a narrow range."""
    return [(gen, amount if i % 2 == 0 else -amount,
             f"{name} {'+' if i % 2 == 0 else '-'}0 .. {'+' if i % 2 == 0 else '-'}{amount} {unit}")
            for i in range(count)]

targets = (both("FILTERFC", 400, "cents", "filter cutoff", 10)
           + [("FILTERQ", 20, "filter resonance +0 .. +2 dB")] * 4
           + both("MODENVTOFILTERFC", 600, "cents", "modulation envelope to filter", 6)
           + both("MODLFOTOFILTERFC", 600, "cents", "modulation LFO to filter", 5)
           + both("FILTERFC", 600, "cents", "filter cutoff", 2)
           + both("MODENVTOFILTERFC", 600, "cents", "modulation envelope to filter", 2)
           + both("PAN", 150, "(0.1 %)", "pan", 4)
           + [("ATTENUATION", 30, "level -0 .. -3 dB")]
           + both("MODLFOTOVOL", 100, "cB", "tremolo", 2)
           + [("MODENVATTACK", 2400, "modulation envelope attack +0 .. +2400 timecents")] * 2)
for i, (gen, amount, text) in enumerate(targets):
    first, second = free[2 * i], free[2 * i + 1]
    mods.append((first, GEN[gen], amount, False, second))
    C(first, half, text + f" (scaled by CC {second})")
    C(second, "%3 / 3 + 42", f"scales CC {first} (x0.33 .. x1)")
assert len(genes) == 120 and len(mods) <= 48
used = [m[0] for m in mods] + [m[4] for m in mods if m[4]]
assert len(set(used)) == len(used)

with open("data/synth.sub", "w", newline="") as f:
    f.write("120\r\n")
    for rule, _ in genes:
        f.write(rule + "\r\n")
    # The name after the flag word; volume and tuning are locked by default.
    for _, text in genes:
        locked = text.startswith(("CC 7:", f"NRPN {GEN['FINETUNE']}:"))
        f.write(f"True {text}{' [locked]' if locked else ''}\r\n")

names = {v: k for k, v in GEN.items()}
with open("src/synth/ControllerMap.inc", "w") as f:
    f.write("// Written by tools/make-synth-rules.py:\n"
            "// {controller, generator, amount, bipolar, scaling controller or 0}.\n")
    for cc, gen, amount, bipolar, second in mods:
        f.write(f"{{{cc}, GEN_{names[gen]}, {amount}, {'true' if bipolar else 'false'}, {second}}},\n")

table = "| gene | what it moves |\n|---|---|\n" + "".join(
    f"| {n} | {text} |\n" for n, (_, text) in enumerate(genes))
begin, end = "<!-- synth.sub table -->\n", "<!-- end of synth.sub table -->\n"
readme = open("README.md").read()
head, rest = readme.split(begin)
with open("README.md", "w") as f:
    f.write(head + begin + table + end + rest.split(end)[1])
print(f"{len(genes)} rules, {len(mods)} controller modulators")
