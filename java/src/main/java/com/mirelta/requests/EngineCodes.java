package com.mirelta.requests;

import java.lang.annotation.Native;

/**
 * The numbers of the reference engine's own codes. They are {@code @Native} so that the header
 * {@code javac -h} writes from this class lets the build compare them with the engine's C
 * constants: a code changed on one side alone fails the build. Their meanings are those of
 * {@link ReturnCode}.
 */
final class EngineCodes {
    @Native static final int NO_BACKGROUND_MODEL = 4101;
    @Native static final int NO_TARGETS = 4102;
    @Native static final int FOREIGN_MODEL_SET = 4103;
    @Native static final int BAD_ARGUMENT = 4104;
    @Native static final int TOO_LITTLE_SPEECH = 4105;
    @Native static final int BUSY = 4106;
    @Native static final int OUT_OF_MEMORY = 4107;
    @Native static final int INTERNAL_FAILURE = 4108;
    @Native static final int TOO_MANY_TARGETS = 4109;

    private EngineCodes() {}
}
