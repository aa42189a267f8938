package com.mirelta.requests;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * Drives the scripted test engine that the JVM tests load in place of kestrune: writes its
 * control file and reads the log of the calls it received (paths from the environment that the
 * test runner sets).
 */
final class ScriptedEngine {
    private static final Path SCRIPT = Path.of(System.getenv("KESTRUNE_SCRIPT"));
    private static final Path CALL_LOG = Path.of(System.getenv("KESTRUNE_CALL_LOG"));

    private ScriptedEngine() {}

    /** Replaces the engine's script and empties the call log. */
    static void script(String... lines) {
        try {
            Files.createDirectories(SCRIPT.getParent());
            Files.write(SCRIPT, Arrays.asList(lines), StandardCharsets.UTF_8);
            Files.deleteIfExists(CALL_LOG);
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    /** The calls received since the last script, one line each. */
    static List<String> calls() {
        try {
            if (!Files.exists(CALL_LOG)) {
                return new ArrayList<>();
            }
            return Files.readAllLines(CALL_LOG, StandardCharsets.UTF_8);
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }
}
