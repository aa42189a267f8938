package com.mirelta.requests;

import java.util.concurrent.ExecutionException;
import java.util.concurrent.Future;
import java.util.function.BiFunction;

/** The tools' wait for a task run on a pool: what the task threw is thrown on the waiting thread. */
final class TaskResults {
    private TaskResults() {}

    /**
     * The task's result. A runtime exception or error it threw is thrown as it is; any other
     * cause, and an interrupt (the thread's flag set again), as {@code wrap(message, cause)}.
     */
    static <T, X extends Exception> T await(
            Future<T> pending, BiFunction<String, Throwable, X> wrap) throws X {
        try {
            return pending.get();
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw wrap.apply("interrupted while identifying", e);
        } catch (ExecutionException e) {
            Throwable cause = e.getCause();
            if (cause instanceof RuntimeException runtime) {
                throw runtime;
            }
            if (cause instanceof Error error) {
                throw error;
            }
            throw wrap.apply(cause == null ? null : cause.toString(), cause);
        }
    }
}
