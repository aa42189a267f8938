package com.mirelta.bench;

import com.mirelta.requests.LoadManager;
import com.mirelta.requests.TargetResult;
import java.io.IOException;
import java.io.PrintWriter;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;

/**
 * Identification as a user does it, through the JVM with the project's reference engine: the
 * background model loaded once, then per call {@code VerifyDataWithGetAll} (the engine loads
 * every target, scores the recording, the library ranks and delivers, the engine releases the
 * set). Real speech of 2 s and 20 s against 10 to 10 000 targets (capped at the engine's limit),
 * on one thread and on two, beside the engine's scoring alone ({@code COM_IDENTI_SoundData} on a
 * set loaded once, through the floor library) on the same recording in the same rounds.
 *
 * <p>Every round makes, in turn: one call; two calls at once on two threads; the engine's
 * scoring alone; the count of targets. Calls per second are taken from the medians: one over
 * the median call, two over the median time of the pair of calls.
 *
 * <p>Arguments: {@code --tool FILE} (the engine's tool), {@code --ubm DIR} (the background
 * model), {@code --corpus DIR} (data/fsdd/recordings), {@code --work DIR} (where the target
 * directories are kept between runs), {@code --report FILE} (markdown), {@code --label TEXT}
 * (what was measured, such as the commit), {@code --quick} (10 targets, 2 s, one round).
 */
public final class ReferenceEngineBenchmark {
    private static final int MIN_ROUNDS = 7;
    private static final int MAX_ROUNDS = 21;
    /** Rounds stop at MIN_ROUNDS once the timed calls of one row have taken this long. */
    private static final double BUDGET_NS = 6e9;

    private final boolean quick;
    private final int warmUp;

    private ReferenceEngineBenchmark(boolean quick) {
        this.quick = quick;
        this.warmUp = quick ? 0 : 2;
    }

    /** One row of the table; times in ns, the median over the rounds unless said otherwise. */
    private record Row(int seconds, int targets, int rounds, double call, double soundData,
            double count, double callsPerSecond1, double callsPerSecond2, double spread) {}

    private Row measure(Path models, int targets, int seconds, byte[] audio)
            throws InterruptedException, ExecutionException {
        String dir = models.toString();
        short[] samples = new short[(audio.length - 44) / 2];
        int frames = JniFloor.decode(audio, audio.length, samples);
        int counted = LoadManager.GetTargetQuantity(dir);
        if (frames != samples.length || counted != targets) {
            throw new IllegalStateException("decoded " + frames + " of " + samples.length
                    + " samples; the engine counts " + counted + " targets of " + targets
                    + " under " + dir);
        }
        TargetResult[] results = new TargetResult[targets];
        TargetResult[] otherResults = new TargetResult[targets];
        int[] logScores = new int[targets];
        long set = JniFloor.loadSet(dir);
        if (set == 0 || JniFloor.loadedTargetCount(set) != targets) {
            throw new IllegalStateException("the engine did not load the targets under " + dir);
        }
        List<Long> callTimes = new ArrayList<>();
        List<Long> pairTimes = new ArrayList<>();
        List<Long> soundDataTimes = new ArrayList<>();
        List<Long> countTimes = new ArrayList<>();
        ExecutorService second = Executors.newSingleThreadExecutor();
        try {
            for (int round = 0; round < warmUp; ++round) {
                call(audio, dir, results);
                pair(second, audio, dir, results, otherResults);
                check(JniFloor.scoreLoadedSet(set, samples, frames, null), "SoundData");
            }
            // The call must score as the engine alone does: same recording, same targets.
            check(JniFloor.scoreLoadedSet(set, samples, frames, logScores), "SoundData");
            call(audio, dir, results);
            int best = Arrays.stream(logScores).max().orElseThrow();
            if (results[targets - 1] == null || results[0].logScore != best) {
                throw new IllegalStateException("the call's best score " + results[0].logScore
                        + " is not the engine's " + best);
            }
            long spent = 0;
            int maxRounds = quick ? 1 : MAX_ROUNDS;
            int minRounds = quick ? 1 : MIN_ROUNDS;
            // Each round takes the four in turn, so that a change in the machine's load falls on
            // all of them alike.
            while (callTimes.size() < maxRounds
                    && (callTimes.size() < minRounds || spent < BUDGET_NS)) {
                long start = System.nanoTime();
                call(audio, dir, results);
                long afterCall = System.nanoTime();
                long pairTime = pair(second, audio, dir, results, otherResults);
                long beforeSoundData = System.nanoTime();
                check(JniFloor.scoreLoadedSet(set, samples, frames, null), "SoundData");
                long afterSoundData = System.nanoTime();
                int again = LoadManager.GetTargetQuantity(dir);
                long afterCount = System.nanoTime();
                if (again != targets) {
                    throw new IllegalStateException("the engine counts " + again + " targets");
                }
                callTimes.add(afterCall - start);
                pairTimes.add(pairTime);
                soundDataTimes.add(afterSoundData - beforeSoundData);
                countTimes.add(afterCount - afterSoundData);
                spent += afterCall - start;
            }
        } finally {
            second.shutdown();
            JniFloor.releaseLoadedSet(set);
        }
        double call = median(callTimes);
        double spread = (max(callTimes) - min(callTimes)) / call;
        return new Row(seconds, targets, callTimes.size(), call, median(soundDataTimes),
                median(countTimes), 1e9 / call, 2e9 / median(pairTimes), spread);
    }

