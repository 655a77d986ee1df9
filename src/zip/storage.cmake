# Errors, files, paths, platform operations and the storage layer of the
# archive reader.
kvsfx_library(kvsfx_zip_storage
  SOURCES zip_exception.cpp zip_buffer.cpp zip_name_text.cpp zip_file.cpp zip_path.cpp zip_fs.cpp zip_read_ahead.cpp zip_store.cpp zip_store_write.cpp
  PLATFORM zip_exception zip_fs zip_output_tree
  LIBS kvsfx_framework_files ZLIB::ZLIB)
