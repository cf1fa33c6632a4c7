# quillmap_install_program(TARGET): installs the program TARGET into bin/ with its manual page.
# A program with a command line gets its page from help2man, which reads `TARGET --help` (lay
# it out as quillmap-index's: a "Usage:" line, options indented, an "Exit status:" block), with
# packaging/man/TARGET.h2m added when present (name line, an example, files). A program without
# a command line keeps a hand-written packaging/man/TARGET.1.
find_program(QUILLMAP_HELP2MAN help2man)
find_program(QUILLMAP_GZIP gzip REQUIRED)
# A sanitizer build's programs may report leaks at exit, which help2man takes for a failure.
if(QUILLMAP_HELP2MAN AND NOT QUILLMAP_SANITIZE)
  set(QUILLMAP_MAKE_MANPAGES ON)
else()
  set(QUILLMAP_MAKE_MANPAGES OFF)
endif()
if(NOT QUILLMAP_HELP2MAN)
  message(WARNING "help2man not found: the command-line programs get no manual pages")
endif()

function(quillmap_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(sources ${PROJECT_SOURCE_DIR}/packaging/man)
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  if(EXISTS ${sources}/${target}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E copy ${sources}/${target}.1 ${page}
      COMMAND ${QUILLMAP_GZIP} -9nf ${page}
      DEPENDS ${sources}/${target}.1 VERBATIM)
  elseif(QUILLMAP_MAKE_MANPAGES)
    set(include)
    set(extra)
    if(EXISTS ${sources}/${target}.h2m)
      set(extra ${sources}/${target}.h2m)
      set(include --include ${extra})
    endif()
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${QUILLMAP_HELP2MAN} --no-info --version-string=${PROJECT_VERSION}
              --source=Quillmap ${include} --output=${page} $<TARGET_FILE:${target}>
      COMMAND ${QUILLMAP_GZIP} -9nf ${page}
      DEPENDS ${target} ${extra} VERBATIM)
  else()
    return()
  endif()
  add_custom_target(${target}_manpage ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
