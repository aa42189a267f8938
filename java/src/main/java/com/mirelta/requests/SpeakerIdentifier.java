package com.mirelta.requests;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.List;
import java.util.Objects;
import java.util.Optional;

/**
 * Identifies speakers against the targets enrolled under one models directory: the plain Java
 * face of {@link LoadManager}.
 *
 * <pre>{@code
 * SpeakerIdentifier.loadBackgroundModel(Path.of("build/demo/ubm"));
 * SpeakerIdentifier identifier = SpeakerIdentifier.forModels(Path.of("build/demo/models"));
 * List<TargetMatch> ranking = identifier.identify(Path.of("call.wav"));  // best first
 * }</pre>
 *
 * <p><b>Background model.</b> The engine scores every recording against one background model,
 * which it keeps for the whole process: load it once with {@link #loadBackgroundModel(Path)}
 * (or {@link #loadBundledBackgroundModel()}) before identifying. Loading another replaces it for
 * every identifier in the process.
 *
 * <p><b>Results</b> are immutable {@link TargetMatch} values in thousandths, best first in the
 * identifier's {@link Ranking}; targets with equal values keep the engine's order (the reference
 * engine's: the byte order of their names).
 *
 * <p><b>Threads.</b> An identifier is immutable and may be shared: any number of threads may
 * identify through it at once. The engine scores a limited number of recordings at the same time
 * ({@link LoadManager#MaxQntProgramStreams()}, 16 for the reference engine, which answers a call
 * beyond it with 4106, {@link ReturnCode#ENGINE_BUSY}).
 *
 * <p><b>Errors.</b> A non-zero return code becomes an {@link IdentificationException} carrying the
 * code and its meaning. The native library loads on first use (see {@link LoadManager});
 * when it cannot, that use throws {@link UnsatisfiedLinkError}.
 */
public final class SpeakerIdentifier {
    private final Path modelsDirectory;
    private final Ranking ranking;
    private final boolean verboseLog;

    private SpeakerIdentifier(Path modelsDirectory, Ranking ranking, boolean verboseLog) {
        this.modelsDirectory = Objects.requireNonNull(modelsDirectory, "modelsDirectory");
        this.ranking = Objects.requireNonNull(ranking, "ranking");
        this.verboseLog = verboseLog;
    }

    /**
     * Loads the native library now rather than at the first call: from
     * {@code java.library.path}, else the copy the jar carries.
     *
     * @throws UnsatisfiedLinkError naming what was tried, when neither loads
     */
    public static void loadNativeLibraries() {
        NativeLibraries.load();
    }

    /**
     * Has the engine load a background model, which every identification in this process then
     * uses.
     *
     * @param path for the reference engine, a directory written by {@code kestrune train-ubm}
     *     (or the {@code ubm.krn} file in it)
     * @throws IOException when the engine did not load it (no such directory, or not a model it
     *     reads)
     */
    public static void loadBackgroundModel(Path path) throws IOException {
        if (!LoadManager.LoadBgModels(path.toString())) {
            throw new IOException("the engine could not load a background model from " + path
                    + " (for the reference engine: a directory written by kestrune train-ubm)");
        }
    }

    /**
     * Loads the default background model that the jar carries, when it was built with one.
     *
     * @return the folder it was loaded from (in the private temporary folder); empty when the jar
     *     carries none, and nothing was loaded
     * @throws IOException when it could not be extracted, or the engine did not load it
     */
    public static Optional<Path> loadBundledBackgroundModel() throws IOException {
        return loadBundledBackgroundModel(BundledFiles.JAR);
    }

    static Optional<Path> loadBundledBackgroundModel(BundledFiles files) throws IOException {
        Optional<Path> model = files.backgroundModel();
        if (model.isPresent()) {
            loadBackgroundModel(model.get());
        }
        return model;
    }

    /**
     * An identifier for the targets under a directory, ranking by score, without the library's
     * console log.
     *
     * @param modelsDirectory the directory of enrolled targets (for the reference engine, one
     *     folder per target, written by {@code kestrune enroll})
     * @return the identifier
     */
    public static SpeakerIdentifier forModels(Path modelsDirectory) {
        return new SpeakerIdentifier(modelsDirectory, Ranking.SCORE, false);
    }

    /**
     * The same identifier with another ranking.
     *
     * @param ranking the order of the results
     * @return a new identifier
     */
    public SpeakerIdentifier rankedBy(Ranking ranking) {
        return new SpeakerIdentifier(modelsDirectory, ranking, verboseLog);
    }

