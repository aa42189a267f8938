package com.mirelta.requests;

import java.io.PrintStream;
import java.math.BigDecimal;
import java.nio.file.Path;
import java.util.List;
import java.util.Locale;

/**
 * Prints the rankings of {@link IdentifyCommand}: a table per file, or with --tsv one
 * tab-separated row per target. With --max-far the answer for the file follows: an "answer:"
 * line under the table, a seventh column on every row of the file in the rows. Names of targets
 * and files are escaped ({@link TextEscape}), so that each row stays one line of its columns.
 */
final class RankingReport {
    static final String UNKNOWN = "unknown";

    private final CommandOptions options;
    private final PrintStream out;

    RankingReport(CommandOptions options, PrintStream out) {
        this.options = options;
        this.out = out;
    }

    void print(Path file, List<TargetMatch> ranking) {
        if (options.tsv) {
            String answer = options.maxFar == null ? "" : "\t" + answer(ranking);
            for (int rank = 0; rank < ranking.size(); rank++) {
                TargetMatch match = ranking.get(rank);
                out.printf(Locale.ROOT, "%s\t%d\t%s\t%s\t%s\t%s%s%n", shown(file), rank + 1,
                        TextEscape.name(match.name()), thousandths(match.logScore()),
                        thousandths(match.falseRejectionRate()),
                        thousandths(match.falseAcceptanceRate()), answer);
            }
            return;
        }
        out.printf(Locale.ROOT, "%s: %d target%s ranked by %s%n", shown(file), ranking.size(),
                ranking.size() == 1 ? "" : "s", options.ranking.criterion());
        int width = "target".length();
        for (TargetMatch match : ranking) {
            width = Math.max(width, TextEscape.name(match.name()).length());
        }
        String row = "%4s  %-" + width + "s  %10s  %8s  %8s%n";
        out.printf(Locale.ROOT, row, "rank", "target", "score", "FRR %", "FAR %");
        for (int rank = 0; rank < ranking.size(); rank++) {
            TargetMatch match = ranking.get(rank);
            out.printf(Locale.ROOT, row, rank + 1, TextEscape.name(match.name()),
                    thousandths(match.logScore()), thousandths(match.falseRejectionRate()),
                    thousandths(match.falseAcceptanceRate()));
        }
        if (options.maxFar != null) {
            out.println("answer: " + answer(ranking) + reason(ranking));
        }
    }

    /** The best target's name, or "unknown" when there is none or its FAR is above --max-far. */
    String answer(List<TargetMatch> ranking) {
        return ranking.isEmpty() || farTooHigh(ranking.get(0)) ? UNKNOWN
                : TextEscape.name(ranking.get(0).name());
    }

    private String reason(List<TargetMatch> ranking) {
        if (ranking.isEmpty()) {
            return " (no targets)";
        }
        TargetMatch best = ranking.get(0);
        return farTooHigh(best) ? " (" + TextEscape.name(best.name()) + " has FAR "
                + thousandths(best.falseAcceptanceRate()) + " %, above "
                + options.maxFar.toPlainString() + " %)" : "";
    }

    private boolean farTooHigh(TargetMatch best) {
        return BigDecimal.valueOf(best.falseAcceptanceRate(), 3).compareTo(options.maxFar) > 0;
    }

    /** A file's name as the output shows it. */
    static String shown(Path file) {
        return TextEscape.name(file.toString());
    }

    /** A score or rate in thousandths as its value, to three decimals. */
    private static String thousandths(int value) {
        return BigDecimal.valueOf(value, 3).toPlainString();
    }
}
