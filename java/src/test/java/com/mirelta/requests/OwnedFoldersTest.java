package com.mirelta.requests;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Instant;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * Folders of bundled natives left behind by JVMs that are gone are removed at the next load;
 * folders of running owners, and anything the cleaning cannot vouch for, stay.
 */
class OwnedFoldersTest {
    static long deadPid;
    static long deadStart;

    /** A process that has ended: its id and start time name a folder nobody owns. */
    @BeforeAll
    static void runAProcessToItsEnd() throws IOException, InterruptedException {
        Path java = Path.of(System.getProperty("java.home"), "bin", "java");
        Process process = new ProcessBuilder(java.toString(), "-version")
                .redirectErrorStream(true).redirectOutput(ProcessBuilder.Redirect.DISCARD).start();
        deadPid = process.pid();
        deadStart = process.info().startInstant().map(Instant::toEpochMilli).orElseThrow();
        assertTrue(process.waitFor(60, TimeUnit.SECONDS));
        assertFalse(ProcessHandle.of(deadPid).map(ProcessHandle::isAlive).orElse(false));
    }

    static long startOf(ProcessHandle process) {
        return process.info().startInstant().map(Instant::toEpochMilli).orElseThrow();
    }

    /** Folder name -> whether the cleaning must remove it. */
    static Map<String, Boolean> plantedFolders() {
        ProcessHandle self = ProcessHandle.current();
        ProcessHandle parent = self.parent().orElseThrow();
        Map<String, Boolean> folders = new LinkedHashMap<>();
        folders.put(OwnedFolders.prefixOf(deadPid, deadStart) + "1", true);
        // This JVM's id, but another start: the id was reused, the owner is gone.
        folders.put(OwnedFolders.prefixOf(self.pid(), startOf(self) - 3_600_000) + "2", true);
        folders.put(OwnedFolders.prefixOf(self.pid(), startOf(self)) + "3", false);
        folders.put(OwnedFolders.prefixOf(parent.pid(), startOf(parent)) + "4", false);
        // A start time that could not be read when the folder was made: kept while the id runs.
        folders.put(OwnedFolders.prefixOf(self.pid(), 0) + "5", false);
        // Made by an older version, with no owner in its name.
        folders.put("jkestrune-8147092745361", false);
        folders.put("jkestrune-x-1-6", false);
        return folders;
    }

    @Test
    void onlyFoldersWhoseOwnerIsGoneAreRemovedWithWhatTheyHold() throws IOException {
        Path root = Files.createTempDirectory("owned");
        Map<String, Boolean> folders = plantedFolders();
        for (String name : folders.keySet()) {
            Path folder = Files.createDirectories(root.resolve(name).resolve("ubm"));
            Files.writeString(folder.resolve("ubm.krn"), "model");
            Files.writeString(folder.getParent().resolve("libkestrune.so"), "engine");
        }
        // Not folders, or not to be followed: a file and a link named like an abandoned folder.
        Path file = Files.writeString(root.resolve(OwnedFolders.prefixOf(deadPid, deadStart) + "f"),
                "a file");
        Path outside = Files.createDirectories(Files.createTempDirectory("outside").resolve("d"));
        Files.writeString(outside.resolve("keep"), "kept");
        Path link = Files.createSymbolicLink(
                root.resolve(OwnedFolders.prefixOf(deadPid, deadStart) + "link"), outside);

        assertEquals(2, OwnedFolders.removeAbandoned(root));
        folders.forEach((name, removed) ->
                assertEquals(!removed, Files.exists(root.resolve(name)), name));
        assertTrue(Files.isRegularFile(file));
        assertTrue(Files.isSymbolicLink(link));
        assertEquals("kept", Files.readString(outside.resolve("keep")));
    }

    /** Making the private folder cleans first, and names the new folder after this JVM. */
    @Test
    void aLoadCleansBeforeMakingItsOwnFolder() throws IOException {
        Path root = Files.createTempDirectory("load");
        Path stale = Files.createDirectory(root.resolve(OwnedFolders.prefixOf(deadPid, deadStart)
                + "9"));
        Files.writeString(stale.resolve("jkestrune.dll"), "left by a crash");
        Path live = Files.createDirectory(root.resolve(OwnedFolders.prefixOfThisProcess() + "8"));

        Path copy = TestBundles.of(Map.of("linux-x86-64/libkestrune.so", "engine"), root)
                .extract("linux-x86-64/libkestrune.so");
        assertFalse(Files.exists(stale));
        assertTrue(Files.isDirectory(live));
        Path made = copy.getParent().getParent();
        assertEquals(root, made.getParent());
        assertTrue(made.getFileName().toString().startsWith(OwnedFolders.prefixOfThisProcess()),
                made.toString());
        // A second load in this JVM keeps the first one's folder: its owner runs.
        TestBundles.of(Map.of("ubm.list", "ubm.krn\n", "ubm/ubm.krn", "model"), root)
                .backgroundModel().orElseThrow();
        assertTrue(Files.exists(copy));
        try (var listing = Files.list(root)) {
            assertEquals(3, listing.count(), () -> List.of(root.toFile().list()).toString());
        }
    }
}
