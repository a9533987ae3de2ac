@echo off
rem Removes the Corvane Remote Starter service, from an elevated command prompt:
rem   uninstall.cmd [/purge]
rem It parses its arguments; starter-setup.exe, beside it, does the rest and
rem says what it does.
setlocal DisableDelayedExpansion
set "HERE=%~dp0"
set "OPTIONS="
:arguments
if "%~1"=="" goto parsed
if "%~1"=="/?" goto usage
if "%~1"=="-?" goto usage
if /i "%~1"=="/h" goto usage
if /i "%~1"=="/help" goto usage
if /i not "%~1"=="/purge" goto unknown_argument
set "OPTIONS= --purge"
shift
goto arguments
:parsed
if not exist "%HERE%starter-setup.exe" goto no_setup
"%HERE%starter-setup.exe" uninstall%OPTIONS%
exit /b %errorlevel%

:usage
echo usage: uninstall.cmd [/purge]
echo   Stops and removes the service, once it has finished its list. Its folder,
echo   found from its registration, is left in place with its job, unless /purge:
echo   then, if the folder rule accepts the folder, the installation's files and
echo   its job's go, and the folder too if nothing else is in it. /purge also
echo   removes a folder that an earlier removal without it left.
exit /b 0
:unknown_argument
echo uninstall: unknown argument "%~1"; uninstall.cmd /? shows the usage
exit /b 1
:no_setup
echo uninstall: starter-setup.exe must lie beside this script
exit /b 1
