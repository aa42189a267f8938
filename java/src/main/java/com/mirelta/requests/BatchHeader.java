package com.mirelta.requests;

import java.util.LinkedHashMap;
import java.util.Map;
import java.util.Objects;
import java.util.Optional;

/**
 * The first line of a batch result file: what its lines depend on, and which of the list's
 * recordings it holds. Two files whose headers differ only in the shard hold lines of the same
 * computation; merging checks that, and a rerun keeps a complete file whose header is the one
 * it would write.
 *
 * <pre>
 * #jkestrune-batch	fingerprint=HEX	tool=VERSION	options=TEXT	list=HEX	recordings=N	shard=K/N
 * </pre>
 *
 * @param fingerprint SHA-256 of the models folder's files, the background model, the tool's
 *     version and the options (see {@link BatchFingerprint})
 * @param tool the tool's version
 * @param options the options the results depend on ({@link BatchOptions#resultOptions()})
 * @param list SHA-256 of the list's paths in order
 * @param recordings how many recordings the whole list holds
 * @param shard which of them this file holds
 */
record BatchHeader(String fingerprint, String tool, String options, String list,
        long recordings, Shard shard) {
    static final String MAGIC = "#jkestrune-batch";

    BatchHeader {
        Objects.requireNonNull(fingerprint, "fingerprint");
        Objects.requireNonNull(tool, "tool");
        Objects.requireNonNull(options, "options");
        Objects.requireNonNull(list, "list");
        Objects.requireNonNull(shard, "shard");
    }

    String format() {
        return MAGIC + "\tfingerprint=" + fingerprint + "\ttool=" + TextEscape.name(tool)
                + "\toptions=" + TextEscape.name(options) + "\tlist=" + list + "\trecordings="
                + recordings + "\tshard=" + shard;
    }

    /** The same computation's header for another shard. */
    BatchHeader withShard(Shard other) {
        return new BatchHeader(fingerprint, tool, options, list, recordings, other);
    }

    /** Whether the lines of both depend on the same inputs (all but the shard equal). */
    boolean sameComputation(BatchHeader other) {
        return withShard(Shard.ALL).equals(other.withShard(Shard.ALL));
    }

    /** The header a line holds, or empty when it is not one. */
    static Optional<BatchHeader> parse(String line) {
        String[] fields = line.split("\t", -1);
        if (fields.length != 7 || !fields[0].equals(MAGIC)) {
            return Optional.empty();
        }
        Map<String, String> values = new LinkedHashMap<>();
        for (int i = 1; i < fields.length; i++) {
            int equals = fields[i].indexOf('=');
            if (equals < 0) {
                return Optional.empty();
            }
            values.put(fields[i].substring(0, equals), fields[i].substring(equals + 1));
        }
        try {
            String[] shard = values.getOrDefault("shard", "").split("/", -1);
            return Optional.of(new BatchHeader(values.get("fingerprint"), values.get("tool"),
                    values.get("options"), values.get("list"),
                    Long.parseLong(values.getOrDefault("recordings", "")),
                    new Shard(Integer.parseInt(shard[0]), Integer.parseInt(shard[1]))));
        } catch (RuntimeException e) {
            // a missing field, a number that is not one, or an impossible shard
            return Optional.empty();
        }
    }
}
