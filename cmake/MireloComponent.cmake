include(CMakePackageConfigHelpers)

# Headers of mailcore that are part of both libraries' public interface.
set(MIRELO_SHARED_PUBLIC_HEADERS
  ${PROJECT_SOURCE_DIR}/mailcore/failure.h
  ${PROJECT_SOURCE_DIR}/mailcore/result_code.h)
# Users in the build tree see them where the installed tree has them, and nothing else of mailcore. Links,
# not copies: a file reached both ways stays one file for #pragma once.
set(MIRELO_SHARED_PUBLIC_INCLUDE ${PROJECT_BINARY_DIR}/public-include)
file(MAKE_DIRECTORY ${MIRELO_SHARED_PUBLIC_INCLUDE}/mailcore)
foreach(header ${MIRELO_SHARED_PUBLIC_HEADERS})
  get_filename_component(name ${header} NAME)
  file(CREATE_LINK ${header} ${MIRELO_SHARED_PUBLIC_INCLUDE}/mailcore/${name} SYMBOLIC)
endforeach()

# mirelo_component_library(<target> PACKAGE <Name> DESCRIPTION <text> LIBS <static libraries...>)
# One component shared library: its public headers in include/<target>/, only its own class exported, the
# static libraries inside hidden, and installed with a CMake package and a relocatable pkg-config file.
function(mirelo_component_library COMPONENT_TARGET)
  cmake_parse_arguments(C "" "PACKAGE;DESCRIPTION" "SOURCES;LIBS" ${ARGN})
  set(COMPONENT_PACKAGE ${C_PACKAGE})
  set(COMPONENT_DESCRIPTION ${C_DESCRIPTION})
  add_library(${COMPONENT_TARGET} SHARED ${C_SOURCES})
  target_link_libraries(${COMPONENT_TARGET} PRIVATE ${C_LIBS})
  target_include_directories(${COMPONENT_TARGET} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:${MIRELO_SHARED_PUBLIC_INCLUDE}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  set_target_properties(${COMPONENT_TARGET} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION 0
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  # Nothing of the static libraries inside may leak out through the dynamic symbol table.
  target_link_options(${COMPONENT_TARGET} PRIVATE -Wl,--exclude-libs,ALL)
  # clang leaves its sanitizer and coverage hooks to the program's runtime, so a fuzz build cannot insist.
  if(NOT MIRELO_FUZZ)
    target_link_options(${COMPONENT_TARGET} PRIVATE -Wl,--no-undefined)
  endif()

  set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${COMPONENT_PACKAGE})
  # Each library is an install component of its own name: `cmake --install --component inlark`.
  set(component COMPONENT ${COMPONENT_TARGET})
  install(TARGETS ${COMPONENT_TARGET} EXPORT ${COMPONENT_PACKAGE}Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} ${component}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(DIRECTORY include/${COMPONENT_TARGET} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} ${component})
  # The shared headers the public ones include: standard library only, the same files for both libraries.
  install(FILES ${MIRELO_SHARED_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mailcore ${component})
  install(EXPORT ${COMPONENT_PACKAGE}Targets NAMESPACE ${COMPONENT_PACKAGE}:: DESTINATION ${cmake_dir}
    ${component})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ComponentConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/${COMPONENT_PACKAGE}Config.cmake INSTALL_DESTINATION ${cmake_dir})
  write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/${COMPONENT_PACKAGE}ConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${COMPONENT_PACKAGE}Config.cmake
                ${CMAKE_CURRENT_BINARY_DIR}/${COMPONENT_PACKAGE}ConfigVersion.cmake
    DESTINATION ${cmake_dir} ${component})
  # Relative to the .pc file, so the installed tree can be moved.
  file(RELATIVE_PATH PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/component.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${COMPONENT_TARGET}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${COMPONENT_TARGET}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    ${component})
endfunction()
