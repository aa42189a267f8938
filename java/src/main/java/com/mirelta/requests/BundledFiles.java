package com.mirelta.requests;

import java.io.BufferedReader;
import java.io.FileNotFoundException;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Optional;

/**
 * The files a jar carries beside its classes, under {@code com/mirelta/requests/bundled/}: each
 * platform's native pair in a folder of its own (see {@link NativePlatform}) and, when the jar
 * was built with one, the default background model: the files of {@code ubm/}, named one a line
 * in {@code ubm.list}. A file is copied out on first use into one private temporary folder (only
 * its owner may enter it), which is removed when the JVM exits. The folder is named after this
 * JVM's process (see {@link OwnedFolders}); before making it, the folders of JVMs that ended
 * without removing theirs (a crash, a kill, Windows keeping loaded DLLs) are removed.
 */
final class BundledFiles {
    /** The files of the jar (or class path) that holds this class. */
    static final BundledFiles JAR =
            new BundledFiles(BundledFiles.class.getClassLoader(), "com/mirelta/requests/bundled/");

    static final String BACKGROUND_MODEL = "ubm";

    private final ClassLoader loader;
    private final String root;
    private final Path temporaryRoot;
    private final Map<String, Path> extracted = new HashMap<>();
    private Path folder;

    /** The files under {@code root} (a resource path ending in '/') of a class loader. */
    BundledFiles(ClassLoader loader, String root) {
        this(loader, root, Path.of(System.getProperty("java.io.tmpdir")));
    }

    /** As {@link #BundledFiles(ClassLoader, String)}, the private folder under another root. */
    BundledFiles(ClassLoader loader, String root, Path temporaryRoot) {
        this.loader = loader;
        this.root = root;
        this.temporaryRoot = temporaryRoot;
    }

    /** Where the files are looked for, for messages. */
    String location(String name) {
        return root + name;
    }

    /**
     * Copies a bundled file (a path below the root, such as "linux-x86-64/libkestrune.so") into
     * the private folder, once; returns the copy.
     *
     * @throws FileNotFoundException when the jar carries no such file
     */
    synchronized Path extract(String name) throws IOException {
        Path done = extracted.get(name);
        if (done != null) {
            return done;
        }
        try (InputStream in = loader.getResourceAsStream(root + name)) {
            if (in == null) {
                throw new FileNotFoundException("the jar carries no " + location(name));
            }
            Path copy = folder().resolve(name).normalize();
            if (!copy.startsWith(folder) || copy.equals(folder)) {
                throw new IOException("not a bundled file name: " + name);
            }
            createFolders(copy.getParent());
            Files.copy(in, copy);
            copy.toFile().deleteOnExit();
            extracted.put(name, copy);
            return copy;
        }
    }

    /**
     * The default background model: its files copied into a folder of their own, ready for the
     * engine to load; empty when the jar carries none.
     */
    synchronized Optional<Path> backgroundModel() throws IOException {
        List<String> names = lines(BACKGROUND_MODEL + ".list");
        Path model = null;
        for (String name : names) {
            if (name.contains("/") || name.contains("\\")) {
                throw new IOException("not a file name in " + location(BACKGROUND_MODEL + ".list")
                        + ": " + name);
            }
            model = extract(BACKGROUND_MODEL + "/" + name).getParent();
        }
        return Optional.ofNullable(model);
    }

    /** The non-empty lines of a bundled text file; none when the jar does not carry it. */
    private List<String> lines(String name) throws IOException {
        try (InputStream in = loader.getResourceAsStream(root + name)) {
            if (in == null) {
                return List.of();
            }
            BufferedReader reader =
                    new BufferedReader(new InputStreamReader(in, StandardCharsets.UTF_8));
            return reader.lines().map(String::strip).filter(line -> !line.isEmpty()).toList();
        }
    }

    private Path folder() throws IOException {
        if (folder == null) {
            OwnedFolders.removeAbandoned(temporaryRoot);
            String prefix = OwnedFolders.prefixOfThisProcess();
            folder = FileSystems.getDefault().supportedFileAttributeViews().contains("posix")
                    ? Files.createTempDirectory(temporaryRoot, prefix,
                            PosixFilePermissions.asFileAttribute(
                                    PosixFilePermissions.fromString("rwx------")))
                    : Files.createTempDirectory(temporaryRoot, prefix);
            folder.toFile().deleteOnExit();
        }
        return folder;
    }

    /**
     * Creates the folders between the private folder and {@code dir}, each registered for
     * removal before the files put in it, so that the JVM removes it after them.
     */
    private void createFolders(Path dir) throws IOException {
        if (dir.equals(folder) || Files.isDirectory(dir)) {
            return;
        }
        createFolders(dir.getParent());
        Files.createDirectory(dir);
        dir.toFile().deleteOnExit();
    }
}
