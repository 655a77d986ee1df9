# Solid payloads: tar or .xz bytes stored as payload.tar.xz, inspected and
# extracted on one and two workers. Seeds: seeds/solid/make_seeds.py.
if(TARGET kvsfx_solid)
  kvsfx_fuzz_target(fuzz_solid SOURCES fuzz_solid.cpp LIBS kvsfx_solid kvsfx_lzma)
endif()
