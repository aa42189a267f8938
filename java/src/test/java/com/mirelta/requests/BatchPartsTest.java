package com.mirelta.requests;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.io.RandomAccessFile;
import java.math.BigDecimal;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.stream.IntStream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The pieces of a batch that need no engine: shards, text, lines, the runner, progress. */
class BatchPartsTest {
    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {
        "7 | 0/1 | 0,1,2,3,4,5,6",
        "7 | 0/3 | 0,3,6",
        "7 | 1/3 | 1,4",
        "7 | 2/3 | 2,5",
        "2 | 2/4 | ''",
        "5 | 4/5 | 4"})
    void shardsTakeThePositionsWhoseRemainderIsK(int total, String shard, String positions)
            throws Exception {
        Path list = Files.createTempFile("list", ".txt");
        List<String> paths = IntStream.range(0, total).mapToObj(i -> "r" + i + ".wav").toList();
        // blank lines are no recordings and take no position
        List<String> lines = new ArrayList<>(paths);
        lines.add(1, "");
        Files.write(list, lines, StandardCharsets.UTF_8);
        Shard share = Shard.parse(shard);
        BatchList read = BatchList.read(list, share);
        List<String> expected = positions.isEmpty() ? List.of()
                : Arrays.stream(positions.split(",")).map(p -> "r" + p + ".wav").toList();
        assertEquals(expected, read.paths());
        assertEquals(total, read.total());
        assertEquals(expected.size(), share.size(total));
        for (int n = 0; n < expected.size(); n++) {
            assertEquals(expected.get(n), "r" + share.position(n) + ".wav");
        }
    }

    @Test
    void aFolderIsTakenRecursivelyInSortedOrderAndEveryShardFingerprintsTheWholeList()
            throws Exception {
        Path folder = Files.createTempDirectory("recordings");
        for (String name : List.of("b/2.wav", "a.wav", "b/1.wav", "c.wav")) {
            Files.createDirectories(folder.resolve(name).getParent());
            Files.writeString(folder.resolve(name), name);
        }
        BatchList whole = BatchList.read(folder, Shard.ALL);
        assertEquals(List.of("a.wav", "b/1.wav", "b/2.wav", "c.wav"), whole.paths().stream()
                .map(p -> folder.relativize(Path.of(p)).toString()).toList());
        assertEquals(whole.digest(), BatchList.read(folder, new Shard(1, 2)).digest());
        Files.writeString(folder.resolve("d.wav"), "more");
        assertTrue(!whole.digest().equals(BatchList.read(folder, Shard.ALL).digest()));
    }

    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {"3/3", "-1/2", "1/0", "1", "a/b", "1/2/3", "''"})
    void impossibleShardsAreUsageErrors(String shard) {
        assertThrows(CommandOptions.UsageException.class, () -> Shard.parse(shard));
    }

    @Test
    void escapingKeepsEveryFieldOnOneLineWithoutTabs() {
        String[][] cases = {
            {"plain name.wav", "plain name.wav"},
            {"a\tb", "a\\tb"},
            {"line\nbreak\r", "line\\nbreak\\r"},
            {"back\\slash", "back\\\\slash"},
            {"bell\u0007 del\u007f c1\u0085", "bell\\x07 del\\x7f c1\\u0085"},
            {"ünïcødé", "ünïcødé"}};
        for (String[] c : cases) {
            assertEquals(c[1], TextEscape.name(c[0]), c[0]);
        }
    }

    @Test
    void linesHaveOneWidthWhateverHappened() {
        List<TargetMatch> ranking = List.of(new TargetMatch("bert", 2500, 100, 7000),
                new TargetMatch("an\tna", 1500, 300, 9000));
        BigDecimal five = BigDecimal.valueOf(5);
        String[][] cases = {
            {BatchLine.identified("x.wav", ranking, 3, null),
                "x.wav\tok\tbert\t2.500\t0.100\t7.000\tan\\tna\t-"},
            {BatchLine.identified("x.wav", ranking, 1, five),
                "x.wav\tok\tunknown\t2.500\t0.100\t7.000"},
            {BatchLine.identified("x.wav", ranking, 1, BigDecimal.TEN),
                "x.wav\tok\tbert\t2.500\t0.100\t7.000"},
            {BatchLine.identified("x.wav", List.of(), 2, null),
                "x.wav\tok\tunknown\t-\t-\t-\t-"},
            {BatchLine.failed("x\n.wav", "ERR_NO_AUDIO", 2),
                "x\\n.wav\tERR_NO_AUDIO\t-\t-\t-\t-\t-"}};
        for (String[] c : cases) {
            assertEquals(c[1], c[0]);
        }
        assertEquals("ENGINE_BUSY", BatchLine.statusOf(4106));
        assertEquals("CODE_77", BatchLine.statusOf(77));
    }

    @ParameterizedTest
    @CsvSource({"8, 16, 100, 8", "8, 2, 100, 2", "8, 0, 100, 8", "8, 16, 3, 3", "4, 16, 0, 1"})
    void threadsStayWithinTheEnginesStreamsAndTheWork(int asked, int streams, long recordings,
            int expected) {
        assertEquals(expected, BatchRunner.threads(asked, streams, recordings));
    }

    /** Files whose content is their index, scored slowest first, so that they finish reversed. */
    @Test
    void linesComeInListOrderAndNoMoreThanTheThreadsScoreAtOnce() throws Exception {
        Path dir = Files.createTempDirectory("order");
        List<String> paths = new ArrayList<>();
        for (int i = 0; i < 40; i++) {
            Path file = dir.resolve(i + ".wav");
            Files.writeString(file, Integer.toString(i));
            paths.add(file.toString());
        }
        paths.add(dir.resolve("vanished.wav").toString());
        AtomicInteger running = new AtomicInteger();
        AtomicInteger most = new AtomicInteger();
        BatchRunner.Scorer scorer = wave -> {
            most.accumulateAndGet(running.incrementAndGet(), Math::max);
            int index = Integer.parseInt(new String(wave, StandardCharsets.UTF_8));
            try {
                Thread.sleep((40 - index) % 7);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
            running.decrementAndGet();
            return List.of(new TargetMatch("t" + index, index, 0, 0));
        };
        List<String> lines = new ArrayList<>();
        long failed = new BatchRunner(scorer, 3, 1, null, millis -> {}).run(paths, lines::add);
        assertEquals(1, failed);
        assertEquals(paths.size(), lines.size());
        for (int i = 0; i < 40; i++) {
            assertTrue(lines.get(i).startsWith(paths.get(i) + "\tok\tt" + i + "\t"), lines.get(i));
        }
        assertEquals(BatchLine.UNREADABLE, BatchLine.status(lines.get(40)));
        assertTrue(most.get() <= 3 && most.get() >= 2, "at most 3 at once, saw " + most.get());
    }

    @ParameterizedTest
    @CsvSource({"0, ok, 0", "3, ok, 3", "9, ok, 9", "10, ENGINE_BUSY, 9", "50, ENGINE_BUSY, 9"})
    void aBusyEngineIsTriedAgainWithLongerWaits(int busyAnswers, String status, int waits)
            throws Exception {
        Path file = Files.createTempFile("busy", ".wav");
        AtomicInteger calls = new AtomicInteger();
        BatchRunner.Scorer scorer = wave -> {
            if (calls.incrementAndGet() <= busyAnswers) {
                throw new IdentificationException(ReturnCode.ENGINE_BUSY.value());
            }
            return List.of(new TargetMatch("anna", 1, 2, 3));
        };
        List<Long> slept = Collections.synchronizedList(new ArrayList<>());
        String line = new BatchRunner(scorer, 1, 1, null, slept::add).line(file.toString());
        assertEquals(status, BatchLine.status(line));
        assertEquals(waits, slept.size());
        for (int i = 1; i < slept.size(); i++) {
            assertTrue(slept.get(i) >= slept.get(i - 1), slept.toString());
            assertTrue(slept.get(i) <= BusyRetry.LONGEST_WAIT_MILLIS, slept.toString());
        }
        if (waits > 1) {
            assertEquals(2 * slept.get(0), slept.get(1));
        }
    }

    @Test
    void aFileOverTheToolsLimitIsNotReadAndGetsItsLine() throws Exception {
        Path huge = Files.createTempFile("huge", ".wav");
        try (RandomAccessFile file = new RandomAccessFile(huge.toFile(), "rw")) {
            file.setLength(IdentifyCommand.MAX_FILE_BYTES + 1);  // sparse: no disk is used
        }
        BatchRunner.Scorer scorer = wave -> {
            throw new AssertionError("a file over the limit must not be read or scored");
        };
        String line = new BatchRunner(scorer, 1, 1, null, millis -> {}).line(huge.toString());
        assertEquals(BatchLine.UNREADABLE, BatchLine.status(line));
        Files.delete(huge);
    }

    @Test
    void otherEngineCodesAreNotRetried() throws Exception {
        Path file = Files.createTempFile("short", ".wav");
        AtomicInteger calls = new AtomicInteger();
        BatchRunner.Scorer scorer = wave -> {
            calls.incrementAndGet();
            throw new IdentificationException(4105);
        };
        String line = new BatchRunner(scorer, 1, 2, null, millis -> {}).line(file.toString());
        assertEquals(file + "\tENGINE_TOO_LITTLE_SPEECH\t-\t-\t-\t-\t-", line);
        assertEquals(1, calls.get());
    }

    @Test
    void progressIsALineAMinuteInALogAndRedrawnOnATerminal() {
        long[] now = {0};
        ByteArrayOutputStream log = new ByteArrayOutputStream();
        BatchProgress progress = new BatchProgress(
                new PrintStream(log, true, StandardCharsets.UTF_8), false, () -> now[0], 3000);
        for (int i = 0; i < 3000; i++) {
            now[0] += 50_000_000L;  // 20 recordings a second: 150 s in all
            progress.advance();
        }
        progress.finish();
        List<String> lines = log.toString(StandardCharsets.UTF_8).lines().toList();
        assertEquals(List.of("batch: 1200/3000 recordings, 20.0/s, 1:30 left",
                "batch: 2400/3000 recordings, 20.0/s, 0:30 left",
                "batch: 3000/3000 recordings, 20.0/s, done"), lines);

        ByteArrayOutputStream screen = new ByteArrayOutputStream();
        progress = new BatchProgress(
                new PrintStream(screen, true, StandardCharsets.UTF_8), true, () -> now[0], 10);
        for (int i = 0; i < 10; i++) {
            now[0] += 100_000_000L;
            progress.advance();
        }
        progress.finish();
        String shown = screen.toString(StandardCharsets.UTF_8);
        assertEquals(1, shown.chars().filter(c -> c == '\n').count(), "redrawn in place: " + shown);
        assertTrue(shown.startsWith("\rbatch: 3/10 recordings, 10.0/s, 0:01 left"), shown);
        assertTrue(shown.endsWith("\rbatch: 10/10 recordings, 10.0/s, done\033[K\n"), shown);
        assertEquals("2:03:20", BatchProgress.duration(7400));
    }

    @Test
    void aWriteThatFailsLeavesNeitherResultNorPartialFile() throws IOException {
        Path out = Files.createTempDirectory("whole").resolve("out.tsv");
        assertThrows(IOException.class, () -> ResultFile.writeWhole(out, writer -> {
            writer.write("#jkestrune-batch half");
            throw new IOException("disk full");
        }));
        assertTrue(Files.notExists(out));
        assertTrue(Files.notExists(ResultFile.partial(out)));
    }
}
