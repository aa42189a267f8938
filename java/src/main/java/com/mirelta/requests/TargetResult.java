package com.mirelta.requests;

/**
 * One target's result. Scores and rates are in thousandths: {@code errorFR_percent} 750 means a
 * false-rejection rate of 0.75 percent; {@code logScore} 1500 means a log-likelihood ratio of 1.5.
 */
public class TargetResult {
    /** The JNI name of this class, as {@link LoadManager#VerifyDataWithGetAll} takes it. */
    public static final String JNI_NAME = "com/mirelta/requests/TargetResult";

    public int logScore;
    public int errorFA_percent;
    public int errorFR_percent;
    public String target_name;

    @Override
    public String toString() {
        return String.format(java.util.Locale.ROOT,
                "%s: logScore %.3f, FRR %.3f %%, FAR %.3f %%", target_name, logScore / 1000.0,
                errorFR_percent / 1000.0, errorFA_percent / 1000.0);
    }
}
