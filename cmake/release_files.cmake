# Makes the release's text files and their checksums, in OUT:
#   README.txt               the operator's part of README.md, with CR LF line ends
#   starter.dat, *.cmd       copied from release/ with CR LF line ends
#   SHA256SUMS               "<hash> *<name>" for every other file of the zip
# Run with -DSOURCE=<source dir> -DOUT=<folder> -DSTARTER=<starter.exe> -DCHECKER=<starter-check.exe>.
file(MAKE_DIRECTORY ${OUT})

function(write_crlf name text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${OUT}/${name} "${text}")
endfunction()

# The operator's part ends where the sections for developers begin.
file(READ ${SOURCE}/README.md readme)
string(FIND "${readme}" "## Building only the executables" end)
string(SUBSTRING "${readme}" 0 ${end} readme)
write_crlf(README.txt "${readme}")
foreach(name starter.dat install.cmd uninstall.cmd)
  file(READ ${SOURCE}/release/${name} text)
  write_crlf(${name} "${text}")
endforeach()

set(sums "")
foreach(path ${STARTER} ${CHECKER} ${OUT}/README.txt ${OUT}/install.cmd ${OUT}/starter.dat
             ${OUT}/uninstall.cmd)
  file(SHA256 ${path} hash)
  get_filename_component(name ${path} NAME)
  string(APPEND sums "${hash} *${name}\n")
endforeach()
file(WRITE ${OUT}/SHA256SUMS "${sums}")
