# The fuzz targets, shared by the libFuzzer build (fuzz/CMakeLists.txt) and the corpus replay of
# the test suite (tests/fuzz/CMakeLists.txt). Each target is fuzz/<name>.cpp defining
# LLVMFuzzerTestOneInput; its corpus is fuzz/corpus/<name>/.
set(VELMORIN_FUZZ_TARGETS
  packet_reader
  server_core
  profile_file
  language_file
  ip_patterns
  ban_rules
  base64_cipher
  sealed_channel
  control_request
  elf_image)

# What every target links: the core, the sealed channel and the in-process server.
function(velmorin_add_fuzz_support name)
  add_library(${name} STATIC ${CMAKE_SOURCE_DIR}/fuzz/support/InProcessServer.cpp)
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/fuzz ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PUBLIC velmorin_app velmorin_channel)
  target_compile_definitions(${name} PUBLIC VELMORIN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endfunction()
