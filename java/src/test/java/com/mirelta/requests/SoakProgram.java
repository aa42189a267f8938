package com.mirelta.requests;

import static com.mirelta.requests.ScriptedEngine.THREE_TARGETS;
import static com.mirelta.requests.ScriptedEngine.jniName;
import static com.mirelta.requests.ScriptedEngine.names;
import static com.mirelta.requests.ScriptedEngine.ranked;

import com.mirelta.requests.ScriptedEngine.ModelSets;
import com.mirelta.requests.ScriptedEngine.NamelessResult;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.atomic.AtomicLong;
import java.util.function.Supplier;
import java.util.stream.Stream;

/**
 * The soak test, a program run by CTest (soak.identification, label "soak"): 100 000
 * identification calls from 8 threads in a JVM with CheckJNI, against the scripted engine, over
 * good and bad recordings and every failure path. Every call's code and results are checked, and
 * the engine's call log must show each loaded model set handed back exactly once. Resident memory
 * is read after a warm-up and after the calls, each time after a full garbage collection, and may
 * grow by at most {@link #GROWTH_LIMIT_KB}. Exits with 1 when anything fails.
 *
 * <p>CTest runs it with a fixed Java heap that is touched at start, so that resident memory
 * follows the native side. The threshold: after the warm-up the JVM's own resident memory moves
 * by up to 2.5 MB over these calls (malloc arenas, compiled code). The smallest things a call
 * holds are the characters of its two strings, and both are long here (a models path of over
 * 200 bytes, a class name of over 230), so that a copy of either left unreleased on every call
 * that takes it adds over 10 MB; an audio copy, sample buffer or model set adds far more.
 */
public final class SoakProgram {
    static final int THREADS = 8;
    static final int CALLS = 100_000;
    static final int WARM_UP_CALLS = 10_000;
    static final long GROWTH_LIMIT_KB = 8 * 1024;
    static final int MAX_REPORTED = 20;

    /**
     * The result class of the calls that take a class name: its name is long (see above). The
     * library finds the fields it inherits, as it would those declared in it.
     */
    static final class ResultWhoseClassNameIsLongEnoughThatACopyOfItsCharactersLeftUnreleasedOnEveryCallThatTakesItWouldAddOverTenMegabytesToTheResidentMemoryOfThisProgramDuringTheHundredThousandCallsOfTheSoakAndSoFailItsLimit extends TargetResult {}

    static final String RESULT_CLASS = jniName(Arrays.stream(SoakProgram.class.getDeclaredClasses())
            .filter(type -> type.getSuperclass() == TargetResult.class).findFirst().orElseThrow());

    /** What the engine writes, and what Java must receive for it. */
    static final String[][] AWKWARD_NAMES = {
        {"z".repeat(256), "z".repeat(256)},  // the whole slot, no NUL
        {"y".repeat(255) + "\\xF0", "y".repeat(255) + "\uFFFD"},  // cut at the slot's end
        {"Zo\\xC3\\xAB \\xF0\\x9F\\x8E\\xA4", "Zo\u00EB \uD83C\uDFA4"},
        {"bad\\xFFbyte\\xC0\\xAF", "bad\uFFFDbyte\uFFFD\uFFFD"},
        {"\\xED\\xA0\\xBC\\xED\\xBE\\xA4 surrogates", "\uD83C\uDFA4 surrogates"},
    };

    private final Path scripts;
    private final byte[] mono = WaveFiles.anyRecording();
    /** Over 2 MiB, the size from which the library maps a call's buffers instead of the heap. */
    private final byte[] longRecording = WaveFiles.pcm16(new short[1_100_000], 1);
    private final byte[] stereo;
    private final byte[] mulaw;
    private final byte[] alaw;
    private final byte[] emptyData = WaveFiles.pcm16(new short[0], 1);
    private final byte[] noWholeFrame = WaveFiles.wave(1, 1, 2, 16, new byte[] {0x11});
    private final byte[] moreSamplesThanBytes = WaveFiles.wave(7, 5, 1, 8, new byte[64]);
    private final byte[] notAWave =
            "RIFX and then nothing a reader could use".getBytes(StandardCharsets.US_ASCII);
    private final String threeTargets;
    private final String engineCode;
    private final String failedLoad;
    private final String negativeCount;
    private final String noTargets;
    private final String awkwardNames;
    private final String manyTargets;

    private final AtomicInteger failures = new AtomicInteger();
    private final AtomicLong calls = new AtomicLong();

