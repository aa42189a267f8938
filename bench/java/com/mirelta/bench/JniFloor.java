package com.mirelta.bench;

/** The test-only native library of the whole-call benchmark (bench/floor/jni_floor.cpp). */
final class JniFloor {
    static {
        System.loadLibrary("jkestrune_floor");
    }

    private JniFloor() {}

    /**
     * The bare JNI sequence of a call: the recording copied into fresh native memory, then one
     * result object per target built and stored as the library must.
     */
    static native int copyAndDeliver(byte[] audio, int audioLength, String resultClassName,
            Object[] results, int targetCount);

    /** The copy alone into native memory that earlier calls already touched. */
    static native int copyWarm(byte[] audio, int audioLength);

    /** The decoder alone, from the array in place into {@code samples}; returns the frames. */
    static native int decode(byte[] audio, int audioLength, short[] samples);

    /** What a call asks of the engine: load, score {@code sampleCount} samples, release. */
    static native int engine(String modelsDir, short[] samples, int sampleCount);
}
