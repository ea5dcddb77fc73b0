# Fails when a library of the server core links Qt or holds a Qt symbol: only the desktop
# window's layer and the entry point may. Catches a Qt library added to a core layer's links
# and Qt code compiled into one (an include of a Qt header that reaches a symbol).
#
#   cmake -DNM=<nm> -DARCHIVES="a.a|b.a" -DLINKS="lib1|lib2" -P CheckNoQt.cmake
#
# LINKS holds what the core libraries link directly (each layer links only the one below it).

if(NOT NM OR NOT ARCHIVES)
  message(FATAL_ERROR "NM and ARCHIVES must be set")
endif()

string(REPLACE "|" ";" links "${LINKS}")
foreach(link IN LISTS links)
  if(link MATCHES "Qt")
    message(SEND_ERROR "a core library links ${link}")
  endif()
endforeach()

string(REPLACE "|" ";" archives "${ARCHIVES}")
foreach(archive IN LISTS archives)
  # grep keeps the output small: CMake's regular expressions are slow on megabytes of symbols.
  execute_process(COMMAND ${NM} -C ${archive}
                  COMMAND grep -E "[ (,<]Q[A-Z][A-Za-z0-9]*::| U qt_"
                  OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULTS_VARIABLE results ERROR_QUIET)
  list(GET results 0 failed)
  if(failed)
    message(SEND_ERROR "cannot list the symbols of ${archive}")
    continue()
  endif()
  if(found)
    get_filename_component(name ${archive} NAME)
    string(REGEX MATCH "^[^\n]*" first "${found}")
    message(SEND_ERROR "${name} holds a Qt symbol: ${first}")
  endif()
endforeach()
