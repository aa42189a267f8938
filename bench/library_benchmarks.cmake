# The library's benchmarks: decoding against memcpy and libsndfile, ranking against
# std::stable_sort and the N² selection, and the whole call from Java against the floor library.
# Included from bench/CMakeLists.txt.

# Decoding against memcpy and libsndfile.
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
jkestrune_benchmark(decode_benchmark decode_benchmark.cpp
    ${PROJECT_SOURCE_DIR}/src/bridge/large_buffer.cpp)
target_link_libraries(decode_benchmark PRIVATE jkestrune_audio jkestrune_wave_images PkgConfig::SNDFILE)

# Ranking against std::stable_sort and the N² selection.
jkestrune_benchmark(ranking_benchmark ranking_benchmark.cpp)
target_link_libraries(ranking_benchmark PRIVATE jkestrune_ranking)

# The whole call from Java: the floor library and the plain Java harness.
add_library(jkestrune_floor SHARED floor/jni_floor.cpp)
target_link_libraries(jkestrune_floor PRIVATE jkestrune_headers jkestrune::jni jkestrune_audio
    ${JKESTRUNE_ENGINE_TARGET})
set_target_properties(jkestrune_floor PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
if(JKESTRUNE_BUILD_JAVA)
    find_package(Java 17 REQUIRED COMPONENTS Runtime Development)
    include(UseJava)
    set(CMAKE_JAVA_COMPILE_FLAGS -encoding UTF-8 -Xlint:all -Werror --release 17)
    # WaveFiles, a test helper, builds the recordings.
    add_jar(jkestrune_bench_jar
        SOURCES java/com/mirelta/bench/BatchBenchmark.java java/com/mirelta/bench/JniFloor.java
            java/com/mirelta/bench/WholeCallBenchmark.java
            java/com/mirelta/bench/ReferenceEngineBenchmark.java
            java/com/mirelta/bench/ReferenceTargets.java java/com/mirelta/bench/SpeechRecording.java
            ${PROJECT_SOURCE_DIR}/java/src/test/java/com/mirelta/requests/WaveFiles.java
        INCLUDE_JARS jkestrune_jar
        OUTPUT_NAME jkestrune-bench
        OUTPUT_DIR ${CMAKE_BINARY_DIR}/bench)
    add_dependencies(jkestrune_bench_jar jkestrune jkestrune_floor)
endif()

# Smoke runs under CTest (label "bench"), so that the benchmarks keep building and running;
# scripts/bench.sh runs them at length.
add_test(NAME bench.decode COMMAND decode_benchmark --benchmark_filter=/1s$
    --benchmark_min_time=0.001)
add_test(NAME bench.ranking COMMAND ranking_benchmark "--benchmark_filter=/(100|1000)$"
    --benchmark_min_time=0.001)
set_tests_properties(bench.decode bench.ranking PROPERTIES LABELS bench)
if(JKESTRUNE_BUILD_JAVA)
    set(_bench_work ${CMAKE_CURRENT_BINARY_DIR}/smoke)
    file(MAKE_DIRECTORY ${_bench_work})
    get_target_property(_bench_jar jkestrune_bench_jar JAR_FILE)
    get_target_property(_main_jar jkestrune_jar JAR_FILE)
    add_test(NAME bench.whole_call
        COMMAND ${Java_JAVA_EXECUTABLE}
            "-Djava.library.path=$<TARGET_FILE_DIR:jkestrune>:$<TARGET_FILE_DIR:jkestrune_floor>"
            -cp "${_bench_jar}:${_main_jar}" com.mirelta.bench.WholeCallBenchmark --quick
            --script ${_bench_work}/script --report ${_bench_work}/whole_call.md)
    set_tests_properties(bench.whole_call PROPERTIES
        LABELS bench
        ENVIRONMENT "LD_LIBRARY_PATH=$<TARGET_FILE_DIR:kestrune_scripted>;KESTRUNE_SCRIPT=${_bench_work}/script")
    # The same call with the reference engine: 10 targets enrolled from real speech (kept in
    # build/bench/reference-smoke between runs), a 2 s recording, one round.
    if(TARGET kestrune_tool)
        add_test(NAME bench.reference_engine
            COMMAND ${Java_JAVA_EXECUTABLE}
                "-Djava.library.path=$<TARGET_FILE_DIR:jkestrune>:$<TARGET_FILE_DIR:jkestrune_floor>"
                -cp "${_bench_jar}:${_main_jar}" com.mirelta.bench.ReferenceEngineBenchmark --quick
                --tool $<TARGET_FILE:kestrune_tool> --ubm ${PROJECT_SOURCE_DIR}/data/ubm
                --corpus ${PROJECT_SOURCE_DIR}/data/fsdd/recordings
                --work ${CMAKE_CURRENT_BINARY_DIR}/reference-smoke
                --report ${CMAKE_CURRENT_BINARY_DIR}/reference-smoke/reference_engine.md)
        set_tests_properties(bench.reference_engine PROPERTIES LABELS bench)
    endif()
endif()
