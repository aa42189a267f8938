package com.mirelta.requests;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import java.util.stream.Stream;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * The jar, the quick start and the plain Java interface against the reference engine, with
 * models that prepare-real-engine.sh trained from the repository's recordings. The jar runs
 * in child JVMs with CheckJNI, the way a user starts it; the identifications in this JVM load
 * the library from java.library.path.
 */
class RealEngineTest {
    static final Path WORK = Path.of(System.getProperty("jkestrune.real.work"));
    static final Path JAR = Path.of(System.getProperty("jkestrune.jar"));
    static final Path CLASSES_JAR = Path.of(System.getProperty("jkestrune.classes.jar"));
    static final Path QUICK_START = Path.of(System.getProperty("jkestrune.quick.start"));
    static final Path SCRIPTED_ENGINE_DIR = Path.of(System.getProperty("jkestrune.scripted.dir"));
    static final Path LIB_DIR = Path.of(System.getProperty("jkestrune.lib.dir"));
    static final Path WINDOWS_LIB_DIR = Path.of(System.getProperty("jkestrune.windows.lib.dir"));
    static final Path UBM = WORK.resolve("ubm");
    static final Path MODELS = WORK.resolve("models");
    static final List<String> SPEAKERS = List.of("george", "jackson", "lucas");

    /** What a child JVM did. */
    record Run(int status, List<String> out, List<String> err) {}

    /** Runs java with CheckJNI and the arguments; environment changes as given (null removes). */
    static Run java(Map<String, String> environment, String... args)
            throws IOException, InterruptedException {
        List<String> command = new ArrayList<>(List.of(
                Path.of(System.getProperty("java.home"), "bin", "java").toString(),
                "-Xcheck:jni"));
        command.addAll(Arrays.asList(args));
        ProcessBuilder builder = new ProcessBuilder(command);
        builder.environment().remove("LD_LIBRARY_PATH");
        environment.forEach((name, value) -> builder.environment().put(name, value));
        Path out = Files.createTempFile(WORK, "out", ".txt");
        Path err = Files.createTempFile(WORK, "err", ".txt");
        builder.redirectOutput(out.toFile()).redirectError(err.toFile());
        int status = builder.start().waitFor();
        Run run = new Run(status, Files.readAllLines(out, StandardCharsets.UTF_8),
                Files.readAllLines(err, StandardCharsets.UTF_8));
        assertTrue(Stream.concat(run.out.stream(), run.err.stream())
                .noneMatch(line -> line.contains("WARNING")), run.toString());
        return run;
    }

    static Path trial(String speaker) {
        return WORK.resolve("trials").resolve(speaker + ".wav");
    }

    static String[] trials() {
        return SPEAKERS.stream().map(speaker -> trial(speaker).toString()).toArray(String[]::new);
    }

    /** The best target of each file in --best --tsv rows, by file. */
    static void assertEachTrialIsItsSpeaker(Run run) {
        assertEquals(0, run.status, run.toString());
        assertEquals(SPEAKERS.size(), run.out.size(), run.toString());
        for (String row : run.out) {
            String[] columns = row.split("\t");
            assertEquals(Path.of(columns[0]).getFileName().toString(), columns[2] + ".wav", row);
        }
    }

    @BeforeAll
    static void loadTheBackgroundModel() throws IOException {
        SpeakerIdentifier.loadBackgroundModel(UBM);
    }

    @Test
    void quickStartIdentifiesTheTrialsSpeaker() throws Exception {
        Run run = java(Map.of(), "-cp", JAR.toString(), QUICK_START.toString(), UBM.toString(),
                MODELS.toString(), trial("george").toString());
        assertEquals(0, run.status, run.toString());
        assertEquals("3 targets under " + MODELS, run.out.get(0));
        assertTrue(run.out.get(1).startsWith("george: logScore "), run.toString());
        assertEquals("speaker: george", run.out.get(run.out.size() - 1));
    }

    /**
     * Without java.library.path the jar loads the pair it carries, and removes its copies when
     * the JVM exits. The scripted engine on LD_LIBRARY_PATH is not used: the carried engine is
     * loaded before the bridge that needs it.
     */
    @ParameterizedTest
    @ValueSource(booleans = {false, true})
    void jarRunsOnItsOwnNatives(boolean scriptedEngineOnLdLibraryPath) throws Exception {
        Path tmp = Files.createTempDirectory(WORK, "tmp");
        Map<String, String> environment = scriptedEngineOnLdLibraryPath
                ? Map.of("LD_LIBRARY_PATH", SCRIPTED_ENGINE_DIR.toString()) : Map.of();
        List<String> args = new ArrayList<>(List.of("-Djava.io.tmpdir=" + tmp, "-jar",
                JAR.toString(), "--ubm", UBM.toString(), "--models", MODELS.toString(), "--best",
                "--tsv"));
        args.addAll(List.of(trials()));
        assertEachTrialIsItsSpeaker(java(environment, args.toArray(String[]::new)));
        try (Stream<Path> left = Files.list(tmp)) {
            assertEquals(List.of(), left.toList(), "the private folder is removed at exit");
        }
    }

