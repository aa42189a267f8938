#!/usr/bin/env python3
"""Builds the development protocols of the engine from the three corpora.

    scripts/protocols.py CORPUS_DIR WORK_DIR

CORPUS_DIR holds librispeech-excerpts/, arabic-commands/ and fsdd/ (see their READMEs).
WORK_DIR receives:

  lists/ubm.args                  train-ubm arguments: --speaker LABEL FILE... per speaker
  lists/ubm-fsdd.args             the same for a small background set: about 4 minutes of the
                                  fsdd speakers' own digits (indices 5-14), none of them used
                                  in enrollment or trials (UBM_ARGS=ubm-fsdd in evaluate.sh)
  lists/ubm-fsdd-files.args       the same files without --speaker, sorted by name as a shell
                                  lists them: each file its own speaker, as train-ubm takes
                                  files named without one (UBM_ARGS=ubm-fsdd-files)
  lists/enroll-<protocol>.tsv     one target per line: name<TAB>file<TAB>file...
  lists/<protocol>-<split>-<condition>.tsv   trial lists for kestrune evaluate
  audio/...                       the cut, band-limited and noisy recordings the lists name

Every choice is fixed (speaker roles by a hash of the speaker's ID, noise offsets by a seeded
generator), so the same corpora always give the same protocols. Validation and test trials
come from disjoint recordings; enrollment from recordings in neither. Noise types are kept
apart: the validation trials get brown noise and babble, the test trials pink noise, which no
constant was chosen on.

Protocols (all share one background model, trained on the librispeech background speakers):
  libri   90 targets: the 10 test-other speakers enrolled from 5 sentences each (about 38 s),
          and 80 train-clean speakers enrolled from their one utterance less its last 5 s;
          trials: the other sentences of test-other speakers (validation: 2, test: 3 each,
          first 7 s), the last 5 s of the train-clean targets' utterances (half of the
          targets validation, half test), and 30 never-enrolled train-clean speakers (last 5 s;
          15 validation, 15 test). The lists librilong-* hold the trials of the 10
          test-other targets and of the never-enrolled speakers only (scored against all 90
          targets): most like a deployment that enrolls from several recordings.
  arabic  24 targets enrolled from 20 command words x 3 rounds (about 35 s of speech); trials of
          6 words joined from 10 other words (validation) or 10 more (test); 6 never-enrolled
          speakers (3 validation, 3 test).
  fsdd    6 targets enrolled from indices 15-24 (100 digits, about 45 s); trials of 10 digits
          joined from indices 35-41 (validation) and 42-49 (test), and (condition "digit")
          each of those digits on its own.

Conditions of every trial list: clean; 2 s and 1 s (the first 2 s or 1 s of each trial, and up
to two further cuts after them); telephone (300-3400 Hz, mu-law); noise at 10 dB and 5 dB SNR
(of the whole recording; each validation trial once with brown noise and once with babble).
"""

import array
import hashlib
import math
import os
import random
import subprocess
import sys
import wave

RATE = 8000
VERSION = "protocols 6"


def stable_order(items):
    """Items sorted by a hash of their text: a fixed order unrelated to the IDs' meaning."""
    return sorted(items, key=lambda item: hashlib.md5(str(item).encode()).hexdigest())


def read_wave(path):
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2 or w.getnchannels() != 1 or w.getframerate() != RATE:
            raise SystemExit(f"{path}: expected 16-bit mono PCM at {RATE} Hz")
        samples = array.array("h")
        samples.frombytes(w.readframes(w.getnframes()))
        if sys.byteorder != "little":
            samples.byteswap()
        return samples


def write_wave(path, samples):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    data = array.array("h", samples)
    if sys.byteorder != "little":
        data.byteswap()
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data.tobytes())


def rms(samples):
    if not samples:
        return 0.0
    return math.sqrt(sum(x * x for x in samples) / len(samples))


def clip16(value):
    return max(-32768, min(32767, int(round(value))))


def sox(*args):
    subprocess.run(["sox", *args], check=True)


