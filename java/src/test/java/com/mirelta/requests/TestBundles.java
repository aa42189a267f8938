package com.mirelta.requests;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.net.MalformedURLException;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Map;

/** Bundled files for the tests: a folder of resources behind a class loader of its own. */
final class TestBundles {
    private TestBundles() {}

    /** Files with these names (below the bundle's root) and texts. */
    static BundledFiles of(Map<String, String> files) {
        return of(files, Path.of(System.getProperty("java.io.tmpdir")));
    }

    /** As {@link #of(Map)}, copied out into a private folder under {@code temporaryRoot}. */
    static BundledFiles of(Map<String, String> files, Path temporaryRoot) {
        try {
            Path folder = Files.createTempDirectory("bundle");
            for (Map.Entry<String, String> file : files.entrySet()) {
                Path path = folder.resolve("bundled").resolve(file.getKey());
                Files.createDirectories(path.getParent());
                Files.writeString(path, file.getValue(), StandardCharsets.UTF_8);
            }
            return new BundledFiles(loaderOf(folder), "bundled/", temporaryRoot);
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    /** A bundle with a background model of two files, "ubm.krn" and "impostors.krn". */
    static BundledFiles withBackgroundModel() {
        return of(Map.of("ubm.list", "ubm.krn\nimpostors.krn\n", "ubm/ubm.krn", "model",
                "ubm/impostors.krn", "speech"));
    }

    /** A class loader that sees only the classes and resources under a folder or in a jar. */
    static ClassLoader loaderOf(Path folderOrJar) {
        try {
            return new URLClassLoader(new URL[] {folderOrJar.toUri().toURL()}, null);
        } catch (MalformedURLException e) {
            throw new IllegalArgumentException(e);
        }
    }
}
