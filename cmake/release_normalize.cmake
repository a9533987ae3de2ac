# Run by CPack once the zip is made: its members are put in name order, and
# every time in it becomes SOURCE_DATE_EPOCH or else the commit's time, with
# Debian's tool for reproducible builds. The zip's bytes then depend on the
# commit alone, not on the folder's listing order or the build's clock.
set(epoch $ENV{SOURCE_DATE_EPOCH})
if(NOT epoch)
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CPACK_STARTER_SOURCE_DIR}
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endif()
foreach(package ${CPACK_PACKAGE_FILES})
  execute_process(COMMAND strip-nondeterminism --type zip --timestamp ${epoch} ${package}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
