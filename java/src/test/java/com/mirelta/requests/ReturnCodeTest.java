package com.mirelta.requests;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.Set;
import java.util.TreeSet;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import org.junit.jupiter.api.Test;

/**
 * The return codes have one source each side can be checked against: the build compares the
 * numbers of the Java and C constants; these tests catch a code added on one side only, and a
 * documentation table that no longer says what ReturnCode says.
 */
class ReturnCodeTest {
    private static final Path SOURCES = Path.of(System.getProperty("jkestrune.source.dir"));
    private static final Pattern C_CODE =
            Pattern.compile("inline constexpr int32_t (?:kSuccess|ERR_\\w+|KS_ERR_\\w+) = (\\d+);");

    private static Set<Integer> codesOfHeader(String relativePath) throws IOException {
        Matcher codes = C_CODE.matcher(Files.readString(SOURCES.resolve(relativePath)));
        Set<Integer> found = new TreeSet<>();
        while (codes.find()) {
            found.add(Integer.parseInt(codes.group(1)));
        }
        return found;
    }

    private static Set<Integer> javaCodes(boolean referenceEngine) {
        return Arrays.stream(ReturnCode.values())
                .filter(code -> code.isReferenceEngineCode() == referenceEngine)
                .map(ReturnCode::value)
                .collect(Collectors.toCollection(TreeSet::new));
    }

    @Test
    void theLibrarysCodesAreTheSameSetOnBothSides() throws IOException {
        assertEquals(codesOfHeader("src/return_codes.h"), javaCodes(false));
    }

    @Test
    void theEnginesCodesAreTheSameSetOnBothSides() throws IOException {
        assertEquals(codesOfHeader("kestrune/core/contract/engine_codes.h"), javaCodes(true));
    }

    @Test
    void theDocumentationShowsEveryCodeAsReturnCodeDescribesIt() throws IOException {
        String page = Files.readString(SOURCES.resolve("docs/JAVA-API.md"), StandardCharsets.UTF_8);
        String table = ReturnCode.markdownTable();
        assertTrue(page.contains(table),
                "docs/JAVA-API.md must show this table (java -jar jkestrune.jar --codes prints it):\n"
                        + table);
    }
}
