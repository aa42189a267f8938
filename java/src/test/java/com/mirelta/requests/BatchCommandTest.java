package com.mirelta.requests;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
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
import java.util.stream.Stream;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The batch and merge commands, run in this JVM against the scripted engine. */
class BatchCommandTest {
    final ByteArrayOutputStream err = new ByteArrayOutputStream();
    Path dir;
    Path list;
    List<String> paths;

    /** A list of seven: five recordings, a file that is not WAVE, and one that is not there. */
    @BeforeEach
    void writeList() throws IOException {
        ScriptedEngine.script("quantity 3", ScriptedEngine.THREE_TARGETS[0],
                ScriptedEngine.THREE_TARGETS[1], ScriptedEngine.THREE_TARGETS[2]);
        dir = Files.createTempDirectory("batch");
        paths = new ArrayList<>();
        for (int i = 0; i < 7; i++) {
            Path file = dir.resolve("rec-" + i + ".wav");
            if (i == 2) {
                Files.writeString(file, "not audio");
            } else if (i != 5) {
                Files.write(file, WaveFiles.anyRecording());
            }
            paths.add(file.toString());
        }
        list = dir.resolve("list.txt");
        Files.write(list, paths, StandardCharsets.UTF_8);
    }

    int run(String... args) {
        err.reset();
        return IdentifyCommand.run(args, new PrintStream(new ByteArrayOutputStream()),
                new PrintStream(err, true, StandardCharsets.UTF_8),
                CommandLineTest.BUNDLED);
    }

    int batch(Path out, String... more) {
        List<String> args = new ArrayList<>(List.of("batch", "--list", list.toString(),
                "--models", "/m", "--out", out.toString()));
        args.addAll(List.of(more));
        return run(args.toArray(String[]::new));
    }

    String err() {
        return err.toString(StandardCharsets.UTF_8);
    }

    static List<String> lines(Path file) throws IOException {
        return Files.readAllLines(file, StandardCharsets.UTF_8);
    }

    long scorings() {
        return ScriptedEngine.calls().stream().filter(c -> c.startsWith("SoundData")).count();
    }

