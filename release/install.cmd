@echo off
rem Installs or updates Corvane Remote Starter, from an elevated command prompt:
rem   install.cmd [FOLDER] [/auto | /demand] [/start] [/force]
rem Every argument, the folder and the list beside this script are checked
rem before anything changes; a refusal leaves any installation exactly as it was.
rem No parenthesised blocks: a folder such as "C:\Program Files (x86)\X" would end them.
setlocal DisableDelayedExpansion
set "SERVICE=Corvane Remote Starter"
set "KEY=HKLM\SYSTEM\CurrentControlSet\Services\%SERVICE%"
set "DESCRIPTION=Starts the programs listed in starter.dat beside starter.exe, once, then stops."
set "HERE=%~dp0"
rem System tools by their full path: cmd.exe would look in the current directory first.
set "SYSTEM=%SystemRoot%\System32"
set "FOLDER="
set "START="
set "FORCE="
set "RUN="

:arguments
if "%~1"=="" goto parsed
if "%~1"=="/?" goto usage
if "%~1"=="-?" goto usage
if /i "%~1"=="/h" goto usage
if /i "%~1"=="/help" goto usage
if /i "%~1"=="/force" goto switch_force
if /i "%~1"=="/auto" goto switch_auto
if /i "%~1"=="/demand" goto switch_demand
if /i "%~1"=="/start" goto switch_start
set "ARGUMENT=%~1"
if "%ARGUMENT:~0,1%"=="/" goto unknown_switch
if "%ARGUMENT:~0,1%"=="-" goto unknown_switch
if defined FOLDER goto two_folders
set "FOLDER=%~1"
goto next
:switch_force
set "FORCE=1"
goto next
:switch_start
set "RUN=1"
goto next
:switch_auto
if defined START goto two_start_types
set "START=auto"
goto next
:switch_demand
if defined START goto two_start_types
set "START=demand"
:next
shift
goto arguments
:parsed
if not defined FOLDER set "FOLDER=%ProgramData%\CorvaneRemoteStarter"

