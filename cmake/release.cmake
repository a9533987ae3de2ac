# The release, made by CPack: corvane-remote-starter-<version>-win32.zip, the
# stripped programs with the operator's files, and ...-win32-symbols.zip, their
# debugging information (win64 for the test build of machines that cannot run
# 32-bit code). scripts/package.sh builds both twice and compares the bytes.

# No link time in the binaries (nor, see CMakeLists.txt, a build path): the
# same commit gives the same bytes wherever and whenever it is built.
foreach(program starter starter-check starter-setup package-actions)
  target_link_options(${program} PRIVATE -Wl,--no-insert-timestamp)
endforeach()

set(release_dir ${CMAKE_BINARY_DIR}/release)
set(release_files starter.exe starter-check.exe starter-setup.exe README.txt THIRD-PARTY-NOTICES.txt
                  starter.dat.example install.cmd uninstall.cmd SHA256SUMS)
set(symbol_files starter.exe.debug starter-check.exe.debug starter-setup.exe.debug
                 package-actions.dll.debug)
list(TRANSFORM release_files PREPEND ${release_dir}/ OUTPUT_VARIABLE release_paths)
list(TRANSFORM symbol_files PREPEND ${release_dir}/ OUTPUT_VARIABLE symbol_paths)
add_custom_command(
  OUTPUT ${release_paths} ${symbol_paths} ${release_dir}/package-actions.dll
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DOUT=${release_dir}
          -DSTARTER=$<TARGET_FILE:starter> -DCHECKER=$<TARGET_FILE:starter-check>
          -DSETUP=$<TARGET_FILE:starter-setup> -DACTIONS=$<TARGET_FILE:package-actions>
          -DOBJCOPY=${CMAKE_OBJCOPY} -DCOMPILER=${CMAKE_CXX_COMPILER}
          -P ${CMAKE_SOURCE_DIR}/cmake/release_files.cmake
  DEPENDS starter starter-check starter-setup package-actions ${CMAKE_SOURCE_DIR}/docs/install.md
          ${CMAKE_SOURCE_DIR}/docs/launch-list.md ${CMAKE_SOURCE_DIR}/docs/starter-check.md
          ${CMAKE_SOURCE_DIR}/docs/fleet.md ${CMAKE_SOURCE_DIR}/docs/troubleshooting.md
          ${CMAKE_SOURCE_DIR}/release/starter.dat.example ${CMAKE_SOURCE_DIR}/release/install.cmd
          ${CMAKE_SOURCE_DIR}/release/uninstall.cmd ${CMAKE_SOURCE_DIR}/cmake/release_files.cmake
          ${CMAKE_SOURCE_DIR}/cmake/readme_txt.py)
add_custom_target(release_files ALL DEPENDS ${release_paths} ${symbol_paths})

# cpack installs what is built; the tests need not be built for a release.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
install(FILES ${release_paths} DESTINATION . COMPONENT release)
install(FILES ${symbol_paths} DESTINATION . COMPONENT symbols)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(release_system win32)
  set(msi_arch x86)
else()
  set(release_system win64)
  set(msi_arch x64)
endif()

# The Windows Installer package, from the stripped programs, and for the tests
# one of the next version, to upgrade to, built by the target test_packages
# only. The release's time is worked out once, here, for the package and the zips.
include(${CMAKE_SOURCE_DIR}/cmake/release_epoch.cmake)
release_epoch(release_epoch ${CMAKE_SOURCE_DIR})
math(EXPR next_patch "${PROJECT_VERSION_PATCH} + 1")
set(next_version ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${next_patch})
set(release_msi ${CMAKE_BINARY_DIR}/corvane-remote-starter-${PROJECT_VERSION}-${release_system}.msi)
set(next_msi ${CMAKE_BINARY_DIR}/test/corvane-remote-starter-${next_version}-${release_system}.msi)
foreach(package release next)
  set(version ${PROJECT_VERSION})
  if(package STREQUAL next)
    set(version ${next_version})
  endif()
  add_custom_command(
    OUTPUT ${${package}_msi}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/test
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DPROGRAMS=${release_dir}
            -DVERSION=${version} -DFILE_VERSION=${PROJECT_VERSION}.0 -DARCH=${msi_arch}
            -DEPOCH=${release_epoch}
            -DOUT=${${package}_msi} -P ${CMAKE_SOURCE_DIR}/cmake/release_msi.cmake
    DEPENDS release_files ${release_dir}/starter.exe ${release_dir}/starter-check.exe
            ${release_dir}/starter-setup.exe ${release_dir}/package-actions.dll
            ${CMAKE_SOURCE_DIR}/release/starter.wxs ${CMAKE_SOURCE_DIR}/cmake/release_msi.cmake
            ${CMAKE_SOURCE_DIR}/cmake/msi_build_times.py)
endforeach()
add_custom_target(release_msi ALL DEPENDS ${release_msi})
add_custom_target(test_packages DEPENDS ${next_msi})
set(release_name corvane-remote-starter-${PROJECT_VERSION}-${release_system})
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME corvane-remote-starter)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL release symbols)
set(CPACK_ARCHIVE_RELEASE_FILE_NAME ${release_name})
set(CPACK_ARCHIVE_SYMBOLS_FILE_NAME ${release_name}-symbols)
set(release_zip ${CMAKE_BINARY_DIR}/${release_name}.zip)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/release_normalize.cmake)
set(CPACK_STARTER_EPOCH ${release_epoch})
include(CPack)
