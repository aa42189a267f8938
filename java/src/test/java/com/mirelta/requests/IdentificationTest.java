package com.mirelta.requests;

import static com.mirelta.requests.ScriptedEngine.THREE_TARGETS;
import static com.mirelta.requests.ScriptedEngine.jniName;
import static com.mirelta.requests.ScriptedEngine.names;
import static com.mirelta.requests.ScriptedEngine.ranked;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.mirelta.requests.ScriptedEngine.ModelSets;
import com.mirelta.requests.ScriptedEngine.NamelessResult;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.stream.Collectors;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** Both identification methods in a real JVM with CheckJNI, against the scripted engine. */
class IdentificationTest {
    static final String RESULT = TargetResult.JNI_NAME;

    /** A result class whose constructor sets fields the library must not see run. */
    static class ConstructedResult {
        public int logScore = -1;
        public int errorFA_percent = -1;
        public int errorFR_percent = -1;
        public String target_name = "unset";
        public int marker = 99;
    }

    static class LongScoreResult {
        public long logScore;
        public int errorFA_percent;
        public int errorFR_percent;
        public String target_name;
    }

    static class StaticNameResult {
        public int logScore;
        public int errorFA_percent;
        public int errorFR_percent;
        public static String target_name;
    }

    /** Every model set the engine loaded was handed back exactly once, unchanged. */
    @AfterEach
    void everyLoadIsReleasedOnce() {
        List<String> calls = ScriptedEngine.calls();
        ModelSets sets = ScriptedEngine.modelSets(calls.stream());
        assertEquals(sets.loads(), sets.releases(), String.join("\n", calls));
        assertEquals(0, sets.mismatches());
    }

    static int all(byte[] audio, int rankBy, Object[] results) {
        return LoadManager.VerifyDataWithGetAll(audio, audio.length, "/models", rankBy, RESULT,
                results, false);
    }

    static int best(byte[] audio, int rankBy, Object result) {
        return LoadManager.VerifyDataWithGetMaxProbability(audio, audio.length, "/models", rankBy,
                result, false);
    }

    static boolean engineLoaded() {
        return ScriptedEngine.calls().stream().anyMatch(c -> c.startsWith("LoadFrom"));
    }

    @Test
    void nullStringsAreErr1116WithoutEngineCalls() {
        ScriptedEngine.script(THREE_TARGETS);
        byte[] audio = WaveFiles.anyRecording();
        assertEquals(LoadManager.ERR_NULL_ARGUMENT, LoadManager.VerifyDataWithGetAll(audio,
                audio.length, null, 0, RESULT, new Object[3], true));
        assertEquals(LoadManager.ERR_NULL_ARGUMENT, LoadManager.VerifyDataWithGetAll(audio,
                audio.length, "/models", 0, null, new Object[3], true));
        assertEquals(LoadManager.ERR_NULL_ARGUMENT, LoadManager.VerifyDataWithGetMaxProbability(
                audio, audio.length, null, 0, new TargetResult(), true));
        assertEquals(List.of(), ScriptedEngine.calls());
    }

    @Test
    void missingAudioIsErr2071WithoutEngineCalls() {
        ScriptedEngine.script(THREE_TARGETS);
        assertEquals(LoadManager.ERR_NO_AUDIO, LoadManager.VerifyDataWithGetAll(null, 100,
                "/models", 0, RESULT, new Object[3], true));
        byte[] notWave = "this is not a recording at all, not even close".getBytes();
        assertEquals(LoadManager.ERR_NO_AUDIO, all(notWave, 0, new Object[3]));
        assertEquals(LoadManager.ERR_NO_AUDIO,
                all(WaveFiles.pcm16(new short[0], 1), 0, new Object[3]));
        assertEquals(List.of(), ScriptedEngine.calls());
    }

    @ParameterizedTest
    @ValueSource(ints = {-1, Integer.MIN_VALUE, 1})
    void audioLengthOutsideTheArrayIsErr1117(int beyond) {
        ScriptedEngine.script(THREE_TARGETS);
        byte[] audio = WaveFiles.anyRecording();
        int length = beyond == 1 ? audio.length + 1 : beyond;
        assertEquals(LoadManager.ERR_INVALID_ARGUMENT, LoadManager.VerifyDataWithGetAll(audio,
                length, "/models", 0, RESULT, new Object[3], false));
        assertEquals(LoadManager.ERR_INVALID_ARGUMENT,
                LoadManager.VerifyDataWithGetMaxProbability(audio, length, "/models", 0,
                        new TargetResult(), false));
        assertEquals(List.of(), ScriptedEngine.calls());
    }

