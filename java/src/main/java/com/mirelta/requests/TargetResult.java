package com.mirelta.requests;

/**
 * One target's result, as the native methods of {@link LoadManager} fill it in: the library
 * creates these objects without running a constructor and sets the four fields directly. Any
 * class with the same four fields serves as well. Scores and rates are in thousandths:
 * {@code errorFR_percent} 750 means a false-rejection rate of 0.75 percent; {@code logScore} 1500
 * means a log-likelihood ratio of 1.5.
 */
public class TargetResult {
    /**
     * The name of this class in the form the library takes it, with slashes:
     * {@code "com/mirelta/requests/TargetResult"}. Pass it as {@code resultClassName} to
     * {@link LoadManager#VerifyDataWithGetAll}; the dotted class name is not found (the call then
     * returns {@link LoadManager#ERR_RESULT_DELIVERY}).
     */
    public static final String JNI_NAME = "com/mirelta/requests/TargetResult";

    /**
     * The log-likelihood ratio of the recording between this target's model and the background
     * model, in thousandths: higher means more like the target.
     */
    public int logScore;
    /**
     * The false-acceptance rate at this score, in thousandths of a percent: the share of other
     * speakers' recordings that score as high or higher against this target. Low is good: near 0
     * means almost no impostor would be accepted at this score.
     */
    public int errorFA_percent;
    /**
     * The false-rejection rate at this score, in thousandths of a percent: the share of the
     * target's own recordings that score lower, that is, the share one would reject by setting
     * the acceptance threshold at this score. High is good: 50 percent means the recording
     * scores like a typical recording of the target, 0 that it scores below all of them.
     */
    public int errorFR_percent;
    /** The target's name: for the reference engine, the name of its folder under the models. */
    public String target_name;

    /** Creates an empty result, to pass to {@link LoadManager#VerifyDataWithGetMaxProbability}. */
    public TargetResult() {}

    /**
     * The result in a line, values to three decimals.
     *
     * @return for example "anna: logScore 1.500, FRR 0.750 %, FAR 12.000 %"
     */
    @Override
    public String toString() {
        return TargetMatch.describe(target_name, logScore, errorFR_percent, errorFA_percent);
    }
}
