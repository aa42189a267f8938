package com.mirelta.requests;

import com.mirelta.requests.CommandOptions.UsageException;
import java.math.BigDecimal;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.Locale;

/** The options of {@code batch}, parsed from its arguments, and its usage text. */
final class BatchOptions {
    static final String USAGE = String.join("\n",
            "Usage: java -jar jkestrune.jar batch --list LIST --models DIR --out OUT.tsv [options]",
            "",
            "Identifies every recording of LIST (a text file of paths, one a line, or a folder",
            "taken recursively in sorted order) and writes one tab-separated line per recording,",
            "in LIST order, under a header line naming what the results depend on.",
            "",
            "Options:",
            "  --list LIST           recordings to identify (required)",
            "  --models DIR          directory of enrolled target models (required)",
            "  --out OUT.tsv         the result file, written whole or not at all (required);",
            "                        a complete OUT.tsv of the same inputs is kept as it is",
            "  --ubm DIR             background model (default: the one this jar carries)",
            "  --shard K/N           only the recordings whose position modulo N is K",
            "  --threads T           recordings at a time (default: the number of cores, at most",
            "                        the engine's limit of concurrent recordings)",
            "  --max-far P           answer 'unknown' when the best target's FAR is above P %",
            "  --top M               the best target and the next M-1 targets (default: 1)",
            "  --rank score|frr|far  ranking criterion (default: score)",
            "  --help                show this help",
            "",
            "Exit status: 0 every recording identified, 1 some recording failed (its line says",
            "why), 2 bad usage or an unreadable LIST, 3 no background model, 4 no native",
            "library, 5 the output could not be written.",
            "");

    Path list;
    Path models;
    Path ubm;
    Path out;
    Shard shard = Shard.ALL;
    int threads = Runtime.getRuntime().availableProcessors();
    BigDecimal maxFar;
    int top = 1;
    Ranking ranking = Ranking.SCORE;
    boolean help;

    private BatchOptions() {}

    /** The options of the arguments after {@code batch}; {@link #help} set for --help. */
    static BatchOptions parse(String... args) throws UsageException {
        BatchOptions options = new BatchOptions();
        for (int i = 0; i < args.length; i++) {
            String arg = args[i];
            if (arg.equals("--help") || arg.equals("-h")) {
                options.help = true;
                return options;
            }
            if (!arg.startsWith("--")) {
                throw new UsageException("unexpected argument '" + arg + "'");
            }
            if (i + 1 >= args.length) {
                throw new UsageException(arg + " needs a value");
            }
            options.set(arg, args[++i]);
        }
        if (options.list == null || options.models == null || options.out == null) {
            throw new UsageException("--list LIST, --models DIR and --out OUT.tsv are required");
        }
        return options;
    }

    /**
     * The options the results depend on, in one fixed form: two runs with equal texts give
     * equal lines for equal inputs. Threads and the shard are left out: they change only who
     * does the work.
     */
    String resultOptions() {
        return "rank=" + ranking.name().toLowerCase(Locale.ROOT) + " top=" + top + " max-far="
                + (maxFar == null ? "none" : maxFar.stripTrailingZeros().toPlainString());
    }

    private void set(String option, String value) throws UsageException {
        switch (option) {
            case "--list" -> list = CommandOptions.path(value);
            case "--models" -> models = CommandOptions.path(value);
            case "--ubm" -> ubm = CommandOptions.path(value);
            case "--out" -> out = CommandOptions.path(value);
            case "--shard" -> shard = Shard.parse(value);
            case "--threads" -> threads = CommandOptions.positive(option, value);
            case "--top" -> top = CommandOptions.positive(option, value);
            case "--max-far" -> maxFar = CommandOptions.percent(value);
            case "--rank" -> ranking = Arrays.stream(Ranking.values())
                    .filter(r -> r.name().toLowerCase(Locale.ROOT).equals(value)).findFirst()
                    .orElseThrow(() -> new UsageException(
                            "--rank takes score, frr or far, not '" + value + "'"));
            default -> throw new UsageException("unknown option " + option);
        }
    }
}
