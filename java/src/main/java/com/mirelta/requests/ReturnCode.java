package com.mirelta.requests;

import java.util.Arrays;
import java.util.Optional;

/**
 * The return codes of the identification methods with their meaning: the library's own (the
 * {@code ERR_} constants of {@link LoadManager}) and those of the project's reference engine,
 * 4101-4109, which the library passes on unchanged. Another engine build may return other codes
 * of its own, or give these numbers other meanings.
 */
public enum ReturnCode {
    /** 0. */
    OK(LoadManager.OK, false,
            "success (also for a recording whose data holds no whole frame: nothing is scored)"),
    /** 1116. */
    ERR_NULL_ARGUMENT(LoadManager.ERR_NULL_ARGUMENT, false,
            "the models directory or the result class name is null"),
    /** 1117. */
    ERR_INVALID_ARGUMENT(LoadManager.ERR_INVALID_ARGUMENT, false,
            "the audio length is negative or larger than the audio array"),
    /** 1118. */
    ERR_OUT_OF_MEMORY(LoadManager.ERR_OUT_OF_MEMORY, false,
            "a native buffer could not be allocated, or the JVM could not supply a string's"
                    + " characters"),
    /** 1119. */
    ERR_RESULT_DELIVERY(LoadManager.ERR_RESULT_DELIVERY, false,
            "the results could not be delivered: the result class must be named with slashes ("
                    + TargetResult.JNI_NAME + ", TargetResult.JNI_NAME) and have the four fields,"
                    + " and the array must not be null and hold every target"),
    /** 1120. */
    ERR_ENGINE_CONTRACT(LoadManager.ERR_ENGINE_CONTRACT, false,
            "the engine reported a negative number of targets, or no names for them"),
    /** 2071. */
    ERR_NO_AUDIO(LoadManager.ERR_NO_AUDIO, false,
            "no readable WAVE audio: no recording, not a WAVE file, or its data chunk is empty"),
    /** 4101, reference engine. */
    ENGINE_NO_BACKGROUND_MODEL(EngineCodes.NO_BACKGROUND_MODEL, true,
            "no background model loaded"),
    /** 4102, reference engine. */
    ENGINE_NO_TARGETS(EngineCodes.NO_TARGETS, true,
            "no targets usable under the models directory"),
    /** 4103, reference engine. */
    ENGINE_FOREIGN_MODEL_SET(EngineCodes.FOREIGN_MODEL_SET, true,
            "model-set values not from a load of this engine"),
    /** 4104, reference engine. */
    ENGINE_BAD_ARGUMENT(EngineCodes.BAD_ARGUMENT, true, "negative count or null array"),
    /** 4105, reference engine. */
    ENGINE_TOO_LITTLE_SPEECH(EngineCodes.TOO_LITTLE_SPEECH, true,
            "too little speech (fewer than 5 speech frames)"),
    /** 4106, reference engine. */
    ENGINE_BUSY(EngineCodes.BUSY, true, "busy (too many concurrent recordings)"),
    /** 4107, reference engine. */
    ENGINE_OUT_OF_MEMORY(EngineCodes.OUT_OF_MEMORY, true, "out of memory"),
    /** 4108, reference engine. */
    ENGINE_INTERNAL_FAILURE(EngineCodes.INTERNAL_FAILURE, true, "other internal failure"),
    /**
     * 4109, reference engine: the models directory holds more targets than the engine loads
     * ({@link LoadManager#MaxQntTargets()}, 10 000 for the reference engine), so none is loaded.
     */
    ENGINE_TOO_MANY_TARGETS(EngineCodes.TOO_MANY_TARGETS, true, "too many targets: the models"
            + " directory holds more than the engine's limit (10 000 for the reference engine),"
            + " so none was loaded");

    private final int value;
    private final boolean referenceEngine;
    private final String meaning;

    ReturnCode(int value, boolean referenceEngine, String meaning) {
        this.value = value;
        this.referenceEngine = referenceEngine;
        this.meaning = meaning;
    }

    /**
     * The number the methods return.
     *
     * @return the code
     */
    public int value() {
        return value;
    }

    /**
     * Whether this is a code of the reference engine rather than of the library.
     *
     * @return true for 4101-4109
     */
    public boolean isReferenceEngineCode() {
        return referenceEngine;
    }

    /**
     * What the code means, in a phrase.
     *
     * @return for example "too little speech (fewer than 5 speech frames)"
     */
    public String meaning() {
        return meaning;
    }

    /**
     * The code of a number.
     *
     * @param value a return code
     * @return its constant; empty for a number neither the library nor the reference engine
     *     returns
     */
    public static Optional<ReturnCode> of(int value) {
        return Arrays.stream(values()).filter(code -> code.value == value).findFirst();
    }

    /**
     * A return code in words: "2071 ERR_NO_AUDIO: no readable WAVE audio: ...", "4105
     * (reference engine): too little speech ...", or for any other number "9001 (the engine's
     * own code: not one of the reference engine's)".
     *
     * @param value a return code
     * @return the number with its name and meaning
     */
    public static String describe(int value) {
        return of(value).map(code -> code.referenceEngine
                        ? value + " (reference engine): " + code.meaning
                        : value + " " + code.name() + ": " + code.meaning)
                .orElse(value + " (the engine's own code: not one of the reference engine's)");
    }

    /**
     * Every code as the Markdown table the documentation shows: number, name, which side raises
     * it, and its meaning.
     *
     * @return the table, one line per code after its two header lines
     */
    static String markdownTable() {
        StringBuilder table = new StringBuilder("| Code | `ReturnCode` | Raised by | Meaning |\n");
        table.append("|---|---|---|---|\n");
        for (ReturnCode code : values()) {
            table.append("| ").append(code.value).append(" | `").append(code.name()).append("` | ")
                    .append(code.referenceEngine ? "the reference engine" : "the library")
                    .append(" | ").append(code.meaning.replace("|", "\\|")).append(" |\n");
        }
        return table.toString();
    }
}