    /**
     * Two calls at once, this thread's and one on {@code second}; returns the time from their
     * start until both are done.
     */
    private static long pair(ExecutorService second, byte[] audio, String dir,
            TargetResult[] results, TargetResult[] otherResults)
            throws InterruptedException, ExecutionException {
        CountDownLatch go = new CountDownLatch(1);
        Future<?> other = second.submit(() -> {
            go.await();
            call(audio, dir, otherResults);
            return null;
        });
        long start = System.nanoTime();
        go.countDown();
        call(audio, dir, results);
        other.get();
        return System.nanoTime() - start;
    }

    private static void call(byte[] audio, String dir, TargetResult[] results) {
        check(LoadManager.VerifyDataWithGetAll(audio, audio.length, dir, LoadManager.RANK_BY_SCORE,
                TargetResult.JNI_NAME, results, false), "VerifyDataWithGetAll");
    }

    private static void check(int code, String what) {
        if (code != 0) {
            throw new IllegalStateException(what + " returned " + code);
        }
    }

    private static double median(List<Long> times) {
        long[] sorted = times.stream().mapToLong(Long::longValue).sorted().toArray();
        int n = sorted.length;
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
    }

    private static double min(List<Long> times) {
        return times.stream().mapToLong(Long::longValue).min().orElse(0);
    }

    private static double max(List<Long> times) {
        return times.stream().mapToLong(Long::longValue).max().orElse(0);
    }

    private static String f(double value, int decimals) {
        return String.format(Locale.ROOT, "%." + decimals + "f", value);
    }

    private void run(ReferenceTargets sets, Path ubm, Path corpus, Path report, String label)
            throws IOException, InterruptedException, ExecutionException {
        if (!LoadManager.LoadBgModels(ubm.toString())) {
            throw new IOException("the engine did not load the background model " + ubm);
        }
        int limit = LoadManager.MaxQntTargets();
        int largest = Math.min(10000, limit);
        int[] targetCounts = quick ? new int[] {10} : new int[] {10, 100, 1000, largest};
        int[] lengths = quick ? new int[] {2} : new int[] {2, 20};
        // Held-out speech of one enrolled speaker: recordings 40-49 were not enrolled.
        List<Path> speech = SpeechRecording.files(corpus, "george", 40, 49);
        List<Row> rows = new ArrayList<>();
        for (int seconds : lengths) {
            byte[] audio = SpeechRecording.join(speech, seconds);
            for (int targets : targetCounts) {
                Path models = sets.withTargets(targets);
                Row row = measure(models, targets, seconds, audio);
                System.err.printf(Locale.ROOT, "%d s, %d targets: call %.2f ms, SoundData %.2f ms"
                        + " (%d rounds)%n", seconds, targets, row.call / 1e6, row.soundData / 1e6,
                        row.rounds);
                rows.add(row);
            }
        }
        try (PrintWriter out = new PrintWriter(Files.newBufferedWriter(report))) {
            write(out, rows, limit, largest, label);
        }
    }

