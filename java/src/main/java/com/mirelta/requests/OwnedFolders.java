package com.mirelta.requests;

import java.io.IOException;
import java.nio.file.DirectoryIteratorException;
import java.nio.file.DirectoryStream;
import java.nio.file.FileVisitResult;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.SimpleFileVisitor;
import java.nio.file.attribute.BasicFileAttributes;
import java.time.Instant;
import java.util.Optional;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The private temporary folders of bundled files, each named after its owner: {@code
 * jkestrune-PID-START-N}, with the owning JVM's process id and its start time in milliseconds
 * since the epoch. The JVM removes its folder when it exits normally; after a crash or a kill the
 * folder stays (on Windows, the loaded DLLs always do), and the next JVM that makes one removes
 * the folders whose owner is not running: no process with that id, or one that started at
 * another time (the id was reused). The name is given when the folder is made, so a folder is
 * never seen without its owner. Folders of another form (made by an older version) and folders
 * whose owner is running are left alone; so is anything that is not a directory, and links are
 * not followed.
 *
 * <p>A lock on a file in the folder would be the other way to mark it, but on Linux closing any
 * descriptor of a locked file drops the whole process's lock on it, so that merely looking at
 * one's own folder would unmark it.
 */
final class OwnedFolders {
    static final String PREFIX = "jkestrune-";
    private static final Pattern OWNED = Pattern.compile("jkestrune-(\\d{1,19})-(\\d{1,19})-.*");
    /** Start times that differ by less than this are the same start, read twice. */
    private static final long SAME_START_MILLIS = 1000;

    private OwnedFolders() {}

    /** The prefix of a folder of this JVM's, to which the folder's maker adds a unique part. */
    static String prefixOfThisProcess() {
        ProcessHandle self = ProcessHandle.current();
        return prefixOf(self.pid(), startMillis(self).orElse(0L));
    }

    /** The prefix of a folder of the process with this id and start time. */
    static String prefixOf(long pid, long startMillis) {
        return PREFIX + pid + "-" + startMillis + "-";
    }

    /**
     * Removes the folders directly under {@code root} whose owner is no longer running. Best
     * effort: a folder that cannot be examined or removed is left as it is.
     *
     * @return the number of folders removed
     */
    static int removeAbandoned(Path root) {
        int removed = 0;
        try (DirectoryStream<Path> folders = Files.newDirectoryStream(root, PREFIX + "*")) {
            for (Path folder : folders) {
                if (Files.isDirectory(folder, LinkOption.NOFOLLOW_LINKS)
                        && abandoned(folder.getFileName().toString()) && deleteTree(folder)) {
                    removed++;
                }
            }
        } catch (IOException | DirectoryIteratorException | SecurityException e) {
            // the folders stay; the next load tries again
        }
        return removed;
    }

    /** Whether a folder's name names an owner that is not running. */
    static boolean abandoned(String name) {
        Matcher owner = OWNED.matcher(name);
        if (!owner.matches()) {
            return false;
        }
        long pid;
        long startMillis;
        try {
            pid = Long.parseLong(owner.group(1));
            startMillis = Long.parseLong(owner.group(2));
        } catch (NumberFormatException e) {
            return false;
        }
        Optional<ProcessHandle> process = ProcessHandle.of(pid);
        if (process.isEmpty() || !process.get().isAlive()) {
            return true;
        }
        // A start time that cannot be read (here or when the folder was made) cannot tell a
        // reused id from the owner: the folder is kept.
        Optional<Long> start = startMillis(process.get());
        return startMillis != 0 && start.isPresent()
                && Math.abs(start.get() - startMillis) >= SAME_START_MILLIS;
    }

    private static Optional<Long> startMillis(ProcessHandle process) {
        return process.info().startInstant().map(Instant::toEpochMilli);
    }

    /** Deletes a folder and what it holds, links as links; false if anything stayed. */
    private static boolean deleteTree(Path folder) {
        try {
            Files.walkFileTree(folder, new SimpleFileVisitor<>() {
                @Override
                public FileVisitResult visitFile(Path file, BasicFileAttributes attributes)
                        throws IOException {
                    Files.delete(file);
                    return FileVisitResult.CONTINUE;
                }

                @Override
                public FileVisitResult postVisitDirectory(Path dir, IOException failure)
                        throws IOException {
                    if (failure != null) {
                        throw failure;
                    }
                    Files.delete(dir);
                    return FileVisitResult.CONTINUE;
                }
            });
            return true;
        } catch (IOException e) {
            return false;
        }
    }
}