class Noises:
    """Long noise recordings of each type; a trial takes a stretch at a seeded offset."""

    def __init__(self, work, babble_files):
        self.samples = {}
        folder = os.path.join(work, "audio", "noise")
        os.makedirs(folder, exist_ok=True)
        for kind in ("brown", "pink"):
            path = os.path.join(folder, kind + ".wav")
            if not os.path.exists(path):
                sox("-R", "-n", "-r", str(RATE), "-b", "16", "-c", "1", path, "synth", "600",
                    kind + "noise", "gain", "-n", "-6")
            self.samples[kind] = read_wave(path)
        # Babble: several speakers talking at once, each at the same level.
        voices = [read_wave(f) for f in babble_files]
        length = max(len(v) for v in voices) * 4
        mix = [0.0] * length
        for k, voice in enumerate(voices):
            level = rms(voice) or 1.0
            shift = (k * 7919) % len(voice)
            for i in range(length):
                mix[i] += voice[(i + shift) % len(voice)] / level
        peak = max(abs(x) for x in mix) or 1.0
        self.samples["babble"] = array.array("h", (clip16(x * 20000 / peak) for x in mix))

    def add(self, samples, kind, snr_db, rng):
        noise = self.samples[kind]
        start = rng.randrange(0, len(noise) - len(samples))
        stretch = noise[start:start + len(samples)]
        gain = rms(samples) / (rms(stretch) or 1.0) / (10 ** (snr_db / 20))
        return [clip16(s + gain * n) for s, n in zip(samples, stretch)]


