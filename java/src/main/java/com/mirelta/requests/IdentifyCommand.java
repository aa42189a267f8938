package com.mirelta.requests;

import com.mirelta.requests.CommandOptions.UsageException;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.List;
import java.util.Optional;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;

/**
 * Command-line identification, the jar's entry point: ranks the enrolled targets for each WAVE
 * file.
 *
 * <pre>
 * java -jar build/java/jkestrune.jar --models DIR [--ubm DIR] [--rank score|frr|far] [--best]
 *      [--max-far P] [--threads N] [--verbose] [--tsv] FILE...
 * </pre>
 *
 * <p>The tool starts no more identifications at once than the engine scores at the same time
 * ({@link LoadManager#MaxQntProgramStreams()}), whatever {@code --threads} asks: the calls
 * beyond would be refused as busy. A busy answer that still comes (another user of the engine
 * in this process) is retried after 5 ms, 10 ms, doubling to 320 ms, ten tries in all, and then
 * reported as the file's failure. Files over 1 GiB are refused unread, and recordings whose
 * header gives a rate outside 4-192 kHz or more than 60 minutes are refused before the call.
 *
 * <p>Exit status: 0 when every file was identified, 1 when any call returned an error code
 * (busy through every try included), 2 for bad usage or an unreadable or too large file, 3 when
 * no background model was loaded (the one given did not load, or none was given and the jar
 * carries none), 4 when the native library did not load.
 */
public final class IdentifyCommand {
    static final int EXIT_OK = 0;
    static final int EXIT_CALL_FAILED = 1;
    static final int EXIT_USAGE = 2;
    static final int EXIT_NO_BACKGROUND = 3;
    static final int EXIT_NO_LIBRARY = 4;

    /** The largest WAVE file the tool reads. */
    static final long MAX_FILE_BYTES = 1L << 30;

    static final String NO_BACKGROUND_MODEL = "no background model: give one with --ubm DIR (a"
            + " directory written by kestrune train-ubm); this jar carries no default one (it was"
            + " built without data/ubm/)";

    /** What became of one file: its ranking, or an error line and the exit status it asks. */
    private record Outcome(Path file, List<TargetMatch> ranking, String error, int status) {
        static Outcome failed(Path file, String error, int status) {
            return new Outcome(file, List.of(), error, status);
        }
    }

    private IdentifyCommand() {}

    /**
     * Runs the command and exits with its status.
     *
     * @param args the command line, as in the usage above ({@code --help} prints it in full)
     */
    public static void main(String[] args) {
        System.exit(run(args, System.out, System.err));
    }

    /** Runs the command; returns its exit status. */
    static int run(String[] args, PrintStream out, PrintStream err) {
        return run(args, out, err, BundledFiles.JAR);
    }

    /** As {@link #run(String[], PrintStream, PrintStream)}, the default files from elsewhere. */
    static int run(String[] args, PrintStream out, PrintStream err, BundledFiles bundled) {
        if (args.length > 0 && (args[0].equals("batch") || args[0].equals("merge"))) {
            String[] rest = Arrays.copyOfRange(args, 1, args.length);
            return args[0].equals("batch") ? BatchCommand.run(rest, out, err, bundled)
                    : MergeCommand.run(rest, out, err);
        }
        CommandOptions options;
        try {
            options = CommandOptions.parse(args);
        } catch (UsageException e) {
            err.println("error: " + e.getMessage());
            err.print(CommandOptions.USAGE);
            return EXIT_USAGE;
        }
        if (options.help) {
            out.print(CommandOptions.USAGE);
            return EXIT_OK;
        }
        if (options.codes) {
            out.print(ReturnCode.markdownTable());
            return EXIT_OK;
        }
        try {
            SpeakerIdentifier.loadNativeLibraries();
        } catch (UnsatisfiedLinkError e) {
            err.println("error: " + e.getMessage());
            return EXIT_NO_LIBRARY;
        }
        String missing = loadBackgroundModel(options, bundled);
        if (missing != null) {
            err.println("error: " + missing);
            return EXIT_NO_BACKGROUND;
        }
        return identifyAll(options, out, err);
    }

    /** Loads --ubm, else the default the jar carries; returns what is missing, or null. */
    private static String loadBackgroundModel(CommandOptions options, BundledFiles bundled) {
        try {
            if (options.ubm != null) {
                SpeakerIdentifier.loadBackgroundModel(options.ubm);
                return null;
            }
            return SpeakerIdentifier.loadBundledBackgroundModel(bundled).isPresent()
                    ? null : NO_BACKGROUND_MODEL;
        } catch (IOException e) {
            return e.getMessage();
        }
    }

    /** Identifies the files on the pool's threads; prints each outcome in the files' order. */
    private static int identifyAll(CommandOptions options, PrintStream out, PrintStream err) {
        SpeakerIdentifier identifier = SpeakerIdentifier.forModels(options.models)
                .rankedBy(options.ranking).withVerboseLog(options.verbose);
        RankingReport report = new RankingReport(options, out);
        ExecutorService pool = Executors.newFixedThreadPool(
                concurrentCalls(options.threads, LoadManager.MaxQntProgramStreams(),
                        options.files.size()));
        try {
            List<Future<Outcome>> outcomes = options.files.stream()
                    .map(file -> pool.submit(() -> identify(identifier, file, options.best)))
                    .toList();
            int status = EXIT_OK;
            for (Future<Outcome> pending : outcomes) {
                Outcome outcome = TaskResults.await(pending, IllegalStateException::new);
                if (outcome.error() != null) {
                    err.println(RankingReport.shown(outcome.file()) + ": " + outcome.error());
                } else {
                    report.print(outcome.file(), outcome.ranking());
                }
                status = Math.max(status, outcome.status());
            }
            out.flush();
            return status;
        } finally {
            pool.shutdownNow();
        }
    }

    /**
     * The identifications to run at once: the threads asked for, at most the engine's stream
     * limit (when it states a positive one) and one per file; at least one.
     */
    static int concurrentCalls(int requested, int engineStreams, int files) {
        int calls = Math.min(requested, files);
        if (engineStreams > 0) {
            calls = Math.min(calls, engineStreams);
        }
        return Math.max(calls, 1);
    }

    private static Outcome identify(SpeakerIdentifier identifier, Path file, boolean best) {
        byte[] wave;
        try {
            long size = Files.size(file);
            if (size > MAX_FILE_BYTES) {
                return Outcome.failed(file, size + " bytes: the tool reads WAVE files of at most"
                        + " 1 GiB", EXIT_USAGE);
            }
            wave = Files.readAllBytes(file);
        } catch (IOException e) {
            return Outcome.failed(file, "cannot read: " + e.getMessage(), EXIT_USAGE);
        }
        Optional<String> refused = WaveLimits.problem(wave);
        if (refused.isPresent()) {
            return Outcome.failed(file, "refused: " + refused.get(), EXIT_USAGE);
        }
        try {
            List<TargetMatch> ranking = BusyRetry.call(
                    () -> best ? identifier.best(wave).stream().toList() : identifier.identify(wave),
                    Thread::sleep);
            return new Outcome(file, ranking, null, EXIT_OK);
        } catch (IdentificationException e) {
            String busy = BusyRetry.isBusy(e)
                    ? "; still busy after " + BusyRetry.TRIES + " tries: not identified" : "";
            return Outcome.failed(file, e.getMessage() + busy, EXIT_CALL_FAILED);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            return Outcome.failed(file, "interrupted while the engine was busy", EXIT_CALL_FAILED);
        }
    }
}
