package com.mirelta.requests;

/**
 * Names in the command-line tool's text output. A target or file name is whatever a directory
 * holds: a newline in one would forge a row of the table or of the tab-separated rows, a tab a
 * column, other control characters drive the terminal. Every name is written through this one
 * escaping, the same as the native library's console log and the kestrune tool use: a backslash
 * becomes two backslashes, newline a backslash and {@code n}, carriage return {@code r}, tab
 * {@code t}, other control characters below U+0020 and DEL a backslash, {@code x} and two hex
 * digits, and the C1 controls U+0080-U+009F a backslash, {@code u00} and two hex digits.
 * Everything else passes unchanged, and since backslashes are escaped too, the original name can
 * be read back from the output.
 */
final class TextEscape {
    private static final char[] HEX = "0123456789abcdef".toCharArray();

    private TextEscape() {}

    /** The name with its control characters and backslashes escaped. */
    static String name(String text) {
        StringBuilder out = null;
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            String escaped = switch (c) {
                case '\\' -> "\\\\";
                case '\n' -> "\\n";
                case '\r' -> "\\r";
                case '\t' -> "\\t";
                default -> c < 0x20 || c == 0x7F ? "\\x" + HEX[c >> 4] + HEX[c & 0xF]
                        : c >= 0x80 && c <= 0x9F ? "\\u00" + HEX[c >> 4] + HEX[c & 0xF] : null;
            };
            if (escaped != null && out == null) {
                out = new StringBuilder(text.length() + 8).append(text, 0, i);
            }
            if (out != null) {
                if (escaped != null) {
                    out.append(escaped);
                } else {
                    out.append(c);
                }
            }
        }
        return out == null ? text : out.toString();
    }
}
