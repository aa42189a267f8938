package com.mirelta.requests;

import java.util.Optional;

/**
 * The recordings the command-line tool takes: the same limits as the kestrune tool's, checked
 * from the WAVE header before the recording is handed to the library. A header is the file's own
 * claim, and the work a file costs follows from it, so a rate or a length no recording of speech
 * has is refused with the limit it breaks. A header the check cannot read is left to the library,
 * which reports it with its own code.
 */
final class WaveLimits {
    static final int MIN_RATE = 4_000;
    static final int MAX_RATE = 192_000;
    static final long MAX_SECONDS = 60 * 60;

    private WaveLimits() {}

    /** What makes the recording unacceptable, or empty when it is within the limits. */
    static Optional<String> problem(byte[] wave) {
        if (wave.length < 12 || !ascii(wave, 0, "RIFF")) {
            return Optional.empty();
        }
        long rate = -1;
        int blockAlign = 0;
        for (long at = 12; at + 8 <= wave.length;) {
            int offset = (int) at;
            long size = uint32(wave, offset + 4);
            long body = at + 8;
            if (ascii(wave, offset, "fmt ") && rate < 0 && body + 16 <= wave.length) {
                rate = uint32(wave, (int) body + 4);
                blockAlign = (wave[(int) body + 12] & 0xFF) | (wave[(int) body + 13] & 0xFF) << 8;
            } else if (ascii(wave, offset, "data") && rate >= 0) {
                if (rate < MIN_RATE || rate > MAX_RATE) {
                    return Optional.of("a sample rate of " + rate + " Hz: the tool takes "
                            + MIN_RATE / 1000 + " to " + MAX_RATE / 1000 + " kHz");
                }
                long present = Math.min(size, wave.length - body);
                long frames = blockAlign > 0 ? present / blockAlign : 0;
                if (frames > MAX_SECONDS * rate) {
                    return Optional.of(frames / rate + " s of audio: the tool takes at most "
                            + MAX_SECONDS / 60 + " minutes");
                }
                return Optional.empty();
            }
            at = body + size + (size & 1);
        }
        return Optional.empty();
    }

    private static boolean ascii(byte[] bytes, int at, String text) {
        for (int i = 0; i < text.length(); i++) {
            if (bytes[at + i] != text.charAt(i)) {
                return false;
            }
        }
        return true;
    }

    private static long uint32(byte[] bytes, int at) {
        return (bytes[at] & 0xFFL) | (bytes[at + 1] & 0xFFL) << 8 | (bytes[at + 2] & 0xFFL) << 16
                | (bytes[at + 3] & 0xFFL) << 24;
    }
}
