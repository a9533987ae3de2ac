# Run by CPack once the zip is made: its members are put in name order, and
# every time in it becomes the release's time (cmake/release_epoch.cmake), with
# Debian's tool for reproducible builds. The zip's bytes then depend on the
# commit alone, not on the folder's listing order or the build's clock.
foreach(package ${CPACK_PACKAGE_FILES})
  execute_process(COMMAND strip-nondeterminism --type zip --timestamp ${CPACK_STARTER_EPOCH} ${package}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
