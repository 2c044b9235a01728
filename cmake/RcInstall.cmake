# What both programs' folders use to install themselves: the install folders
# (GNUInstallDirs), programs, manual pages generated from --help, and the
# description of each Debian package (written out by RcPackages.cmake).
include(GNUInstallDirs)

# Builds everything the packages hold and nothing else (no tests, benchmarks or
# fuzzers). scripts/package builds it and installs with
# CMAKE_SKIP_INSTALL_ALL_DEPENDENCY, so packaging is not a second full build.
add_custom_target(rc_packaged)

set(RC_MAN_PAGES AUTO CACHE STRING
    "Manual pages from the programs' --help with help2man: ON, OFF or AUTO (when help2man is found)")
set_property(CACHE RC_MAN_PAGES PROPERTY STRINGS ON OFF AUTO)
set(RC_MAN_PAGE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/write_man_page.cmake)
if(NOT RC_MAN_PAGES STREQUAL "OFF")
  find_program(RC_HELP2MAN help2man)
  find_program(RC_GZIP gzip)
  if(NOT RC_HELP2MAN OR NOT RC_GZIP)
    if(RC_MAN_PAGES STREQUAL "ON")
      message(FATAL_ERROR "RC_MAN_PAGES=ON needs help2man and gzip (scripts/setup installs them)")
    endif()
    message(STATUS "help2man not found: the manual pages are not built")
  endif()
endif()

# rc_install_programs(COMPONENT TARGET...): the programs into bin/, in the package
# COMPONENT.
function(rc_install_programs component)
  install(TARGETS ${ARGN} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  add_dependencies(rc_packaged ${ARGN})
  set_property(GLOBAL APPEND PROPERTY RC_PROGRAMS_${component} ${ARGN})
endfunction()

# rc_add_man_page(TARGET COMPONENT INCLUDE_FILE): TARGET(1), made by help2man from
# the program's --help (and each command's --help) and the hand-written sections
# of INCLUDE_FILE, compressed and installed with the program. The version shown is
# the calling project's.
function(rc_add_man_page target component include_file)
  if(RC_MAN_PAGES STREQUAL "OFF" OR NOT RC_HELP2MAN OR NOT RC_GZIP)
    return()
  endif()
  get_filename_component(include_file ${include_file} ABSOLUTE)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${target}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND}
      -DPROGRAM=$<TARGET_FILE:${target}>
      -DNAME=${target}
      -DVERSION=${PROJECT_VERSION}
      -DINCLUDE=${include_file}
      -DHELP2MAN=${RC_HELP2MAN}
      -DGZIP=${RC_GZIP}
      -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/man/${target}
      -DOUTPUT=${page}
      -P ${RC_MAN_PAGE_SCRIPT}
    DEPENDS ${target} ${include_file} ${RC_MAN_PAGE_SCRIPT}
    COMMENT "Manual page ${target}(1)"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page})
  add_dependencies(rc_packaged ${target}-man)
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

# rc_add_written_man_page(SOURCE COMPONENT): a manual page written by hand (for a
# program without --help), SOURCE named PAGE.SECTION.in; @PROJECT_VERSION@ in it
# becomes the calling project's version. Compressed and installed.
function(rc_add_written_man_page source component)
  get_filename_component(page_name ${source} NAME_WLE)
  if(NOT page_name MATCHES "\\.([1-9])$")
    message(FATAL_ERROR "rc_add_written_man_page: ${source} is not named PAGE.SECTION.in")
  endif()
  set(section ${CMAKE_MATCH_1})
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${page_name})
  configure_file(${source} ${page} @ONLY)
  if(NOT RC_GZIP)
    find_program(RC_GZIP gzip REQUIRED)
  endif()
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${RC_GZIP} -9 -n -c ${page} > ${page}.gz
    DEPENDS ${page}
    COMMENT "Manual page ${page_name}"
    VERBATIM)
  add_custom_target(${page_name}-man ALL DEPENDS ${page}.gz)
  add_dependencies(rc_packaged ${page_name}-man)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()

# rc_package(NAME COMPONENT VERSION SUMMARY DESCRIPTION [DEPENDS TEXT]
#            [RECOMMENDS TEXT]): a Debian package holding what was installed with
# COMPONENT. DESCRIPTION is the long description (paragraphs separated by an empty
# line); the shared libraries the programs need are added to DEPENDS when the
# package is built.
function(rc_package name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "COMPONENT;VERSION;SUMMARY;DESCRIPTION;SECTION;DEPENDS;RECOMMENDS" "")
  foreach(required COMPONENT VERSION SUMMARY DESCRIPTION)
    if(NOT arg_${required})
      message(FATAL_ERROR "rc_package(${name}): ${required} missing")
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY RC_PACKAGES ${name})
  foreach(field COMPONENT VERSION SUMMARY DESCRIPTION SECTION DEPENDS RECOMMENDS)
    set_property(GLOBAL PROPERTY RC_PACKAGE_${name}_${field} "${arg_${field}}")
  endforeach()
endfunction()
