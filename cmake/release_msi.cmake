# Builds the Windows Installer package from release/starter.wxs with wixl, so
# that the same inputs always give the same bytes:
#   - the ProductCode is a name-based UUID of the version and architecture, and
#     the PackageCode one of the package's inputs, since wixl draws both at random;
#   - wixl writes neither actions that run a program from the Binary table, nor
#     the MoveFile table, nor file versions, nor secure properties, nor where
#     RemoveExistingProducts runs: msibuild adds them;
#   - wixl stamps the summary information with the build time, and the cabinet
#     with the files' times: both become EPOCH.
# Run with -DSOURCE=<source dir> -DPROGRAMS=<folder with starter.exe,
# starter-check.exe, starter-setup.exe and package-actions.dll> -DVERSION=<x.y.z> -DFILE_VERSION=<the
# programs' a.b.c.d> -DARCH=<x86|x64> -DEPOCH=<seconds> -DOUT=<package path>.
cmake_policy(VERSION 3.21)
set(upgrade_code 6f1c2e0a-3b5d-5e8f-9a1c-7d4e2b6f8a30)  # as in starter.wxs, for ever
set(description "Starts the programs listed in starter.dat beside starter.exe, once, then stops.")
set(stage ${OUT}.stage)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
set(inputs "${VERSION} ${FILE_VERSION} ${ARCH}")
foreach(name starter.exe starter-check.exe starter-setup.exe package-actions.dll)
  file(COPY ${PROGRAMS}/${name} DESTINATION ${stage})
  file(SHA256 ${stage}/${name} hash)
  string(APPEND inputs " ${hash}")
endforeach()
file(SHA256 ${SOURCE}/release/starter.wxs hash)
file(SHA256 ${CMAKE_CURRENT_LIST_FILE} recipe)
file(SHA256 ${SOURCE}/cmake/msi_build_times.py times)
string(APPEND inputs " ${hash} ${recipe} ${times}")
string(UUID product_code NAMESPACE ${upgrade_code} NAME "product ${VERSION} ${ARCH}" TYPE SHA1 UPPER)
string(UUID package_code NAMESPACE ${upgrade_code} NAME "package ${inputs}" TYPE SHA1 UPPER)
execute_process(COMMAND touch -d @${EPOCH} ${stage}/starter.exe ${stage}/starter-check.exe
                        ${stage}/starter-setup.exe ${stage}/package-actions.dll
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
function(msi_query query)
  execute_process(COMMAND msibuild ${OUT}.new -q "${query}" COMMAND_ERROR_IS_FATAL ANY)
endfunction()
# Only the start type may come from a user who is not an administrator, as in
# an assigned installation: never the list, which runs as LocalSystem.
msi_query("UPDATE `Property` SET `Value` = 'STARTTYPE;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE `Property` = 'SecureCustomProperties'")
# Inside the transaction, so that a failed upgrade rolls back to the old version.
msi_query("UPDATE `InstallExecuteSequence` SET `Sequence` = 1501 WHERE `Action` = 'RemoveExistingProducts'")
# The actions of package-actions.dll (PackageActions), each of which writes
# its reasons into the log. Immediate (type 1), before anything changes: the
# properties, before the start type an upgrade keeps is filled in, then the
# folder rule and the list, which also give the deferred ones what they need.
function(msi_action name type source target condition sequence)
  msi_query("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('${name}', ${type}, '${source}', '${target}')")
  msi_query("INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('${name}', '${condition}', ${sequence})")
endfunction()
set(installing "NOT REMOVE~=\"ALL\"")
msi_action(CheckProperties 1 PackageActions CheckProperties "" 105)
msi_action(JudgeFolder 1 PackageActions JudgeFolder "${installing}" 1030)
# Deferred, as SYSTEM (3073), each failure rolling back the installation: the
# folder made and given to Administrators and SYSTEM alone, then judged
# again; the job brought in, with a rollback (3329) that puts the old one
# back and a commit (3585) that lets the old one go; the start type and the
# audit once the service is registered.
msi_action(PrepareFolder 3073 PackageActions PrepareFolder "${installing}" 3690)
msi_action(UndoJob 3329 PackageActions UndoJob "ListSource AND ${installing}" 3797)
msi_action(BringJob 3073 PackageActions BringJob "ListSource AND ${installing}" 3798)
msi_action(KeepJob 3585 PackageActions KeepJob "ListSource AND ${installing}" 3799)
msi_action(SetStartType 3073 PackageActions SetStartType "${installing}" 5810)
msi_action(AuditInstallation 3073 PackageActions AuditInstallation "${installing}" 5820)
# A removal that is no upgrade's: the job no longer runs on the machine.
msi_action(ForgetJob 3073 PackageActions ForgetJob "REMOVE~=\"ALL\" AND NOT UPGRADINGPRODUCTCODE" 3610)
# STARTSERVICE: the service started once the installation has ended, by
# starter-setup.exe (Setup), which waits for Windows Installer to be free: 194,
# a program from the Binary table that runs on after the installation, whose
# exit is not waited for.
msi_action(StartServiceOnce 194 Setup "start --after-installer" "STARTSERVICE AND ${installing}" 6700)
# Versions, so that files are replaced by version, not by date.
foreach(file starter.exe starter_check.exe)
  msi_query("UPDATE `File` SET `Version` = '${FILE_VERSION}' WHERE `File` = '${file}'")
endforeach()
execute_process(COMMAND msibuild ${OUT}.new -s "Corvane Remote Starter ${VERSION}" Corvane
                        "${template}" {${package_code}}
                COMMAND_ERROR_IS_FATAL ANY)
# The two times of the summary information, FILETIMEs of a second of the build.
execute_process(COMMAND python3 ${SOURCE}/cmake/msi_build_times.py ${OUT}.new ${started} ${finished}
                        ${EPOCH} COMMAND_ERROR_IS_FATAL ANY)
file(RENAME ${OUT}.new ${OUT})
file(REMOVE_RECURSE ${stage})
