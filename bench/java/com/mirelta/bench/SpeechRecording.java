package com.mirelta.bench;

import com.mirelta.requests.WaveFiles;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * Real speech of one speaker from the repository's spoken digits (data/fsdd/recordings, files
 * {@code DIGIT_SPEAKER_INDEX.wav}, 16-bit PCM mono at 8 kHz), joined into one recording of a
 * given length.
 */
final class SpeechRecording {
    static final int RATE = 8000;

    private SpeechRecording() {}

    /** The corpus files of a speaker for the recording indices {@code first..last}, digits 0-9. */
    static List<Path> files(Path corpus, String speaker, int first, int last) {
        List<Path> files = new ArrayList<>();
        for (int index = first; index <= last; ++index) {
            for (int digit = 0; digit <= 9; ++digit) {
                files.add(corpus.resolve(digit + "_" + speaker + "_" + index + ".wav"));
            }
        }
        return files;
    }

    /**
     * A 16-bit PCM mono WAVE image of exactly {@code seconds} s: the files' samples one after
     * another, the last one cut.
     *
     * @throws IOException when a file cannot be read, is not 16-bit PCM mono at 8 kHz, or the
     *     files hold too little speech
     */
    static byte[] join(List<Path> files, int seconds) throws IOException {
        int wanted = seconds * RATE * 2;
        ByteArrayOutputStream data = new ByteArrayOutputStream(wanted);
        for (Path file : files) {
            if (data.size() >= wanted) {
                break;
            }
            byte[] samples = pcmData(file);
            data.write(samples, 0, Math.min(samples.length, wanted - data.size()));
        }
        if (data.size() < wanted) {
            throw new IOException("the files hold " + data.size() / 2 / (double) RATE
                    + " s of speech, not " + seconds + " s");
        }
        return WaveFiles.wave(1, 1, 2, 16, data.toByteArray());
    }

    /** The data chunk of a 16-bit PCM mono WAVE file at 8 kHz. */
    static byte[] pcmData(Path file) throws IOException {
        ByteBuffer wave = ByteBuffer.wrap(Files.readAllBytes(file)).order(ByteOrder.LITTLE_ENDIAN);
        if (wave.remaining() < 12 || !tag(wave, 0).equals("RIFF") || !tag(wave, 8).equals("WAVE")) {
            throw new IOException(file + " is not a WAVE file");
        }
        boolean format = false;
        int position = 12;
        while (position + 8 <= wave.limit()) {
            String id = tag(wave, position);
            long size = Integer.toUnsignedLong(wave.getInt(position + 4));
            int body = position + 8;
            if (size > wave.limit() - body) {
                throw new IOException(file + ": chunk " + id + " runs past the end");
            }
            if (id.equals("fmt ")) {
                format = size >= 16 && wave.getShort(body) == 1 && wave.getShort(body + 2) == 1
                        && wave.getInt(body + 4) == RATE && wave.getShort(body + 14) == 16;
            } else if (id.equals("data")) {
                if (!format) {
                    throw new IOException(file + " is not 16-bit PCM mono at " + RATE + " Hz");
                }
                byte[] data = new byte[(int) size & ~1];
                wave.get(body, data);
                return data;
            }
            position = body + (int) size + (int) (size & 1);
        }
        throw new IOException(file + " has no data chunk");
    }

    private static String tag(ByteBuffer wave, int position) {
        byte[] id = new byte[4];
        wave.get(position, id);
        return new String(id, StandardCharsets.US_ASCII);
    }
}
