package com.mirelta.requests;

import java.util.Locale;
import java.util.Objects;

/**
 * One target's result of an identification, immutable. Values are integers in thousandths, as
 * the engine reports them; the {@code double} accessors give them in their own units.
 *
 * @param name the target's name (for the reference engine, its folder under the models)
 * @param logScore the log-likelihood ratio between the target's model and the background model,
 *     in thousandths: higher means more like the target
 * @param falseRejectionRate in thousandths of a percent: the share of the target's own
 *     recordings that score lower than this one, that is, the false-rejection rate an acceptance
 *     threshold at this score would give. High is good: 50 percent means the recording scores
 *     like a typical recording of the target, 0 that it scores below all of them
 * @param falseAcceptanceRate in thousandths of a percent: the share of other speakers'
 *     recordings that score as high or higher against this target. Low is good: near 0 means
 *     almost no impostor would be accepted at this score
 */
public record TargetMatch(String name, int logScore, int falseRejectionRate,
        int falseAcceptanceRate) {

    /**
     * Creates a match; values in thousandths.
     *
     * @param name the target's name
     * @param logScore the log-likelihood ratio, in thousandths
     * @param falseRejectionRate the false-rejection rate, in thousandths of a percent
     * @param falseAcceptanceRate the false-acceptance rate, in thousandths of a percent
     * @throws NullPointerException when the name is null
     */
    public TargetMatch {
        Objects.requireNonNull(name, "name");
    }

    /**
     * The match a filled-in result object holds.
     *
     * @param result a result the library filled in
     * @return its four values
     */
    public static TargetMatch of(TargetResult result) {
        return new TargetMatch(result.target_name, result.logScore, result.errorFR_percent,
                result.errorFA_percent);
    }

    /**
     * The log-likelihood ratio.
     *
     * @return {@link #logScore()} / 1000
     */
    public double score() {
        return logScore / 1000.0;
    }

    /**
     * The false-rejection rate in percent.
     *
     * @return {@link #falseRejectionRate()} / 1000, from 0 to 100
     */
    public double frrPercent() {
        return falseRejectionRate / 1000.0;
    }

    /**
     * The false-acceptance rate in percent.
     *
     * @return {@link #falseAcceptanceRate()} / 1000, from 0 to 100
     */
    public double farPercent() {
        return falseAcceptanceRate / 1000.0;
    }

    /**
     * The match in a line, values to three decimals.
     *
     * @return for example "anna: logScore 1.500, FRR 0.750 %, FAR 12.000 %"
     */
    @Override
    public String toString() {
        return describe(name, logScore, falseRejectionRate, falseAcceptanceRate);
    }

    /** The line of {@link #toString()}, also for a {@link TargetResult}. */
    static String describe(String name, int logScore, int frr, int far) {
        return String.format(Locale.ROOT, "%s: logScore %.3f, FRR %.3f %%, FAR %.3f %%", name,
                logScore / 1000.0, frr / 1000.0, far / 1000.0);
    }
}