rem 1. The folder, made absolute, without a trailing backslash. A quote would
rem end the quotes around it below ("set" prints it without cmd.exe parsing it
rem again); starter-check.exe judges everything else, in step 3.
set "CRS_CHECK_FOLDER=%FOLDER%"
set CRS_CHECK_FOLDER| "%SYSTEM%\find.exe" """" >nul
if not errorlevel 1 goto bad_character
for %%I in ("%FOLDER%") do set "FOLDER=%%~fI"
if "%FOLDER:~-1%"=="\" set "FOLDER=%FOLDER:~0,-1%"

rem 2. Only an administrator can write to the Windows folder. What this script
rem runs elevated and installs comes from its own folder, so no one else may be
rem able to change that folder, what it holds, or a folder above it.
copy /y nul "%SystemRoot%\corvane-install.tmp" >nul 2>&1
if errorlevel 1 goto not_elevated
del "%SystemRoot%\corvane-install.tmp" >nul 2>&1
if not exist "%HERE%starter.exe" goto no_executable
if not exist "%HERE%starter-check.exe" goto no_executable
"%HERE%starter-check.exe" --source-folder "%HERE%." >nul
if errorlevel 1 goto source_refused

rem 3. The folder rule: where no one but an administrator can change the folder
rem or what it holds, or rename or replace one above it, with room for every
rem name installed, a name the ANSI code page holds and cmd.exe and sc.exe
rem pass, and, unless the service is installed there already, nothing in it.
rem Then the list, if one lies beside this script, as the service at FOLDER
rem would read it here.
"%HERE%starter-check.exe" --service-folder "%FOLDER%"
if errorlevel 1 goto folder_refused
if not exist "%HERE%starter.dat" goto list_checked
echo install: checking starter.dat as "%FOLDER%\starter.exe" will read it, with the files it names from here
"%HERE%starter-check.exe" --fail-on error --exe "%FOLDER%\starter.exe" --files-from "%HERE%." "%HERE%starter.dat"
if errorlevel 2 goto list_unreadable
if errorlevel 1 if not defined FORCE goto list_has_errors
if errorlevel 1 echo install: /force: installing the list in spite of its errors
:list_checked

rem 4. An installed service is stopped, not deleted, and waited for: its files
rem cannot be replaced while it works through its list.
set "INSTALLED="
"%SYSTEM%\sc.exe" query "%SERVICE%" >nul 2>&1
if errorlevel 1 goto stopped
set "INSTALLED=1"
set "IMAGE="
for /f "tokens=2,*" %%a in ('call "%%SYSTEM%%\reg.exe" query "%%KEY%%" /v ImagePath 2^>nul ^| "%%SYSTEM%%\find.exe" "ImagePath"') do set "IMAGE=%%b"
if defined IMAGE set "IMAGE=%IMAGE:"=%"
set "OLD_START="
for /f "tokens=3" %%a in ('call "%%SYSTEM%%\reg.exe" query "%%KEY%%" /v Start 2^>nul ^| "%%SYSTEM%%\find.exe" "Start"') do set "OLD_START=%%a"
echo install: updating the installed service
"%SYSTEM%\sc.exe" stop "%SERVICE%" >nul 2>&1
set /a "WAITED=0"
:wait_for_stop
"%SYSTEM%\sc.exe" query "%SERVICE%" | "%SYSTEM%\find.exe" "STOPPED" >nul
if not errorlevel 1 goto stopped
if %WAITED%==0 echo install: waiting, up to 120 s, for the service to finish its list
if %WAITED% geq 120 goto still_running
"%SYSTEM%\ping.exe" -n 2 127.0.0.1 >nul
set /a "WAITED+=1"
goto wait_for_stop
:stopped

rem 5. Anyone who can write the list or the executable can run any program as
rem LocalSystem. So before anything goes in: a new folder is made for
rem Administrators and SYSTEM alone, in the call that makes it; then they own
rem the folder and all in it, every other entry goes, and only they keep
rem access, which files and subfolders inherit.
"%HERE%starter-check.exe" --service-folder "%FOLDER%" --create >nul
if errorlevel 1 goto create_folder_failed
"%SYSTEM%\icacls.exe" "%FOLDER%" /setowner *S-1-5-32-544 /T /Q >nul
if errorlevel 1 goto restrict_failed
"%SYSTEM%\icacls.exe" "%FOLDER%" /reset /T /Q >nul
if errorlevel 1 goto restrict_failed
"%SYSTEM%\icacls.exe" "%FOLDER%" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F /Q >nul
if errorlevel 1 goto restrict_failed
rem Judged again, now that no one else can add to it: what got in between
rem step 3 and the restriction would still be there.
"%HERE%starter-check.exe" --service-folder "%FOLDER%" >nul
if errorlevel 1 goto changed_meanwhile

rem 6. Each file goes in under a temporary name and then takes the place of the
rem old one, so a copy that fails leaves the old file. The list is copied only
rem when one lies beside this script: an installed list is never replaced by
rem one the administrator did not hand over. With it go the files it names
rem without a path, its patches and bare programs, that lie beside it too.
set "NAME=starter.exe"
call :replace
if errorlevel 1 goto copy_failed
set "NAME=starter-check.exe"
call :replace
if errorlevel 1 goto copy_failed
if not exist "%HERE%starter.dat" goto copied
set "NAME=starter.dat"
call :replace
if errorlevel 1 goto copy_failed
set "TAKE_FAILED="
for /f "delims=" %%N in ('call "%%HERE%%starter-check.exe" --listed-files --exe "%%FOLDER%%\starter.exe" "%%HERE%%starter.dat"') do call :take "%%N"
if defined TAKE_FAILED goto copy_failed
:copied

rem 7. The registration, in place. The service reports itself interactive, so
rem its registration says so too. The start type is kept unless one is given.
if defined INSTALLED goto update_registration
if not defined START set "START=demand"
"%SYSTEM%\sc.exe" create "%SERVICE%" binpath= "\"%FOLDER%\starter.exe\"" type= own type= interact start= %START% >nul
if errorlevel 1 goto create_failed
goto describe
:update_registration
set "WANTED_START=%OLD_START%"
if /i "%START%"=="auto" set "WANTED_START=0x2"
if /i "%START%"=="demand" set "WANTED_START=0x3"
if /i not "%IMAGE%"=="%FOLDER%\starter.exe" goto configure
if not "%WANTED_START%"=="%OLD_START%" goto configure
goto describe
:configure
if /i "%IMAGE%"=="%FOLDER%\starter.exe" goto configure_service
for %%I in ("%IMAGE%") do set "OLD_FOLDER=%%~dpI"
echo install: moving the service from "%OLD_FOLDER:~0,-1%"; its files there, its list too, stay
:configure_service
set "START_OPTION="
if defined START set "START_OPTION=start= %START%"
"%SYSTEM%\sc.exe" config "%SERVICE%" binpath= "\"%FOLDER%\starter.exe\"" type= own type= interact %START_OPTION% >nul
if errorlevel 1 goto config_failed
:describe
rem Wine's service manager can miss a service created a moment before; Windows
rem does not, so a second try costs nothing there.
"%SYSTEM%\sc.exe" description "%SERVICE%" "%DESCRIPTION%" >nul
if not errorlevel 1 goto described
"%SYSTEM%\ping.exe" -n 2 127.0.0.1 >nul
"%SYSTEM%\sc.exe" description "%SERVICE%" "%DESCRIPTION%" >nul
if errorlevel 1 goto description_failed
:described

rem 8. The result, audited as the service will find it: its registration,
rem account and access, and its folder by the folder rule. A new service that
rem fails it is removed again.
"%FOLDER%\starter-check.exe" --installed --fail-on installation >nul
if errorlevel 2 goto audit_failed

set "STARTS=on demand"
set "NOW_START="
for /f "tokens=3" %%a in ('call "%%SYSTEM%%\reg.exe" query "%%KEY%%" /v Start 2^>nul ^| "%%SYSTEM%%\find.exe" "Start"') do set "NOW_START=%%a"
if "%NOW_START%"=="0x2" set "STARTS=at every boot (auto)"
if "%NOW_START%"=="0x4" set "STARTS=never: it is disabled"
echo install: "%SERVICE%" is installed in "%FOLDER%", and starts %STARTS%
if not exist "%FOLDER%\starter.dat" echo install: it has no list yet: put starter.dat, and the files it names, beside this script and run it again
echo install: keep this folder: uninstall.cmd, here, removes the service
if defined RUN goto run_now
echo install: start it with: sc start "%SERVICE%"
echo install: sc start returns while the service works through its list (START_PENDING on
echo   Windows; Wine answers 1053); sc query then shows STOPPED, exit code 0, once it is done
exit /b 0
:run_now
rem Windows answers START_PENDING at once, Wine 1053 once the list is done:
rem either way the service has taken the request.
"%SYSTEM%\sc.exe" start "%SERVICE%" >nul
echo install: started; sc query "%SERVICE%" shows STOPPED, exit code 0, once every line is started
exit /b 0

rem Copies a file the list names from beside this script, when it lies here:
rem one that does not may be in FOLDER already, which the check has seen.
:take
if not exist "%HERE%%~1" exit /b 0
set "NAME=%~1"
call :replace
if errorlevel 1 set "TAKE_FAILED=1"
exit /b 0

rem Copies NAME from beside this script into FOLDER, through NAME.new, and
rem checks what arrived: a copy can print an error and still leave errorlevel 0.
:replace
copy /y "%HERE%%NAME%" "%FOLDER%\%NAME%.new" >nul
if errorlevel 1 exit /b 1
set "FROM=%HERE%%NAME%"
set "TO=%FOLDER%\%NAME%.new"
call :same
if errorlevel 1 goto replace_failed
move /y "%FOLDER%\%NAME%.new" "%FOLDER%\%NAME%" >nul
if errorlevel 1 goto replace_failed
if exist "%FOLDER%\%NAME%.new" goto replace_failed
set "TO=%FOLDER%\%NAME%"
call :same
exit /b %errorlevel%
:replace_failed
del "%FOLDER%\%NAME%.new" >nul 2>&1
exit /b 1

rem Whether TO is there and holds what FROM holds: the same size, and the same
rem bytes by fc.exe.
:same
if not exist "%TO%" exit /b 1
for %%I in ("%FROM%") do set "FROM_SIZE=%%~zI"
for %%I in ("%TO%") do set "TO_SIZE=%%~zI"
if not "%FROM_SIZE%"=="%TO_SIZE%" exit /b 1
"%SYSTEM%\fc.exe" /b "%FROM%" "%TO%" >nul
if errorlevel 1 exit /b 1
exit /b 0

:usage
echo usage: install.cmd [FOLDER] [/auto ^| /demand] [/start] [/force]
echo   Installs starter.exe and starter-check.exe, and starter.dat with the files it
echo   names if it lies beside this script, into FOLDER (default
echo   %%ProgramData%%\CorvaneRemoteStarter), which must lie in Program Files or
echo   directly in ProgramData and which only Administrators and SYSTEM may then
echo   use; then registers the service. Run it from a folder only administrators can
echo   change, and keep that folder. Run it again, with the same FOLDER, to update:
echo   the service is stopped and kept, its list and start type too, unless a new
echo   starter.dat lies beside it. A new FOLDER must be new or empty.
echo   /auto     start the service at every boot
echo   /demand   start it only on request (the default for a new installation)
echo   /start    start it once, now, when the installation is done
echo   /force    install starter.dat even when starter-check.exe finds errors in it
exit /b 0
:unknown_switch
echo install: unknown switch "%ARGUMENT%"; install.cmd /? shows the usage
exit /b 1
:two_folders
echo install: more than one folder given; install.cmd /? shows the usage
exit /b 1
:two_start_types
echo install: give /auto or /demand, not both
exit /b 1
:bad_character
echo install: the folder holds a double quote, which cmd.exe and sc.exe cannot pass; nothing was changed
exit /b 1
:folder_refused
echo install: nothing was changed
exit /b 1
:not_elevated
echo install: run this from an elevated command prompt (Run as administrator)
exit /b 1
:no_executable
echo install: starter.exe and starter-check.exe must lie beside this script
exit /b 1
:list_unreadable
echo install: cannot read "%HERE%starter.dat"
exit /b 1
:list_has_errors
echo install: starter.dat has errors, so nothing was changed; mend it, or give /force
exit /b 1
:still_running
echo install: the service is still working through its list after 120 s; nothing was changed, try again later
exit /b 1
:source_refused
"%HERE%starter-check.exe" --source-folder "%HERE%."
echo install: copy the release into a folder that only administrators can change, and run it from there; nothing was changed
exit /b 1
:create_folder_failed
"%HERE%starter-check.exe" --service-folder "%FOLDER%"
echo install: cannot make "%FOLDER%" for Administrators and SYSTEM alone; nothing was copied
exit /b 1
:audit_failed
"%FOLDER%\starter-check.exe" --installed --fail-on installation
if defined INSTALLED goto audit_failed_update
"%SYSTEM%\sc.exe" delete "%SERVICE%" >nul
echo install: the new installation fails its audit (see above), so the service was removed again; its files stay in "%FOLDER%"
exit /b 1
:audit_failed_update
echo install: the updated installation fails its audit (see above): mend what it names
exit /b 1
:restrict_failed
echo install: cannot restrict "%FOLDER%" to Administrators and SYSTEM; nothing was copied
exit /b 1
:changed_meanwhile
"%HERE%starter-check.exe" --service-folder "%FOLDER%"
echo install: "%FOLDER%" changed while it was being restricted (see the line above); nothing was copied
exit /b 1
:copy_failed
echo install: cannot copy %NAME% into "%FOLDER%" whole; the file there is unchanged
exit /b 1
:create_failed
echo install: sc create failed for "%FOLDER%\starter.exe"
exit /b 1
:config_failed
echo install: sc config failed: the service is registered as before, with the new files in "%FOLDER%"
exit /b 1
:description_failed
echo install: sc description failed
exit /b 1
