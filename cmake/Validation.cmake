# The validator, its real-time interposer, the fuzz targets and the sanitizer
# test entries. The validator loads the built bundles the way a host does, so
# it compiles JUCE's hosting classes itself and never links the plug-in library.

option (MURMEX2_FUZZ "Build the libFuzzer targets (clang only)" OFF)
set (MURMEX2_SANITIZER "" CACHE STRING "Sanitizer this build is instrumented with: asan or tsan (empty for none)")

juce_add_console_app (murmex2-validate PRODUCT_NAME "murmex2-validate")
target_sources (murmex2-validate PRIVATE tools/validate/Validate.cpp)
target_include_directories (murmex2-validate PRIVATE source)
target_compile_definitions (murmex2-validate
    PRIVATE
        JUCE_PLUGINHOST_VST3=1
        JUCE_PLUGINHOST_LV2=1
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=0
        JUCE_USE_FLAC=0
        JUCE_USE_OGGVORBIS=0
        JUCE_MODAL_LOOPS_PERMITTED=1
        MURMEX2_LV2_URI="${MURMEX2_LV2_URI}")
target_link_libraries (murmex2-validate
    PRIVATE
        juce::juce_audio_processors
        juce::juce_recommended_config_flags
        juce::juce_recommended_warning_flags
        ${CMAKE_DL_LIBS})

# Counts what the plug-in does inside processBlock; the validator preloads it.
add_library (murmex2-rt-interposer SHARED tools/validate/RtInterposer.c)
target_link_libraries (murmex2-rt-interposer PRIVATE ${CMAKE_DL_LIBS} pthread)
set_target_properties (murmex2-rt-interposer PROPERTIES
                       LIBRARY_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/murmex2-validate_artefacts/$<CONFIG>")
add_dependencies (murmex2-validate murmex2-rt-interposer)

# The validator is only useful with the bundles it checks, so building it builds
# them; sanitizer builds build neither.
if (MURMEX2_SANITIZER)
    set_target_properties (murmex2-validate murmex2-rt-interposer PROPERTIES EXCLUDE_FROM_ALL TRUE)
else()
    add_dependencies (murmex2-validate Murmex2_VST3 Murmex2_LV2)
endif()

if (MURMEX2_BUILD_TESTS AND NOT MURMEX2_SANITIZER)
    foreach (format VST3 LV2)
        string (TOLOWER ${format} lower)
        add_test (NAME validate-${lower}
                  COMMAND murmex2-validate "${CMAKE_BINARY_DIR}/Murmex2_artefacts/$<CONFIG>/${format}/Murmex2.${lower}")
        set_tests_properties (validate-${lower} PROPERTIES LABELS validate TIMEOUT 1800)
    endforeach()
endif()

# Sanitizer builds run the whole suite in two shards, each with a home and a
# temporary folder of its own, so that the two never pick the same temporary
# names; the thread suite is the one that matters under ThreadSanitizer.
if (MURMEX2_BUILD_TESTS AND MURMEX2_SANITIZER STREQUAL "asan")
    foreach (shard 0 1)
        set (home "${CMAKE_CURRENT_BINARY_DIR}/asan-home-${shard}")
        file (MAKE_DIRECTORY "${home}/tmp")
        add_test (NAME asan-shard-${shard} COMMAND murmex2-tests)
        set_tests_properties (asan-shard-${shard} PROPERTIES LABELS asan
                              ENVIRONMENT "HOME=${home};TMPDIR=${home}/tmp;GTEST_TOTAL_SHARDS=2;GTEST_SHARD_INDEX=${shard};ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/tools/lsan-suppressions.txt")
    endforeach()
elseif (MURMEX2_BUILD_TESTS AND MURMEX2_SANITIZER STREQUAL "tsan")
    add_test (NAME tsan-threads COMMAND murmex2-tests --gtest_filter=Threads*:EditorTest.OpensAndClosesRepeatedlyWhileTheAudioThreadPlays)
    set_tests_properties (tsan-threads PROPERTIES LABELS tsan
                          ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
endif()

# libFuzzer targets: the state restore and the preset loader. Each CTest entry
# is a bounded run that adds what it finds to a corpus in the build folder and
# reads the seed corpus in the repository without changing it.
set (MURMEX2_FUZZ_SECONDS 60 CACHE STRING "How long each fuzz test runs")

if (MURMEX2_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    foreach (name State Preset)
        string (TOLOWER ${name} lower)
        add_executable (murmex2-fuzz-${lower} tests/fuzz/${name}Fuzz.cpp)
        murmex2_link_library (murmex2-fuzz-${lower})
        target_compile_options (murmex2-fuzz-${lower} PRIVATE -fsanitize=fuzzer)
        target_link_options (murmex2-fuzz-${lower} PRIVATE -fsanitize=fuzzer)

        set (corpus "${CMAKE_CURRENT_BINARY_DIR}/fuzz-corpus/${lower}")
        set (artifacts "${CMAKE_CURRENT_BINARY_DIR}/fuzz-artifacts/${lower}/")
        file (MAKE_DIRECTORY "${corpus}" "${artifacts}")
        add_test (NAME fuzz-${lower}
                  COMMAND murmex2-fuzz-${lower} -max_total_time=${MURMEX2_FUZZ_SECONDS} -max_len=65536 -timeout=10
                          -artifact_prefix=${artifacts} "${corpus}" "${CMAKE_CURRENT_SOURCE_DIR}/tests/fuzz/corpus/${lower}")
        set_tests_properties (fuzz-${lower} PROPERTIES LABELS fuzz TIMEOUT 900)
    endforeach()
endif()
