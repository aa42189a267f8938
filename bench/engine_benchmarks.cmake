# The reference engine's benchmark: COM_IDENTI_SoundData on 60 s of real speech against 10, 100
# and 1000 targets, and the front end alone. Included from bench/CMakeLists.txt when the engine
# is built (not in the Windows cross-build).
add_executable(kestrune_bench sound_data_benchmark.cpp)
target_link_libraries(kestrune_bench PRIVATE
    kestrune_engine kestrune_api kestrune_core kestrune_audio_input kestrune_test_support
    jkestrune_headers benchmark::benchmark)
set_target_properties(kestrune_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

# Smoke run under CTest (label "bench"): the fixture trains a background model and writes 1000
# targets, then one short run of the 10-target case.
add_test(NAME bench.sound_data COMMAND kestrune_bench "--benchmark_filter=BM_SoundData/10$"
    --benchmark_min_time=0.001)
set_tests_properties(bench.sound_data PROPERTIES LABELS bench)
