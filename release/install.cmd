@echo off
rem Installs or updates Corvane Remote Starter, from an elevated command prompt:
rem   install.cmd [FOLDER] [/auto | /demand] [/start] [/force]
rem It parses its arguments; starter-setup.exe, beside it, does the rest and
rem says what it does. Every argument, the folder and the list beside this
rem script are checked before anything changes; a refusal leaves any
rem installation exactly as it was.
rem No parenthesised blocks: a folder such as "C:\Program Files (x86)\X" would end them.
setlocal DisableDelayedExpansion
set "HERE=%~dp0"
set "FOLDER="
set "START="
set "OPTIONS="

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
set "OPTIONS=%OPTIONS% --force"
goto next
:switch_start
set "OPTIONS=%OPTIONS% --start"
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
if defined START set "OPTIONS=%OPTIONS% --start-type %START%"
if not defined FOLDER goto checked
rem A quote would end the quotes around the folder below ("set" prints it
rem without cmd.exe parsing it again); a trailing backslash would escape one.
set "CRS_CHECK_FOLDER=%FOLDER%"
set CRS_CHECK_FOLDER| "%SystemRoot%\System32\find.exe" """" >nul
if not errorlevel 1 goto bad_character
if "%FOLDER:~-1%"=="\" set "FOLDER=%FOLDER%."
:checked
if not exist "%HERE%starter-setup.exe" goto no_setup
if defined FOLDER "%HERE%starter-setup.exe" install "%FOLDER%"%OPTIONS%
if not defined FOLDER "%HERE%starter-setup.exe" install%OPTIONS%
exit /b %errorlevel%

:usage
echo usage: install.cmd [FOLDER] [/auto ^| /demand] [/start] [/force]
echo   Installs starter.exe and starter-check.exe, and starter.dat with the files it
echo   names if it lies beside this script, into FOLDER (default
echo   %%ProgramData%%\CorvaneRemoteStarter), which must lie in Program Files or
echo   directly in ProgramData and which only Administrators and SYSTEM may then
echo   use; then registers the service. Run it from a folder only administrators can
echo   change, and keep that folder. Run it again, with the same FOLDER, to update:
echo   the service is stopped and kept, its list and start type too, unless a new
echo   starter.dat lies beside it, which replaces the job before it and its files.
echo   A new FOLDER must be new or empty.
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
echo install: the folder holds a double quote, which cmd.exe cannot pass; nothing was changed
exit /b 1
:no_setup
echo install: starter-setup.exe must lie beside this script
exit /b 1