    @Test
    void dataWithoutAWholeFrameSucceedsWithoutScoring() {
        ScriptedEngine.script(THREE_TARGETS);
        byte[] oneByte = WaveFiles.wave(1, 1, 2, 16, new byte[] {0x11});
        Object[] results = new Object[3];
        TargetResult best = new TargetResult();
        best.target_name = "kept";
        assertEquals(0, all(oneByte, 0, results));
        assertEquals(0, LoadManager.VerifyDataWithGetMaxProbability(oneByte, oneByte.length,
                "/models", 0, best, true));
        assertEquals(List.of("-", "-", "-"), names(results));
        assertEquals("kept", best.target_name);
        assertEquals(List.of(), ScriptedEngine.calls());
    }

    @Test
    void engineCodeIsPassedOnWithoutDelivery() {
        ScriptedEngine.script("sound_code 31337", THREE_TARGETS[0], THREE_TARGETS[1]);
        Object[] results = new Object[2];
        assertEquals(31337, all(WaveFiles.anyRecording(), 0, results));
        assertEquals(List.of("-", "-"), names(results));
    }

    @Test
    void stereoReachesTheEngineAsFramesWithInterleavedSamples() {
        short[] samples = new short[800];
        for (int i = 0; i < samples.length; i++) {
            samples[i] = (short) (i % 2 == 0 ? i : -3 * i);
        }
        ScriptedEngine.script("log_samples 800", THREE_TARGETS[0]);
        assertEquals(0, all(WaveFiles.pcm16(samples, 2), 0, new Object[1]));
        String sound = ScriptedEngine.calls().stream().filter(c -> c.startsWith("SoundData"))
                .findFirst().orElseThrow();
        String expected = Arrays.stream(toInts(samples)).mapToObj(Integer::toString)
                .collect(Collectors.joining(","));
        assertTrue(sound.startsWith("SoundData count=400 targets=1 "), sound);
        assertTrue(sound.endsWith(" samples=" + expected), sound);
    }

    @Test
    void compandedRecordingsAreExpanded() {
        ScriptedEngine.script("log_samples 4", THREE_TARGETS[0]);
        byte[] alaw = WaveFiles.g711(6, new byte[] {(byte) 0xD5, 0x55, (byte) 0xAA, 0x2A});
        byte[] ulaw = WaveFiles.g711(7, new byte[] {(byte) 0xFF, 0x7F, 0x00, (byte) 0x80});
        assertEquals(0, all(alaw, 0, new Object[1]));
        assertEquals(0, all(ulaw, 0, new Object[1]));
        List<String> sounds = ScriptedEngine.calls().stream()
                .filter(c -> c.startsWith("SoundData")).collect(Collectors.toList());
        assertTrue(sounds.get(0).endsWith("samples=8,-8,32256,-32256"), sounds.get(0));
        assertTrue(sounds.get(1).endsWith("samples=0,0,-32124,32124"), sounds.get(1));
    }

    @Test
    void onlyTheFirstAudioLengthBytesAreRead() {
        ScriptedEngine.script("log_samples 2", THREE_TARGETS[0]);
        byte[] wave = WaveFiles.pcm16(new short[] {5, 6, 7, 8}, 1);
        byte[] padded = Arrays.copyOf(wave, wave.length + 64);
        Arrays.fill(padded, wave.length, padded.length, (byte) 0x7F);
        assertEquals(0, LoadManager.VerifyDataWithGetAll(padded, wave.length - 4, "/models", 0,
                RESULT, new Object[1], false));
        assertTrue(ScriptedEngine.calls().contains("SoundData count=2 targets=1 sum=11 samples=5,6"),
                String.join("\n", ScriptedEngine.calls()));
    }

