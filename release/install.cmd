@echo off
rem Installs or updates Corvane Remote Starter, from an elevated command prompt:
rem   install.cmd [FOLDER] [/auto | /demand] [/force]
rem Every argument and the list beside this script are checked before anything
rem changes; a refusal leaves any installation exactly as it was.
rem No parenthesised blocks: a folder such as "C:\Program Files (x86)\X" would end them.
setlocal DisableDelayedExpansion
set "SERVICE=Corvane Remote Starter"
set "KEY=HKLM\SYSTEM\CurrentControlSet\Services\%SERVICE%"
set "DESCRIPTION=Starts the programs listed in starter.dat beside starter.exe, once, then stops."
set "HERE=%~dp0"
set "FOLDER="
set "START="
set "FORCE="

:arguments
if "%~1"=="" goto parsed
if "%~1"=="/?" goto usage
if "%~1"=="-?" goto usage
if /i "%~1"=="/h" goto usage
if /i "%~1"=="/help" goto usage
if /i "%~1"=="/force" goto switch_force
if /i "%~1"=="/auto" goto switch_auto
if /i "%~1"=="/demand" goto switch_demand
set "ARGUMENT=%~1"
if "%ARGUMENT:~0,1%"=="/" goto unknown_switch
if "%ARGUMENT:~0,1%"=="-" goto unknown_switch
if defined FOLDER goto two_folders
set "FOLDER=%~1"
goto next
:switch_force
set "FORCE=1"
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

