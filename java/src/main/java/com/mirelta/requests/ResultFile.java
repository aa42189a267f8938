package com.mirelta.requests;

import java.io.BufferedReader;
import java.io.BufferedWriter;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.nio.channels.Channels;
import java.nio.channels.FileChannel;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.util.Optional;

/**
 * A batch result file, written whole or not at all: the lines go to a hidden file beside it,
 * which is synced and renamed over the result only once complete. A killed task leaves at most
 * that hidden file (which the next run overwrites), never a result file that looks whole.
 */
final class ResultFile {
    /** Writes the lines of a result file. */
    @FunctionalInterface
    interface Content {
        void write(BufferedWriter out) throws IOException;
    }

    /** What a complete result file holds: its header, how many lines follow, how many failed. */
    record Summary(BatchHeader header, long lines, long failed) {}

    private ResultFile() {}

    /** The file a result is written to before it is complete. */
    static Path partial(Path out) {
        Path name = out.getFileName();
        return out.resolveSibling("." + name + ".partial");
    }

    static void writeWhole(Path out, Content content) throws IOException {
        Path partial = partial(out);
        try (FileChannel channel = FileChannel.open(partial, StandardOpenOption.CREATE,
                     StandardOpenOption.WRITE, StandardOpenOption.TRUNCATE_EXISTING);
             BufferedWriter writer = new BufferedWriter(new OutputStreamWriter(
                     Channels.newOutputStream(channel), StandardCharsets.UTF_8), 1 << 16)) {
            content.write(writer);
            writer.flush();
            channel.force(true);
        } catch (IOException | RuntimeException e) {
            try {
                Files.deleteIfExists(partial);
            } catch (IOException cleanup) {
                e.addSuppressed(cleanup);
            }
            throw e;
        }
        Files.move(partial, out, StandardCopyOption.ATOMIC_MOVE,
                StandardCopyOption.REPLACE_EXISTING);
    }

    /** The summary of an existing result file, or empty when there is none or no header. */
    static Optional<Summary> read(Path out) throws IOException {
        if (!Files.isRegularFile(out)) {
            return Optional.empty();
        }
        try (BufferedReader reader = Files.newBufferedReader(out, StandardCharsets.UTF_8)) {
            String first = reader.readLine();
            Optional<BatchHeader> header =
                    first == null ? Optional.empty() : BatchHeader.parse(first);
            if (header.isEmpty()) {
                return Optional.empty();
            }
            long lines = 0;
            long failed = 0;
            for (String line = reader.readLine(); line != null; line = reader.readLine()) {
                lines++;
                if (!BatchLine.status(line).equals(BatchLine.OK)) {
                    failed++;
                }
            }
            return Optional.of(new Summary(header.get(), lines, failed));
        }
    }
}