    @ParameterizedTest
    @ValueSource(ints = {0, 3, -1, 1, 2})
    void rankByChoosesTheOrder(int rankBy) {
        ScriptedEngine.script(THREE_TARGETS);
        List<String> expected = ranked(rankBy);
        Object[] results = new Object[3];
        assertEquals(0, all(WaveFiles.anyRecording(), rankBy, results));
        assertEquals(expected, names(results));
        TargetResult best = new TargetResult();
        byte[] audio = WaveFiles.anyRecording();
        assertEquals(0, best(audio, rankBy, best));
        assertEquals(expected.get(0), best.target_name);
    }

    @Test
    void resultsFillTheRankedPositionsAndLeaveTheTail() {
        ScriptedEngine.script(THREE_TARGETS);
        Object[] results = new Object[5];
        Object kept3 = new Object();
        TargetResult kept4 = new TargetResult();
        results[3] = kept3;
        results[4] = kept4;
        assertEquals(0, all(WaveFiles.anyRecording(), 0, results));
        assertSame(kept3, results[3]);
        assertSame(kept4, results[4]);
        TargetResult first = (TargetResult) results[0];
        assertEquals("bert", first.target_name);
        assertEquals(2500, first.logScore);
        assertEquals(100, first.errorFR_percent);
        assertEquals(7000, first.errorFA_percent);
        TargetResult last = (TargetResult) results[2];
        assertEquals("carl", last.target_name);
        assertEquals(900, last.errorFR_percent);
    }

    @Test
    void newResultObjectsAreMadeWithoutRunningAConstructor() {
        ScriptedEngine.script(THREE_TARGETS);
        Object[] results = new Object[3];
        byte[] audio = WaveFiles.anyRecording();
        assertEquals(0, LoadManager.VerifyDataWithGetAll(audio, audio.length, "/models", 0,
                jniName(ConstructedResult.class), results, false));
        ConstructedResult first = (ConstructedResult) results[0];
        assertEquals("bert", first.target_name);
        assertEquals(0, first.marker, "the constructor would have set 99");
    }

    @Test
    void bestResultKeepsTheCallersOtherFields() {
        ScriptedEngine.script(THREE_TARGETS);
        ConstructedResult best = new ConstructedResult();
        best.marker = 1234;
        byte[] audio = WaveFiles.anyRecording();
        assertEquals(0, best(audio, 0, best));
        assertEquals(1234, best.marker);
        assertEquals("bert", best.target_name);
        assertEquals(7000, best.errorFA_percent);
    }

    @Test
    void noTargetsLeavesTheResultUntouched() {
        ScriptedEngine.script();
        TargetResult best = new TargetResult();
        best.logScore = 5;
        byte[] audio = WaveFiles.anyRecording();
        assertEquals(0, best(audio, 0, best));
        assertEquals(5, best.logScore);
        assertNull(best.target_name);
        assertEquals(0, all(audio, 0, new Object[0]));
    }

    @Test
    void longestNameArrivesWhole() {
        String name = "n".repeat(255);
        ScriptedEngine.script("target 1 1 1 " + name);
        Object[] results = new Object[1];
        assertEquals(0, all(WaveFiles.anyRecording(), 0, results));
        assertEquals(name, ((TargetResult) results[0]).target_name);
    }

    @Test
    void namesBeyondTheBasicPlaneAndBrokenBytesAreReadable() {
        ScriptedEngine.script("target 3 1 1 Zoë \uD83C\uDFA4", "target 2 1 1 bad\\xFFbyte",
                "target 1 1 1 \\xF0\\x9F");
        Object[] results = new Object[3];
        assertEquals(0, all(WaveFiles.anyRecording(), 0, results));
        assertEquals(List.of("Zoë \uD83C\uDFA4", "bad\uFFFDbyte", "\uFFFD\uFFFD"), names(results));
    }

    @Test
    void equalScoresRankTheLowerIndexFirst() {
        ScriptedEngine.script("target 100 0 0 first", "target 900 0 0 second",
                "target 900 0 0 third");
        TargetResult best = new TargetResult();
        byte[] audio = WaveFiles.anyRecording();
        assertEquals(0, best(audio, 0, best));
        assertEquals("second", best.target_name);
    }

