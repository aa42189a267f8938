package com.mirelta.requests;

import java.util.Optional;

/**
 * An identification that returned a non-zero code. The message names the code and its meaning,
 * as {@link ReturnCode#describe(int)} does.
 */
public final class IdentificationException extends Exception {
    private static final long serialVersionUID = 1L;

    /** The code the call returned. */
    private final int code;

    /**
     * Creates the exception of a return code.
     *
     * @param code the non-zero code a native method returned
     */
    public IdentificationException(int code) {
        super("error " + ReturnCode.describe(code));
        this.code = code;
    }

    /**
     * The code the call returned.
     *
     * @return the number, as the native method returned it
     */
    public int code() {
        return code;
    }

    /**
     * The code as a constant.
     *
     * @return the library's or the reference engine's code; empty for another engine's own code
     */
    public Optional<ReturnCode> returnCode() {
        return ReturnCode.of(code);
    }
}