class Builder:
    def __init__(self, corpus, work):
        self.corpus = corpus
        self.work = work
        self.lists = os.path.join(work, "lists")
        os.makedirs(self.lists, exist_ok=True)
        self.rng = random.Random(20261208)

    def audio(self, *parts):
        return os.path.join(self.work, "audio", *parts)

    def write_list(self, name, rows):
        with open(os.path.join(self.lists, name), "w") as out:
            for path, truth in rows:
                out.write(f"{os.path.relpath(path, self.lists)}\t{truth}\n")

    def write_trials(self, protocol, split, trials, noise_kinds):
        """trials: (id, samples, truth). Writes one list per condition; the short conditions hold
        up to three cuts of each trial, the noisy ones a copy per noise type."""
        conditions = {"clean": [], "2s": [], "1s": [], "telephone": [], "noise10": [],
                      "noise5": []}
        for n, (trial_id, samples, truth) in enumerate(trials):
            base = self.audio(protocol, split)
            clean = os.path.join(base, "clean", trial_id + ".wav")
            write_wave(clean, samples)
            conditions["clean"].append((clean, truth))
            # Short trials: the first N seconds, and up to two more cuts after them.
            for name, seconds in (("2s", 2), ("1s", 1)):
                for cut in range(3):
                    piece = samples[cut * seconds * RATE:(cut + 1) * seconds * RATE]
                    if cut > 0 and len(piece) < seconds * RATE:
                        break
                    path = os.path.join(base, name, f"{trial_id}-{cut}.wav")
                    write_wave(path, piece)
                    conditions[name].append((path, truth))
            telephone = os.path.join(base, "telephone", trial_id + ".wav")
            os.makedirs(os.path.dirname(telephone), exist_ok=True)
            # Repeatable: sox dithers the 8-bit output with a random seed otherwise, and the
            # telephone trials (and their figures) would differ from one generation to the next.
            sox("-R", "-G", clean, "-e", "u-law", "-b", "8", telephone, "sinc", "300-3400")
            conditions["telephone"].append((telephone, truth))
            for kind in noise_kinds:
                for snr in (10, 5):
                    path = os.path.join(base, f"noise{snr}", f"{trial_id}-{kind}.wav")
                    write_wave(path, self.noises.add(samples, kind, snr, self.rng))
                    conditions[f"noise{snr}"].append((path, truth))
        for condition, rows in conditions.items():
            self.write_list(f"{protocol}-{split}-{condition}.tsv", rows)
            if protocol == "libri":
                # The targets enrolled from several sentences alone, as most deployments
                # enroll, against the same never-enrolled speakers.
                kept = [(path, truth) for path, truth in rows
                        if truth == "-" or truth.split("-")[1] in self.long_targets]
                self.write_list(f"librilong-{split}-{condition}.tsv", kept)

    def write_enrollment(self, protocol, targets):
        """targets: (name, [files])"""
        with open(os.path.join(self.lists, f"enroll-{protocol}.tsv"), "w") as out:
            for name, files in targets:
                out.write("\t".join([name] + [os.path.relpath(f, self.lists) for f in files]))
                out.write("\n")

    # --- librispeech -------------------------------------------------------------------------
    def libri(self):
        root = os.path.join(self.corpus, "librispeech-excerpts")
        speakers = {}
        with open(os.path.join(root, "speakers.tsv")) as table:
            next(table)
            for line in table:
                folder, speaker, gender, seconds = line.rstrip("\n").split("\t")
                speakers[speaker] = (folder, gender, float(seconds))
        clean = {s: v for s, v in speakers.items() if v[0] == "train-clean"}
        files = {s: os.path.join(root, "train-clean", name)
                 for name in os.listdir(os.path.join(root, "train-clean"))
                 for s in [name.split("-")[0]]}

        roles = {}
        wanted = {"target": 40, "unknown": 15, "babble": 6}
        taken = {(role, g): 0 for role in wanted for g in "FM"}
        for speaker in stable_order(clean):
            _, gender, seconds = clean[speaker]
            for role, count in wanted.items():
                minimum = {"target": 12.0, "unknown": 6.0, "babble": 6.0}[role]
                if taken[(role, gender)] < count and seconds >= minimum:
                    roles[speaker] = role
                    taken[(role, gender)] += 1
                    break
            else:
                roles[speaker] = "background"
        self.background = sorted(s for s, r in roles.items() if r == "background")
        self.noises = Noises(self.work, [files[s] for s in sorted(roles) if roles[s] == "babble"])

        with open(os.path.join(self.lists, "ubm.args"), "w") as out:
            for speaker in self.background:
                out.write(f"--speaker\nlibri-{speaker}\n{files[speaker]}\n")

        targets = []
        trials = {"validation": [], "test": []}
        other = os.path.join(root, "test-other")
        self.long_targets = set(os.listdir(other))
        for speaker in sorted(os.listdir(other)):
            utterances = sorted(os.listdir(os.path.join(other, speaker)))
            paths = [os.path.join(other, speaker, u) for u in utterances]
            targets.append((f"libri-{speaker}", paths[:5]))
            for split, picks in (("validation", paths[5:7]), ("test", paths[7:10])):
                for path in picks:
                    samples = read_wave(path)[:7 * RATE]
                    trial_id = os.path.basename(path)[:-4]
                    trials[split].append((trial_id, samples, f"libri-{speaker}"))
        clean_targets = stable_order(s for s, r in roles.items() if r == "target")
        for k, speaker in enumerate(clean_targets):
            samples = read_wave(files[speaker])
            enroll = self.audio("enroll", "libri", speaker + ".wav")
            write_wave(enroll, samples[:-5 * RATE])
            targets.append((f"libri-{speaker}", [enroll]))
            split = "validation" if k % 2 == 0 else "test"
            trials[split].append((speaker, samples[-5 * RATE:], f"libri-{speaker}"))
        unknown = stable_order(s for s, r in roles.items() if r == "unknown")
        for k, speaker in enumerate(unknown):
            samples = read_wave(files[speaker])
            split = "validation" if k % 2 == 0 else "test"
            trials[split].append((speaker, samples[-5 * RATE:], "-"))
        self.write_enrollment("libri", targets)
        self.write_trials("libri", "validation", trials["validation"], ["brown", "babble"])
        self.write_trials("libri", "test", trials["test"], ["pink"])

    # --- arabic commands ---------------------------------------------------------------------
    def arabic(self):
        root = os.path.join(self.corpus, "arabic-commands", "speech")
        speakers = stable_order(os.listdir(root))
        words = stable_order(sorted({name.rsplit("_", 1)[0]
                                     for name in os.listdir(os.path.join(root, speakers[0]))}))
        enroll_words, split_words = words[:20], {"validation": words[20:30], "test": words[30:40]}
        targets = []
        trials = {"validation": [], "test": []}
        for k, speaker in enumerate(speakers):
            known = k < 24
            if known:
                files = [os.path.join(root, speaker, f"{w}_{r:02d}.wav")
                         for w in sorted(enroll_words) for r in (1, 2, 3)]
                targets.append((f"arabic-{speaker}", files))
            for split, chosen in split_words.items():
                if not known and (k % 2 == 0) != (split == "validation"):
                    continue
                clips = [os.path.join(root, speaker, f"{w}_{r:02d}.wav")
                         for r in (1, 2, 3) for w in sorted(chosen)]
                for n in range(0, len(clips) - 5, 6):
                    samples = array.array("h")
                    for clip in clips[n:n + 6]:
                        samples.extend(read_wave(clip))
                    truth = f"arabic-{speaker}" if known else "-"
                    trials[split].append((f"{speaker}-{n // 6}", samples, truth))
        self.write_enrollment("arabic", targets)
        self.write_trials("arabic", "validation", trials["validation"], ["brown", "babble"])
        self.write_trials("arabic", "test", trials["test"], ["pink"])

    # --- free spoken digits ------------------------------------------------------------------
    def fsdd(self):
        root = os.path.join(self.corpus, "fsdd", "recordings")
        speakers = ["george", "jackson", "lucas", "nicolas", "theo", "yweweler"]

        def digits(speaker, first, last):
            return [os.path.join(root, f"{d}_{speaker}_{i}.wav")
                    for i in range(first, last + 1) for d in range(10)]

        targets = [(f"fsdd-{s}", digits(s, 15, 24)) for s in speakers]
        with open(os.path.join(self.lists, "ubm-fsdd.args"), "w") as out:
            for speaker in speakers:
                out.write(f"--speaker\nfsdd-{speaker}\n")
                out.write("".join(f"{path}\n" for path in digits(speaker, 5, 14)))
        with open(os.path.join(self.lists, "ubm-fsdd-files.args"), "w") as out:
            files = sorted(p for s in speakers for p in digits(s, 5, 14))
            out.write("".join(f"{path}\n" for path in files))
        trials = {"validation": [], "test": []}
        for speaker in speakers:
            for split, (first, last) in (("validation", (35, 41)), ("test", (42, 49))):
                clips = digits(speaker, first, last)
                for n in range(0, len(clips) - 9, 10):
                    samples = array.array("h")
                    for clip in clips[n:n + 10]:
                        samples.extend(read_wave(clip))
                    trials[split].append((f"{speaker}-{n // 10}", samples, f"fsdd-{speaker}"))
        self.write_enrollment("fsdd", targets)
        # Every digit of the trials' recordings on its own: the shortest trials there are.
        for split, (first, last) in (("validation", (35, 41)), ("test", (42, 49))):
            self.write_list(f"fsdd-{split}-digit.tsv",
                            [(clip, f"fsdd-{speaker}") for speaker in speakers
                             for clip in digits(speaker, first, last)])
        self.write_trials("fsdd", "validation", trials["validation"], ["brown", "babble"])
        self.write_trials("fsdd", "test", trials["test"], ["pink"])


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    corpus, work = sys.argv[1], sys.argv[2]
    for name in ("librispeech-excerpts", "arabic-commands", "fsdd"):
        if not os.path.isdir(os.path.join(corpus, name)):
            raise SystemExit(f"protocols: {os.path.join(corpus, name)} is missing")
    stamp = os.path.join(work, "lists", "VERSION")
    if os.path.exists(stamp) and open(stamp).read().strip() == VERSION:
        print(f"protocols: {work} is up to date")
        return
    builder = Builder(corpus, work)
    builder.libri()
    builder.arabic()
    builder.fsdd()
    with open(stamp, "w") as out:
        out.write(VERSION + "\n")
    print(f"protocols: written to {work}")


if __name__ == "__main__":
    main()
