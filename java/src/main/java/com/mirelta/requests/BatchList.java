package com.mirelta.requests;

import java.io.BufferedReader;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.MessageDigest;
import java.util.ArrayList;
import java.util.List;
import java.util.stream.Stream;

/**
 * The recordings of a batch: a text file of paths (one a line, blank lines skipped), or a
 * folder's files taken recursively in sorted order. Read as a stream: every task of a sharded
 * run reads the whole list to fingerprint it, but holds only its own shard's paths.
 *
 * @param paths this shard's paths, as the list writes them, in list order
 * @param total how many recordings the whole list names
 * @param digest SHA-256 of the whole list's paths in order, in hexadecimal
 */
record BatchList(List<String> paths, long total, String digest) {
    /** Reads the list and keeps the paths a shard holds. */
    static BatchList read(Path list, Shard shard) throws IOException {
        Collector collector = new Collector(shard);
        if (Files.isDirectory(list)) {
            List<String> files;
            try (Stream<Path> walk = Files.walk(list)) {
                files = walk.filter(Files::isRegularFile).map(Path::toString).sorted().toList();
            }
            files.forEach(collector::add);
        } else {
            try (BufferedReader reader = Files.newBufferedReader(list, StandardCharsets.UTF_8)) {
                for (String line = reader.readLine(); line != null; line = reader.readLine()) {
                    if (!line.isBlank()) {
                        collector.add(line);
                    }
                }
            }
        }
        return new BatchList(collector.paths, collector.total,
                BatchFingerprint.hex(collector.digest.digest()));
    }

    private static final class Collector {
        final Shard shard;
        final List<String> paths = new ArrayList<>();
        final MessageDigest digest = BatchFingerprint.sha256();
        long total;

        Collector(Shard shard) {
            this.shard = shard;
        }

        void add(String path) {
            digest.update((path + "\n").getBytes(StandardCharsets.UTF_8));
            if (shard.holds(total)) {
                paths.add(path);
            }
            total++;
        }
    }
}
