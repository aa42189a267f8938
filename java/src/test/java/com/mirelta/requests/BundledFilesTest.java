package com.mirelta.requests;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.EnumSource;

/** The files a jar carries, and the order in which its native pair is loaded; no library. */
class BundledFilesTest {

    @ParameterizedTest
    @CsvSource({"Linux, amd64, LINUX_X86_64", "Linux, x86_64, LINUX_X86_64",
        "Windows 10, amd64, WINDOWS_X86_64", "Windows Server 2022, amd64, WINDOWS_X86_64",
        "Linux, aarch64, ", "Windows 11, x86, ", "Mac OS X, x86_64, ", "FreeBSD, amd64, "})
    void platformOfEachSystem(String osName, String osArch, NativePlatform expected) {
        assertEquals(Optional.ofNullable(expected), NativePlatform.of(osName, osArch));
    }

    @ParameterizedTest
    @EnumSource(NativePlatform.class)
    void engineIsLoadedBeforeTheBridgeFromOneFolder(NativePlatform platform) throws IOException {
        String engine = platform.file("kestrune");
        String bridge = platform.file("jkestrune");
        BundledFiles files = TestBundles.of(Map.of(engine, "the engine", bridge, "the bridge"));
        List<String> loaded = new ArrayList<>();
        NativeLibraries.loadBundled(files, platform, loaded::add);

        assertEquals(2, loaded.size());
        Path first = Path.of(loaded.get(0));
        Path second = Path.of(loaded.get(1));
        assertEquals("the engine", Files.readString(first));
        assertEquals("the bridge", Files.readString(second));
        assertEquals(first.getParent(), second.getParent());
        assertEquals(platform == NativePlatform.WINDOWS_X86_64
                ? List.of("kestrune.dll", "jkestrune.dll")
                : List.of("libkestrune.so", "libjkestrune.so"),
                List.of(first.getFileName().toString(), second.getFileName().toString()));
    }

    @Test
    void aMissingNativeIsNamed() {
        IOException missing = assertThrows(IOException.class, () -> NativeLibraries.loadBundled(
                TestBundles.of(Map.of()), NativePlatform.LINUX_X86_64, path -> {}));
        assertTrue(missing.getMessage().contains("bundled/linux-x86-64/libkestrune.so"),
                missing.getMessage());
    }

    @Test
    void backgroundModelIsExtractedOnceIntoThePrivateFolder() throws IOException {
        BundledFiles files = TestBundles.of(Map.of("ubm.list", "ubm.krn\n\nimpostors.krn\n",
                "ubm/ubm.krn", "model", "ubm/impostors.krn", "speech",
                "linux-x86-64/libkestrune.so", "engine"));
        Path model = files.backgroundModel().orElseThrow();
        assertEquals("model", Files.readString(model.resolve("ubm.krn")));
        assertEquals("speech", Files.readString(model.resolve("impostors.krn")));
        assertEquals(model, files.backgroundModel().orElseThrow());

        Path folder = model.getParent();
        assertEquals(folder, files.extract("linux-x86-64/libkestrune.so").getParent().getParent());
        assertEquals("rwx------",
                PosixFilePermissions.toString(Files.getPosixFilePermissions(folder)));
    }

    @Test
    void noBackgroundModelWhenTheListIsMissing() throws IOException {
        assertEquals(Optional.empty(),
                TestBundles.of(Map.of("ubm/ubm.krn", "model")).backgroundModel());
    }

    @ParameterizedTest
    @CsvSource({"../outside", "sub/ubm.krn", "..\\outside", ".."})
    void listedNamesStayInTheFolder(String name) {
        BundledFiles files = TestBundles.of(Map.of("ubm.list", name + "\n"));
        assertThrows(IOException.class, files::backgroundModel);
    }
}
