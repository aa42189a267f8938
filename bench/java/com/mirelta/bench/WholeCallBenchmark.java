package com.mirelta.bench;

import com.mirelta.requests.LoadManager;
import com.mirelta.requests.TargetResult;
import com.mirelta.requests.WaveFiles;
import java.io.IOException;
import java.io.PrintWriter;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.Locale;
import java.util.function.ToDoubleFunction;

/**
 * The whole identification call from Java against a floor measured in the same JVM.
 *
 * <p>For every number of targets and recording length, {@code VerifyDataWithGetAll} runs with
 * the scripted engine (told through its control file how many targets to report), and beside
 * it, in the same rounds: the floor (the bare JNI sequence the call must make), the scripted
 * engine alone, and the decoder alone. Each figure is the median of the timed rounds after
 * warm-up rounds. The engine's own time is taken out of the call's, since the scripted engine,
 * cheap as it is, is not the bridge.
 *
 * <p>Arguments: {@code --script FILE} (the scripted engine's control file, the same path as
 * KESTRUNE_SCRIPT), {@code --report FILE} (markdown tables), {@code --quick} (a short smoke run).
 */
public final class WholeCallBenchmark {
    private static final int RATE = 8000;
    private static final String MODELS_DIR = "bench-models";

    private final Path script;
    private final int warmUp;
    private final int rounds;

    private WholeCallBenchmark(Path script, boolean quick) {
        this.script = script;
        this.warmUp = quick ? 1 : 5;
        this.rounds = quick ? 3 : 21;
    }

    /** Medians in nanoseconds of one configuration. */
    private record Times(double call, double floor, double engine, double decode, double warmCopy) {}

    /** A 16-bit PCM mono WAVE image of noise, at the RATE that WaveFiles writes. */
    static byte[] wave(int seconds) {
        byte[] data = new byte[seconds * RATE * 2];
        int state = 0x2545F491;
        for (int i = 0; i < data.length; ++i) {
            state ^= state << 13;
            state ^= state >>> 17;
            state ^= state << 5;
            data[i] = (byte) state;
        }
        return WaveFiles.wave(1, 1, 2, 16, data);
    }

    /** The median of one figure over the given measurements, each rounded to whole ns. */
    private static double median(Times[] all, ToDoubleFunction<Times> figure) {
        long[] sorted = Arrays.stream(all).mapToDouble(figure).mapToLong(Math::round).sorted()
                .toArray();
        int n = sorted.length;
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
    }

    private Times measure(int targets, byte[] audio, short[] samples) throws IOException {
        Files.writeString(script, "generate " + targets + "\n");
        Object[] results = new Object[targets];
        int frames = (audio.length - 44) / 2;
        Times[] timed = new Times[rounds];
        for (int round = -warmUp; round < rounds; ++round) {
            long start = System.nanoTime();
            int code = LoadManager.VerifyDataWithGetAll(audio, audio.length, MODELS_DIR,
                    LoadManager.RANK_BY_SCORE, TargetResult.JNI_NAME, results, false);
            long afterCall = System.nanoTime();
            int floorCode = JniFloor.copyAndDeliver(audio, audio.length, TargetResult.JNI_NAME,
                    results, targets);
            long afterFloor = System.nanoTime();
            int engineCode = JniFloor.engine(MODELS_DIR, samples, frames);
            long afterEngine = System.nanoTime();
            int decoded = JniFloor.decode(audio, audio.length, samples);
            long afterDecode = System.nanoTime();
            JniFloor.copyWarm(audio, audio.length);
            long afterWarmCopy = System.nanoTime();
            if (code != 0 || floorCode != 0 || engineCode != 0 || decoded != frames) {
                throw new IllegalStateException("call " + code + ", floor " + floorCode
                        + ", engine " + engineCode + ", decoded " + decoded + " of " + frames);
            }
            if (round >= 0) {
                timed[round] = new Times(afterCall - start, afterFloor - afterCall,
                        afterEngine - afterFloor, afterDecode - afterEngine,
                        afterWarmCopy - afterDecode);
            }
        }
        return medianOf(timed);
    }

    /** Each figure the median over the given measurements. */
    private static Times medianOf(Times[] all) {
        return new Times(median(all, Times::call), median(all, Times::floor),
                median(all, Times::engine), median(all, Times::decode),
                median(all, Times::warmCopy));
    }

    /**
     * The two ratios of one set of measurements: the call's own marginal cost per target over
     * the floor's (shortest recording), and per megabyte over the floor copy plus the decoder
     * (one target).
     */
    private static double[] ratios(Times[][] times, int[] targetCounts, byte[][] audio) {
        return new double[] {
            perTarget(times, targetCounts, m -> m.call - m.engine)
                    / perTarget(times, targetCounts, m -> m.floor),
            perMegabyte(times, audio, m -> m.call - m.engine)
                    / perMegabyte(times, audio, m -> m.floor + m.decode)};
    }

