package com.mirelta.requests;

import java.io.PrintStream;
import java.util.Locale;
import java.util.function.LongSupplier;

/**
 * A batch's progress on stderr: done/total, rate and time left. On a terminal one line redrawn
 * in place a few times a second; elsewhere (a log file, a cluster's output file) a line a
 * minute, so that a day-long task writes a readable log of a few thousand lines.
 */
final class BatchProgress {
    static final long TERMINAL_INTERVAL_NANOS = 250_000_000L;
    static final long LOG_INTERVAL_NANOS = 60_000_000_000L;

    private final PrintStream err;
    private final boolean terminal;
    private final LongSupplier nanoClock;
    private final long total;
    private final long start;
    private long lastShown;
    private long done;

    BatchProgress(PrintStream err, boolean terminal, LongSupplier nanoClock, long total) {
        this.err = err;
        this.terminal = terminal;
        this.nanoClock = nanoClock;
        this.total = total;
        this.start = nanoClock.getAsLong();
        this.lastShown = start;
    }

    /** One more recording done. */
    void advance() {
        done++;
        long now = nanoClock.getAsLong();
        if (now - lastShown >= (terminal ? TERMINAL_INTERVAL_NANOS : LOG_INTERVAL_NANOS)) {
            show(now);
        }
    }

    /** The last figures, ending the line on a terminal. */
    void finish() {
        show(nanoClock.getAsLong());
        if (terminal) {
            err.println();
        }
        err.flush();
    }

    private void show(long now) {
        lastShown = now;
        String text = describe(done, total, now - start);
        if (terminal) {
            err.print("\r" + text + "\033[K");
        } else {
            err.println(text);
        }
        err.flush();
    }

    /** "batch: done/total recordings, rate/s, time left". */
    static String describe(long done, long total, long elapsedNanos) {
        double seconds = elapsedNanos / 1e9;
        double rate = seconds > 0 ? done / seconds : 0;
        String left = done >= total ? "done"
                : rate > 0 ? duration((long) Math.ceil((total - done) / rate)) + " left"
                : "time left unknown";
        return String.format(Locale.ROOT, "batch: %d/%d recordings, %.1f/s, %s", done, total,
                rate, left);
    }

    /** Seconds as h:mm:ss, or m:ss under an hour. */
    static String duration(long seconds) {
        long hours = seconds / 3600;
        long minutes = seconds / 60 % 60;
        long rest = seconds % 60;
        return hours > 0 ? String.format(Locale.ROOT, "%d:%02d:%02d", hours, minutes, rest)
                : String.format(Locale.ROOT, "%d:%02d", minutes, rest);
    }
}