    @Test
    void everyRecordingGetsItsLineInListOrderAndFailuresSetTheExitStatus() throws IOException {
        Path out = dir.resolve("out.tsv");
        assertEquals(1, batch(out, "--threads", "4", "--top", "3"), err());
        List<String> lines = lines(out);
        BatchHeader header = BatchHeader.parse(lines.get(0)).orElseThrow();
        assertEquals(7, header.recordings());
        assertEquals(Shard.ALL, header.shard());
        assertEquals("rank=score top=3 max-far=none", header.options());
        List<String> expected = new ArrayList<>();
        for (int i = 0; i < 7; i++) {
            expected.add(paths.get(i) + (i == 2 ? "\tERR_NO_AUDIO\t-\t-\t-\t-\t-\t-"
                    : i == 5 ? "\tUNREADABLE\t-\t-\t-\t-\t-\t-"
                    : "\tok\tbert\t2.500\t0.100\t7.000\tanna\tcarl"));
        }
        assertEquals(expected, lines.subList(1, lines.size()));
        assertTrue(err().contains("2 of 7 recordings failed"), err());
        assertTrue(Files.notExists(ResultFile.partial(out)));
    }

    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {
        "--rank far --max-far 7.5 | bert",
        "--rank far --max-far 6.999 | unknown",
        "--rank frr | carl"})
    void answersFollowTheRankingAndTheFarLimit(String options, String answer)
            throws IOException {
        Files.write(list, List.of(paths.get(0)), StandardCharsets.UTF_8);
        Path out = dir.resolve("answers.tsv");
        assertEquals(0, batch(out, options.split(" ")), err());
        assertEquals(answer, lines(out).get(1).split("\t")[2]);
    }

    @Test
    void anEngineCodeIsTheLinesStatus() throws IOException {
        ScriptedEngine.script("quantity 1", "target 1 1 1 anna", "sound_code 4105");
        Path out = dir.resolve("short.tsv");
        assertEquals(1, batch(out), err());
        assertEquals(paths.get(0) + "\tENGINE_TOO_LITTLE_SPEECH\t-\t-\t-\t-", lines(out).get(1));
    }

    @Test
    void aCompleteResultOfTheSameInputsIsKeptAndAnyOtherIsRedone() throws IOException {
        Path out = dir.resolve("again.tsv");
        assertEquals(1, batch(out));
        byte[] first = Files.readAllBytes(out);
        assertTrue(scorings() > 0);

        ScriptedEngine.script("quantity 3", ScriptedEngine.THREE_TARGETS[0]);
        assertEquals(1, batch(out), "the kept file's failures still set the status");
        assertEquals(0, scorings(), "nothing identified again");
        assertTrue(err().contains("is complete for these inputs"), err());
        assertArrayEquals(first, Files.readAllBytes(out));

        // other options: other results
        assertEquals(1, batch(out, "--top", "2"));
        assertTrue(scorings() > 0);
        assertEquals("rank=score top=2 max-far=none",
                BatchHeader.parse(lines(out).get(0)).orElseThrow().options());

        // a file cut short is not complete, whatever its header says
        List<String> cut = lines(out).subList(0, 3);
        Files.write(out, cut, StandardCharsets.UTF_8);
        ScriptedEngine.script("quantity 3", ScriptedEngine.THREE_TARGETS[0]);
        batch(out, "--top", "2");
        assertTrue(scorings() > 0);
        assertEquals(8, lines(out).size());
    }

    @Test
    void aChangedModelsFolderChangesTheFingerprint() throws IOException {
        Path models = Files.createDirectories(dir.resolve("models/anna"));
        Files.writeString(models.resolve("target.krn"), "one");
        Path out = dir.resolve("models.tsv");
        batch(out, "--models", dir.resolve("models").toString());
        String before = lines(out).get(0);
        Files.writeString(models.resolve("target.krn"), "three");
        batch(out, "--models", dir.resolve("models").toString());
        assertTrue(!before.equals(lines(out).get(0)), before);
    }

    @Test
    void mergedShardsAreByteForByteTheSingleRun() throws IOException {
        Path whole = dir.resolve("whole.tsv");
        assertEquals(1, batch(whole, "--top", "2"));
        List<String> shards = new ArrayList<>(List.of("merge", "--out",
                dir.resolve("merged.tsv").toString()));
        for (int k = 2; k >= 0; k--) {  // any order of shard files
            Path shard = dir.resolve("shard-" + k + ".tsv");
            batch(shard, "--top", "2", "--shard", k + "/3", "--threads", "2");
            shards.add(shard.toString());
        }
        assertEquals(0, run(shards.toArray(String[]::new)), err());
        assertArrayEquals(Files.readAllBytes(whole),
                Files.readAllBytes(dir.resolve("merged.tsv")));
        assertTrue(err().contains("7 recordings, 2 failed"), err());
    }

    @Test
    void mergeNamesWhatIsMissingDuplicatedOrFromAnotherComputation() throws IOException {
        Path[] shard = new Path[3];
        for (int k = 0; k < 3; k++) {
            shard[k] = dir.resolve("s" + k + ".tsv");
            batch(shard[k], "--shard", k + "/3");
        }
        Path other = dir.resolve("other.tsv");
        batch(other, "--shard", "2/3", "--rank", "frr");
        Path whole = dir.resolve("all.tsv");
        batch(whole);
        Path cut = dir.resolve("cut.tsv");
        Files.write(cut, lines(shard[1]).subList(0, 2), StandardCharsets.UTF_8);
        Object[][] cases = {
            {List.of(shard[0], shard[2]), "2 recordings at list positions (from 0) 1, 4 missing"},
            {List.of(shard[0], shard[1], shard[2], shard[1]),
                "2 recordings at list positions (from 0) 1, 4 held by more than one"},
            {List.of(whole, shard[1]), "1, 4 held by more than one"},
            {List.of(shard[0], shard[1], other), "other.tsv comes from another computation"},
            {List.of(shard[0], cut, shard[2]), "cut.tsv holds 1 lines where shard 1/3"},
            {List.of(shard[0], shard[1], list), "list.txt is not a batch result file"}};
        Path merged = dir.resolve("merged.tsv");
        for (Object[] c : cases) {
            List<String> args = new ArrayList<>(List.of("merge", "--out", merged.toString()));
            @SuppressWarnings("unchecked")
            List<Path> inputs = (List<Path>) c[0];
            inputs.forEach(p -> args.add(p.toString()));
            assertEquals(1, run(args.toArray(String[]::new)), err());
            assertTrue(err().contains((String) c[1]), err());
            assertTrue(Files.notExists(merged));
        }
    }

    @Test
    void aListThatCannotBeReadWritesNothing() throws IOException {
        Path out = dir.resolve("none.tsv");
        assertEquals(2, run("batch", "--list", dir.resolve("absent.txt").toString(), "--models",
                "/m", "--out", out.toString()));
        assertEquals(2, run("batch", "--list", list.toString(), "--out", out.toString()));
        assertTrue(err().contains("--list LIST, --models DIR and --out OUT.tsv are required"));
        try (Stream<Path> files = Files.list(dir)) {
            assertTrue(files.noneMatch(f -> f.getFileName().toString().contains("none.tsv")));
        }
    }
}
