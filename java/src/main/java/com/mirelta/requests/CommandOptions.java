package com.mirelta.requests;

import java.math.BigDecimal;
import java.nio.file.InvalidPathException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;

/** The options of {@link IdentifyCommand}, parsed from its arguments, and its usage text. */
final class CommandOptions {
    static final String USAGE = String.join("\n",
            "Usage: java -jar jkestrune.jar --models DIR [options] FILE...",
            "       java -jar jkestrune.jar batch --list LIST --models DIR --out OUT.tsv [...]",
            "       java -jar jkestrune.jar merge --out ALL.tsv SHARD.tsv...",
            "       (batch --help and merge --help show theirs; docs/BATCH.md has the details)",
            "",
            "Identifies the speaker of each WAVE file (16-bit PCM, A-law or mu-law) against the",
            "targets enrolled under DIR and prints the ranking.",
            "",
            "Options:",
            "  --models DIR          directory of enrolled target models (required)",
            "  --ubm DIR             background model: a directory written by kestrune train-ubm",
            "                        (default: the one this jar carries, when built with one)",
            "  --rank score|frr|far  ranking criterion (default: score)",
            "  --best                report only the best target",
            "  --max-far P           answer 'unknown' for a file whose best target's FAR is above",
            "                        P percent (0-100): an 'answer:' line under the table, or a",
            "                        seventh column with --tsv",
            "  --threads N           identify N files at a time (default: the number of cores),",
            "                        never more than the engine scores at once; the output keeps",
            "                        the order of the files",
            "  --verbose             let the library print its own log lines",
            "  --tsv                 tab-separated rows: file, rank, target, score, FRR %, FAR %",
            "  --codes               print every return code with its meaning (a Markdown table)",
            "  --help                show this help",
            "",
            "Scores and rates are printed to three decimals.",
            "FRR % of the best target is the estimated share of that target's own recordings",
            "that would score lower than this file: 50 means the file scores like a typical",
            "recording of the target, near 0 that hardly any of its recordings score this low.",
            "FAR % of the best target is the estimated share of other speakers' recordings that",
            "would score as high or higher against it: near 0 means hardly any impostor reaches",
            "this score.",
            "Targets with equal values keep the engine's order (the reference engine's: the byte",
            "order of their names), whatever the ranking criterion.",
            "Names are printed with control characters and backslashes escaped (\\n, \\t,",
            "\\xNN, \\\\), so that every row is one line. Files over 1 GiB, at rates outside",
            "4-192 kHz or longer than 60 minutes are refused; a call the engine answers busy is",
            "tried ten times (5 ms to 320 ms apart) before the file is reported as failed.",
            "",
            "Exit status: 0 all identified, 1 a call returned an error code, 2 bad usage or an",
            "unreadable or refused file, 3 no background model loaded, 4 the native library did",
            "not load.",
            "");

    Path models;
    Path ubm;
    Ranking ranking = Ranking.SCORE;
    boolean best;
    boolean verbose;
    boolean tsv;
    boolean help;
    boolean codes;
    /** The FAR above which the answer is 'unknown', in percent; null without --max-far. */
    BigDecimal maxFar;
    int threads = Runtime.getRuntime().availableProcessors();
    final List<Path> files = new ArrayList<>();

    /** Thrown for arguments that do not make a command, with what is wrong. */
    static final class UsageException extends Exception {
        private static final long serialVersionUID = 1L;

        UsageException(String problem) {
            super(problem);
        }
    }

    private CommandOptions() {}

    /** The options of the arguments; {@link #help} set for --help, {@link #codes} for --codes. */
    static CommandOptions parse(String... args) throws UsageException {
        CommandOptions options = new CommandOptions();
        for (int i = 0; i < args.length; i++) {
            String arg = args[i];
            switch (arg) {
                case "--help", "-h" -> {
                    options.help = true;
                    return options;
                }
                case "--codes" -> {
                    options.codes = true;
                    return options;
                }
                case "--best" -> options.best = true;
                case "--verbose" -> options.verbose = true;
                case "--tsv" -> options.tsv = true;
                case "--models", "--ubm", "--rank", "--max-far", "--threads" -> {
                    if (i + 1 >= args.length) {
                        throw new UsageException(arg + " needs a value");
                    }
                    options.set(arg, args[++i]);
                }
                default -> {
                    if (arg.startsWith("--")) {
                        throw new UsageException("unknown option " + arg);
                    }
                    options.files.add(path(arg));
                }
            }
        }
        if (options.models == null) {
            throw new UsageException("--models DIR is required");
        }
        if (options.files.isEmpty()) {
            throw new UsageException("no WAVE file given");
        }
        return options;
    }

    private void set(String option, String value) throws UsageException {
        switch (option) {
            case "--models" -> models = path(value);
            case "--ubm" -> ubm = path(value);
            case "--rank" -> ranking = Arrays.stream(Ranking.values())
                    .filter(r -> r.name().toLowerCase(Locale.ROOT).equals(value)).findFirst()
                    .orElseThrow(() -> new UsageException(
                            "--rank takes score, frr or far, not '" + value + "'"));
            case "--max-far" -> maxFar = percent(value);
            case "--threads" -> threads = positive(option, value);
            default -> throw new IllegalArgumentException("no value option " + option);
        }
    }

    static Path path(String value) throws UsageException {
        try {
            return Path.of(value);
        } catch (InvalidPathException e) {
            throw new UsageException("not a path: " + e.getMessage());
        }
    }

    static BigDecimal percent(String value) throws UsageException {
        try {
            BigDecimal percent = new BigDecimal(value);
            if (percent.signum() >= 0 && percent.compareTo(BigDecimal.valueOf(100)) <= 0) {
                return percent;
            }
        } catch (NumberFormatException e) {
            // reported below
        }
        throw new UsageException("--max-far takes a percentage from 0 to 100, not '" + value + "'");
    }

    static int positive(String option, String value) throws UsageException {
        try {
            int number = Integer.parseInt(value);
            if (number > 0) {
                return number;
            }
        } catch (NumberFormatException e) {
            // reported below
        }
        throw new UsageException(option + " takes a whole number above 0, not '" + value + "'");
    }
}
