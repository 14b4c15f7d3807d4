add_executable(stress-launcher support/stress-launcher.cpp)
target_link_libraries(stress-launcher PRIVATE paddock_launcher)
paddock_set_warnings(stress-launcher)

paddock_add_test(tst_stress SOURCES tst_stress.cpp LABELS stress TIMEOUT 600)
target_compile_definitions(tst_stress PRIVATE STRESS_LAUNCHER_PATH="$<TARGET_FILE:stress-launcher>"
    FUZZ_CORPUS_DIR="${PROJECT_SOURCE_DIR}/fuzz/corpus/name_template")
add_dependencies(tst_stress stress-launcher)
