@echo off
rem Removes the Corvane Remote Starter service, from an elevated command prompt:
rem   uninstall.cmd [/purge]
rem The folder it was installed in is read from its registration. It is left in
rem place, with its list, unless /purge is given: then, when the folder rule
rem accepts the folder, the installation's own files go, and the folder too
rem when nothing else is in it.
setlocal DisableDelayedExpansion
set "SERVICE=Corvane Remote Starter"
set "KEY=HKLM\SYSTEM\CurrentControlSet\Services\%SERVICE%"
set "HERE=%~dp0"
rem System tools by their full path: cmd.exe would look in the current directory first.
set "SYSTEM=%SystemRoot%\System32"
set "PURGE="
:arguments
if "%~1"=="" goto parsed
if "%~1"=="/?" goto usage
if "%~1"=="-?" goto usage
if /i "%~1"=="/h" goto usage
if /i "%~1"=="/help" goto usage
if /i not "%~1"=="/purge" goto unknown_argument
set "PURGE=1"
shift
goto arguments
:parsed

copy /y nul "%SystemRoot%\corvane-uninstall.tmp" >nul 2>&1
if errorlevel 1 goto not_elevated
del "%SystemRoot%\corvane-uninstall.tmp" >nul 2>&1
if defined PURGE if not exist "%HERE%starter-check.exe" goto no_checker

"%SYSTEM%\sc.exe" query "%SERVICE%" >nul 2>&1
if errorlevel 1 goto not_installed
set "IMAGE="
for /f "tokens=2,*" %%a in ('call "%%SYSTEM%%\reg.exe" query "%%KEY%%" /v ImagePath 2^>nul ^| "%%SYSTEM%%\find.exe" "ImagePath"') do set "IMAGE=%%b"
if defined IMAGE set "IMAGE=%IMAGE:"=%"
set "FOLDER="
if defined IMAGE for %%I in ("%IMAGE%") do set "FOLDER=%%~dpI"
if defined FOLDER set "FOLDER=%FOLDER:~0,-1%"

rem A service still working through its list refuses a stop: wait until it is done.
"%SYSTEM%\sc.exe" stop "%SERVICE%" >nul 2>&1
set /a "WAITED=0"
:wait_for_stop
"%SYSTEM%\sc.exe" query "%SERVICE%" | "%SYSTEM%\find.exe" "STOPPED" >nul
if not errorlevel 1 goto stopped
if %WAITED%==0 echo uninstall: waiting, up to 120 s, for the service to finish its list
if %WAITED% geq 120 goto still_running
"%SYSTEM%\ping.exe" -n 2 127.0.0.1 >nul
set /a "WAITED+=1"
goto wait_for_stop
:stopped
"%SYSTEM%\sc.exe" delete "%SERVICE%" >nul
if errorlevel 1 goto delete_failed
echo uninstall: removed the service "%SERVICE%"
if not defined FOLDER goto no_folder
if not exist "%FOLDER%\" goto folder_gone
if defined PURGE goto purge
set "WITH="
if exist "%FOLDER%\starter.dat" set "WITH=, with its list"
echo uninstall: "%FOLDER%" was left in place%WITH%. install.cmd takes it back as it is;
echo   to remove it, delete it from an elevated prompt: rmdir /s /q "%FOLDER%"
exit /b 0

rem Nothing goes from a folder the folder rule refuses: a file of ours by name
rem there may be anyone's. Otherwise the installation's own files go, and the
rem folder with them by rmdir, which never takes a folder that still holds
rem anything.
:purge
"%HERE%starter-check.exe" --source-folder "%HERE%." >nul
if errorlevel 1 goto source_refused
"%HERE%starter-check.exe" --service-folder "%FOLDER%" --purge
if errorlevel 1 goto purge_refused
rem The files the list names go first, while the list is there to name them.
if exist "%FOLDER%\starter.dat" for /f "delims=" %%N in ('call "%%HERE%%starter-check.exe" --listed-files --exe "%%FOLDER%%\starter.exe" "%%FOLDER%%\starter.dat"') do if exist "%FOLDER%\%%N" del /f /q "%FOLDER%\%%N"
set "OWN=starter.exe starter-check.exe starter.dat starter.exe.new starter-check.exe.new starter.dat.new"
for %%N in (%OWN%) do if exist "%FOLDER%\%%N" del /f /q "%FOLDER%\%%N"
for %%N in (%OWN%) do if exist "%FOLDER%\%%N" goto purge_failed
rmdir "%FOLDER%" 2>nul
if exist "%FOLDER%\" goto purge_kept
echo uninstall: removed "%FOLDER%"
exit /b 0

:not_installed
echo uninstall: "%SERVICE%" is not installed; nothing to remove
if defined PURGE echo uninstall: a folder an earlier removal left is no longer known to it: install.cmd takes it back as it is, or delete it with rmdir /s /q
exit /b 0
:no_folder
echo uninstall: the service had no image path, so no folder to name
exit /b 0
:folder_gone
echo uninstall: its folder "%FOLDER%" no longer exists
exit /b 0
:usage
echo usage: uninstall.cmd [/purge]
echo   Stops and removes the service, once it has finished its list. Its folder,
echo   found from its registration, is left in place with its list, unless /purge:
echo   then, if the folder rule accepts the folder, the installation's files, with
echo   the files its list names, go, and the folder too if nothing else is in it.
exit /b 0
:unknown_argument
echo uninstall: unknown argument "%~1"; uninstall.cmd /? shows the usage
exit /b 1
:not_elevated
echo uninstall: run this from an elevated command prompt (Run as administrator)
exit /b 1
:no_checker
echo uninstall: /purge needs starter-check.exe beside this script, to judge the folder; nothing was removed
exit /b 1
:still_running
echo uninstall: the service is still working through its list after 120 s; nothing was removed, try again later
exit /b 1
:delete_failed
echo uninstall: sc delete failed
exit /b 1
:source_refused
"%HERE%starter-check.exe" --source-folder "%HERE%."
echo uninstall: run it from a folder that only administrators can change; the service is removed, its folder was left
exit /b 1
:purge_refused
echo uninstall: the service is removed, but nothing was removed from "%FOLDER%" (see the line above)
exit /b 1
:purge_kept
echo uninstall: removed the installation's files from "%FOLDER%"; the folder and all else in it were left (see the line above)
exit /b 1
:purge_failed
echo uninstall: the service is removed, but "%FOLDER%" could not be removed entirely
exit /b 1
