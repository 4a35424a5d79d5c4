# The extraction engine's targets: lzh_format, the format's numbers
# (FormatLZH.h), which lzhpack's writer shares; and qm_engine_library(NAME),
# a static library of the engine: the trees build it under several names
# (the program's "extract", which lzhx and lzhpack link too, the
# sanitizers', the fuzzer's). Off Windows, a stand-in supplies the Win32
# calls and the conversions of names between code page 932 and UTF-8.
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

add_library(lzh_format INTERFACE)
target_include_directories(lzh_format INTERFACE ${QM_ROOT_DIR}/extract)

function(qm_engine_library name)
  add_library(${name} STATIC ${EXTRACT_SOURCES})
  target_link_libraries(${name} PUBLIC lzh_format PRIVATE qm_warnings)
endfunction()
