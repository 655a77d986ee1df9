# Archive reader tests (directory, headers, decryption, reading, extraction,
# real producers' archives).
if(TARGET kvsfx_zip)
  kvsfx_add_test(kvsfx_zip_reader_tests
    SOURCES reader_format_tests.cpp reader_extract_tests.cpp reader_hardening_tests.cpp
      reader_lzma_tests.cpp reader_workers_tests.cpp
    LIBS kvsfx_zip kvsfx_pack_core)
endif()