    /**
     * The same identifier, with or without the library's console log: a line per target on
     * standard output for each call ("#####CoreLogout: ...").
     *
     * @param verboseLog whether the library prints its log
     * @return a new identifier
     */
    public SpeakerIdentifier withVerboseLog(boolean verboseLog) {
        return new SpeakerIdentifier(modelsDirectory, ranking, verboseLog);
    }

    /**
     * The directory of enrolled targets.
     *
     * @return the directory given to {@link #forModels(Path)}
     */
    public Path modelsDirectory() {
        return modelsDirectory;
    }

    /**
     * The order of the results.
     *
     * @return {@link Ranking#SCORE} unless set with {@link #rankedBy(Ranking)}
     */
    public Ranking ranking() {
        return ranking;
    }

    /**
     * Counts the targets the engine finds under the models directory.
     *
     * @return the engine's count
     */
    public int targetCount() {
        return LoadManager.GetTargetQuantity(modelsDirectory.toString());
    }

    /**
     * Ranks every target for a recording.
     *
     * @param wave the bytes of a WAVE file: 16-bit PCM, A-law or mu-law (also 8-, 24- and 32-bit
     *     PCM), 8 kHz for the reference engine (other rates are taken as 8 kHz)
     * @return one match per target, best first; an unmodifiable list, empty when there are no
     *     targets
     * @throws IdentificationException when the call returns a non-zero code
     */
    public List<TargetMatch> identify(byte[] wave) throws IdentificationException {
        // Targets enrolled between the count and the call would not fit: the call then returns
        // ERR_RESULT_DELIVERY.
        TargetResult[] results = new TargetResult[Math.max(0, targetCount())];
        check(LoadManager.VerifyDataWithGetAll(wave, wave.length, modelsDirectory.toString(),
                ranking.rankBy(), TargetResult.JNI_NAME, results, verboseLog));
        return Arrays.stream(results).filter(Objects::nonNull).map(TargetMatch::of).toList();
    }

    /**
     * Ranks every target for a WAVE file.
     *
     * @param wave the file
     * @return as {@link #identify(byte[])}
     * @throws IOException when the file cannot be read
     * @throws IdentificationException when the call returns a non-zero code
     */
    public List<TargetMatch> identify(Path wave) throws IOException, IdentificationException {
        return identify(Files.readAllBytes(wave));
    }

    /**
     * Ranks every target for a WAVE recording read to its end (the stream is not closed).
     *
     * @param wave the stream
     * @return as {@link #identify(byte[])}
     * @throws IOException when the stream cannot be read
     * @throws IdentificationException when the call returns a non-zero code
     */
    public List<TargetMatch> identify(InputStream wave)
            throws IOException, IdentificationException {
        return identify(wave.readAllBytes());
    }

    /**
     * The best target for a recording, without building the whole ranking in Java.
     *
     * @param wave the bytes of a WAVE file, as for {@link #identify(byte[])}
     * @return the first of the ranking; empty when there are no targets
     * @throws IdentificationException when the call returns a non-zero code
     */
    public Optional<TargetMatch> best(byte[] wave) throws IdentificationException {
        TargetResult result = new TargetResult();
        check(LoadManager.VerifyDataWithGetMaxProbability(wave, wave.length,
                modelsDirectory.toString(), ranking.rankBy(), result, verboseLog));
        return result.target_name == null ? Optional.empty() : Optional.of(TargetMatch.of(result));
    }

    /**
     * The best target for a WAVE file.
     *
     * @param wave the file
     * @return as {@link #best(byte[])}
     * @throws IOException when the file cannot be read
     * @throws IdentificationException when the call returns a non-zero code
     */
    public Optional<TargetMatch> best(Path wave) throws IOException, IdentificationException {
        return best(Files.readAllBytes(wave));
    }

    /**
     * The best target for a WAVE recording read to its end (the stream is not closed).
     *
     * @param wave the stream
     * @return as {@link #best(byte[])}
     * @throws IOException when the stream cannot be read
     * @throws IdentificationException when the call returns a non-zero code
     */
    public Optional<TargetMatch> best(InputStream wave)
            throws IOException, IdentificationException {
        return best(wave.readAllBytes());
    }

    private static void check(int code) throws IdentificationException {
        if (code != LoadManager.OK) {
            throw new IdentificationException(code);
        }
    }
}