rem 1. The folder: characters cmd.exe and sc.exe pass safely, absolute, without
rem a trailing backslash, on a local drive, and none that Windows or every
rem program relies on. "set" prints the value without cmd.exe parsing it again.
set "CRS_CHECK_FOLDER=%FOLDER%"
set CRS_CHECK_FOLDER| find """" >nul
if not errorlevel 1 goto bad_character
set CRS_CHECK_FOLDER| find "&" >nul
if not errorlevel 1 goto bad_character
set CRS_CHECK_FOLDER| find "|" >nul
if not errorlevel 1 goto bad_character
set CRS_CHECK_FOLDER| find "<" >nul
if not errorlevel 1 goto bad_character
set CRS_CHECK_FOLDER| find ">" >nul
if not errorlevel 1 goto bad_character
set CRS_CHECK_FOLDER| find "^" >nul
if not errorlevel 1 goto bad_character
set CRS_CHECK_FOLDER| find "%%" >nul
if not errorlevel 1 goto bad_character
set CRS_CHECK_FOLDER| find "!" >nul
if not errorlevel 1 goto bad_character
for %%I in ("%FOLDER%") do set "FOLDER=%%~fI"
if "%FOLDER:~-1%"=="\" set "FOLDER=%FOLDER:~0,-1%"
if "%FOLDER:~0,2%"=="\\" goto not_local
if "%FOLDER:~2%"=="" goto refuse_folder
if /i "%FOLDER%"=="%ProgramData%" goto refuse_folder
if /i "%FOLDER%"=="%ProgramFiles%" goto refuse_folder
if /i "%FOLDER%"=="%ProgramFiles(x86)%" goto refuse_folder
if /i "%FOLDER%"=="%ProgramW6432%" goto refuse_folder
set "ANCESTOR=%FOLDER%"
:ancestors
if /i "%ANCESTOR%"=="%SystemRoot%" goto refuse_windows
for %%I in ("%ANCESTOR%\..") do set "PARENT=%%~fI"
if "%PARENT:~-1%"=="\" goto ancestors_checked
set "ANCESTOR=%PARENT%"
goto ancestors
:ancestors_checked

rem 2. Only an administrator can write to the Windows folder.
copy /y nul "%SystemRoot%\corvane-install.tmp" >nul 2>&1
if errorlevel 1 goto not_elevated
del "%SystemRoot%\corvane-install.tmp" >nul 2>&1
if not exist "%HERE%starter.exe" goto no_executable
if not exist "%HERE%starter-check.exe" goto no_executable

rem 3. The checker refuses a path the service could not name: longer than it
rem can hold, or beyond this machine's ANSI code page. Then the list, if one
rem lies beside this script, as the service at FOLDER would read it here.
"%HERE%starter-check.exe" --exe "%FOLDER%\starter.exe" - <nul >nul
if errorlevel 1 goto folder_unusable
if not exist "%HERE%starter.dat" goto list_checked
echo install: checking starter.dat as "%FOLDER%\starter.exe" will read it
"%HERE%starter-check.exe" --fail-on error --exe "%FOLDER%\starter.exe" "%HERE%starter.dat"
if errorlevel 2 goto list_unreadable
if errorlevel 1 if not defined FORCE goto list_has_errors
if errorlevel 1 echo install: /force: installing the list in spite of its errors
:list_checked

rem 4. An installed service is stopped, not deleted, and waited for: its files
rem cannot be replaced while it works through its list.
set "INSTALLED="
sc query "%SERVICE%" >nul 2>&1
if errorlevel 1 goto stopped
set "INSTALLED=1"
set "IMAGE="
for /f "tokens=2,*" %%a in ('reg query "%KEY%" /v ImagePath 2^>nul ^| find "ImagePath"') do set "IMAGE=%%b"
if defined IMAGE set "IMAGE=%IMAGE:"=%"
set "OLD_START="
for /f "tokens=3" %%a in ('reg query "%KEY%" /v Start 2^>nul ^| find "Start"') do set "OLD_START=%%a"
echo install: updating the installed service
sc stop "%SERVICE%" >nul 2>&1
set /a "WAITED=0"
:wait_for_stop
sc query "%SERVICE%" | find "STOPPED" >nul
if not errorlevel 1 goto stopped
if %WAITED%==0 echo install: waiting, up to 120 s, for the service to finish its list
if %WAITED% geq 120 goto still_running
ping -n 2 127.0.0.1 >nul
set /a "WAITED+=1"
goto wait_for_stop
:stopped

rem 5. Anyone who can write the list or the executable can run any program as
rem LocalSystem. So before anything goes in: Administrators own the folder and
rem all in it, every other entry goes, and only Administrators and SYSTEM keep
rem access, which files and subfolders inherit. A link could lead elsewhere.
if not exist "%FOLDER%\" mkdir "%FOLDER%"
if not exist "%FOLDER%\" goto create_folder_failed
for %%I in ("%FOLDER%") do set "ATTRIBUTES=%%~aI"
if not "%ATTRIBUTES:l=%"=="%ATTRIBUTES%" goto refuse_link
icacls "%FOLDER%" /setowner *S-1-5-32-544 /T /Q >nul
if errorlevel 1 goto restrict_failed
icacls "%FOLDER%" /reset /T /Q >nul
if errorlevel 1 goto restrict_failed
icacls "%FOLDER%" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F /Q >nul
if errorlevel 1 goto restrict_failed

rem 6. Each file goes in under a temporary name and then takes the place of the
rem old one, so a copy that fails leaves the old file. The list is copied only
rem when one lies beside this script: an installed list is never replaced by
rem one the administrator did not hand over.
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
:copied

rem 7. The registration, in place. The service reports itself interactive, so
rem its registration says so too. The start type is kept unless one is given.
if defined INSTALLED goto update_registration
if not defined START set "START=demand"
sc create "%SERVICE%" binpath= "\"%FOLDER%\starter.exe\"" type= own type= interact start= %START% >nul
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
sc config "%SERVICE%" binpath= "\"%FOLDER%\starter.exe\"" type= own type= interact %START_OPTION% >nul
if errorlevel 1 goto config_failed
:describe
rem Wine's service manager can miss a service created a moment before; Windows
rem does not, so a second try costs nothing there.
sc description "%SERVICE%" "%DESCRIPTION%" >nul
if not errorlevel 1 goto described
ping -n 2 127.0.0.1 >nul
sc description "%SERVICE%" "%DESCRIPTION%" >nul
if errorlevel 1 goto description_failed
:described

set "STARTS=on demand"
set "NOW_START="
for /f "tokens=3" %%a in ('reg query "%KEY%" /v Start 2^>nul ^| find "Start"') do set "NOW_START=%%a"
if "%NOW_START%"=="0x2" set "STARTS=at every boot (auto)"
if "%NOW_START%"=="0x4" set "STARTS=never: it is disabled"
echo install: "%SERVICE%" is installed in "%FOLDER%", and starts %STARTS%
if not exist "%FOLDER%\starter.dat" echo install: put the launch list in "%FOLDER%\starter.dat" before starting the service
echo install: start it with: sc start "%SERVICE%"
echo install: sc start returns while the service works through its list (START_PENDING on
echo   Windows; Wine answers 1053); sc query then shows STOPPED, exit code 0, once it is done
exit /b 0

rem Copies NAME from beside this script into FOLDER, through NAME.new.
:replace
copy /y "%HERE%%NAME%" "%FOLDER%\%NAME%.new" >nul
if errorlevel 1 exit /b 1
move /y "%FOLDER%\%NAME%.new" "%FOLDER%\%NAME%" >nul
if errorlevel 1 del "%FOLDER%\%NAME%.new" >nul 2>&1
if exist "%FOLDER%\%NAME%.new" exit /b 1
exit /b 0

:usage
echo usage: install.cmd [FOLDER] [/auto ^| /demand] [/force]
echo   Installs starter.exe and starter-check.exe, and starter.dat if it lies beside
echo   this script, into FOLDER (default %%ProgramData%%\CorvaneRemoteStarter), which
echo   only Administrators and SYSTEM may then use, and registers the service. Run it
echo   again to update: the service is stopped and kept, its list and start type too.
echo   /auto     start the service at every boot
echo   /demand   start it only on request (the default for a new installation)
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
echo install: the folder holds a character that cmd.exe or sc.exe cannot pass safely, one of ^" ^& ^| ^< ^> ^^ %% !
exit /b 1
:not_local
echo install: the folder must be on a local drive, not a network share
exit /b 1
:refuse_folder
echo install: refusing "%FOLDER%": give a folder of its own, such as "%FOLDER%\CorvaneRemoteStarter"
exit /b 1
:refuse_windows
echo install: refusing "%FOLDER%": it lies in the Windows folder
exit /b 1
:not_elevated
echo install: run this from an elevated command prompt (Run as administrator)
exit /b 1
:no_executable
echo install: starter.exe and starter-check.exe must lie beside this script
exit /b 1
:folder_unusable
echo install: the service could not run from "%FOLDER%"; see the line above
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
:create_folder_failed
echo install: cannot create "%FOLDER%"
exit /b 1
:refuse_link
echo install: refusing "%FOLDER%": it is a link to another place
exit /b 1
:restrict_failed
echo install: cannot restrict "%FOLDER%" to Administrators and SYSTEM; nothing was copied
exit /b 1
:copy_failed
echo install: cannot copy %NAME% into "%FOLDER%"; the file there is unchanged
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
