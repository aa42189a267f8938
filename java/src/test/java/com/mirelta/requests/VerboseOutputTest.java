package com.mirelta.requests;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The console log, line for line, as a child JVM prints it to its standard output. */
class VerboseOutputTest {
    static final String PREFIX = "#####CoreLogout: ";

    /** Runs {@link VerboseLogProgram} with its own engine script; returns its output lines. */
    static List<String> runChild(String locale, String method, String... script)
            throws IOException, InterruptedException {
        Path work = Files.createTempDirectory("verbose");
        Path scriptFile = work.resolve("script");
        Files.write(scriptFile, List.of(script), StandardCharsets.UTF_8);
        List<String> command = new ArrayList<>();
        command.add(Path.of(System.getProperty("java.home"), "bin", "java").toString());
        command.add("-Xcheck:jni");
        command.add("-Djava.library.path=" + System.getProperty("java.library.path"));
        command.add("-cp");
        // The test runner loads these classes from its own class path, not java.class.path.
        command.add(System.getProperty("jkestrune.test.classpath"));
        command.add(VerboseLogProgram.class.getName());
        command.add(method);
        ProcessBuilder builder = new ProcessBuilder(command);
        builder.environment().put("KESTRUNE_SCRIPT", scriptFile.toString());
        builder.environment().put("KESTRUNE_CALL_LOG", work.resolve("calls.log").toString());
        builder.environment().put("LC_ALL", locale);
        builder.redirectErrorStream(true);
        File output = work.resolve("output").toFile();
        builder.redirectOutput(output);
        Process child = builder.start();
        assertEquals(0, child.waitFor());
        return Files.readAllLines(output.toPath(), StandardCharsets.UTF_8);
    }

    @ParameterizedTest
    @CsvSource({"C.UTF-8, all", "de_DE.UTF-8, all", "de_DE.UTF-8, best"})
    void targetsArePrintedInRankedOrderWithPointDecimals(String locale, String method)
            throws Exception {
        List<String> lines = runChild(locale, method, "target 1500 750 12000 anna",
                "target -2500 100 0 bert", "target 500 99999 8001 carl");
        String half = locale.startsWith("de") ? "0,5" : "0.5";
        assertEquals(List.of("java before " + half,
                PREFIX + "Quantity of targets: 3",
                PREFIX + "Target: carl, FRR: 99.999 %, FAR: 8.001 %, logScore: 0.500",
                PREFIX + "Target: anna, FRR: 0.750 %, FAR: 12.000 %, logScore: 1.500",
                PREFIX + "Target: bert, FRR: 0.100 %, FAR: 0.000 %, logScore: -2.500",
                "java after 0"), lines);
    }

    @ParameterizedTest
    @CsvSource({"all", "best"})
    void engineFailurePrintsOnlyTheQuantity(String method) throws Exception {
        List<String> lines = runChild("C.UTF-8", method, "sound_code 7", "target 1 1 1 anna",
                "target 2 2 2 bert");
        assertEquals(List.of("java before 0.5", PREFIX + "Quantity of targets: 2", "java after 7"),
                lines);
    }

    /** A name cannot forge a log line: its newline, tab and escape come out escaped. */
    @ParameterizedTest
    @CsvSource({"all", "best"})
    void namesAreEscapedInTheLog(String method) throws Exception {
        List<String> lines = runChild("C.UTF-8", method,
                "target 1500 750 12000 eve\\x0a" + PREFIX + "Target: bob\\x09\\x1b[2J\\xc3\\xa9");
        assertEquals(List.of("java before 0.5", PREFIX + "Quantity of targets: 1",
                PREFIX + "Target: eve\\n" + PREFIX + "Target: bob\\t\\x1b[2J\u00e9, FRR: 0.750 %,"
                        + " FAR: 12.000 %, logScore: 1.500",
                "java after 0"), lines);
    }
}
