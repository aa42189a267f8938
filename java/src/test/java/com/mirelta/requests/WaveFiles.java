package com.mirelta.requests;

import java.io.ByteArrayOutputStream;

/** Builds WAVE file images for the tests and for the whole-call benchmark, which compiles it. */
public final class WaveFiles {
    private WaveFiles() {}

    /** Interleaved 16-bit PCM with {@code channels} samples per frame. */
    static byte[] pcm16(short[] samples, int channels) {
        byte[] data = new byte[samples.length * 2];
        for (int i = 0; i < samples.length; i++) {
            data[2 * i] = (byte) samples[i];
            data[2 * i + 1] = (byte) (samples[i] >> 8);
        }
        return wave(1, channels, 2 * channels, 16, data);
    }

    /** One code byte per sample: tag 6 is A-law, 7 is mu-law. */
    static byte[] g711(int tag, byte[] codes) {
        return wave(tag, 1, 1, 8, codes);
    }

    /** A header for {@code data} at 8000 frames per second, then the data. */
    public static byte[] wave(int tag, int channels, int blockAlign, int bits, byte[] data) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        ascii(out, "RIFF");
        int32(out, 36 + data.length);
        ascii(out, "WAVE");
        ascii(out, "fmt ");
        int32(out, 16);
        int16(out, tag);
        int16(out, channels);
        int32(out, 8000);
        int32(out, 8000 * blockAlign);
        int16(out, blockAlign);
        int16(out, bits);
        ascii(out, "data");
        int32(out, data.length);
        out.write(data, 0, data.length);
        return out.toByteArray();
    }

    /** A short mono recording that any test can use when the audio itself does not matter. */
    static byte[] anyRecording() {
        short[] samples = new short[800];
        for (int i = 0; i < samples.length; i++) {
            samples[i] = (short) ((i * 37) % 2000 - 1000);
        }
        return pcm16(samples, 1);
    }

    private static void ascii(ByteArrayOutputStream out, String text) {
        for (char c : text.toCharArray()) {
            out.write(c);
        }
    }

    private static void int16(ByteArrayOutputStream out, int value) {
        out.write(value);
        out.write(value >> 8);
    }

    private static void int32(ByteArrayOutputStream out, int value) {
        int16(out, value);
        int16(out, value >> 16);
    }
}
