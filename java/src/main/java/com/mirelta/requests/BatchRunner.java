package com.mirelta.requests;

import java.io.IOException;
import java.math.BigDecimal;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayDeque;
import java.util.Deque;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;

/**
 * Identifies a batch's recordings on a pool of threads and hands their lines on in list order
 * as they become ready, holding a bounded window of recordings in flight, so that a shard of
 * millions of recordings needs no more memory than one of a hundred.
 */
final class BatchRunner {
    /** Ranks a WAVE recording's targets; the engine's scoring, or a stand-in in tests. */
    @FunctionalInterface
    interface Scorer {
        List<TargetMatch> score(byte[] wave) throws IdentificationException;
    }

    /** Receives the lines in list order. */
    @FunctionalInterface
    interface LineSink {
        void accept(String line) throws IOException;
    }

    /** Waits between tries of a busy engine; tests pass one that does not sleep. */
    @FunctionalInterface
    interface Sleeper extends BusyRetry.Sleeper {}

    private final Scorer scorer;
    private final int threads;
    private final int top;
    private final BigDecimal maxFar;
    private final Sleeper sleeper;

    BatchRunner(Scorer scorer, int threads, int top, BigDecimal maxFar, Sleeper sleeper) {
        this.scorer = scorer;
        this.threads = threads;
        this.top = top;
        this.maxFar = maxFar;
        this.sleeper = sleeper;
    }

    /** The threads of a run: as asked, within the engine's stream limit when it has one. */
    static int threads(int requested, int engineStreams, long recordings) {
        long threads = requested;
        if (engineStreams > 0) {
            threads = Math.min(threads, engineStreams);
        }
        return (int) Math.max(1, Math.min(threads, recordings));
    }

    /** Identifies every path; returns how many lines are not {@code ok}. */
    long run(List<String> paths, LineSink sink) throws IOException {
        ExecutorService pool = Executors.newFixedThreadPool(threads);
        int window = threads * 4;
        Deque<Future<String>> inFlight = new ArrayDeque<>();
        long failed = 0;
        try {
            for (int next = 0; next < paths.size() || !inFlight.isEmpty(); ) {
                while (next < paths.size() && inFlight.size() < window) {
                    String path = paths.get(next++);
                    inFlight.add(pool.submit(() -> line(path)));
                }
                String line = TaskResults.await(inFlight.removeFirst(), IOException::new);
                if (!BatchLine.status(line).equals(BatchLine.OK)) {
                    failed++;
                }
                sink.accept(line);
            }
            return failed;
        } finally {
            pool.shutdownNow();
        }
    }

    /** One recording's line; a failure is a line too, never an exception. */
    String line(String path) throws InterruptedException {
        byte[] wave;
        try {
            Path file = Path.of(path);
            if (Files.size(file) > IdentifyCommand.MAX_FILE_BYTES) {
                return BatchLine.failed(path, BatchLine.UNREADABLE, top);
            }
            wave = Files.readAllBytes(file);
        } catch (IOException | RuntimeException e) {
            return BatchLine.failed(path, BatchLine.UNREADABLE, top);
        }
        try {
            return BatchLine.identified(path, BusyRetry.call(() -> scorer.score(wave), sleeper),
                    top, maxFar);
        } catch (IdentificationException e) {
            return BatchLine.failed(path, BatchLine.statusOf(e.code()), top);
        }
    }
}