    private void write(PrintWriter out, List<Row> rows, int limit, int largest, String label) {
        out.println("Identification with the reference engine: `VerifyDataWithGetAll` (16-bit PCM,"
                + " ranked by score) on real speech, the background model loaded once; "
                + (label.isEmpty() ? "" : "measured on " + label + "; ") + "medians over the"
                + " rounds after " + warmUp + " warm-up rounds. Each round makes one call, then"
                + " two at once on two threads (calls/s on 2 threads: two over the median time of"
                + " the pair), then `COM_IDENTI_SoundData` alone on the same targets loaded once,"
                + " then `GetTargetQuantity` (count), which `SpeakerIdentifier.identify` makes"
                + " before every call.");
        out.println();
        out.println("| Recording | Targets | whole call ms | calls/s, 1 thread | calls/s, 2 threads"
                + " | SoundData alone ms | whole / SoundData | 2 threads / 1 thread | count ms"
                + " | rounds | spread |");
        out.println("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|");
        for (Row row : rows) {
            out.println("| " + row.seconds + " s | " + row.targets + " | " + f(row.call / 1e6, 2)
                    + " | " + f(row.callsPerSecond1, 2) + " | " + f(row.callsPerSecond2, 2)
                    + " | " + f(row.soundData / 1e6, 2) + " | " + f(row.call / row.soundData, 2)
                    + " | " + f(row.callsPerSecond2 / row.callsPerSecond1, 2) + " | "
                    + f(row.count / 1e6, 2) + " | " + row.rounds + " | "
                    + f(100 * row.spread, 0) + " % |");
        }
        out.println();
        if (!quick) {
            out.print("The engine loads at most " + limit + " targets (`MaxQntTargets`), so the"
                    + " largest set has " + largest
                    + (largest < 10000 ? " rather than 10 000" : "") + ". ");
        }
        out.println("Spread: the slowest timed call less the fastest, over the median.");
    }

    public static void main(String[] args)
            throws IOException, InterruptedException, ExecutionException {
        Path tool = null;
        Path ubm = null;
        Path corpus = null;
        Path work = null;
        Path report = null;
        String label = "";
        boolean quick = false;
        for (int i = 0; i < args.length; ++i) {
            switch (args[i]) {
                case "--tool" -> tool = Path.of(args[++i]);
                case "--ubm" -> ubm = Path.of(args[++i]);
                case "--corpus" -> corpus = Path.of(args[++i]);
                case "--work" -> work = Path.of(args[++i]);
                case "--report" -> report = Path.of(args[++i]);
                case "--label" -> label = args[++i];
                case "--quick" -> quick = true;
                default -> throw new IllegalArgumentException("unknown argument " + args[i]);
            }
        }
        if (tool == null || ubm == null || corpus == null || work == null || report == null) {
            System.err.println("usage: ReferenceEngineBenchmark --tool FILE --ubm DIR --corpus DIR"
                    + " --work DIR --report FILE [--label TEXT] [--quick]");
            System.exit(2);
        }
        Files.createDirectories(work);
        ReferenceTargets sets = new ReferenceTargets(tool, ubm, corpus, work);
        new ReferenceEngineBenchmark(quick).run(sets, ubm, corpus, report, label);
        System.out.print(Files.readString(report));
    }
}
