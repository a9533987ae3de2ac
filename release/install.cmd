@echo off
rem Installs Corvane Remote Starter as a service, from an elevated command prompt:
rem   install.cmd [FOLDER] [/auto]
rem FOLDER defaults to %ProgramData%\CorvaneRemoteStarter. The service starts on
rem demand, or at every boot with /auto. Run it again to update an installation.
setlocal
set "SERVICE=Corvane Remote Starter"
set "FOLDER=%ProgramData%\CorvaneRemoteStarter"
set "START=demand"
:arguments
if "%~1"=="" goto parsed
rem No parenthesised blocks: a folder such as "C:\Program Files (x86)\X" would end them.
if /i "%~1"=="/auto" goto auto
set "FOLDER=%~1"
goto next
:auto
set "START=auto"
:next
shift
goto arguments
:parsed

rem 1. Only an administrator can write to the Windows folder.
copy /y nul "%SystemRoot%\corvane-install.tmp" >nul 2>&1
if errorlevel 1 goto not_elevated
del "%SystemRoot%\corvane-install.tmp" >nul 2>&1
if not exist "%~dp0starter.exe" goto no_executable

rem An earlier installation is replaced, not added to.
sc query "%SERVICE%" >nul 2>&1
if errorlevel 1 goto copy
echo install: updating the installed service
sc stop "%SERVICE%" >nul 2>&1
sc delete "%SERVICE%" >nul
if errorlevel 1 goto delete_failed

rem 2. The executable, and the list when one lies beside this script.
:copy
if not exist "%FOLDER%\" mkdir "%FOLDER%"
if not exist "%FOLDER%\" goto copy_failed
copy /y "%~dp0starter.exe" "%FOLDER%\starter.exe" >nul
if errorlevel 1 goto copy_failed
if not exist "%~dp0starter.dat" goto restrict
copy /y "%~dp0starter.dat" "%FOLDER%\starter.dat" >nul
if errorlevel 1 goto copy_failed

rem 3. Anyone who can write the list or the executable can run any program as
rem LocalSystem, so only Administrators and SYSTEM keep any access.
:restrict
icacls "%FOLDER%" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F >nul
if errorlevel 1 goto restrict_failed

rem 4. The image path is quoted, since the folder may hold spaces.
sc create "%SERVICE%" binpath= "\"%FOLDER%\starter.exe\"" type= own type= interact start= %START% >nul
if errorlevel 1 goto create_failed

rem 5.
echo install: "%SERVICE%" is installed in %FOLDER%, start type %START%
echo install: put the launch list in %FOLDER%\starter.dat, then start the service with
echo   sc start "%SERVICE%"
echo install: sc answers 1053 because the service stops as soon as its list is done
exit /b 0

:not_elevated
echo install: run this from an elevated command prompt (Run as administrator)
exit /b 1
:no_executable
echo install: starter.exe is not beside this script
exit /b 1
:delete_failed
echo install: cannot remove the installed service to update it
exit /b 1
:copy_failed
echo install: cannot copy into %FOLDER%
exit /b 1
:restrict_failed
echo install: cannot restrict %FOLDER% to Administrators and SYSTEM
exit /b 1
:create_failed
echo install: sc create failed for %FOLDER%\starter.exe
exit /b 1
