# Builds the Windows Installer package from release/starter.wxs with wixl, so
# that the same inputs always give the same bytes:
#   - the ProductCode is a name-based UUID of the version and architecture, and
#     the PackageCode one of the package's inputs, since wixl draws both at random;
#   - wixl has no component conditions and no secure properties, so msibuild
#     gives the two ServiceInstall components theirs, by STARTTYPE, and lets
#     LISTFILE, STARTTYPE and INSTALLFOLDER pass from the command line to the
#     installation that runs as SYSTEM;
#   - wixl stamps the summary information with the build time, and the cabinet
#     with the files' times: both become EPOCH.
# Run with -DSOURCE=<source dir> -DPROGRAMS=<folder with starter.exe and
# starter-check.exe> -DVERSION=<x.y.z> -DARCH=<x86|x64> -DEPOCH=<seconds>
# -DOUT=<package path>.
cmake_policy(VERSION 3.21)
set(upgrade_code 6f1c2e0a-3b5d-5e8f-9a1c-7d4e2b6f8a30)  # as in starter.wxs, for ever
set(description "Starts the programs listed in starter.dat beside starter.exe, once, then stops.")
set(stage ${OUT}.stage)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
set(inputs "${VERSION} ${ARCH}")
foreach(name starter.exe starter-check.exe)
  file(COPY ${PROGRAMS}/${name} DESTINATION ${stage})
  file(SHA256 ${stage}/${name} hash)
  string(APPEND inputs " ${hash}")
endforeach()
file(SHA256 ${SOURCE}/release/starter.wxs hash)
file(SHA256 ${CMAKE_CURRENT_LIST_FILE} recipe)
string(APPEND inputs " ${hash} ${recipe}")
string(UUID product_code NAMESPACE ${upgrade_code} NAME "product ${VERSION} ${ARCH}" TYPE SHA1 UPPER)
string(UUID package_code NAMESPACE ${upgrade_code} NAME "package ${inputs}" TYPE SHA1 UPPER)
execute_process(COMMAND touch -d @${EPOCH} ${stage}/starter.exe ${stage}/starter-check.exe
                COMMAND_ERROR_IS_FATAL ANY)

if(ARCH STREQUAL x86)
  set(template "Intel;1033")
  set(system_folder SystemFolder)
else()
  set(template "x64;1033")
  set(system_folder System64Folder)
endif()

# The clock itself: string(TIMESTAMP) would answer SOURCE_DATE_EPOCH.
execute_process(COMMAND date +%s OUTPUT_VARIABLE started OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                        wixl -a ${ARCH} -D Version=${VERSION} -D ProductCode={${product_code}}
                        -D PackageCode={${package_code}} -D Programs=. -D SystemFolder=${system_folder}
                        -D "Description=${description}" -o ${OUT}.new ${SOURCE}/release/starter.wxs
                WORKING_DIRECTORY ${stage} COMMAND_ERROR_IS_FATAL ANY)  # wixl finds relative paths only
execute_process(COMMAND date +%s OUTPUT_VARIABLE finished OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND msibuild ${OUT}.new -q
                        "UPDATE `Component` SET `Condition` = 'NOT STARTTYPE=\"auto\"' WHERE `Component` = 'StartOnDemand'"
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND msibuild ${OUT}.new -q
                        "UPDATE `Component` SET `Condition` = 'STARTTYPE=\"auto\"' WHERE `Component` = 'StartAtBoot'"
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND msibuild ${OUT}.new -q
                        "UPDATE `Property` SET `Value` = 'LISTFILE;STARTTYPE;INSTALLFOLDER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE `Property` = 'SecureCustomProperties'"
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND msibuild ${OUT}.new -s "Corvane Remote Starter ${VERSION}" Corvane
                        "${template}" {${package_code}}
                COMMAND_ERROR_IS_FATAL ANY)
# The two times of the summary information, FILETIMEs of a second of the build.
execute_process(COMMAND python3 -c [=[
import sys
path, started, finished, epoch = sys.argv[1], *map(int, sys.argv[2:])
def filetime(t): return ((t + 11644473600) * 10**7).to_bytes(8, "little")
data = open(path, "rb").read()
found = 0
for t in range(started - 1, finished + 2):
    found += data.count(filetime(t))
    data = data.replace(filetime(t), filetime(epoch))
if found != 2:
    sys.exit(f"release_msi: {found} build times in {path}, not the summary's two")
open(path, "wb").write(data)
]=] ${OUT}.new ${started} ${finished} ${EPOCH} COMMAND_ERROR_IS_FATAL ANY)
file(RENAME ${OUT}.new ${OUT})
file(REMOVE_RECURSE ${stage})
