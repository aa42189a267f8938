package com.mirelta.requests;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The identification command, run in this JVM against the scripted engine. */
class CommandLineTest {
    /** The default background model of these runs, as a jar would carry it. */
    static final BundledFiles BUNDLED = TestBundles.withBackgroundModel();

    static Path recording;
    static Path notWave;

    final ByteArrayOutputStream out = new ByteArrayOutputStream();
    final ByteArrayOutputStream err = new ByteArrayOutputStream();

    @BeforeAll
    static void writeFiles() throws IOException {
        Path dir = Files.createTempDirectory("cli");
        recording = dir.resolve("speech.wav");
        Files.write(recording, WaveFiles.anyRecording());
        notWave = dir.resolve("notes.txt");
        Files.writeString(notWave, "not audio");
    }

    int run(String... args) {
        return run(BUNDLED, args);
    }

    int run(BundledFiles bundled, String... args) {
        out.reset();
        err.reset();
        return IdentifyCommand.run(args, new PrintStream(out, true, StandardCharsets.UTF_8),
                new PrintStream(err, true, StandardCharsets.UTF_8), bundled);
    }

    String out() {
        return out.toString(StandardCharsets.UTF_8).replace(System.lineSeparator(), "\n");
    }

    String err() {
        return err.toString(StandardCharsets.UTF_8);
    }

