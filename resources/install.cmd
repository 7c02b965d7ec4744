@echo off
rem Installs Tollamy for the Today host: the settings key and the item's entry in the Today
rem items list, each only when it is missing, so a user's settings and entry stay as they are.
rem   install.cmd [NAME [DLL [ORDER]]]
rem NAME is the entry's name (default Tollamy), DLL the module's full path (default Tollamy.dll
rem beside this script) and ORDER its place in the list (default 10). Writing the list under
rem HKEY_LOCAL_MACHINE needs an administrator's command prompt on Windows.
setlocal
rem (Each status is tested with "if errorlevel" on its own line: Wine's cmd takes the goto of
rem "command && goto label" even when the command fails.)
set "name=Tollamy"
set "dll=%~dp0Tollamy.dll"
set "order=10"
if not "%~1"=="" set "name=%~1"
if not "%~2"=="" set "dll=%~2"
if not "%~3"=="" set "order=%~3"

rem The settings key with the five defaults.
reg query "HKCU\Software\Vessick\Tollamy" >nul 2>&1
if not errorlevel 1 goto item
reg import "%~dp0tollamy.reg" >nul 2>&1
if errorlevel 1 goto failed

:item
rem The sample deck, unless a deck is already there.
if "%name%"=="Tollamy" if not exist "%~dp0Tollamy.txt" if exist "%~dp0capitals.txt" copy "%~dp0capitals.txt" "%~dp0Tollamy.txt" >nul

rem The entry: a custom item (Type 4), shown (Enabled 1), with an options dialog (Options 1),
rem taking the selection messages itself (Selectability 2), with no starting flags (Flags 0).
set "key=HKLM\Software\Microsoft\Today\Items\%name%"
reg query "%key%" >nul 2>&1
if not errorlevel 1 goto done
reg add "%key%" /v DLL /t REG_SZ /d "%dll%" /f >nul 2>&1
if errorlevel 1 goto failed
reg add "%key%" /v Type /t REG_DWORD /d 4 /f >nul 2>&1
if errorlevel 1 goto failed
reg add "%key%" /v Enabled /t REG_DWORD /d 1 /f >nul 2>&1
if errorlevel 1 goto failed
reg add "%key%" /v Order /t REG_DWORD /d %order% /f >nul 2>&1
if errorlevel 1 goto failed
reg add "%key%" /v Options /t REG_DWORD /d 1 /f >nul 2>&1
if errorlevel 1 goto failed
reg add "%key%" /v Selectability /t REG_DWORD /d 2 /f >nul 2>&1
if errorlevel 1 goto failed
reg add "%key%" /v Flags /t REG_DWORD /d 0 /f >nul 2>&1
if errorlevel 1 goto failed

:done
exit /b 0

:failed
echo install.cmd: could not write the registry (on Windows, run it as administrator) 1>&2
exit /b 1