    @Test
    void undeliverableResultsAreErr1119AndThrowNothing() {
        ScriptedEngine.script(THREE_TARGETS);
        byte[] audio = WaveFiles.anyRecording();
        Object[][] arrays = {null, new Object[2], new String[3]};
        for (Object[] results : arrays) {
            assertEquals(LoadManager.ERR_RESULT_DELIVERY, all(audio, 0, results));
        }
        String[] classes = {"com/mirelta/requests/NoSuchResult", "com.mirelta.requests.TargetResult",
            jniName(LongScoreResult.class), jniName(NamelessResult.class),
            jniName(StaticNameResult.class), "java/lang/Runnable"};
        for (String name : classes) {
            assertEquals(LoadManager.ERR_RESULT_DELIVERY, LoadManager.VerifyDataWithGetAll(audio,
                    audio.length, "/models", 0, name, new Object[3], false), name);
        }
        assertEquals(LoadManager.ERR_RESULT_DELIVERY, best(audio, 0, null));
        assertEquals(LoadManager.ERR_RESULT_DELIVERY, best(audio, 0, new NamelessResult()));
    }

    @Test
    void negativeTargetCountIsErr1120WithoutScoring() {
        ScriptedEngine.script("target_count -2", THREE_TARGETS[0]);
        assertEquals(LoadManager.ERR_ENGINE_CONTRACT, all(WaveFiles.anyRecording(), 0,
                new Object[3]));
        assertTrue(ScriptedEngine.calls().stream().noneMatch(c -> c.startsWith("SoundData")));
    }

    @Test
    void failedLoadIsScoredWithNoTargets() {
        ScriptedEngine.script("load_fails 1", THREE_TARGETS[0]);
        Object[] results = new Object[1];
        assertEquals(0, all(WaveFiles.anyRecording(), 0, results));
        assertEquals(List.of("-"), names(results));
        assertTrue(ScriptedEngine.calls().stream().anyMatch(c -> c.startsWith(
                "SoundData count=800 targets=0")), String.join("\n", ScriptedEngine.calls()));
    }

    @Test
    void tenThousandTargetsAreDelivered() {
        ScriptedEngine.script("generate 10000");
        Object[] results = new Object[10000];
        assertEquals(0, all(WaveFiles.anyRecording(), 0, results));
        int previous = Integer.MAX_VALUE;
        for (Object result : results) {
            TargetResult r = (TargetResult) result;
            assertTrue(r.logScore <= previous);
            previous = r.logScore;
        }
        assertEquals(10000, Arrays.stream(results).map(r -> ((TargetResult) r).target_name)
                .distinct().count());
    }

    @Test
    void eightThreadsGetCorrectResults() throws Exception {
        ScriptedEngine.script(THREE_TARGETS);
        ExecutorService pool = Executors.newFixedThreadPool(8);
        try {
            List<Future<String>> outcomes = new ArrayList<>();
            for (int t = 0; t < 8; t++) {
                final int thread = t;
                outcomes.add(pool.submit(() -> {
                    byte[] audio = WaveFiles.anyRecording();
                    for (int call = 0; call < 100; call++) {
                        int rankBy = (thread + call) % 3;
                        Object[] results = new Object[3];
                        TargetResult best = new TargetResult();
                        int all = all(audio, rankBy, results);
                        int one = best(audio, rankBy, best);
                        String expected = ranked(rankBy).get(0);
                        if (all != 0 || one != 0 || !expected.equals(best.target_name)
                                || !expected.equals(((TargetResult) results[0]).target_name)) {
                            return "thread " + thread + " call " + call + ": " + all + " " + one
                                    + " " + best.target_name + " " + names(results);
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

    private static int[] toInts(short[] samples) {
        int[] values = new int[samples.length];
        for (int i = 0; i < samples.length; i++) {
            values[i] = samples[i];
        }
        return values;
    }

    @Test
    void sampleValuesSurviveTheRoundTrip() {
        short[] samples = {Short.MIN_VALUE, -1, 0, 1, Short.MAX_VALUE};
        ScriptedEngine.script("log_samples 5", THREE_TARGETS[0]);
        assertEquals(0, all(WaveFiles.pcm16(samples, 1), 0, new Object[1]));
        assertTrue(ScriptedEngine.calls().stream().anyMatch(
                c -> c.endsWith("samples=-32768,-1,0,1,32767")),
                String.join("\n", ScriptedEngine.calls()));
    }
}
