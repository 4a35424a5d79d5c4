# The extraction engine's sources and qm_engine_library(NAME), a static
# library of them: the trees build the engine under several names (the
# program's, the sanitizers', the fuzzer's). Off Windows, a stand-in
# supplies the Win32 calls.
get_filename_component(QM_ROOT_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(EXTRACT_SOURCES
  extract/DbcsText.cpp
  extract/DecoderLH5.cpp
  extract/ExtractorLZH.cpp
  extract/FileBuffer.cpp
  extract/HeaderLZH.cpp
  extract/HuffmanTable.cpp
  extract/OutputFile.cpp)
if(NOT WIN32)
  list(APPEND EXTRACT_SOURCES extract/standin/CodePage932.cpp extract/standin/Win32StandIn.cpp)
endif()
list(TRANSFORM EXTRACT_SOURCES PREPEND ${QM_ROOT_DIR}/)

function(qm_engine_library name)
  add_library(${name} STATIC ${EXTRACT_SOURCES})
  target_include_directories(${name} PUBLIC ${QM_ROOT_DIR}/extract)
  target_compile_options(${name} PRIVATE ${QM_WARNINGS})
endfunction()
