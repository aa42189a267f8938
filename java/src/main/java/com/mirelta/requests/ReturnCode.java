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
    /** 0: success. */
    OK(LoadManager.OK, false, "success"),
    /** 1116: the models directory or the result class name is null. */
    ERR_NULL_ARGUMENT(LoadManager.ERR_NULL_ARGUMENT, false,
            "the models directory or the result class name is null"),
    /** 1117: the audio length is negative or larger than the audio array. */
    ERR_INVALID_ARGUMENT(LoadManager.ERR_INVALID_ARGUMENT, false,
            "the audio length is negative or larger than the audio array"),
    /** 1118: a native buffer could not be allocated, or a string's characters read. */
    ERR_OUT_OF_MEMORY(LoadManager.ERR_OUT_OF_MEMORY, false,
            "a native buffer could not be allocated, or a string's characters could not be read"),
    /** 1119: the results could not be delivered into the caller's array or object. */
    ERR_RESULT_DELIVERY(LoadManager.ERR_RESULT_DELIVERY, false,
            "the results could not be delivered: the result class must be named with slashes ("
                    + TargetResult.JNI_NAME + ", TargetResult.JNI_NAME) and have the four fields,"
                    + " and the array must not be null and hold every target"),
    /** 1120: the engine reported a negative number of targets, or no names for them. */
    ERR_ENGINE_CONTRACT(LoadManager.ERR_ENGINE_CONTRACT, false,
            "the engine reported a negative number of targets, or no names for them"),
    /** 2071: no recording, not a readable WAVE file, or an empty data chunk. */
    ERR_NO_AUDIO(LoadManager.ERR_NO_AUDIO, false,
            "no readable WAVE audio: not a WAVE file, or its data chunk is empty"),
    /** 4101, reference engine: no background model is loaded. */
    ENGINE_NO_BACKGROUND_MODEL(4101, true, "no background model loaded"),
    /** 4102, reference engine: no usable target under the models directory. */
    ENGINE_NO_TARGETS(4102, true, "no targets usable under the models directory"),
    /** 4103, reference engine: the model-set values are not from a load of this engine. */
    ENGINE_FOREIGN_MODEL_SET(4103, true, "model-set values not from a load of this engine"),
    /** 4104, reference engine: a negative count or a null array. */
    ENGINE_BAD_ARGUMENT(4104, true, "negative count or null array"),
    /** 4105, reference engine: fewer than 10 speech frames (0.1 s) in the recording. */
    ENGINE_TOO_LITTLE_SPEECH(4105, true, "too little speech (fewer than 10 speech frames)"),
    /** 4106, reference engine: too many recordings are being scored at once. */
    ENGINE_BUSY(4106, true, "busy (too many concurrent recordings)"),
    /** 4107, reference engine: out of memory. */
    ENGINE_OUT_OF_MEMORY(4107, true, "out of memory"),
    /** 4108, reference engine: any other internal failure. */
    ENGINE_INTERNAL_FAILURE(4108, true, "other internal failure"),
    /**
     * 4109, reference engine: the models directory holds more targets than the engine loads
     * ({@link LoadManager#MaxQntTargets()}, 10 000 for the reference engine); none is loaded.
     */
    ENGINE_TOO_MANY_TARGETS(4109, true, "too many targets: the models directory holds more than"
            + " the engine's limit (10 000 for the reference engine), so none was loaded");

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
     * @return for example "too little speech (fewer than 10 speech frames)"
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
}