    SoakProgram(Path scripts) throws IOException {
        this.scripts = scripts;
        short[] samples = new short[1200];
        byte[] codes = new byte[600];
        for (int i = 0; i < samples.length; i++) {
            samples[i] = (short) (i * 97 - 30000);
        }
        for (int i = 0; i < codes.length; i++) {
            codes[i] = (byte) (i * 13);
        }
        stereo = WaveFiles.pcm16(samples, 2);
        mulaw = WaveFiles.g711(7, codes);
        alaw = WaveFiles.g711(6, codes);
        threeTargets = script("three-targets", THREE_TARGETS);
        engineCode = script("engine-code", "sound_code 4242", THREE_TARGETS[0]);
        failedLoad = script("failed-load", "load_fails 1", THREE_TARGETS[0]);
        negativeCount = script("negative-count", "target_count -2", THREE_TARGETS[0]);
        noTargets = script("no-targets");
        String[] awkward = new String[AWKWARD_NAMES.length];
        for (int i = 0; i < awkward.length; i++) {
            awkward[i] = "target " + (10 - i) + " 1 1 " + AWKWARD_NAMES[i][0];
        }
        awkwardNames = script("awkward-names", awkward);
        manyTargets = script("many-targets", "generate 64");
    }

    /**
     * Writes a script for the scripted engine and returns its path, which the calls pass as their
     * models directory. The file name is padded to over 200 bytes.
     */
    private String script(String name, String... lines) throws IOException {
        String padded = name + "-" + "p".repeat(200 - name.length()) + ".script";
        Path file = scripts.resolve(padded);
        Files.write(file, Arrays.asList(lines), StandardCharsets.UTF_8);
        return file.toString();
    }

    /** One identification call; returns null when it behaved, or what went wrong. */
    interface Scenario {
        String call(int n);
    }

    private static String expect(String what, int expected, int actual) {
        return expected == actual ? null : what + ": code " + actual + ", expected " + expected;
    }

    /**
     * The wrong code when there is one, else the complaint unless the results are right. The
     * complaint is built only when needed, as it costs more than the check.
     */
    private static String unlessRight(String wrongCode, boolean right, Supplier<String> complaint) {
        return wrongCode != null ? wrongCode : right ? null : complaint.get();
    }

    private int all(byte[] audio, int length, String models, int rankBy, String className,
            Object[] results) {
        return LoadManager.VerifyDataWithGetAll(audio, length, models, rankBy, className, results,
                false);
    }

    private int best(byte[] audio, int length, String models, int rankBy, Object result) {
        return LoadManager.VerifyDataWithGetMaxProbability(audio, length, models, rankBy, result,
                false);
    }

