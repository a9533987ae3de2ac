# The release's one time, in seconds since 1970: SOURCE_DATE_EPOCH, else the
# time of the commit checked out in the source folder, else 1980-01-01, the
# first time a zip or a cabinet can hold. Every time in the zips and the
# package is this one.
#   include()d:                     release_epoch(<variable> <source folder>)
#   cmake -DSOURCE=<folder> -P ...: prints it, for the scripts
function(release_epoch variable source)
  if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(epoch $ENV{SOURCE_DATE_EPOCH})
  else()
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${source}
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE no_commit ERROR_QUIET)
    if(no_commit OR NOT epoch)
      set(epoch 315532800)
    endif()
  endif()
  set(${variable} ${epoch} PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  release_epoch(epoch ${SOURCE})
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo ${epoch})
endif()
