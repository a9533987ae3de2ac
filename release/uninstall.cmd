@echo off
rem Removes the Corvane Remote Starter service, from an elevated command prompt:
rem   uninstall.cmd [/purge]
rem The folder it was installed in is read from its registration. It is left in
rem place, with its list, unless /purge is given.
setlocal DisableDelayedExpansion
set "SERVICE=Corvane Remote Starter"
set "KEY=HKLM\SYSTEM\CurrentControlSet\Services\%SERVICE%"
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

sc query "%SERVICE%" >nul 2>&1
if errorlevel 1 goto not_installed
set "IMAGE="
for /f "tokens=2,*" %%a in ('reg query "%KEY%" /v ImagePath 2^>nul ^| find "ImagePath"') do set "IMAGE=%%b"
if defined IMAGE set "IMAGE=%IMAGE:"=%"
set "FOLDER="
if defined IMAGE for %%I in ("%IMAGE%") do set "FOLDER=%%~dpI"
if defined FOLDER set "FOLDER=%FOLDER:~0,-1%"

rem A service still working through its list refuses a stop: wait until it is done.
sc stop "%SERVICE%" >nul 2>&1
set /a "WAITED=0"
:wait_for_stop
sc query "%SERVICE%" | find "STOPPED" >nul
if not errorlevel 1 goto stopped
if %WAITED%==0 echo uninstall: waiting, up to 120 s, for the service to finish its list
if %WAITED% geq 120 goto still_running
ping -n 2 127.0.0.1 >nul
set /a "WAITED+=1"
goto wait_for_stop
:stopped
sc delete "%SERVICE%" >nul
if errorlevel 1 goto delete_failed
echo uninstall: removed the service "%SERVICE%"
if not defined FOLDER goto no_folder
if not exist "%FOLDER%\" goto folder_gone
if defined PURGE goto purge
set "WITH="
if exist "%FOLDER%\starter.dat" set "WITH=, with its list"
echo uninstall: "%FOLDER%" was left in place%WITH%; uninstall.cmd /purge removes it too,
echo   or: rmdir /s /q "%FOLDER%"
exit /b 0

rem Only the folder the service ran from, and never a drive root or the Windows folder.
:purge
if "%FOLDER:~2%"=="" goto refuse_purge
if /i "%FOLDER%"=="%SystemRoot%" goto refuse_purge
if not exist "%FOLDER%\starter.exe" goto refuse_purge
rmdir /s /q "%FOLDER%"
if exist "%FOLDER%\" goto purge_failed
echo uninstall: removed "%FOLDER%"
exit /b 0

:not_installed
echo uninstall: "%SERVICE%" is not installed; nothing to remove
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
echo   found from its registration, is left in place with its list, unless /purge.
exit /b 0
:unknown_argument
echo uninstall: unknown argument "%~1"; uninstall.cmd /? shows the usage
exit /b 1
:not_elevated
echo uninstall: run this from an elevated command prompt (Run as administrator)
exit /b 1
:still_running
echo uninstall: the service is still working through its list after 120 s; nothing was removed, try again later
exit /b 1
:delete_failed
echo uninstall: sc delete failed
exit /b 1
:refuse_purge
echo uninstall: the service is removed, but "%FOLDER%" is not a folder of its own: not purged
exit /b 1
:purge_failed
echo uninstall: the service is removed, but "%FOLDER%" could not be removed entirely
exit /b 1