    /** Every way through a call, one call each; the soak cycles through them. */
    List<Scenario> scenarios() {
        List<Scenario> list = new ArrayList<>();
        // Success, each method, each criterion and each encoding.
        list.add(n -> {
            int rankBy = n % 4 - 1;  // -1, 0, 1, 2
            Object[] results = new Object[4];
            String wrong = expect("all, mono", 0,
                    all(mono, mono.length, threeTargets, rankBy, RESULT_CLASS, results));
            List<String> expected = new ArrayList<>(ranked(rankBy));
            expected.add("-");
            return unlessRight(wrong, names(results).equals(expected),
                    () -> "all, mono: " + names(results));
        });
        list.add(n -> {
            int rankBy = n % 3;
            TargetResult result = new TargetResult();
            String wrong = expect("best, stereo", 0,
                    best(stereo, stereo.length, threeTargets, rankBy, result));
            return unlessRight(wrong, ranked(rankBy).get(0).equals(result.target_name),
                    () -> "best, stereo: " + result.target_name);
        });
        list.add(n -> {
            Object[] results = new Object[3];
            String wrong = expect("all, mu-law", 0,
                    all(mulaw, mulaw.length, threeTargets, 1, RESULT_CLASS, results));
            TargetResult first = (TargetResult) results[0];
            return unlessRight(wrong, first != null && first.errorFR_percent == 900
                    && first.logScore == 500 && first.errorFA_percent == 8000,
                    () -> "all, mu-law: " + names(results));
        });
        list.add(n -> {
            TargetResult result = new TargetResult();
            String wrong = expect("best, A-law", 0, best(alaw, alaw.length, threeTargets, 2,
                    result));
            return unlessRight(wrong,
                    "bert".equals(result.target_name) && result.errorFA_percent == 7000,
                    () -> "best, A-law: " + result.target_name);
        });
        list.add(n -> {
            Object[] results = new Object[AWKWARD_NAMES.length];
            String wrong = expect("awkward names", 0, all(mono, mono.length, awkwardNames, 0,
                    RESULT_CLASS, results));
            List<String> expected = new ArrayList<>();
            for (String[] name : AWKWARD_NAMES) {
                expected.add(name[1]);
            }
            return unlessRight(wrong, names(results).equals(expected),
                    () -> "awkward names: " + names(results));
        });
        list.add(n -> {
            Object[] results = new Object[64];
            String wrong = expect("64 targets", 0, all(mono, mono.length, manyTargets, 0,
                    RESULT_CLASS, results));
            if (wrong != null) {
                return wrong;
            }
            for (int i = 1; i < results.length; i++) {
                if (((TargetResult) results[i - 1]).logScore
                        < ((TargetResult) results[i]).logScore) {
                    return "64 targets: not ranked at " + i;
                }
            }
            return null;
        });
        // Every fourth time, a recording whose copy and samples are mapped for the call.
        list.add(n -> {
            byte[] audio = n % 4 == 0 ? longRecording : mono;
            TargetResult result = new TargetResult();
            String wrong = expect("best, long recording", 0,
                    best(audio, audio.length, threeTargets, 0, result));
            return unlessRight(wrong, "bert".equals(result.target_name),
                    () -> "best, long recording: " + result.target_name);
        });
        // A recording damaged at one byte, or cut short: unreadable, or read as far as it goes.
        list.add(n -> {
            byte[] damaged = mono.clone();
            damaged[(n * 7919) % damaged.length] = (byte) (n * 31);
            int length = n % 2 == 0 ? damaged.length : (n * 104729) % (damaged.length + 1);
            Object[] results = new Object[3];
            int code = all(damaged, length, threeTargets, 0, RESULT_CLASS, results);
            return code == 0 || code == LoadManager.ERR_NO_AUDIO ? null
                    : "damaged recording: code " + code;
        });
        // Calls that end before the engine.
        list.add(n -> expect("audio null", LoadManager.ERR_NO_AUDIO,
                all(null, 100, threeTargets, 0, RESULT_CLASS, new Object[3])));
        list.add(n -> expect("not a wave", LoadManager.ERR_NO_AUDIO,
                best(notAWave, notAWave.length, threeTargets, 0, new TargetResult())));
        list.add(n -> expect("empty data", LoadManager.ERR_NO_AUDIO,
                all(emptyData, emptyData.length, threeTargets, 0, RESULT_CLASS, new Object[3])));
        list.add(n -> expect("more samples than bytes", LoadManager.ERR_NO_AUDIO,
                all(moreSamplesThanBytes, moreSamplesThanBytes.length, threeTargets, 0,
                        RESULT_CLASS, new Object[3])));
        list.add(n -> {
            int length = n % 3 == 0 ? -1 : n % 3 == 1 ? Integer.MIN_VALUE : mono.length + 1;
            return expect("length outside the array", LoadManager.ERR_INVALID_ARGUMENT,
                    best(mono, length, threeTargets, 0, new TargetResult()));
        });
        list.add(n -> expect("models null", LoadManager.ERR_NULL_ARGUMENT,
                all(mono, mono.length, null, 0, RESULT_CLASS, new Object[3])));
        list.add(n -> expect("class name null", LoadManager.ERR_NULL_ARGUMENT,
                all(mono, mono.length, threeTargets, 0, null, new Object[3])));
        list.add(n -> {
            TargetResult result = new TargetResult();
            String wrong = expect("no whole frame", 0,
                    best(noWholeFrame, noWholeFrame.length, threeTargets, 0, result));
            return unlessRight(wrong, result.target_name == null, () -> "no whole frame");
        });
        // Engine answers.
        list.add(n -> {
            Object[] results = new Object[3];
            String wrong = expect("engine code", 4242,
                    all(mono, mono.length, engineCode, 0, RESULT_CLASS, results));
            return unlessRight(wrong, names(results).equals(List.of("-", "-", "-")),
                    () -> "engine code");
        });
        list.add(n -> {
            TargetResult result = new TargetResult();
            String wrong = expect("failed load", 0, best(mono, mono.length, failedLoad, 0, result));
            return unlessRight(wrong, result.target_name == null, () -> "failed load");
        });
        list.add(n -> expect("negative count", LoadManager.ERR_ENGINE_CONTRACT,
                all(mono, mono.length, negativeCount, 0, RESULT_CLASS, new Object[3])));
        list.add(n -> {
            TargetResult result = new TargetResult();
            String wrong = expect("no targets", 0, best(stereo, stereo.length, noTargets, 1,
                    result));
            return unlessRight(wrong, result.target_name == null, () -> "no targets");
        });
        // Destinations that cannot take the results.
        list.add(n -> {
            Object[] results = n % 3 == 0 ? null : n % 3 == 1 ? new Object[2] : new String[3];
            return expect("undeliverable array", LoadManager.ERR_RESULT_DELIVERY,
                    all(mono, mono.length, threeTargets, 0, RESULT_CLASS, results));
        });
        String[] classes = {"com/mirelta/requests/NoSuchResult",
            "com.mirelta.requests.TargetResult", jniName(NamelessResult.class),
            "java/lang/Runnable"};
        list.add(n -> expect("undeliverable class", LoadManager.ERR_RESULT_DELIVERY,
                all(mono, mono.length, threeTargets, 0, classes[n % classes.length],
                        new Object[3])));
        list.add(n -> expect("undeliverable best", LoadManager.ERR_RESULT_DELIVERY,
                best(mulaw, mulaw.length, threeTargets, 0,
                        n % 2 == 0 ? null : new NamelessResult())));
        return list;
    }

