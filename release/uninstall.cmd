@echo off
rem Removes the Corvane Remote Starter service, from an elevated command prompt:
rem   uninstall.cmd [FOLDER]
rem The folder, with its list, is left in place.
setlocal
set "SERVICE=Corvane Remote Starter"
set "FOLDER=%ProgramData%\CorvaneRemoteStarter"
if not "%~1"=="" set "FOLDER=%~1"

copy /y nul "%SystemRoot%\corvane-uninstall.tmp" >nul 2>&1
if errorlevel 1 goto not_elevated
del "%SystemRoot%\corvane-uninstall.tmp" >nul 2>&1

sc query "%SERVICE%" >nul 2>&1
if errorlevel 1 goto not_installed
sc stop "%SERVICE%" >nul 2>&1
sc delete "%SERVICE%" >nul
if errorlevel 1 goto delete_failed
echo uninstall: removed the service "%SERVICE%"
goto folder

:not_installed
echo uninstall: "%SERVICE%" is not installed; nothing to remove
:folder
if exist "%FOLDER%\" goto folder_left
echo uninstall: %FOLDER% does not exist
exit /b 0
:folder_left
echo uninstall: %FOLDER% was left in place; remove it with: rmdir /s /q "%FOLDER%"
exit /b 0

:not_elevated
echo uninstall: run this from an elevated command prompt (Run as administrator)
exit /b 1
:delete_failed
echo uninstall: sc delete failed
exit /b 1
