package com.mirelta.bench;

import com.mirelta.requests.SpeakerIdentifier;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.Locale;
import java.util.Random;

/**
 * What the batch benchmark (scripts/bench.sh, group {@code batch}) needs besides timing whole
 * runs: the archive, and the cost of one recording taken apart.
 *
 * <pre>
 * prepare --tool T --ubm DIR --corpus DIR --work DIR --targets N --recordings M
 *     enrolls the repository's six speakers and copies them into N targets (as the reference
 *     benchmark does, in the same work folder), and writes M real recordings of 2 to 5 s
 *     (held-out digits of the six speakers joined) with their list; prints the models folder
 * split --ubm DIR --models DIR --list FILE --count K --report FILE
 *     in this one process: the background model's load, the first identification (the
 *     targets' first load), then for K recordings of the list the whole call as batch makes it,
 *     the engine's load-score-release and its scoring alone; writes a Markdown table
 * </pre>
 */
public final class BatchBenchmark {
    private BatchBenchmark() {}

    public static void main(String[] args) throws Exception {
        List<String> rest = Arrays.asList(args).subList(1, args.length);
        switch (args[0]) {
            case "prepare" -> prepare(rest);
            case "split" -> split(rest);
            default -> throw new IllegalArgumentException("prepare or split, not " + args[0]);
        }
    }

    private static String option(List<String> args, String name) {
        int at = args.indexOf(name);
        if (at < 0 || at + 1 >= args.size()) {
            throw new IllegalArgumentException(name + " is required");
        }
        return args.get(at + 1);
    }

    private static void prepare(List<String> args) throws Exception {
        Path work = Path.of(option(args, "--work"));
        int targets = Integer.parseInt(option(args, "--targets"));
        int count = Integer.parseInt(option(args, "--recordings"));
        ReferenceTargets sets = new ReferenceTargets(Path.of(option(args, "--tool")),
                Path.of(option(args, "--ubm")), Path.of(option(args, "--corpus")), work);
        Path models = sets.withTargets(targets);
        Path folder = work.resolve("batch-mixed-recordings-" + count);
        Path list = work.resolve("batch-mixed-list-" + count + ".txt");
        if (!Files.isRegularFile(list)) {
            Files.createDirectories(folder);
            Path corpus = Path.of(option(args, "--corpus"));
            List<String> paths = new ArrayList<>();
            // Speaker and length drawn from a fixed seed rather than in turn: a list whose
            // lengths repeat every 4 recordings gives shard 0 of 2 only the 2 s and 4 s ones,
            // and the shards of a sharded run then differ by a third in work.
            Random draw = new Random(20261209);
            for (int i = 0; i < count; i++) {
                String speaker = ReferenceTargets.SPEAKERS.get(draw.nextInt(6));
                int seconds = 2 + draw.nextInt(4);
                // indices 40-49 (not enrolled), rotated so that recordings differ
                List<Path> files = new ArrayList<>(SpeechRecording.files(corpus, speaker, 40, 49));
                Collections.rotate(files, -(i / 6) % files.size());
                Path file = folder.resolve(String.format(Locale.ROOT, "%05d-%s.wav", i, speaker));
                Files.write(file, SpeechRecording.join(files, seconds));
                paths.add(file.toString());
            }
            Path partial = work.resolve("batch-list.partial");
            Files.write(partial, paths, StandardCharsets.UTF_8);
            Files.move(partial, list);
        }
        System.out.println(models + "\t" + list);
    }

    private static void split(List<String> args) throws Exception {
        Path models = Path.of(option(args, "--models"));
        List<String> paths = Files.readAllLines(Path.of(option(args, "--list")));
        int count = Math.min(paths.size(), Integer.parseInt(option(args, "--count")));
        long t0 = System.nanoTime();
        SpeakerIdentifier.loadNativeLibraries();
        long t1 = System.nanoTime();
        SpeakerIdentifier.loadBackgroundModel(Path.of(option(args, "--ubm")));
        long t2 = System.nanoTime();
        SpeakerIdentifier identifier = SpeakerIdentifier.forModels(models);
        byte[] first = Files.readAllBytes(Path.of(paths.get(0)));
        identifier.best(first);
        long t3 = System.nanoTime();
        String dir = models.toString();
        long set = JniFloor.loadSet(dir);
        int targets = JniFloor.loadedTargetCount(set);
        long[] call = new long[count];
        long[] engine = new long[count];
        long[] scoring = new long[count];
        double seconds = 0;
        try {
            for (int i = 0; i < count; i++) {
                byte[] wave = Files.readAllBytes(Path.of(paths.get(i)));
                short[] samples = new short[(wave.length - 44) / 2];
                int frames = JniFloor.decode(wave, wave.length, samples);
                seconds += frames / 8000.0;
                long a = System.nanoTime();
                identifier.best(wave);
                long b = System.nanoTime();
                check(JniFloor.engine(dir, samples, frames));
                long c = System.nanoTime();
                check(JniFloor.scoreLoadedSet(set, samples, frames, null));
                long d = System.nanoTime();
                call[i] = b - a;
                engine[i] = c - b;
                scoring[i] = d - c;
            }
        } finally {
            JniFloor.releaseLoadedSet(set);
        }
        double callMs = median(call) / 1e6;
        double engineMs = median(engine) / 1e6;
        double scoringMs = median(scoring) / 1e6;
        try (PrintStream out = new PrintStream(option(args, "--report"), StandardCharsets.UTF_8)) {
            out.printf(Locale.ROOT, "| Native libraries loaded | %.0f ms |%n", (t1 - t0) / 1e6);
            out.printf(Locale.ROOT, "| Background model loaded | %.0f ms |%n", (t2 - t1) / 1e6);
            out.printf(Locale.ROOT, "| First identification (first load of the %d targets) "
                    + "| %.0f ms |%n", targets, (t3 - t2) / 1e6);
            out.printf(Locale.ROOT, "| Per recording (median of %d, %.1f s on average): whole "
                    + "call as batch makes it | %.2f ms |%n", count, seconds / count, callMs);
            out.printf(Locale.ROOT, "| the engine's scoring alone | %.2f ms |%n", scoringMs);
            out.printf(Locale.ROOT, "| the engine's load of the unchanged targets "
                    + "(load-score-release less scoring) | %.2f ms |%n", engineMs - scoringMs);
            out.printf(Locale.ROOT, "| the rest (file read excluded: decoding, JNI, results, "
                    + "ranking) | %.2f ms |%n", callMs - engineMs);
        }
    }

    private static double median(long[] values) {
        long[] sorted = values.clone();
        Arrays.sort(sorted);
        int n = sorted.length;
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
    }

    private static void check(int code) {
        if (code != 0) {
            throw new IllegalStateException("the engine returned " + code);
        }
    }
}