    /** Runs `count` calls on the pool, cycling through the scenarios from `first` on. */
    void run(ExecutorService pool, List<Scenario> scenarios, int first, int count)
            throws Exception {
        List<Future<?>> work = new ArrayList<>();
        for (int t = 0; t < THREADS; t++) {
            final int thread = t;
            work.add(pool.submit(() -> {
                for (int n = first + thread; n < first + count; n += THREADS) {
                    String wrong = scenarios.get(n % scenarios.size()).call(n / scenarios.size());
                    calls.incrementAndGet();
                    if (wrong != null && failures.incrementAndGet() <= MAX_REPORTED) {
                        System.out.println("call " + n + ": " + wrong);
                    }
                }
            }));
        }
        for (Future<?> done : work) {
            done.get();
        }
    }

    static long residentKb() throws IOException {
        for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
            if (line.startsWith("VmRSS:")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        throw new IOException("no VmRSS in /proc/self/status");
    }

    static long residentAfterGc() throws Exception {
        for (int i = 0; i < 3; i++) {
            System.gc();
            Thread.sleep(100);
        }
        return residentKb();
    }

    /** Loads against releases in the engine's call log: each load released once, unchanged. */
    static String checkCallLog() throws IOException {
        ModelSets sets;
        try (Stream<String> lines = Files.lines(ScriptedEngine.CALL_LOG, StandardCharsets.UTF_8)) {
            sets = ScriptedEngine.modelSets(lines);
        }
        System.out.println("soak: engine call log: " + sets.loads() + " loads, " + sets.releases()
                + " releases, " + sets.mismatches() + " mismatched releases");
        return sets.loads() == sets.releases() && sets.mismatches() == 0 && sets.loads() > 0 ? null
                : "model sets not released exactly once";
    }

    public static void main(String[] args) throws Exception {
        Path scripts = ScriptedEngine.CALL_LOG.resolveSibling("scripts");
        Files.createDirectories(scripts);
        ScriptedEngine.script();

        SoakProgram soak = new SoakProgram(scripts);
        List<Scenario> scenarios = soak.scenarios();
        ExecutorService pool = Executors.newFixedThreadPool(THREADS);
        try {
            soak.run(pool, scenarios, 0, WARM_UP_CALLS);
            long before = residentAfterGc();
            long start = System.nanoTime();
            soak.run(pool, scenarios, WARM_UP_CALLS, CALLS);
            long seconds = (System.nanoTime() - start) / 1_000_000_000L;
            long after = residentAfterGc();
            long growth = after - before;
            System.out.printf("soak: %d calls from %d threads over %d scenarios in %d s (after %d"
                    + " warm-up calls)%n", CALLS, THREADS, scenarios.size(), seconds,
                    WARM_UP_CALLS);
            System.out.printf("soak: resident memory %.1f MB before, %.1f MB after, growth %.1f MB"
                    + " (limit %.1f MB)%n", before / 1024.0, after / 1024.0, growth / 1024.0,
                    GROWTH_LIMIT_KB / 1024.0);
            String log = checkCallLog();
            boolean ok = true;
            if (soak.failures.get() > 0) {
                System.out.println("FAILED: " + soak.failures.get() + " calls misbehaved");
                ok = false;
            }
            if (soak.calls.get() != CALLS + WARM_UP_CALLS) {
                System.out.println("FAILED: " + soak.calls.get() + " calls made");
                ok = false;
            }
            if (growth > GROWTH_LIMIT_KB) {
                System.out.println("FAILED: resident memory grew by more than the limit");
                ok = false;
            }
            if (log != null) {
                System.out.println("FAILED: " + log);
                ok = false;
            }
            if (!ok) {
                System.exit(1);
            }
            Files.delete(ScriptedEngine.CALL_LOG);  // tens of megabytes, of no use once checked
            System.out.println("soak: passed");
        } finally {
            pool.shutdown();
        }
    }
}
