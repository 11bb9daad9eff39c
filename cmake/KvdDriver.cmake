# kvd_add_driver(<target> <output name> UNICODE|ANSI AGENT <lib> [EXTRA <libs...>])
# Builds one driver shared library from the core objects plus the agent
# library given (the real agent, or the scripted fake in tests), exporting
# exactly the list in drivers/<output name>.map.
function(kvd_add_driver target outname variant)
  cmake_parse_arguments(ARG "" "AGENT;MAP" "EXTRA" ${ARGN})
  if(NOT ARG_MAP)
    set(ARG_MAP ${CMAKE_SOURCE_DIR}/drivers/${outname}.map)
  endif()
  if(variant STREQUAL "UNICODE")
    set(_vsrc ${CMAKE_SOURCE_DIR}/drivers/variant_unicode.cpp)
  else()
    set(_vsrc ${CMAKE_SOURCE_DIR}/drivers/variant_ansi.cpp)
  endif()
  add_library(${target} SHARED ${_vsrc})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${outname} PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib
    BUILD_RPATH "$ORIGIN" INSTALL_RPATH "$ORIGIN"
    LINK_DEPENDS ${ARG_MAP})
  target_link_libraries(${target} PRIVATE
    "$<LINK_LIBRARY:WHOLE_ARCHIVE,${ARG_AGENT},kvd_core>"
    ${ARG_EXTRA} Threads::Threads ${CMAKE_DL_LIBS})
  target_link_libraries(${target} PRIVATE -Wl,--no-as-needed vqlogin8 -Wl,--as-needed)  # login prompt, beside the driver
  target_link_options(${target} PRIVATE
    -Wl,--version-script=${ARG_MAP} -Wl,-Bsymbolic-functions -Wl,--no-undefined
    -Wl,--enable-new-dtags)
endfunction()
