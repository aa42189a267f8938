package com.mirelta.requests;

import java.util.Locale;
import java.util.Optional;

/**
 * The platforms whose native pair (the bridge jkestrune and the engine kestrune) a jar can
 * carry, each in a folder of its own among the bundled files. The build that packs the jar uses
 * the same folder and file names (java/cmake/BundleJar.cmake).
 */
enum NativePlatform {
    LINUX_X86_64("linux-x86-64", "lib", ".so"),
    WINDOWS_X86_64("windows-x86-64", "", ".dll");

    final String folder;
    private final String prefix;
    private final String suffix;

    NativePlatform(String folder, String prefix, String suffix) {
        this.folder = folder;
        this.prefix = prefix;
        this.suffix = suffix;
    }

    /** The bundled file of a library, e.g. "windows-x86-64/kestrune.dll" for "kestrune". */
    String file(String library) {
        return folder + "/" + prefix + library + suffix;
    }

    /** The platform of an os.name and os.arch pair; empty for one no jar carries. */
    static Optional<NativePlatform> of(String osName, String osArch) {
        String os = osName.toLowerCase(Locale.ROOT);
        boolean x86_64 = osArch.equals("amd64") || osArch.equals("x86_64");
        if (!x86_64) {
            return Optional.empty();
        }
        if (os.startsWith("linux")) {
            return Optional.of(LINUX_X86_64);
        }
        if (os.startsWith("windows")) {
            return Optional.of(WINDOWS_X86_64);
        }
        return Optional.empty();
    }

    /** The platform of this JVM. */
    static Optional<NativePlatform> current() {
        return of(System.getProperty("os.name", ""), System.getProperty("os.arch", ""));
    }
}
