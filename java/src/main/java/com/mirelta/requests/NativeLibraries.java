package com.mirelta.requests;

import java.io.IOException;
import java.nio.file.Path;
import java.util.function.Consumer;

/**
 * Loads the native library for {@link LoadManager}. {@code System.loadLibrary("jkestrune")}
 * comes first, so that a deployment with its own build (or another engine) on
 * {@code java.library.path} is used as it is. Only when that fails is the pair the jar carries
 * for this platform loaded from the private folder: the engine first, then the bridge, so that
 * the loader of each platform finds the engine the bridge needs already loaded.
 */
final class NativeLibraries {
    static final String BRIDGE = "jkestrune";
    static final String ENGINE = "kestrune";

    private static boolean loaded;
    private static String failure;

    private NativeLibraries() {}

    /**
     * Loads the library once per JVM; later calls return at once, or after a failure throw the
     * same message again.
     *
     * @throws UnsatisfiedLinkError naming what was tried, when neither way worked
     */
    static synchronized void load() {
        if (loaded) {
            return;
        }
        if (failure != null) {
            throw new UnsatisfiedLinkError(failure);
        }
        try {
            System.loadLibrary(BRIDGE);
            loaded = true;
            return;
        } catch (UnsatisfiedLinkError onLibraryPath) {
            try {
                loadBundled(BundledFiles.JAR, System::load);
                loaded = true;
            } catch (IOException | UnsatisfiedLinkError bundled) {
                failure = ("cannot load the native library " + BRIDGE + ": tried "
                        + "System.loadLibrary(\"" + BRIDGE + "\") (" + onLibraryPath.getMessage()
                        + ") and the copy inside the jar (" + bundled.getMessage() + ")")
                        .replace('\n', ' ');
                throw new UnsatisfiedLinkError(failure);
            }
        }
    }

    /** Copies this platform's bundled engine and bridge out and loads them in that order. */
    static void loadBundled(BundledFiles files, Consumer<String> load) throws IOException {
        NativePlatform platform = NativePlatform.current().orElseThrow(() -> new IOException(
                "the jar carries native libraries for Linux and Windows on x86-64 only, not for "
                        + System.getProperty("os.name") + " on " + System.getProperty("os.arch")));
        loadBundled(files, platform, load);
    }

    /** As {@link #loadBundled(BundledFiles, Consumer)} for a given platform. */
    static void loadBundled(BundledFiles files, NativePlatform platform, Consumer<String> load)
            throws IOException {
        Path engine = files.extract(platform.file(ENGINE));
        Path bridge = files.extract(platform.file(BRIDGE));
        load.accept(engine.toString());
        load.accept(bridge.toString());
    }
}