    @Test
    void help() {
        assertEquals(0, run("--help"));
        assertTrue(out().startsWith("Usage:"), out());
    }

    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {
        "speech.wav | --models DIR is required",
        "--models /m --rank loudness speech.wav | --rank takes score, frr or far",
        "--models /m | no WAVE file given",
        "--models /m --colour speech.wav | unknown option --colour",
        "--models /m speech.wav --ubm | --ubm needs a value",
        "--models /m --max-far 100.5 speech.wav | --max-far takes a percentage from 0 to 100",
        "--models /m --max-far -1 speech.wav | --max-far takes a percentage",
        "--models /m --max-far five speech.wav | --max-far takes a percentage",
        "--models /m --threads 0 speech.wav | --threads takes a whole number above 0",
        "--models /m --threads two speech.wav | --threads takes a whole number"})
    void badUsageIsExit2WithWhatIsWrong(String args, String problem) {
        assertEquals(2, run(args.split(" ")));
        assertTrue(err().startsWith("error: " + problem), err());
        assertTrue(err().contains("Usage:"), err());
    }

    @Test
    void printsTheRankingAsATable() {
        ScriptedEngine.script("quantity 2", "target 1500 750 12000 anna",
                "target 2500 100 0 bartholomew");
        assertEquals(0, run("--models", "/m", recording.toString()));
        String expected = recording + ": 2 targets ranked by score\n"
                + "rank  target            score     FRR %     FAR %\n"
                + "   1  bartholomew       2.500     0.100     0.000\n"
                + "   2  anna              1.500     0.750    12.000\n";
        assertEquals(expected, out());
    }

    @Test
    void tsvRowsForScripts() {
        ScriptedEngine.script("quantity 2", "target 1500 750 12000 anna",
                "target 2500 100 0 bert");
        assertEquals(0, run("--models", "/m", "--tsv", "--rank", "far", recording.toString()));
        assertEquals(List.of(recording + "\t1\tbert\t2.500\t0.100\t0.000",
                recording + "\t2\tanna\t1.500\t0.750\t12.000"), out().lines().toList());
    }

    @Test
    void bestOnly() {
        ScriptedEngine.script("quantity 2", "target 1500 750 12000 anna",
                "target 2500 100 0 bert");
        assertEquals(0, run("--models", "/m", "--best", "--tsv", recording.toString()));
        assertEquals(List.of(recording + "\t1\tbert\t2.500\t0.100\t0.000"),
                out().lines().toList());
        assertTrue(ScriptedEngine.calls().stream().noneMatch(c -> c.startsWith("GetQnt")),
                "--best needs no result array");
    }

    @Test
    void givenBackgroundModelComesBeforeTheJarsOwn() {
        ScriptedEngine.script("quantity 1", "target 1 1 1 anna");
        assertEquals(0, run("--models", "/m", "--ubm", "/ubm", recording.toString()));
        assertEquals(List.of("LoadUBMModels path=/ubm"), loads());
    }

    @Test
    void withoutUbmTheJarsOwnIsExtractedAndLoaded() throws IOException {
        ScriptedEngine.script("quantity 1", "target 1 1 1 anna");
        assertEquals(0, run("--models", "/m", recording.toString()), err());
        Path extracted = BUNDLED.backgroundModel().orElseThrow();
        assertEquals(List.of("LoadUBMModels path=" + extracted), loads());
        assertEquals("model", Files.readString(extracted.resolve("ubm.krn")));
    }

    @Test
    void withoutAnyBackgroundModelOneLineSaysWhatIsMissing() {
        ScriptedEngine.script("quantity 1", "target 1 1 1 anna");
        assertEquals(3, run(TestBundles.of(Map.of()), "--models", "/m", recording.toString()));
        assertEquals(List.of("error: " + IdentifyCommand.NO_BACKGROUND_MODEL),
                err().lines().toList());
        assertTrue(err().contains("--ubm DIR"), err());
        assertEquals(List.of(), ScriptedEngine.calls(), "nothing is identified");
    }

    @Test
    void backgroundThatDoesNotLoadStopsEarly() {
        ScriptedEngine.script("load_ubm 0");
        assertEquals(3, run("--models", "/m", "--ubm", "/nowhere", recording.toString()));
        assertEquals(1, err().lines().count(), err());
        assertTrue(err().contains("/nowhere"), err());
    }

    List<String> loads() {
        return ScriptedEngine.calls().stream().filter(c -> c.startsWith("LoadUBM")).toList();
    }

    @Test
    void errorCodesAreNamedAndMakeTheStatusNonZero() {
        ScriptedEngine.script("quantity 1", "target 1 1 1 anna");
        assertEquals(1, run("--models", "/m", "--tsv", notWave.toString(),
                recording.toString()));
        assertTrue(err().startsWith(notWave + ": error 2071 ERR_NO_AUDIO: "), err());
        assertEquals(List.of(recording + "\t1\tanna\t0.001\t0.001\t0.001"),
                out().lines().toList(), "later files are still identified");
        ScriptedEngine.script("quantity 1", "sound_code 4101", "target 1 1 1 anna");
        assertEquals(1, run("--models", "/m", recording.toString()));
        assertEquals(recording + ": error 4101 (reference engine): no background model loaded",
                err().strip());
        ScriptedEngine.script("quantity 1", "sound_code 9001", "target 1 1 1 anna");
        assertEquals(1, run("--models", "/m", recording.toString()));
        assertTrue(err().contains("error 9001 (the engine's own code"), err());
        assertEquals(2, run("--models", "/m", "/no/such/file.wav"));
    }

    /** The best target (by score) has a FAR of 12 %: the answer turns at exactly 12. */
    @ParameterizedTest
    @CsvSource({"12, bert, ''", "12.000, bert, ''", "100, bert, ''",
        "11.999, unknown, ' (bert has FAR 12.000 %, above 11.999 %)'",
        "0, unknown, ' (bert has FAR 12.000 %, above 0 %)'"})
    void maxFarAnswersUnknownAboveTheLimit(String maxFar, String answer, String reason) {
        ScriptedEngine.script("quantity 2", "target 2500 100 12000 bert",
                "target 1500 750 0 anna");
        assertEquals(0, run("--models", "/m", "--max-far", maxFar, recording.toString()));
        List<String> table = out().lines().toList();
        assertEquals(5, table.size(), out());
        assertEquals("answer: " + answer + reason, table.get(4));

        assertEquals(0, run("--models", "/m", "--max-far", maxFar, "--tsv",
                recording.toString()));
        assertEquals(List.of(recording + "\t1\tbert\t2.500\t0.100\t12.000\t" + answer,
                recording + "\t2\tanna\t1.500\t0.750\t0.000\t" + answer),
                out().lines().toList());
    }

    @Test
    void maxFarWithoutTargetsIsUnknown() {
        ScriptedEngine.script("quantity 0");
        assertEquals(0, run("--models", "/m", "--max-far", "5", recording.toString()));
        assertTrue(out().endsWith("answer: unknown (no targets)\n"), out());
    }

    /**
     * Many files on many threads print exactly what one thread prints. The first file is large,
     * so that it is identified last: output in the order the identifications end would show it.
     */
    @Test
    void threadsKeepTheOrderOfTheFiles() throws IOException {
        ScriptedEngine.script("quantity 2", "target 1500 750 12000 anna",
                "target 2500 100 0 bert");
        Path dir = Files.createTempDirectory("threads");
        List<String> args = new ArrayList<>(List.of("--models", "/m", "--tsv"));
        Path large = dir.resolve("large.wav");
        Files.write(large, WaveFiles.pcm16(new short[8_000_000], 1));
        args.add(large.toString());
        for (int i = 0; i < 24; i++) {
            Path file = dir.resolve("file-" + i + ".wav");
            Files.write(file, i % 5 == 3 ? "not audio".getBytes() : WaveFiles.anyRecording());
            args.add(file.toString());
        }
        args.add(dir.resolve("missing.wav").toString());

        args.add(0, "--threads");
        args.add(1, "1");
        int oneThreadStatus = run(args.toArray(String[]::new));
        String oneThreadOut = out();
        String oneThreadErr = err();
        args.set(1, "8");
        assertEquals(oneThreadStatus, run(args.toArray(String[]::new)));
        assertEquals(oneThreadOut, out());
        assertEquals(oneThreadErr, err());

        assertEquals(2, oneThreadStatus);
        assertTrue(oneThreadOut.startsWith(large + "\t1\tbert"), oneThreadOut);
        assertEquals(6, oneThreadErr.lines().count(), oneThreadErr);
    }

    /**
     * However many threads are asked for, no more files are identified at once than the engine
     * scores: an engine that refuses the calls beyond its limit refuses none.
     */
    @ParameterizedTest
    @CsvSource({"16, 2", "64, 3", "1, 4"})
    void threadsStayWithinTheEnginesStreamLimit(int threads, int streams) throws IOException {
        ScriptedEngine.script("quantity 1", "target 1500 750 12000 anna",
                "max_streams " + streams, "enforce_streams 1", "hold_ms 30");
        List<String> args = new ArrayList<>(List.of("--models", "/m", "--tsv", "--threads",
                String.valueOf(threads)));
        for (int i = 0; i < 12; i++) {
            args.add(recording.toString());
        }
        assertEquals(0, run(args.toArray(String[]::new)), err());
        assertEquals(12, out().lines().count(), out());
        assertEquals(List.of(), ScriptedEngine.calls().stream()
                .filter(call -> call.contains("busy")).toList());
    }

    /** A busy answer is retried; a file still refused after ten tries is a failure, not a row. */
    @ParameterizedTest
    @CsvSource({"0, 0, 1", "1, 0, 2", "9, 0, 10", "10, 1, 10", "40, 1, 10"})
    void busyAnswersAreRetriedThenReportedAsFailures(int busyCalls, int status, int calls) {
        ScriptedEngine.script("quantity 1", "target 1500 750 12000 anna",
                "busy_calls " + busyCalls);
        assertEquals(status, run("--models", "/m", "--tsv", "--threads", "1",
                recording.toString()));
        assertEquals(calls, ScriptedEngine.calls().stream()
                .filter(call -> call.startsWith("SoundData")).count());
        if (status == 0) {
            assertEquals(List.of(recording + "\t1\tanna\t1.500\t0.750\t12.000"),
                    out().lines().toList());
            assertEquals("", err());
        } else {
            assertEquals("", out());
            assertEquals(recording + ": error 4106 (reference engine): busy (too many concurrent"
                    + " recordings); still busy after 10 tries: not identified", err().strip());
        }
    }

    @Test
    void tooManyTargetsIsReportedAsOverTheLimit() {
        ScriptedEngine.script("quantity 10001", "sound_code 4109");
        assertEquals(1, run("--models", "/m", recording.toString()));
        assertEquals(recording + ": error 4109 (reference engine): too many targets: the models"
                + " directory holds more than the engine's limit (10 000 for the reference"
                + " engine), so none was loaded", err().strip());
    }

    /** A name holding control characters cannot forge a row, in the table or in the rows. */
    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {
        "eve\\x0a1\tmallory\t9.999 | eve\\n1\\tmallory\\t9.999",
        "cr\\x0dreturn | cr\\rreturn",
        "bell\\x07\\x1b[2J | bell\\x07\\x1b[2J",
        "back\\slash | back\\\\slash",
        "next\\xc2\\x85line | next\\u0085line",
        "Zo\\xc3\\xab | Zo\u00eb"})
    void namesAreEscapedInEveryOutput(String scripted, String shown) {
        ScriptedEngine.script("quantity 2", "target 2500 100 12000 " + scripted,
                "target 1500 750 0 anna");
        assertEquals(0, run("--models", "/m", "--tsv", "--max-far", "5", recording.toString()));
        assertEquals(List.of(recording + "\t1\t" + shown + "\t2.500\t0.100\t12.000\tunknown",
                recording + "\t2\tanna\t1.500\t0.750\t0.000\tunknown"), out().lines().toList());
        assertEquals(0, run("--models", "/m", "--max-far", "5", recording.toString()));
        List<String> table = out().lines().toList();
        assertEquals(5, table.size(), out());
        assertTrue(table.get(2).startsWith("   1  " + shown + " "), table.get(2));
        assertEquals("answer: unknown (" + shown + " has FAR 12.000 %, above 5 %)", table.get(4));
    }

    /** A file over 1 GiB is refused by its size, unread (sparse: it takes no space). */
    @Test
    void filesOverOneGibibyteAreRefusedUnread() throws IOException {
        ScriptedEngine.script("quantity 1", "target 1 1 1 anna");
        Path huge = Files.createTempDirectory("huge").resolve("huge.wav");
        Files.write(huge, WaveFiles.anyRecording());
        try (java.io.RandomAccessFile file = new java.io.RandomAccessFile(huge.toFile(), "rw")) {
            file.setLength(IdentifyCommand.MAX_FILE_BYTES + 1);
        }
        assertEquals(2, run("--models", "/m", huge.toString(), recording.toString()));
        assertEquals(huge + ": " + (IdentifyCommand.MAX_FILE_BYTES + 1)
                + " bytes: the tool reads WAVE files of at most 1 GiB", err().strip());
        assertEquals(1, ScriptedEngine.calls().stream()
                .filter(call -> call.startsWith("SoundData")).count());
    }

    /**
     * A header's rate and length are checked before the call: one outside the limits is refused
     * with the limit it breaks and never reaches the engine; one at the edges is identified.
     * (8-bit PCM, one byte a frame, so that an hour at 4 kHz is 14 MB.)
     */
    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {
        "1 | 1 | a sample rate of 1 Hz: the tool takes 4 to 192 kHz",
        "3999 | 1 | a sample rate of 3999 Hz: the tool takes 4 to 192 kHz",
        "192001 | 1 | a sample rate of 192001 Hz: the tool takes 4 to 192 kHz",
        "0 | 1 | a sample rate of 0 Hz: the tool takes 4 to 192 kHz",
        "4000 | 3601 | 3601 s of audio: the tool takes at most 60 minutes",
        "4000 | 3600 | ''",
        "4000 | 1 | ''",
        "192000 | 1 | ''"})
    void ratesAndLengthsOutsideTheLimitsAreRefused(int rate, int seconds, String problem)
            throws IOException {
        ScriptedEngine.script("quantity 1", "target 1 1 1 anna");
        byte[] wave = WaveFiles.wave(1, 1, 1, 8, new byte[rate == 0 ? 100 : rate * seconds]);
        for (int i = 0; i < 4; i++) {
            wave[24 + i] = (byte) (rate >> (8 * i));
        }
        Path file = Files.createTempDirectory("limits").resolve("rate-" + rate + ".wav");
        Files.write(file, wave);
        int status = run("--models", "/m", "--tsv", file.toString());
        long scored = ScriptedEngine.calls().stream()
                .filter(call -> call.startsWith("SoundData")).count();
        if (problem.isEmpty()) {
            assertEquals(0, status, err());
            assertEquals(1, scored);
        } else {
            assertEquals(2, status);
            assertEquals(file + ": refused: " + problem, err().strip());
            assertEquals(0, scored);
        }
    }
}
