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

    /**
     * Has the engine load the targets under a directory and keeps them loaded.
     *
     * @return a handle for the three methods below, 0 when no targets loaded
     */
    static native long loadSet(String modelsDir);

    /** The number of targets in a set from {@link #loadSet}. */
    static native int loadedTargetCount(long set);

    /**
     * The engine's scoring alone on a set from {@link #loadSet}; the log scores go into
     * {@code logScores} when it is not null. Returns the engine's code.
     */
    static native int scoreLoadedSet(long set, short[] samples, int sampleCount, int[] logScores);

    /** Hands a set from {@link #loadSet} back to the engine. */
    static native void releaseLoadedSet(long set);
}
