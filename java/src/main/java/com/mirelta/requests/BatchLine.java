package com.mirelta.requests;

import java.math.BigDecimal;
import java.util.List;

/**
 * One recording's line of a batch result file: path, status ({@code ok} or the name of the
 * code that stopped it), answer, its score, FRR % and FAR %, then the next targets of the
 * ranking. Every line of a file has the same number of fields; "-" marks a value there is not.
 */
final class BatchLine {
    static final String OK = "ok";
    static final String UNKNOWN = "unknown";
    /** The status of a recording that could not be read from its file. */
    static final String UNREADABLE = "UNREADABLE";
    static final String NONE = "-";

    private BatchLine() {}

    /** The line of an identified recording; {@code maxFar} in percent, or null. */
    static String identified(String path, List<TargetMatch> ranking, int top, BigDecimal maxFar) {
        StringBuilder line = new StringBuilder(TextEscape.name(path)).append('\t').append(OK);
        if (ranking.isEmpty()) {
            line.append('\t').append(UNKNOWN);
            appendNone(line, 3);
        } else {
            TargetMatch best = ranking.get(0);
            boolean tooHigh = maxFar != null
                    && BigDecimal.valueOf(best.falseAcceptanceRate(), 3).compareTo(maxFar) > 0;
            line.append('\t').append(tooHigh ? UNKNOWN : TextEscape.name(best.name()))
                    .append('\t').append(thousandths(best.logScore()))
                    .append('\t').append(thousandths(best.falseRejectionRate()))
                    .append('\t').append(thousandths(best.falseAcceptanceRate()));
        }
        for (int rank = 1; rank < top; rank++) {
            line.append('\t').append(rank < ranking.size()
                    ? TextEscape.name(ranking.get(rank).name()) : NONE);
        }
        return line.toString();
    }

    /** The line of a recording that failed with a status. */
    static String failed(String path, String status, int top) {
        StringBuilder line = new StringBuilder(TextEscape.name(path)).append('\t').append(status);
        appendNone(line, 3 + top);
        return line.toString();
    }

    /** The status field of a line. */
    static String status(String line) {
        int start = line.indexOf('\t') + 1;
        int end = line.indexOf('\t', start);
        return start == 0 ? "" : line.substring(start, end < 0 ? line.length() : end);
    }

    /** The status of an engine or library code: its name, or CODE_N for another engine's. */
    static String statusOf(int code) {
        return ReturnCode.of(code).map(ReturnCode::name).orElse("CODE_" + code);
    }

    private static void appendNone(StringBuilder line, int count) {
        for (int i = 0; i < count; i++) {
            line.append('\t').append(NONE);
        }
    }

    private static String thousandths(int value) {
        return BigDecimal.valueOf(value, 3).toPlainString();
    }
}
