package com.mirelta.requests;

/**
 * Identification that tries again while the engine answers busy (4106: it is scoring as many
 * recordings as it allows). Both the tool and the batch go through it, so that a busy answer is
 * retried the same way everywhere and, when it persists, ends as that recording's failure rather
 * than as a wrong answer.
 */
final class BusyRetry {
    /** Tries before a busy answer stands. */
    static final int TRIES = 10;
    /** The first wait; each further wait doubles, up to {@link #LONGEST_WAIT_MILLIS}. */
    static final long FIRST_WAIT_MILLIS = 5;
    /** The longest wait: about 1.3 s of waiting in all over the ten tries. */
    static final long LONGEST_WAIT_MILLIS = 320;

    /** One identification call. */
    @FunctionalInterface
    interface Call<T> {
        T run() throws IdentificationException;
    }

    /** Waits between tries; tests pass one that does not sleep. */
    @FunctionalInterface
    interface Sleeper {
        void sleep(long millis) throws InterruptedException;
    }

    private BusyRetry() {}

    /**
     * The call's result, tried again after a busy answer.
     *
     * @throws IdentificationException any other code at once, or busy after {@link #TRIES}
     * @throws InterruptedException when interrupted while waiting
     */
    static <T> T call(Call<T> call, Sleeper sleeper)
            throws IdentificationException, InterruptedException {
        long wait = FIRST_WAIT_MILLIS;
        for (int tried = 1;; tried++) {
            try {
                return call.run();
            } catch (IdentificationException e) {
                if (!isBusy(e) || tried == TRIES) {
                    throw e;
                }
            }
            sleeper.sleep(wait);
            wait = Math.min(wait * 2, LONGEST_WAIT_MILLIS);
        }
    }

    static boolean isBusy(IdentificationException e) {
        return e.code() == ReturnCode.ENGINE_BUSY.value();
    }
}
