# Anki packages (.apkg): libzip for the archive, SQLite for the collection, zstd for
# collection.anki21b, nlohmann-json (header only) for the older collections' JSON.
pkg_check_modules(APKG REQUIRED IMPORTED_TARGET libzip sqlite3 libzstd)
find_path(NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp REQUIRED)
target_include_directories(tollamy_deck_core PUBLIC ${NLOHMANN_JSON_INCLUDE_DIR})
target_link_libraries(tollamy_deck_core PUBLIC PkgConfig::APKG)
# Anki collections: profiles, snapshots, the schedule, cards by template, decks and due cards,
# the note types and decks of either schema (with their protobuf configs), the SQLite helpers.
target_sources(tollamy_deck_core PRIVATE
    anki_decks.cpp
    anki_due.cpp
    anki_profile.cpp
    anki_proto.cpp
    anki_render.cpp
    anki_schedule.cpp
    anki_schema.cpp
    anki_snapshot.cpp
    anki_sqlite.cpp
    anki_source.cpp)

# The test packages as files: the fuzz target's seeds, and the samples that
# deck/tests/apkg_agree.sh imports and reads through Tollamy.dll under Wine.
# The builder is compiled once for them and for the tests.
add_library(deck_apkg_builder STATIC ${DECK_TEST_DIR}/apkg_builder.cpp)
target_link_libraries(deck_apkg_builder PUBLIC tollamy_deck_core)
add_executable(deck-apkg-seeds ${DECK_TEST_DIR}/fuzz/apkg_seeds.cpp)
target_link_libraries(deck-apkg-seeds PRIVATE deck_apkg_builder)

if(TOLLAMY_DECK_FUZZ)
    # Coverage feedback from the library's code, not only from the targets' own files.
    target_compile_options(tollamy_deck_core PRIVATE -fsanitize=fuzzer-no-link)
    # The package target starts from packages and collections that apkg-seeds builds through
    # the libraries at test time.
    add_executable(deck-fuzz-apkg ${DECK_TEST_DIR}/fuzz/fuzz_apkg.cpp)
    target_compile_options(deck-fuzz-apkg PRIVATE -fsanitize=fuzzer)
    target_link_options(deck-fuzz-apkg PRIVATE -fsanitize=fuzzer)
    target_link_libraries(deck-fuzz-apkg PRIVATE tollamy_deck_core)
    set(APKG_FUZZ_SECONDS 20 CACHE STRING "run time of the package fuzz test")
    add_test(NAME deck.fuzz.apkg
        COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1 TMPDIR=${CMAKE_CURRENT_BINARY_DIR}/work-apkg-tmp
            sh -c "rm -rf work-apkg work-apkg-seeds work-apkg-tmp && mkdir -p work-apkg work-apkg-seeds work-apkg-tmp && \"$1\" work-apkg-seeds && \"$0\" -max_total_time=${APKG_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 work-apkg work-apkg-seeds && test -z \"$(ls work-apkg-tmp)\""
            $<TARGET_FILE:deck-fuzz-apkg> $<TARGET_FILE:deck-apkg-seeds>
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(deck.fuzz.apkg PROPERTIES
        LABELS "deck;fuzz" TIMEOUT 120)
endif()
