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
# starter-check.exe and set-start-type.exe> -DVERSION=<x.y.z> -DFILE_VERSION=<the
# programs' a.b.c.d> -DARCH=<x86|x64> -DEPOCH=<seconds> -DOUT=<package path>.
cmake_policy(VERSION 3.21)
set(upgrade_code 6f1c2e0a-3b5d-5e8f-9a1c-7d4e2b6f8a30)  # as in starter.wxs, for ever
set(description "Starts the programs listed in starter.dat beside starter.exe, once, then stops.")
set(stage ${OUT}.stage)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
set(inputs "${VERSION} ${FILE_VERSION} ${ARCH}")
foreach(name starter.exe starter-check.exe set-start-type.exe package-actions.dll)
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
                        ${stage}/set-start-type.exe ${stage}/package-actions.dll
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
# The folder rule, before anything changes: type 2, a program from the Binary
# table, whose exit status is checked. On a first installation or an upgrade
# it also needs the list to be readable.
msi_query("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('JudgeFolder', 2, 'FolderRule', '--service-folder \"[ServiceFolder].\" [FolderUse] --with-list \"[ListSource]\"')")
msi_query("INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('JudgeFolder', 'NOT REMOVE~=\"ALL\"', 1030)")
# Deferred, as SYSTEM (3074), each failure rolling back the installation: a
# new folder made for Administrators and SYSTEM alone in the call that makes
# it, before CreateFolders; the folder judged again once icacls has set its
# access, since the judgement above was made before anything changed; and the
# result audited once the service is registered.
msi_query("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('MakeFolder', 3074, 'FolderRule', '--service-folder \"[ServiceFolder].\" --create [FolderUse]')")
msi_query("INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('MakeFolder', 'NOT REMOVE~=\"ALL\"', 3690)")
msi_query("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('JudgeFolderAgain', 3074, 'FolderRule', '--service-folder \"[ServiceFolder].\" [FolderUse]')")
msi_query("INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('JudgeFolderAgain', 'NOT REMOVE~=\"ALL\"', 3740)")
msi_query("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('AuditInstallation', 3074, 'FolderRule', '--installed --fail-on installation')")
msi_query("INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('AuditInstallation', 'NOT REMOVE~=\"ALL\"', 5820)")
# The files the list names without a path, beside it: temporary MoveFile rows,
# by package-actions.dll (type 1), before the folder rule judges them.
msi_query("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('TakeListFiles', 1, 'PackageActions', 'TakeListFiles')")
msi_query("INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('TakeListFiles', 'ListSource AND NOT REMOVE~=\"ALL\"', 1020)")
# STARTSERVICE: the service started once the installation has ended, by the
# helper, which waits for Windows Installer to be free: 194, a program from the
# Binary table that runs on after the installation, whose exit is not waited for.
msi_query("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('StartServiceOnce', 194, 'StartType', 'start')")
msi_query("INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('StartServiceOnce', 'STARTSERVICE AND NOT REMOVE~=\"ALL\"', 6700)")
# The start type, once the service is registered: deferred, as SYSTEM (3074).
msi_query("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('ApplyStartType', 3074, 'StartType', '[STARTTYPE]')")
msi_query("INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('ApplyStartType', 'NOT REMOVE~=\"ALL\"', 5810)")
# The list: copied by Windows Installer from the full path in ListSource, which
# only a first installation or an upgrade sets, once the folder is restricted.
msi_query("CREATE TABLE `MoveFile` (`FileKey` CHAR(72) NOT NULL, `Component_` CHAR(72) NOT NULL, `SourceName` CHAR(255) LOCALIZABLE, `DestName` CHAR(255) LOCALIZABLE, `SourceFolder` CHAR(72), `DestFolder` CHAR(72) NOT NULL, `Options` INT NOT NULL PRIMARY KEY `FileKey`)")
msi_query("INSERT INTO `MoveFile` (`FileKey`, `Component_`, `DestName`, `SourceFolder`, `DestFolder`, `Options`) VALUES ('List', 'Service', 'starter.dat', 'ListSource', 'ServiceFolder', 0)")
msi_query("INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('MoveFiles', 3800)")
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
