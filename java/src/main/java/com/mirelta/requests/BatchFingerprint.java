package com.mirelta.requests;

import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.BasicFileAttributes;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.HexFormat;
import java.util.List;
import java.util.stream.Stream;

/**
 * What a batch's results depend on, as one SHA-256: the models folder's files (their relative
 * paths, sizes and modification times: reading 10^4 models of 130 kB in every task would cost
 * more than many shards' work), the background model's files (their contents: a background
 * model the jar carries is copied out anew by each process, with new times), the tool's
 * version and the options. Tasks on other machines agree as long as they see the same files
 * with the same times, as a shared file system shows them.
 */
final class BatchFingerprint {
    /** The tool's version, part of every fingerprint: another version may score otherwise. */
    static final String TOOL_VERSION = "jkestrune 1.0.0";

    private BatchFingerprint() {}

    /** The fingerprint of a run; {@code ubm} is the background model's folder or file. */
    static String of(Path models, Path ubm, String options) throws IOException {
        MessageDigest digest = sha256();
        update(digest, "models");
        for (Path file : files(models)) {
            BasicFileAttributes attributes = Files.readAttributes(file, BasicFileAttributes.class);
            update(digest, relative(models, file) + "\t" + attributes.size() + "\t"
                    + attributes.lastModifiedTime().toMillis());
        }
        update(digest, "ubm");
        for (Path file : files(ubm)) {
            update(digest, relative(ubm, file) + "\t" + Files.size(file));
            try (InputStream in = Files.newInputStream(file)) {
                byte[] buffer = new byte[1 << 16];
                for (int read = in.read(buffer); read >= 0; read = in.read(buffer)) {
                    digest.update(buffer, 0, read);
                }
            }
        }
        update(digest, "tool\t" + TOOL_VERSION);
        update(digest, "options\t" + options);
        return hex(digest.digest());
    }

    /** The regular files under a folder (or the file itself), sorted; none when it is absent. */
    private static List<Path> files(Path root) throws IOException {
        if (!Files.exists(root)) {
            return List.of();
        }
        try (Stream<Path> walk = Files.walk(root)) {
            return walk.filter(Files::isRegularFile).sorted().toList();
        }
    }

    private static String relative(Path root, Path file) {
        return root.equals(file) ? file.getFileName().toString()
                : root.relativize(file).toString().replace('\\', '/');
    }

    private static void update(MessageDigest digest, String text) {
        digest.update((text + "\n").getBytes(StandardCharsets.UTF_8));
    }

    static MessageDigest sha256() {
        try {
            return MessageDigest.getInstance("SHA-256");
        } catch (NoSuchAlgorithmException e) {
            throw new IllegalStateException("every Java platform has SHA-256", e);
        }
    }

    static String hex(byte[] bytes) {
        return HexFormat.of().formatHex(bytes);
    }
}
