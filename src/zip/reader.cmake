# The archive reader: entry records, central directory, decryption, archive
# object and extraction (built on the storage layer in kvsfx_zip_storage).
if(NOT TARGET kvsfx_zip_storage)
  message(STATUS "zip reader: kvsfx_zip_storage not there yet; kvsfx_zip not built")
  return()
endif()
kvsfx_library(kvsfx_zip
  SOURCES
    zip_crypt.cpp
    zip_entry_name.cpp
    zip_fields.cpp
    zip_entry_header.cpp
    zip_directory.cpp
    zip_reader.cpp
    zip_reader_entry.cpp
    zip_lzma_decoder.cpp
    zip_extract.cpp
    zip_extract_job.cpp
    zip_entry_job.cpp
    zip_entry_workers.cpp
    zip_target_name.cpp
  PLATFORM
    zip_host
    zip_worker_thread
    zip_worker_io
  LIBS kvsfx_zip_storage ZLIB::ZLIB kvsfx_lzma)
# The worker thread's code never throws and is never unwound through: no
# unwind tables, which would only add to the stubs.
set_source_files_properties(zip_worker_thread_${KVSFX_PLATFORM_SUFFIX}.cpp
  zip_worker_io_${KVSFX_PLATFORM_SUFFIX}.cpp zip_entry_job.cpp PROPERTIES
  COMPILE_OPTIONS "-fno-exceptions;-fno-asynchronous-unwind-tables")
