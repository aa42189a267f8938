package com.mirelta.requests;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.stream.Stream;

/**
 * Drives the scripted test engine that the JVM tests load in place of kestrune: writes its
 * control file and reads the log of the calls it received (paths from the environment that the
 * test runner sets). Also holds what the tests share to script it and to check its results.
 */
final class ScriptedEngine {
    private static final Path SCRIPT = Path.of(System.getenv("KESTRUNE_SCRIPT"));
    static final Path CALL_LOG = Path.of(System.getenv("KESTRUNE_CALL_LOG"));

    static final String[] THREE_TARGETS = {
        "target 1500 300 9000 anna", "target 2500 100 7000 bert", "target 500 900 8000 carl"};
    /** Names of {@link #THREE_TARGETS} in the order of each criterion. */
    private static final List<String> BY_SCORE = List.of("bert", "anna", "carl");
    private static final List<String> BY_FRR = List.of("carl", "anna", "bert");
    private static final List<String> BY_FAR = List.of("bert", "carl", "anna");

    /** A result class without the name field: nothing can be delivered into it. */
    static final class NamelessResult {
        public int logScore;
        public int errorFA_percent;
        public int errorFR_percent;
    }

    /** What a call log shows of the model sets: loaded, handed back, handed back changed. */
    record ModelSets(long loads, long releases, long mismatches) {}

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

    /** Counts the model sets in a call log; a stream, so that a long log need not be held. */
    static ModelSets modelSets(Stream<String> calls) {
        long[] counts = new long[3];
        calls.forEach(line -> {
            if (line.startsWith("LoadFromSubDirsToBuffers")) {
                counts[0]++;
            } else if (line.equals("DestroyedBuffers ok")
                    || line.equals("DestroyedBuffers empty")) {
                counts[1]++;
            }
            if (line.contains("mismatch")) {
                counts[2]++;
            }
        });
        return new ModelSets(counts[0], counts[1], counts[2]);
    }

    /** The order of {@link #THREE_TARGETS} for a rankBy: score for any value but 1 and 2. */
    static List<String> ranked(int rankBy) {
        return rankBy == 1 ? BY_FRR : rankBy == 2 ? BY_FAR : BY_SCORE;
    }

    /**
     * The target names in delivered results, "-" for an empty slot. A plain loop: the soak calls
     * this on almost every call, and a stream here made its resident memory grow measurably more.
     */
    static List<String> names(Object[] results) {
        List<String> names = new ArrayList<>();
        for (Object result : results) {
            names.add(result == null ? "-" : ((TargetResult) result).target_name);
        }
        return names;
    }

    /** The name of a class in the form the library takes. */
    static String jniName(Class<?> type) {
        return type.getName().replace('.', '/');
    }
}
