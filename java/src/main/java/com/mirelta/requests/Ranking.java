package com.mirelta.requests;

/**
 * The order in which an identification ranks the targets. Targets with equal values keep the
 * engine's order (the reference engine's: the byte order of their names), whatever the order.
 */
public enum Ranking {
    /** By log-likelihood score, highest first. */
    SCORE(LoadManager.RANK_BY_SCORE, "score"),
    /** By false-rejection rate, highest first: the target the recording scores most like. */
    FRR(LoadManager.RANK_BY_FRR, "false-rejection rate"),
    /** By false-acceptance rate, lowest first: the target fewest impostors would reach. */
    FAR(LoadManager.RANK_BY_FAR, "false-acceptance rate");

    private final int rankBy;
    private final String criterion;

    Ranking(int rankBy, String criterion) {
        this.rankBy = rankBy;
        this.criterion = criterion;
    }

    /**
     * The value the native methods take for this order.
     *
     * @return {@link LoadManager#RANK_BY_SCORE}, {@link LoadManager#RANK_BY_FRR} or
     *     {@link LoadManager#RANK_BY_FAR}
     */
    public int rankBy() {
        return rankBy;
    }

    /**
     * What the targets are ranked by, in words.
     *
     * @return "score", "false-rejection rate" or "false-acceptance rate"
     */
    public String criterion() {
        return criterion;
    }
}
