# Makes the release's files in OUT:
#   starter.exe, starter-check.exe,  stripped, each with a .gnu_debuglink to
#   starter-setup.exe, *.exe.debug   its debugging information, for the symbols zip
#   README.txt                       the operator's guide, the operators' pages of docs/,
#                                    by readme_txt.py
#   THIRD-PARTY-NOTICES.txt          the copyright files of the packages whose
#                                    libraries are linked into the programs
#   starter.dat.example, *.cmd       copied from release/ with CR LF line ends
#   SHA256SUMS                       "<hash> *<name>" for every other file of the zip
# and package-actions.dll, stripped too, for the Windows Installer package only.
# Run with -DSOURCE=<source dir> -DOUT=<folder> -DSTARTER=<starter.exe>
# -DCHECKER=<starter-check.exe> -DSETUP=<starter-setup.exe>
# -DACTIONS=<package-actions.dll> -DOBJCOPY=<objcopy> -DCOMPILER=<the C++ compiler>.
cmake_policy(VERSION 3.21)
file(MAKE_DIRECTORY ${OUT})

function(write_crlf name text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${OUT}/${name} "${text}")
endfunction()

foreach(program ${STARTER} ${CHECKER} ${SETUP} ${ACTIONS})
  get_filename_component(name ${program} NAME)
  # objcopy stamps a PE file with the time unless told one: the link left none.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
                          ${OBJCOPY} --only-keep-debug ${program} ${name}.debug
                  WORKING_DIRECTORY ${OUT} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
                          ${OBJCOPY} --strip-all --add-gnu-debuglink=${name}.debug ${program}
                          ${name}
                  WORKING_DIRECTORY ${OUT} COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# The operator's guide: the operators' pages, whole, in order, as Notepad shows them.
execute_process(COMMAND python3 ${SOURCE}/cmake/readme_txt.py ${SOURCE} ${OUT}/README.txt
                COMMAND_ERROR_IS_FATAL ANY)

# What is linked in statically comes from these packages of the build machine.
string(CONCAT notices "Corvane Remote Starter links the following libraries into starter.exe and\n"
       "starter-check.exe and starter-setup.exe. Their copyright and licence notices follow, as the\n"
       "packages they were built from state them.\n")
set(packages "")
foreach(library libstdc++.a libgcc.a libgcc_eh.a libwinpthread.a libmingwex.a libmingw32.a
                libmsvcrt.a)
  execute_process(COMMAND ${COMPILER} -print-file-name=${library} OUTPUT_VARIABLE path
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  get_filename_component(path ${path} REALPATH)
  execute_process(COMMAND dpkg-query -S ${path} OUTPUT_VARIABLE owner
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX REPLACE ":.*" "" package "${owner}")
  list(APPEND packages_${package} ${library})
  list(APPEND packages ${package})
endforeach()
list(REMOVE_DUPLICATES packages)
set(seen "")
foreach(package ${packages})
  execute_process(COMMAND dpkg-query -W "-f=\${Version}" ${package} OUTPUT_VARIABLE version
                  COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE ";" ", " libraries "${packages_${package}}")
  file(READ /usr/share/doc/${package}/copyright copyright)
  string(SHA256 hash "${copyright}")
  string(APPEND notices "\n${package} ${version} (${libraries})\n"
                        "==============================================================\n")
  if(hash IN_LIST seen)
    string(APPEND notices "The same notices as the package above.\n")
  else()
    string(APPEND notices "${copyright}")
    list(APPEND seen ${hash})
  endif()
endforeach()
write_crlf(THIRD-PARTY-NOTICES.txt "${notices}")

foreach(name starter.dat.example install.cmd uninstall.cmd)
  file(READ ${SOURCE}/release/${name} text)
  write_crlf(${name} "${text}")
endforeach()

set(sums "")
foreach(name starter.exe starter-check.exe starter-setup.exe README.txt THIRD-PARTY-NOTICES.txt
             install.cmd
             starter.dat.example uninstall.cmd)
  file(SHA256 ${OUT}/${name} hash)
  string(APPEND sums "${hash} *${name}\n")
endforeach()
file(WRITE ${OUT}/SHA256SUMS "${sums}")