    /** The slope in ns per target of one figure over the target counts, shortest recording. */
    private static double perTarget(Times[][] times, int[] targetCounts,
            ToDoubleFunction<Times> figure) {
        double[] x = new double[targetCounts.length];
        double[] y = new double[x.length];
        for (int t = 0; t < x.length; ++t) {
            x[t] = targetCounts[t];
            y[t] = figure.applyAsDouble(times[t][0]);
        }
        return slope(x, y);
    }

    /** The slope in ns per megabyte of one figure over the recording lengths, one target. */
    private static double perMegabyte(Times[][] times, byte[][] audio,
            ToDoubleFunction<Times> figure) {
        double[] mb = new double[audio.length];
        double[] y = new double[mb.length];
        for (int l = 0; l < mb.length; ++l) {
            mb[l] = audio[l].length / 1e6;
            y[l] = figure.applyAsDouble(times[0][l]);
        }
        return slope(mb, y);
    }

    /** The least-squares slope of y over x. */
    private static double slope(double[] x, double[] y) {
        double mx = Arrays.stream(x).average().orElse(0);
        double my = Arrays.stream(y).average().orElse(0);
        double sxy = 0;
        double sxx = 0;
        for (int i = 0; i < x.length; ++i) {
            sxy += (x[i] - mx) * (y[i] - my);
            sxx += (x[i] - mx) * (x[i] - mx);
        }
        return sxy / sxx;
    }

    private static String f(double value, int decimals) {
        return String.format(Locale.ROOT, "%." + decimals + "f", value);
    }

