package com.mirelta.requests;

/**
 * Text of the batch result files: every field on one line, free of tabs, so that the lines
 * split on tabs whatever the paths and target names hold.
 */
final class BatchText {
    private BatchText() {}

    /**
     * A field with its backslashes doubled and its control characters written as {@code \n},
     * {@code \r}, {@code \t} or {@code \xNN} (DEL and the C1 controls included).
     */
    static String escape(String text) {
        StringBuilder out = null;
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            String replacement = switch (c) {
                case '\\' -> "\\\\";
                case '\n' -> "\\n";
                case '\r' -> "\\r";
                case '\t' -> "\\t";
                default -> Character.isISOControl(c) ? String.format("\\x%02x", (int) c) : null;
            };
            if (replacement != null && out == null) {
                out = new StringBuilder(text.length() + 8).append(text, 0, i);
            }
            if (out != null) {
                out.append(replacement != null ? replacement : String.valueOf(c));
            }
        }
        return out == null ? text : out.toString();
    }
}
