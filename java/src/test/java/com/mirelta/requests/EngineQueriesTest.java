package com.mirelta.requests;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** The four methods that only forward to the engine, through a real JVM with CheckJNI. */
class EngineQueriesTest {

    @ParameterizedTest
    @ValueSource(ints = {0, 1, -1, 500, Integer.MAX_VALUE, Integer.MIN_VALUE})
    void limitsAreTheEnginesAnswersUnchanged(int value) {
        ScriptedEngine.script("max_targets " + value, "max_streams " + (value ^ 0x55));
        assertEquals(value, LoadManager.MaxQntTargets());
        assertEquals(value ^ 0x55, LoadManager.MaxQntProgramStreams());
        assertEquals(List.of("CheckedQuantTargetUsers", "CheckedQuantVerifyStreams"),
                ScriptedEngine.calls());
    }

    @Test
    void loadBgModelsPassesThePathAndTheAnswer() {
        ScriptedEngine.script("load_ubm 1");
        assertTrue(LoadManager.LoadBgModels("/models/ubm"));
        ScriptedEngine.script("load_ubm 0");
        assertFalse(LoadManager.LoadBgModels("/models/ubm"));
        assertEquals(List.of("LoadUBMModels path=/models/ubm"), ScriptedEngine.calls());
    }

    @ParameterizedTest
    @ValueSource(ints = {2, 0x80, 0xFF})
    void anyNonZeroEngineByteIsTrue(int answer) {
        ScriptedEngine.script("load_ubm " + answer);
        assertTrue(LoadManager.LoadBgModels("ubm"));
    }

    @Test
    void loadBgModelsWithNullAsksTheEngineWithAnEmptyPath() {
        ScriptedEngine.script("load_ubm 0");
        assertFalse(LoadManager.LoadBgModels(null));
        ScriptedEngine.script("load_ubm 1");
        assertTrue(LoadManager.LoadBgModels(null));
        assertEquals(List.of("LoadUBMModels path="), ScriptedEngine.calls());
    }

    @ParameterizedTest
    @ValueSource(ints = {0, 3, -7, 1_000_000})
    void targetQuantityIsTheEnginesCount(int quantity) {
        ScriptedEngine.script("quantity " + quantity);
        assertEquals(quantity, LoadManager.GetTargetQuantity("/srv/targets"));
        assertEquals(List.of("GetQntModelsFromSubDirs path=/srv/targets"), ScriptedEngine.calls());
    }

    @Test
    void targetQuantityOfNullIsZeroWithoutAnEngineCall() {
        ScriptedEngine.script("quantity 9");
        assertEquals(0, LoadManager.GetTargetQuantity(null));
        assertEquals(List.of(), ScriptedEngine.calls());
    }

    @Test
    void pathsReachTheEngineAsUtf8() {
        ScriptedEngine.script("quantity 1");
        String dir = "/srv/Zielpersonen/Größe €";
        assertEquals(1, LoadManager.GetTargetQuantity(dir));
        assertEquals(List.of("GetQntModelsFromSubDirs path=" + dir), ScriptedEngine.calls());
    }
}