    private void run(boolean quick, Path report) throws IOException {
        int[] targetCounts = quick ? new int[] {1, 100} : new int[] {1, 100, 1000, 10000};
        int[] lengths = quick ? new int[] {1, 60} : new int[] {1, 60, 600};
        int longest = quick ? 60 : 3600;
        short[] samples = new short[longest * RATE];
        byte[][] audio = new byte[lengths.length][];
        for (int i = 0; i < lengths.length; ++i) {
            audio[i] = wave(lengths[i]);
        }
        // The whole set is measured in several passes; each configuration's figure is the
        // median of its pass medians, and the ratios of every pass are reported to show the noise.
        int passes = quick ? 1 : 3;
        Times[][][] perPass = new Times[passes][targetCounts.length][lengths.length];
        Times[] hours = new Times[passes];
        byte[] hourAudio = quick ? null : wave(longest);
        for (int pass = 0; pass < passes; ++pass) {
            for (int t = 0; t < targetCounts.length; ++t) {
                for (int l = 0; l < lengths.length; ++l) {
                    perPass[pass][t][l] = measure(targetCounts[t], audio[l], samples);
                }
            }
            if (hourAudio != null) {
                hours[pass] = measure(1, hourAudio, samples);
            }
        }
        Times[][] times = new Times[targetCounts.length][lengths.length];
        for (int t = 0; t < targetCounts.length; ++t) {
            for (int l = 0; l < lengths.length; ++l) {
                Times[] across = new Times[passes];
                for (int pass = 0; pass < passes; ++pass) {
                    across[pass] = perPass[pass][t][l];
                }
                times[t][l] = medianOf(across);
            }
        }
        Times hour = hourAudio == null ? null : medianOf(hours);
        StringBuilder targetRatios = new StringBuilder();
        StringBuilder megabyteRatios = new StringBuilder();
        for (int pass = 0; pass < passes; ++pass) {
            double[] ratios = ratios(perPass[pass], targetCounts, audio);
            targetRatios.append(pass == 0 ? "" : ", ").append(f(ratios[0], 2));
            megabyteRatios.append(pass == 0 ? "" : ", ").append(f(ratios[1], 2));
        }

        try (PrintWriter out = new PrintWriter(Files.newBufferedWriter(report))) {
            out.println("Whole call: `VerifyDataWithGetAll` on 16-bit PCM mono at 8 kHz with the"
                    + " scripted engine; in ms, the median over " + passes + " passes of the"
                    + " median of " + rounds + " rounds after " + warmUp + " warm-up rounds. The floor is the bare JNI sequence (copy of the"
                    + " recording, then per target the result object); the engine column is the"
                    + " scripted engine alone (load, score, release).");
            out.println();
            out.println("| Targets | Recording | call | engine | call − engine | floor |");
            out.println("|---:|---|---:|---:|---:|---:|");
            for (int t = 0; t < targetCounts.length; ++t) {
                for (int l = 0; l < lengths.length; ++l) {
                    Times m = times[t][l];
                    out.println("| " + targetCounts[t] + " | " + lengths[l] + " s | "
                            + f(m.call / 1e6, 3) + " | " + f(m.engine / 1e6, 3) + " | "
                            + f((m.call - m.engine) / 1e6, 3) + " | " + f(m.floor / 1e6, 3)
                            + " |");
                }
            }

            // Per target: slopes over the target counts with the shortest recording.
            double callPerTarget = perTarget(times, targetCounts, Times::call) / 1e3;
            double enginePerTarget = perTarget(times, targetCounts, Times::engine) / 1e3;
            double floorPerTarget = perTarget(times, targetCounts, Times::floor) / 1e3;
            double ownPerTarget = callPerTarget - enginePerTarget;
            out.println();
            out.println("Marginal cost per target (least-squares slope over "
                    + targetCounts.length + " target counts, " + lengths[0] + " s recording), µs:");
            out.println();
            out.println("| call | engine | call − engine | floor | (call − engine) / floor |");
            out.println("|---:|---:|---:|---:|---:|");
            out.println("| " + f(callPerTarget, 3) + " | " + f(enginePerTarget, 3) + " | "
                    + f(ownPerTarget, 3) + " | " + f(floorPerTarget, 3) + " | "
                    + f(ownPerTarget / floorPerTarget, 2) + " |");
            out.println();
            out.println("(call − engine) / floor in each of the " + passes + " passes: "
                    + targetRatios + ".");

            // Per megabyte of recording: slopes over the lengths with one target.
            double callPerMb = perMegabyte(times, audio, Times::call) / 1e6;
            double enginePerMb = perMegabyte(times, audio, Times::engine) / 1e6;
            double floorPerMb = perMegabyte(times, audio, Times::floor) / 1e6;
            double decodePerMb = perMegabyte(times, audio, Times::decode) / 1e6;
            double warmPerMb = perMegabyte(times, audio, Times::warmCopy) / 1e6;
            double ownPerMb = callPerMb - enginePerMb;
            out.println();
            out.println("Marginal cost per MB of recording (slope over " + lengths.length
                    + " lengths up to " + lengths[lengths.length - 1] + " s, one target), ms:");
            out.println();
            out.println("| call | engine | call − engine | floor copy | decoder | (call − engine)"
                    + " / (floor copy + decoder) | copy into touched memory |"
                    + " (call − engine) / (touched copy + decoder) |");
            out.println("|---:|---:|---:|---:|---:|---:|---:|---:|");
            out.println("| " + f(callPerMb, 4) + " | " + f(enginePerMb, 4) + " | "
                    + f(ownPerMb, 4) + " | " + f(floorPerMb, 4) + " | " + f(decodePerMb, 4)
                    + " | " + f(ownPerMb / (floorPerMb + decodePerMb), 2) + " | "
                    + f(warmPerMb, 4) + " | " + f(ownPerMb / (warmPerMb + decodePerMb), 2)
                    + " |");
            out.println();
            out.println("(call − engine) / (floor copy + decoder) in each of the " + passes
                    + " passes: " + megabyteRatios + ".");

            if (hour != null) {
                double megabytes = (longest * RATE * 2 + 44) / 1e6;
                out.println();
                out.println("A " + longest / 60 + "-minute recording (" + f(megabytes, 1)
                        + " MB), one target, ms:");
                out.println();
                out.println("| call | engine | call − engine | floor copy | decoder |"
                        + " copy into touched memory |");
                out.println("|---:|---:|---:|---:|---:|---:|");
                out.println("| " + f(hour.call / 1e6, 2) + " | " + f(hour.engine / 1e6, 2)
                        + " | " + f((hour.call - hour.engine) / 1e6, 2) + " | "
                        + f(hour.floor / 1e6, 2) + " | " + f(hour.decode / 1e6, 2) + " | "
                        + f(hour.warmCopy / 1e6, 2) + " |");
            }
        }
    }

    public static void main(String[] args) throws IOException {
        Path script = null;
        Path report = null;
        boolean quick = false;
        for (int i = 0; i < args.length; ++i) {
            switch (args[i]) {
                case "--script" -> script = Path.of(args[++i]);
                case "--report" -> report = Path.of(args[++i]);
                case "--quick" -> quick = true;
                default -> throw new IllegalArgumentException("unknown argument " + args[i]);
            }
        }
        if (script == null || report == null) {
            System.err.println("usage: WholeCallBenchmark --script FILE --report FILE [--quick]");
            System.exit(2);
        }
        new WholeCallBenchmark(script, quick).run(quick, report);
        System.out.print(Files.readString(report));
    }
}
