package com.mirelta.bench;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.HexFormat;
import java.util.List;
import java.util.Locale;
import java.util.stream.Stream;

/**
 * Models directories of N targets for the reference engine, kept in a work directory across
 * runs.
 *
 * <p>Six real speakers of the repository's digits are enrolled with the engine's tool against the
 * given background model (recordings 15-39 of each, as the demo does); a directory of N targets
 * holds copies of their model folders under distinct names ({@code george-00000},
 * {@code jackson-00001}, ...), every file a copy of its own, so that the engine reads N files as
 * it would for N enrolled people. Enrollment is redone when the tool or the background model
 * changes, a directory of N targets when the enrolled models change: each step leaves a stamp
 * (a digest of what it was made from) that the next run compares.
 */
final class ReferenceTargets {
    static final List<String> SPEAKERS =
            List.of("george", "jackson", "lucas", "nicolas", "theo", "yweweler");
    private static final String STAMP = ".stamp";

    private final Path tool;
    private final Path ubm;
    private final Path corpus;
    private final Path work;
    private Path enrolled;

    /**
     * @param tool the engine's tool ({@code build/bin/kestrune})
     * @param ubm the background model directory the targets are enrolled against
     * @param corpus the digits' recordings ({@code data/fsdd/recordings})
     * @param work where the enrolled models and the directories of N targets are kept
     */
    ReferenceTargets(Path tool, Path ubm, Path corpus, Path work) {
        this.tool = tool;
        this.ubm = ubm;
        this.corpus = corpus;
        this.work = work;
    }

    /** The enrolled speakers' models directory, enrolled anew when its stamp is out of date. */
    Path enrolled() throws IOException, InterruptedException {
        if (enrolled == null) {
            enrolled = enroll();
        }
        return enrolled;
    }

    private Path enroll() throws IOException, InterruptedException {
        Path models = work.resolve("enrolled");
        String stamp = digest(List.of(tool, ubm.resolve("ubm.krn")));
        if (stamp.equals(readStamp(models))) {
            return models;
        }
        deleteTree(models);
        Files.createDirectories(models);
        for (String speaker : SPEAKERS) {
            List<String> command = new ArrayList<>(List.of(tool.toString(), "enroll", "--ubm",
                    ubm.toString(), "--models", models.toString(), "--name", speaker));
            for (Path file : SpeechRecording.files(corpus, speaker, 15, 39)) {
                command.add(file.toString());
            }
            Path log = work.resolve("enroll-" + speaker + ".log");
            Process process = new ProcessBuilder(command).redirectErrorStream(true)
                    .redirectOutput(log.toFile()).start();
            if (process.waitFor() != 0) {
                throw new IOException("enrolling " + speaker + " failed: see " + log);
            }
        }
        Files.writeString(models.resolve(STAMP), stamp);
        return models;
    }

    /**
     * A models directory of {@code count} targets, copied from the enrolled speakers unless a
     * directory made from the same models is already there.
     */
    Path withTargets(int count) throws IOException, InterruptedException {
        Path enrolled = enrolled();
        List<Path> sources = new ArrayList<>();
        for (String speaker : SPEAKERS) {
            sources.add(enrolled.resolve(speaker));
        }
        List<Path> sourceFiles = new ArrayList<>();
        for (Path source : sources) {
            sourceFiles.addAll(regularFiles(source));
        }
        Path models = work.resolve("targets-" + count);
        String stamp = digest(sourceFiles) + " " + count;
        if (stamp.equals(readStamp(models))) {
            return models;
        }
        deleteTree(models);
        Files.createDirectories(models);
        for (int t = 0; t < count; ++t) {
            Path source = sources.get(t % sources.size());
            Path target = models.resolve(String.format(Locale.ROOT, "%s-%05d",
                    source.getFileName(), t));
            Files.createDirectory(target);
            for (Path file : regularFiles(source)) {
                Files.copy(file, target.resolve(file.getFileName()));
            }
        }
        Files.writeString(models.resolve(STAMP), stamp);
        // The engine does not cache model files changed in the last 2 s (a second rewrite in
        // the same clock tick could pass for the first); the benchmark measures the steady state
        // of targets enrolled earlier.
        Thread.sleep(2500);
        return models;
    }

    private static List<Path> regularFiles(Path directory) throws IOException {
        try (Stream<Path> files = Files.list(directory)) {
            return files.filter(Files::isRegularFile).sorted().toList();
        }
    }

    private static String readStamp(Path directory) throws IOException {
        Path stamp = directory.resolve(STAMP);
        return Files.isRegularFile(stamp) ? Files.readString(stamp, StandardCharsets.UTF_8) : "";
    }

    /** SHA-256 over the files' names and contents, in the order given. */
    private static String digest(List<Path> files) throws IOException {
        try {
            MessageDigest sha = MessageDigest.getInstance("SHA-256");
            for (Path file : files) {
                sha.update(file.getFileName().toString().getBytes(StandardCharsets.UTF_8));
                sha.update(Files.readAllBytes(file));
            }
            return HexFormat.of().formatHex(sha.digest());
        } catch (NoSuchAlgorithmException e) {
            throw new IllegalStateException("every JVM has SHA-256", e);
        }
    }

    private static void deleteTree(Path root) throws IOException {
        if (!Files.exists(root)) {
            return;
        }
        try (Stream<Path> paths = Files.walk(root)) {
            paths.sorted(Comparator.reverseOrder()).forEach(path -> {
                try {
                    Files.delete(path);
                } catch (IOException e) {
                    throw new UncheckedIOException(e);
                }
            });
        }
    }
}
