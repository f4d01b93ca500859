#!/usr/bin/python3
"""Dictation benchmark: kelvane-dictate against pocketsphinx_continuous on the same audio.

Run inside a throwaway desktop (it needs the virtual microphone):
    scripts/with-desktop bench/dictate/dictate_bench.py [build/release/dictate/kelvane-dictate]

Five sentences are spoken by flite (voices kal16 and rms). For each one kelvane-dictate
is started, the sentence is played into the virtual microphone, "stop" is written after
it, and the final text is scored. The peer decodes the same sentences from 16 kHz files
with `pocketsphinx_continuous -infile`. Printed: time from process start to "ready",
time from "stop" to "final", peak memory and word error rate, each with its ratio to the
peer's nearest figure (model load time, decode time after the audio, peak memory, WER).
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SENTENCES = [
    ("kal16", "please send the report to my manager before noon"),
    ("rms", "the weather is nice today so we can walk to the park"),
    ("kal16", "open the new document and read the first page"),
    ("rms", "i will call you back in ten minutes"),
    ("kal16", "we need to buy milk bread and eggs"),
]


def words(text):
    cleaned = "".join(c.lower() if c.isalnum() or c in " '" else " " for c in text)
    return cleaned.split()


def word_errors(reference, hypothesis):
    """Levenshtein distance over words."""
    previous = list(range(len(hypothesis) + 1))
    for i, ref in enumerate(reference, 1):
        current = [i]
        for j, hyp in enumerate(hypothesis, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (ref != hyp)))
        previous = current
    return previous[-1]


def peak_kb(time_file):
    with open(time_file) as f:
        return int(f.read().split()[-1])


def run_dictate(program, wav, folder):
    time_file = os.path.join(folder, "dictate.time")
    started = time.monotonic()
    process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", time_file, program],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    events = []
    ready = threading.Event()

    def read_events():
        for line in process.stdout:
            event = json.loads(line)
            events.append((time.monotonic(), event))
            if event["type"] == "ready":
                ready.set()
    reader = threading.Thread(target=read_events)
    reader.start()
    if not ready.wait(30):
        process.kill()
        raise SystemExit("kelvane-dictate sent no ready event: %r" % events)
    ready_at = events[0][0]
    subprocess.run(["paplay", "-d", os.environ["KELVANE_TEST_MIC_FEED_SINK"], wav], check=True)
    time.sleep(0.3)
    stop_at = time.monotonic()
    process.stdin.write(b"stop\n")
    process.stdin.flush()
    process.wait(30)
    reader.join()
    final_at, final = events[-1]
    assert final["type"] == "final", events
    return {"ready": ready_at - started, "final": final_at - stop_at, "text": final["text"],
            "peak": peak_kb(time_file), "partials": sum(1 for _, e in events if e["type"] == "partial")}


def run_peer(wav16, folder):
    time_file = os.path.join(folder, "peer.time")
    started = time.monotonic()
    out = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", time_file, "pocketsphinx_continuous",
                          "-infile", wav16, "-logfn", "/dev/null"],
                         capture_output=True, text=True, check=True).stdout
    return {"seconds": time.monotonic() - started, "text": out.strip(), "peak": peak_kb(time_file)}


def main():
    top = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    program = sys.argv[1] if len(sys.argv) > 1 else os.path.join(top, "build/release/dictate/kelvane-dictate")
    with tempfile.TemporaryDirectory() as folder:
        silence = os.path.join(folder, "silence.wav")
        subprocess.run(["sox", "-n", "-r", "16000", "-c", "1", "-b", "16", silence, "trim", "0", "0.1"], check=True)
        peer_load = statistics.median(run_peer(silence, folder)["seconds"] for _ in range(3))

        ours, peers, references = [], [], []
        for index, (voice, sentence) in enumerate(SENTENCES):
            wav = os.path.join(folder, "s%d.wav" % index)
            wav16 = os.path.join(folder, "s%d-16k.wav" % index)
            subprocess.run(["flite", "-voice", voice, "-t", sentence, "-o", wav], check=True)
            subprocess.run(["sox", wav, "-r", "16000", "-c", "1", "-b", "16", wav16], check=True)
            ours.append(run_dictate(program, wav, folder))
            peers.append(run_peer(wav16, folder))
            references.append(words(sentence))
            print("sentence %d: ours %r | pocketsphinx_continuous %r" % (index + 1, ours[-1]["text"], peers[-1]["text"]))

    total_words = sum(len(r) for r in references)
    our_wer = sum(word_errors(r, words(o["text"])) for r, o in zip(references, ours)) / total_words
    peer_wer = sum(word_errors(r, words(p["text"])) for r, p in zip(references, peers)) / total_words
    ready = statistics.median(o["ready"] for o in ours)
    final = statistics.median(o["final"] for o in ours)
    peer_decode = statistics.median(max(p["seconds"] - peer_load, 1e-3) for p in peers)
    our_peak = max(o["peak"] for o in ours)
    peer_peak = max(p["peak"] for p in peers)

    print("start to ready:  %.3f s (goal 0.600)   pocketsphinx_continuous model load %.3f s   ratio %.2f"
          % (ready, peer_load, ready / peer_load))
    print("stop to final:   %.3f s (goal 0.800)   pocketsphinx_continuous decode after load %.3f s   ratio %.2f"
          % (final, peer_decode, final / peer_decode))
    print("peak memory:     %d KB   pocketsphinx_continuous %d KB   ratio %.2f" % (our_peak, peer_peak, our_peak / peer_peak))
    print("word error rate: %.3f   pocketsphinx_continuous %.3f   ratio %.2f"
          % (our_wer, peer_wer, our_wer / peer_wer if peer_wer else float("inf") if our_wer else 1.0))
    print("partials per sentence: %.1f" % statistics.mean(o["partials"] for o in ours))


if __name__ == "__main__":
    main()
