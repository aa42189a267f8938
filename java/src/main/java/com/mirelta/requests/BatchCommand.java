package com.mirelta.requests;

import com.mirelta.requests.CommandOptions.UsageException;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.file.Path;
import java.util.Optional;

/**
 * {@code java -jar jkestrune.jar batch}: identifies a whole list of recordings, or one shard
 * of it, into a result file (see {@link BatchOptions#USAGE}), through {@link SpeakerIdentifier}
 * as an application would.
 */
final class BatchCommand {
    static final int EXIT_OUTPUT = 5;

    private BatchCommand() {}

    static int run(String[] args, PrintStream out, PrintStream err, BundledFiles bundled) {
        BatchOptions options;
        try {
            options = BatchOptions.parse(args);
        } catch (UsageException e) {
            err.println("error: " + e.getMessage());
            err.print(BatchOptions.USAGE);
            return IdentifyCommand.EXIT_USAGE;
        }
        if (options.help) {
            out.print(BatchOptions.USAGE);
            return IdentifyCommand.EXIT_OK;
        }
        BatchList list;
        try {
            list = BatchList.read(options.list, options.shard);
        } catch (IOException | RuntimeException e) {
            err.println("error: cannot read the list " + options.list + ": " + e);
            return IdentifyCommand.EXIT_USAGE;
        }
        try {
            SpeakerIdentifier.loadNativeLibraries();
        } catch (UnsatisfiedLinkError e) {
            err.println("error: " + e.getMessage());
            return IdentifyCommand.EXIT_NO_LIBRARY;
        }
        Optional<Path> ubm;
        try {
            ubm = loadBackgroundModel(options, bundled);
        } catch (IOException e) {
            err.println("error: " + e.getMessage());
            return IdentifyCommand.EXIT_NO_BACKGROUND;
        }
        if (ubm.isEmpty()) {
            err.println("error: " + IdentifyCommand.NO_BACKGROUND_MODEL);
            return IdentifyCommand.EXIT_NO_BACKGROUND;
        }
        try {
            return identify(options, list, ubm.get(), err);
        } catch (IOException e) {
            err.println("error: cannot write " + options.out + ": " + e.getMessage());
            return EXIT_OUTPUT;
        }
    }

    /** Loads --ubm, else the jar's own; returns the folder loaded, or empty for none. */
    private static Optional<Path> loadBackgroundModel(BatchOptions options, BundledFiles bundled)
            throws IOException {
        if (options.ubm != null) {
            SpeakerIdentifier.loadBackgroundModel(options.ubm);
            return Optional.of(options.ubm);
        }
        return SpeakerIdentifier.loadBundledBackgroundModel(bundled);
    }

    private static int identify(BatchOptions options, BatchList list, Path ubm, PrintStream err)
            throws IOException {
        String resultOptions = options.resultOptions();
        BatchHeader header = new BatchHeader(
                BatchFingerprint.of(options.models, ubm, resultOptions),
                BatchFingerprint.TOOL_VERSION, resultOptions, list.digest(), list.total(),
                options.shard);
        Optional<ResultFile.Summary> existing = ResultFile.read(options.out);
        if (existing.isPresent() && existing.get().header().equals(header)
                && existing.get().lines() == list.paths().size()) {
            long failed = existing.get().failed();
            err.println("batch: " + options.out + " is complete for these inputs ("
                    + list.paths().size() + " recordings, " + failed + " failed): kept");
            return failed == 0 ? IdentifyCommand.EXIT_OK : IdentifyCommand.EXIT_CALL_FAILED;
        }
        SpeakerIdentifier identifier =
                SpeakerIdentifier.forModels(options.models).rankedBy(options.ranking);
        BatchRunner.Scorer scorer = options.top == 1
                ? wave -> identifier.best(wave).stream().toList() : identifier::identify;
        int threads = BatchRunner.threads(options.threads, LoadManager.MaxQntProgramStreams(),
                list.paths().size());
        BatchRunner runner =
                new BatchRunner(scorer, threads, options.top, options.maxFar, Thread::sleep);
        BatchProgress progress = new BatchProgress(err,
                err == System.err && System.console() != null, System::nanoTime,
                list.paths().size());
        long[] failed = new long[1];
        ResultFile.writeWhole(options.out, writer -> {
            writer.write(header.format());
            writer.write('\n');
            failed[0] = runner.run(list.paths(), line -> {
                writer.write(line);
                writer.write('\n');
                progress.advance();
            });
        });
        progress.finish();
        if (failed[0] > 0) {
            err.println("batch: " + failed[0] + " of " + list.paths().size()
                    + " recordings failed (their lines say why)");
        }
        return failed[0] == 0 ? IdentifyCommand.EXIT_OK : IdentifyCommand.EXIT_CALL_FAILED;
    }
}
