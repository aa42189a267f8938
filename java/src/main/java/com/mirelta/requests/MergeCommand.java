package com.mirelta.requests;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Optional;
import java.util.StringJoiner;

/**
 * {@code java -jar jkestrune.jar merge --out ALL.tsv SHARD.tsv...}: joins the result files of
 * a sharded batch into the file one process would have written, after checking that they come
 * from one computation (one header but for the shard) and hold every recording of the list
 * exactly once. Anything missing or held twice is named and nothing is written.
 */
final class MergeCommand {
    static final String USAGE = String.join("\n",
            "Usage: java -jar jkestrune.jar merge --out ALL.tsv SHARD.tsv...",
            "",
            "Joins the result files of 'batch --shard K/N' runs into one, in list order, when",
            "they share one fingerprint and options and hold every recording exactly once.",
            "",
            "Exit status: 0 merged, 1 the shards do not make the whole list (what is missing or",
            "duplicated is named) or one cannot be read, 2 bad usage, 5 the output could not",
            "be written.",
            "");
    static final int EXIT_REFUSED = 1;
    /** How many missing or duplicated positions a message lists before "and N more". */
    static final int NAMED_POSITIONS = 10;

    /** A shard's result file and what it holds. */
    record Part(Path file, ResultFile.Summary summary) {}

    private MergeCommand() {}

    static int run(String[] args, PrintStream out, PrintStream err) {
        Path output = null;
        List<Path> inputs = new ArrayList<>();
        try {
            for (int i = 0; i < args.length; i++) {
                if (args[i].equals("--help") || args[i].equals("-h")) {
                    out.print(USAGE);
                    return IdentifyCommand.EXIT_OK;
                } else if (args[i].equals("--out") && i + 1 < args.length) {
                    output = CommandOptions.path(args[++i]);
                } else if (args[i].startsWith("--")) {
                    throw new CommandOptions.UsageException("unknown or incomplete option "
                            + args[i]);
                } else {
                    inputs.add(CommandOptions.path(args[i]));
                }
            }
            if (output == null || inputs.isEmpty()) {
                throw new CommandOptions.UsageException("needs --out ALL.tsv and shard files");
            }
        } catch (CommandOptions.UsageException e) {
            err.println("error: " + e.getMessage());
            err.print(USAGE);
            return IdentifyCommand.EXIT_USAGE;
        }
        List<Part> shards = new ArrayList<>();
        for (Path input : inputs) {
            try {
                Optional<ResultFile.Summary> summary = ResultFile.read(input);
                if (summary.isEmpty()) {
                    err.println("merge: " + input + " is not a batch result file");
                    return EXIT_REFUSED;
                }
                shards.add(new Part(input, summary.get()));
            } catch (IOException e) {
                err.println("merge: cannot read " + input + ": " + e.getMessage());
                return EXIT_REFUSED;
            }
        }
        Optional<String> problem = check(shards);
        if (problem.isPresent()) {
            err.println("merge: " + problem.get());
            return EXIT_REFUSED;
        }
        try {
            long failed = write(output, shards);
            err.println("merge: wrote " + output + " (" + shards.get(0).summary().header()
                    .recordings() + " recordings, " + failed + " failed)");
            return IdentifyCommand.EXIT_OK;
        } catch (IOException e) {
            err.println("error: cannot write " + output + ": " + e.getMessage());
            return BatchCommand.EXIT_OUTPUT;
        }
    }

    /** What keeps the shards from making one whole list, or empty when they make it. */
    static Optional<String> check(List<Part> shards) {
        BatchHeader first = shards.get(0).summary().header();
        for (Part shard : shards) {
            BatchHeader header = shard.summary().header();
            if (!header.sameComputation(first)) {
                return Optional.of(shard.file() + " comes from another computation than "
                        + shards.get(0).file() + " (" + difference(first, header) + ")");
            }
            long expected = header.shard().size(header.recordings());
            if (shard.summary().lines() != expected) {
                return Optional.of(shard.file() + " holds " + shard.summary().lines()
                        + " lines where shard " + header.shard() + " of " + header.recordings()
                        + " recordings has " + expected);
            }
        }
        long total = first.recordings();
        if (total > Integer.MAX_VALUE - 8) {
            return Optional.of("lists of more than 2^31 recordings cannot be merged");
        }
        byte[] coverage = new byte[(int) total];
        for (Part shard : shards) {
            Shard share = shard.summary().header().shard();
            for (long n = 0, size = share.size(total); n < size; n++) {
                int position = (int) share.position(n);
                coverage[position] = (byte) Math.min(2, coverage[position] + 1);
            }
        }
        StringJoiner problems = new StringJoiner("; ");
        describe(coverage, 0, "missing (no shard file holds them)").ifPresent(problems::add);
        describe(coverage, 2, "held by more than one shard file").ifPresent(problems::add);
        return problems.length() == 0 ? Optional.empty() : Optional.of(problems.toString());
    }

    private static String difference(BatchHeader a, BatchHeader b) {
        if (!a.fingerprint().equals(b.fingerprint())) {
            return "fingerprint " + a.fingerprint() + " against " + b.fingerprint()
                    + ": other models, background model, tool version or options "
                    + a.options() + " against " + b.options();
        }
        return "list " + a.list() + " of " + a.recordings() + " recordings against " + b.list()
                + " of " + b.recordings();
    }

    /** "positions 3, 7 (list positions from 0) missing ...", or empty when none has that count. */
    private static Optional<String> describe(byte[] coverage, int count, String what) {
        StringJoiner named = new StringJoiner(", ");
        long matching = 0;
        for (int position = 0; position < coverage.length; position++) {
            if (coverage[position] == count && ++matching <= NAMED_POSITIONS) {
                named.add(Integer.toString(position));
            }
        }
        if (matching == 0) {
            return Optional.empty();
        }
        String more = matching > NAMED_POSITIONS
                ? " and " + (matching - NAMED_POSITIONS) + " more" : "";
        return Optional.of(matching + " recording" + (matching == 1 ? "" : "s")
                + " at list positions (from 0) " + named + more + " " + what);
    }

    /** Writes the shards' lines in list order; returns how many are not ok. */
    private static long write(Path output, List<Part> shards) throws IOException {
        BatchHeader first = shards.get(0).summary().header();
        long total = first.recordings();
        int[] owner = new int[(int) total];
        for (int s = 0; s < shards.size(); s++) {
            Shard share = shards.get(s).summary().header().shard();
            for (long n = 0, size = share.size(total); n < size; n++) {
                owner[(int) share.position(n)] = s;
            }
        }
        List<BufferedReader> readers = new ArrayList<>();
        long[] failed = new long[1];
        try {
            for (Part shard : shards) {
                BufferedReader reader = Files.newBufferedReader(shard.file(),
                        StandardCharsets.UTF_8);
                readers.add(reader);
                reader.readLine();  // the header
            }
            ResultFile.writeWhole(output, writer -> {
                writer.write(first.withShard(Shard.ALL).format());
                writer.write('\n');
                for (int position = 0; position < total; position++) {
                    String line = readers.get(owner[position]).readLine();
                    if (line == null) {
                        throw new IOException(shards.get(owner[position]).file()
                                + " changed while it was merged");
                    }
                    if (!BatchLine.status(line).equals(BatchLine.OK)) {
                        failed[0]++;
                    }
                    writer.write(line);
                    writer.write('\n');
                }
            });
        } finally {
            for (BufferedReader reader : readers) {
                reader.close();
            }
        }
        return failed[0];
    }
}
