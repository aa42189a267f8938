package com.mirelta.requests;

import static com.mirelta.requests.ScriptedEngine.THREE_TARGETS;
import static com.mirelta.requests.ScriptedEngine.ranked;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Optional;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.EnumSource;

/** The plain Java interface in a real JVM with CheckJNI, against the scripted engine. */
class SpeakerIdentifierTest {
    static final SpeakerIdentifier MODELS = SpeakerIdentifier.forModels(Path.of("/models"));
    /** The three targets, counted as the identifier counts them to size its array. */
    static final String[] COUNTED_TARGETS =
            Stream.concat(Stream.of("quantity 3"), Stream.of(THREE_TARGETS)).toArray(String[]::new);

    static List<String> names(List<TargetMatch> matches) {
        return matches.stream().map(TargetMatch::name).toList();
    }

    @ParameterizedTest
    @EnumSource(Ranking.class)
    void pathBytesAndStreamGiveTheSameRanking(Ranking ranking) throws Exception {
        ScriptedEngine.script(COUNTED_TARGETS);
        byte[] wave = WaveFiles.anyRecording();
        Path file = Files.write(Files.createTempFile("speech", ".wav"), wave);
        SpeakerIdentifier identifier = MODELS.rankedBy(ranking);

        List<TargetMatch> fromBytes = identifier.identify(wave);
        assertEquals(ranked(ranking.rankBy()), names(fromBytes));
        assertEquals(fromBytes, identifier.identify(file));
        assertEquals(fromBytes, identifier.identify(new ByteArrayInputStream(wave)));
        Optional<TargetMatch> best = Optional.of(fromBytes.get(0));
        assertEquals(best, identifier.best(wave));
        assertEquals(best, identifier.best(file));
        assertEquals(best, identifier.best(new ByteArrayInputStream(wave)));
    }

    @Test
    void matchesCarryTheFieldsTheyCameFrom() throws Exception {
        ScriptedEngine.script("quantity 1", "target -2500 99999 8001 anna");
        assertEquals(List.of(new TargetMatch("anna", -2500, 99999, 8001)),
                MODELS.identify(WaveFiles.anyRecording()));
    }

    @Test
    void resultsCannotBeChanged() throws Exception {
        ScriptedEngine.script(COUNTED_TARGETS);
        List<TargetMatch> ranking = MODELS.identify(WaveFiles.anyRecording());
        assertThrows(UnsupportedOperationException.class, () -> ranking.remove(0));
    }

    @Test
    void noTargetsIsAnEmptyRankingAndNoBest() throws Exception {
        ScriptedEngine.script("quantity 0");
        assertEquals(List.of(), MODELS.identify(WaveFiles.anyRecording()));
        assertEquals(Optional.empty(), MODELS.best(WaveFiles.anyRecording()));
    }

    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {
        "sound_code 4105 | 4105 | error 4105 (reference engine): too little speech (fewer than 5"
                + " speech frames)",
        "sound_code 4106 | 4106 | error 4106 (reference engine): busy",
        "sound_code 9001 | 9001 | error 9001 (the engine's own code: not one of the reference"
                + " engine's)",
        "target_count -1 | 1120 | error 1120 ERR_ENGINE_CONTRACT: the engine reported a"})
    void aNonZeroCodeIsAnExceptionWithItsMeaning(String script, int code, String message) {
        ScriptedEngine.script("quantity 1", script, "target 1 1 1 anna");
        for (boolean best : new boolean[] {false, true}) {
            IdentificationException e = assertThrows(IdentificationException.class, () -> {
                if (best) {
                    MODELS.best(WaveFiles.anyRecording());
                } else {
                    MODELS.identify(WaveFiles.anyRecording());
                }
            });
            assertEquals(code, e.code());
            assertTrue(e.getMessage().startsWith(message), e.getMessage());
            assertEquals(ReturnCode.of(code), e.returnCode());
        }
    }

    @Test
    void notAWaveFileIsNamedByTheLibrarysCode() {
        ScriptedEngine.script(COUNTED_TARGETS);
        IdentificationException e = assertThrows(IdentificationException.class,
                () -> MODELS.identify("not audio".getBytes()));
        assertEquals(Optional.of(ReturnCode.ERR_NO_AUDIO), e.returnCode());
        assertTrue(e.getMessage().startsWith("error 2071 ERR_NO_AUDIO: "), e.getMessage());
    }

    @Test
    void backgroundModelPathReachesTheEngineAndARefusalIsAnIOException() throws Exception {
        ScriptedEngine.script("load_ubm 1");
        SpeakerIdentifier.loadBackgroundModel(Path.of("/srv/ubm"));
        ScriptedEngine.script("load_ubm 0");
        IOException refused = assertThrows(IOException.class,
                () -> SpeakerIdentifier.loadBackgroundModel(Path.of("/srv/other")));
        assertTrue(refused.getMessage().contains("/srv/other"), refused.getMessage());
        assertEquals(List.of("LoadUBMModels path=/srv/other"), ScriptedEngine.calls());
    }

    /** Identifiers of different model sets on many threads at once each get their own targets. */
    @Test
    void sharedIdentifiersOnEightThreads() throws Exception {
        List<SpeakerIdentifier> identifiers = new ArrayList<>();
        for (int i = 0; i < 4; i++) {
            // A models path that is a file is the scripted engine's script for that path.
            Path script = Files.createTempFile("models", ".script");
            Files.write(script, List.of("quantity 2", "target 10 0 0 first-" + i,
                    "target 20 0 0 second-" + i));
            identifiers.add(SpeakerIdentifier.forModels(script));
        }
        ScriptedEngine.script();
        byte[] wave = WaveFiles.anyRecording();
        ExecutorService pool = Executors.newFixedThreadPool(8);
        try {
            List<Future<String>> outcomes = new ArrayList<>();
            for (int t = 0; t < 8; t++) {
                int thread = t;
                outcomes.add(pool.submit(() -> {
                    for (int call = 0; call < 200; call++) {
                        int i = (thread + call) % identifiers.size();
                        List<String> expected = List.of("second-" + i, "first-" + i);
                        List<String> got = names(identifiers.get(i).identify(wave));
                        if (!expected.equals(got)) {
                            return "thread " + thread + " call " + call + ": " + got;
                        }
                    }
                    return "ok";
                }));
            }
            for (Future<String> outcome : outcomes) {
                assertEquals("ok", outcome.get());
            }
        } finally {
            pool.shutdown();
        }
    }
}