    /** A library on java.library.path is used as it is, with the engine the system finds. */
    @Test
    void libraryPathComesBeforeTheCarriedPair() throws Exception {
        Path script = WORK.resolve("scripted-engine.script");
        Files.write(script, List.of("quantity 1", "target 1 2 3 the-scripted-engine"));
        Run run = java(Map.of("LD_LIBRARY_PATH", SCRIPTED_ENGINE_DIR.toString(),
                        "KESTRUNE_SCRIPT", script.toString(),
                        "KESTRUNE_CALL_LOG", WORK.resolve("scripted-engine.log").toString()),
                "-Djava.library.path=" + LIB_DIR, "-jar", JAR.toString(), "--ubm",
                UBM.toString(), "--models", MODELS.toString(), "--tsv",
                trial("george").toString());
        assertEquals(0, run.status, run.toString());
        assertEquals(List.of(trial("george") + "\t1\tthe-scripted-engine\t0.001\t0.002\t0.003"),
                run.out);
    }

    @Test
    void noLoadableLibraryIsOneLineAndExit4() throws Exception {
        Run run = java(Map.of(), "-cp", CLASSES_JAR.toString(),
                IdentifyCommand.class.getName(), "--ubm", UBM.toString(), "--models",
                MODELS.toString(), trial("george").toString());
        assertEquals(IdentifyCommand.EXIT_NO_LIBRARY, run.status);
        assertEquals(1, run.err.size(), run.toString());
        String line = run.err.get(0);
        assertTrue(line.startsWith("error: cannot load the native library jkestrune: tried "
                + "System.loadLibrary(\"jkestrune\") (no jkestrune in java.library.path"), line);
        assertTrue(line.endsWith("the copy inside the jar (the jar carries no "
                + "com/mirelta/requests/bundled/linux-x86-64/libkestrune.so)"), line);
    }

    @Test
    void defaultBackgroundModelIsTheOneTheJarCarries() throws Exception {
        List<String> args = new ArrayList<>(List.of("-jar",
                WORK.resolve("with-ubm.jar").toString(), "--models", MODELS.toString(), "--best",
                "--tsv"));
        args.addAll(List.of(trials()));
        assertEachTrialIsItsSpeaker(java(Map.of(), args.toArray(String[]::new)));

        args.set(1, WORK.resolve("without-ubm.jar").toString());
        Run without = java(Map.of(), args.toArray(String[]::new));
        assertEquals(IdentifyCommand.EXIT_NO_BACKGROUND, without.status);
        assertEquals(List.of("error: " + IdentifyCommand.NO_BACKGROUND_MODEL), without.err);
    }

    /** The Windows pair a build packs is where the loader looks for it, engine first. */
    @Test
    void windowsPairIsCarriedWhereTheLoaderLooks() throws IOException {
        BundledFiles files = new BundledFiles(TestBundles.loaderOf(WORK.resolve("windows.jar")),
                "com/mirelta/requests/bundled/");
        List<String> loaded = new ArrayList<>();
        NativeLibraries.loadBundled(files, NativePlatform.WINDOWS_X86_64, loaded::add);
        assertEquals(List.of("engine", "bridge"), List.of(Files.readString(Path.of(loaded.get(0))),
                Files.readString(Path.of(loaded.get(1)))));
        assertEquals(Optional.empty(), files.backgroundModel());
    }

    /** The build's jar carries the cross-build's DLLs when there are both, and not otherwise. */
    @Test
    void buildsJarCarriesTheWindowsPairOfTheCrossBuild() throws IOException {
        BundledFiles files = new BundledFiles(TestBundles.loaderOf(JAR),
                "com/mirelta/requests/bundled/");
        Path engine = WINDOWS_LIB_DIR.resolve("kestrune.dll");
        Path bridge = WINDOWS_LIB_DIR.resolve("jkestrune.dll");
        if (!Files.exists(engine) || !Files.exists(bridge)) {
            assertThrows(IOException.class, () -> NativeLibraries.loadBundled(files,
                    NativePlatform.WINDOWS_X86_64, path -> {}));
            return;
        }
        List<Path> loaded = new ArrayList<>();
        NativeLibraries.loadBundled(files, NativePlatform.WINDOWS_X86_64,
                path -> loaded.add(Path.of(path)));
        assertEquals(-1L, Files.mismatch(engine, loaded.get(0)));
        assertEquals(-1L, Files.mismatch(bridge, loaded.get(1)));
    }

    @Test
    void identifierRanksTheTrueSpeakerFirst() throws Exception {
        SpeakerIdentifier identifier = SpeakerIdentifier.forModels(MODELS);
        assertEquals(SPEAKERS.size(), identifier.targetCount());
        for (String speaker : SPEAKERS) {
            List<TargetMatch> ranking;
            try (InputStream in = Files.newInputStream(trial(speaker))) {
                ranking = identifier.identify(in);
            }
            assertEquals(speaker, ranking.get(0).name(), ranking.toString());
            assertEquals(ranking.get(0), identifier.best(trial(speaker)).orElseThrow());
        }
    }

    /** The meanings the library gives the engine's codes are those the engine returns. */
    @Test
    void referenceEngineCodesMeanWhatTheyAreNamed() throws Exception {
        IdentificationException tooShort = assertThrows(IdentificationException.class,
                () -> SpeakerIdentifier.forModels(MODELS).identify(WORK.resolve("short.wav")));
        assertEquals(Optional.of(ReturnCode.ENGINE_TOO_LITTLE_SPEECH), tooShort.returnCode());

        Path empty = Files.createTempDirectory(WORK, "no-models");
        IdentificationException noTargets = assertThrows(IdentificationException.class,
                () -> SpeakerIdentifier.forModels(empty).identify(trial("george")));
        assertEquals(Optional.of(ReturnCode.ENGINE_NO_TARGETS), noTargets.returnCode());
    }
}
