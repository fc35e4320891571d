@echo off
rem provision.cmd - installs the Zeb driver's setup file and configures its
rem first two ports and the property map. Run it as an administrator from the
rem folder that holds zebsetup.inf and zebcfg.exe (the layout of the Windows
rem zip), optionally with the path of another zebcfg.exe:
rem
rem     provision.cmd [path\to\zebcfg.exe]
rem
rem Every step is checked with "if %ERRORLEVEL% NEQ 0". zebcfg also ends with
rem negative codes: -1 for an unknown command word, -268435444 (0xF000000C)
rem from stopq while an instance of the driver is open. "if errorlevel 1"
rem is true only for codes of 1 or more and would let those through. The
rem quiet forms (aq, sq, msq, stopq, ...) print nothing, so their exit code
rem is all a script has.
setlocal
set "HERE=%~dp0"
set "ZEBCFG=%HERE%zebcfg.exe"
if not "%~1"=="" set "ZEBCFG=%~1"

rem rundll32 is a windowed program, so cmd waits for it only with start
rem /wait; it reports nothing, so the step is checked by what it leaves.
set "STEP=install zebsetup.inf"
start "" /wait rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 128 %HERE%zebsetup.inf
reg query "HKLM\SOFTWARE\Zeb\zebser\Devices" >nul 2>&1
if %ERRORLEVEL% NEQ 0 goto failed

rem A port that exists already is configured again, so that the script can
rem run twice.
set "STEP=create COM7"
"%ZEBCFG%" p COM7 >nul
if %ERRORLEVEL% EQU 0 goto configure_com7
"%ZEBCFG%" aq COM7 Port.Transport=serial
if %ERRORLEVEL% NEQ 0 goto failed
:configure_com7
set "STEP=configure COM7"
"%ZEBCFG%" sq COM7 Port.BaudRate=115200 Port.Parity=even
if %ERRORLEVEL% NEQ 0 goto failed

set "STEP=create lab-gw"
"%ZEBCFG%" p lab-gw >nul
if %ERRORLEVEL% EQU 0 goto configure_lab_gw
"%ZEBCFG%" aq lab-gw Port.Transport=tcp
if %ERRORLEVEL% NEQ 0 goto failed
:configure_lab_gw
set "STEP=configure lab-gw"
"%ZEBCFG%" sq lab-gw Net.Host=10.0.4.17 Net.Port=4001
if %ERRORLEVEL% NEQ 0 goto failed

set "STEP=set the property map"
"%ZEBCFG%" msq PollMs=250
if %ERRORLEVEL% NEQ 0 goto failed

set "STEP=list the devices"
"%ZEBCFG%" l
if %ERRORLEVEL% NEQ 0 goto failed
echo provision: done
exit /b 0

:failed
echo provision: step "%STEP%" failed with exit code %ERRORLEVEL%
exit /b 1
