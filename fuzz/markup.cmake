# The markup reader: arbitrary bytes as a document, then every navigation call.
kvsfx_fuzz_target(fuzz_markup SOURCES fuzz_markup.cpp LIBS kvsfx_markup)
