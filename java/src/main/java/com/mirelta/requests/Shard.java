package com.mirelta.requests;

import com.mirelta.requests.CommandOptions.UsageException;

/**
 * One of N shares of a list: the positions whose remainder modulo {@code count} is
 * {@code index}. Interleaving rather than cutting the list in blocks spreads slow recordings
 * (long ones, a slow folder) over every share.
 *
 * @param index K, from 0 to N-1
 * @param count N, at least 1
 */
record Shard(int index, int count) {
    /** The whole list. */
    static final Shard ALL = new Shard(0, 1);

    Shard {
        if (count < 1 || index < 0 || index >= count) {
            throw new IllegalArgumentException("no shard " + index + "/" + count);
        }
    }

    /** Parses "K/N". */
    static Shard parse(String text) throws UsageException {
        String[] parts = text.split("/", -1);
        try {
            if (parts.length == 2) {
                return new Shard(Integer.parseInt(parts[0]), Integer.parseInt(parts[1]));
            }
        } catch (IllegalArgumentException e) {
            // reported below (NumberFormatException is one too)
        }
        throw new UsageException(
                "--shard takes K/N with 0 <= K < N, not '" + text + "'");
    }

    boolean holds(long position) {
        return position % count == index;
    }

    /** How many of the positions 0 to total-1 this shard holds. */
    long size(long total) {
        return total <= index ? 0 : (total - index - 1) / count + 1;
    }

    /** The list position of this shard's n-th recording. */
    long position(long n) {
        return n * count + index;
    }

    @Override
    public String toString() {
        return index + "/" + count;
    }
}
