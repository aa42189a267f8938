package com.mirelta.requests;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/** The identification command, run in this JVM against the scripted engine. */
class CommandLineTest {
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
        return IdentifyCommand.run(args, new PrintStream(out, true, StandardCharsets.UTF_8),
                new PrintStream(err, true, StandardCharsets.UTF_8));
    }

    String out() {
        return out.toString(StandardCharsets.UTF_8);
    }

    String err() {
        return err.toString(StandardCharsets.UTF_8);
    }

    @Test
    void helpAndBadUsage() {
        assertEquals(0, run("--help"));
        assertTrue(out().startsWith("Usage:"), out());
        assertEquals(2, run(recording.toString()));
        assertTrue(err().contains("--models DIR is required"), err());
        assertEquals(2, run("--models", "/m", "--rank", "loudness", recording.toString()));
        assertEquals(2, run("--models", "/m"));
        assertEquals(2, run("--models", "/m", "--colour", recording.toString()));
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
        assertEquals(expected, out().replace(System.lineSeparator(), "\n"));
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
    void bestOnlyAndBackgroundModels() {
        ScriptedEngine.script("quantity 2", "load_ubm 1", "target 1500 750 12000 anna",
                "target 2500 100 0 bert");
        assertEquals(0, run("--models", "/m", "--ubm", "/ubm", "--best", "--tsv",
                recording.toString()));
        assertEquals(List.of(recording + "\t1\tbert\t2.500\t0.100\t0.000"),
                out().lines().toList());
        assertTrue(ScriptedEngine.calls().contains("LoadUBMModels path=/ubm"));
        assertTrue(ScriptedEngine.calls().stream().noneMatch(c -> c.startsWith("GetQnt")),
                "--best needs no result array");
    }

    @Test
    void backgroundThatDoesNotLoadStopsEarly() {
        ScriptedEngine.script("load_ubm 0");
        assertEquals(3, run("--models", "/m", "--ubm", "/nowhere", recording.toString()));
        assertTrue(err().contains("/nowhere"), err());
    }

    @Test
    void errorCodesAreNamedAndMakeTheStatusNonZero() {
        ScriptedEngine.script("quantity 1", "target 1 1 1 anna");
        assertEquals(1, run("--models", "/m", "--tsv", notWave.toString(),
                recording.toString()));
        assertTrue(err().contains(notWave + ": error 2071 ERR_NO_AUDIO"), err());
        assertEquals(List.of(recording + "\t1\tanna\t0.001\t0.001\t0.001"),
                out().lines().toList(), "later files are still identified");
        ScriptedEngine.script("quantity 1", "sound_code 9001", "target 1 1 1 anna");
        assertEquals(1, run("--models", "/m", recording.toString()));
        assertTrue(err().contains("error 9001 engine error"), err());
        assertEquals(2, run("--models", "/m", "/no/such/file.wav"));
    }
}
