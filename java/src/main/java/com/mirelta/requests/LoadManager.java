package com.mirelta.requests;

import java.lang.annotation.Native;

/**
 * The native methods of the jkestrune library: speaker identification against the target
 * models enrolled under a directory, through the engine library kestrune. For an interface in
 * plain Java (paths and streams, immutable results, exceptions) use {@link SpeakerIdentifier},
 * which calls these methods.
 *
 * <p><b>Loading.</b> The first use of this class loads the library: first with
 * {@code System.loadLibrary("jkestrune")}, from {@code java.library.path}; when that fails, the
 * copy of the library and its engine that the jar carries for this platform (Linux or Windows on
 * x86-64), extracted into a private temporary folder. When neither loads, the first use throws an
 * {@link UnsatisfiedLinkError} that names what was tried.
 *
 * <p><b>Units.</b> Scores and rates cross the native boundary as integers in thousandths: a
 * false-rejection rate of 0.75 percent arrives as 750, a log-likelihood ratio of 1.5 as 1500.
 * See {@link TargetResult} for what the false-rejection and false-acceptance rates say.
 *
 * <p><b>Result class names</b> are given in the form JNI's {@code FindClass} takes, with slashes:
 * {@link TargetResult#JNI_NAME}, {@code "com/mirelta/requests/TargetResult"}. The dotted form
 * {@code "com.mirelta.requests.TargetResult"} is not found and the call returns
 * {@link #ERR_RESULT_DELIVERY}.
 *
 * <p><b>Threads.</b> Every method may be called from any number of threads at once; the library
 * keeps no state between calls. The engine limits how many recordings it scores at the same time
 * ({@link #MaxQntProgramStreams()}); the reference engine answers 4106 to a call beyond it. The
 * background model is the engine's, shared by all threads.
 *
 * <p><b>Return codes</b> of the two identification methods: {@link #OK}, the {@code ERR_}
 * constants below, or the engine's own non-zero code, passed on unchanged. {@link ReturnCode}
 * names them all, with the reference engine's codes 4101-4109.
 */
public final class LoadManager {
    static {
        NativeLibraries.load();
    }

    // The library's codes. They are @Native so that the header javac -h writes from this class
    // lets the build compare them with the bridge's C constants; what each one means is said
    // once, in ReturnCode.

    /** {@link ReturnCode#OK}. */
    @Native public static final int OK = 0;
    /** {@link ReturnCode#ERR_NULL_ARGUMENT}. */
    @Native public static final int ERR_NULL_ARGUMENT = 1116;
    /** {@link ReturnCode#ERR_INVALID_ARGUMENT}. */
    @Native public static final int ERR_INVALID_ARGUMENT = 1117;
    /** {@link ReturnCode#ERR_OUT_OF_MEMORY}. */
    @Native public static final int ERR_OUT_OF_MEMORY = 1118;
    /** {@link ReturnCode#ERR_RESULT_DELIVERY}. */
    @Native public static final int ERR_RESULT_DELIVERY = 1119;
    /** {@link ReturnCode#ERR_ENGINE_CONTRACT}. */
    @Native public static final int ERR_ENGINE_CONTRACT = 1120;
    /** {@link ReturnCode#ERR_NO_AUDIO}. */
    @Native public static final int ERR_NO_AUDIO = 2071;

    /** Rank the targets by log-likelihood score, highest first (also any value but 1 and 2). */
    public static final int RANK_BY_SCORE = 0;
    /** Rank the targets by false-rejection rate, highest first. */
    public static final int RANK_BY_FRR = 1;
    /** Rank the targets by false-acceptance rate, lowest first. */
    public static final int RANK_BY_FAR = 2;

    private LoadManager() {}

    /**
     * The largest number of targets the engine will load.
     *
     * @return the engine's answer, unchanged
     */
    public static native int MaxQntTargets();

    /**
     * The largest number of recordings the engine scores at the same time.
     *
     * @return the engine's answer, unchanged
     */
    public static native int MaxQntProgramStreams();

    /**
     * Has the engine load its background models, which every later identification in this
     * process uses, on every thread.
     *
     * @param bgModelsPath what the engine loads: for the reference engine, a directory written
     *     by {@code kestrune train-ubm}; null asks the engine to load from ""
     * @return true when the engine loaded them
     */
    public static native boolean LoadBgModels(String bgModelsPath);

    /**
     * Counts the target models under a directory, to size the array of
     * {@link #VerifyDataWithGetAll}.
     *
     * @param modelsDir the directory of target models
     * @return the engine's count; 0 for null
     */
    public static native int GetTargetQuantity(String modelsDir);

    /**
     * Identifies the speaker of a WAVE recording against every target under {@code modelsDir}
     * and stores one new result object per target into {@code results}, best first.
     *
     * @param audio the bytes of a WAVE file (16-bit PCM, A-law or mu-law)
     * @param audioLength how many bytes of {@code audio} to use, from its start
     * @param modelsDir the directory of target models, handed to the engine
     * @param rankBy {@link #RANK_BY_SCORE}, {@link #RANK_BY_FRR} or {@link #RANK_BY_FAR}; targets
     *     with equal values keep the engine's order (the reference engine's: the byte order of
     *     their names)
     * @param resultClassName the result class in JNI form, with slashes:
     *     {@link TargetResult#JNI_NAME} ("com/mirelta/requests/TargetResult");
     *     it needs the int fields logScore, errorFA_percent, errorFR_percent and the String field
     *     target_name. Objects are created without running a constructor.
     * @param results receives the targets in ranked order; needs at least as many elements as
     *     there are targets; elements beyond them are left as they were
     * @param verbose prints the ranking to standard output
     * @return 0, one of the ERR_ codes above, or the engine's own non-zero code (see
     *     {@link ReturnCode})
     */
    public static native int VerifyDataWithGetAll(byte[] audio, int audioLength, String modelsDir,
            int rankBy, String resultClassName, Object[] results, boolean verbose);

    /**
     * As {@link #VerifyDataWithGetAll}, but writes only the best target into the four fields of
     * {@code result}; its other fields are kept. With no targets, {@code result} is untouched.
     *
     * @param audio the bytes of a WAVE file (16-bit PCM, A-law or mu-law)
     * @param audioLength how many bytes of {@code audio} to use, from its start
     * @param modelsDir the directory of target models, handed to the engine
     * @param rankBy {@link #RANK_BY_SCORE}, {@link #RANK_BY_FRR} or {@link #RANK_BY_FAR}
     * @param result an object with the int fields logScore, errorFA_percent, errorFR_percent and
     *     the String field target_name, such as a {@link TargetResult}
     * @param verbose prints the ranking to standard output
     * @return 0, one of the ERR_ codes above, or the engine's own non-zero code (see
     *     {@link ReturnCode})
     */
    public static native int VerifyDataWithGetMaxProbability(byte[] audio, int audioLength,
            String modelsDir, int rankBy, Object result, boolean verbose);
}
