@echo off
rem Registers the Tessaread Test Camera lying beside this script:
rem tessaread-testcam.dll for Tessaread.exe and, on 64-bit Windows, also
rem tessaread-testcam64.dll for Tessaread64.exe. Windows keeps video input
rem devices for the whole machine, so this needs an administrator prompt.
rem Pass /u to unregister (unregister.cmd does).
setlocal
set "mode="
set "action=registered"
if /i "%~1"=="/u" (
  set "mode=/u"
  set "action=unregistered"
)
set status=0
set denied=0
rem A 32-bit prompt on 64-bit Windows sees the 64-bit system folder as
rem Sysnative.
set "arch=%PROCESSOR_ARCHITECTURE%"
set "system=%SystemRoot%\System32"
if defined PROCESSOR_ARCHITEW6432 (
  set "arch=%PROCESSOR_ARCHITEW6432%"
  set "system=%SystemRoot%\Sysnative"
)
if /i "%arch%"=="x86" (
  call :one "%system%\regsvr32.exe" "%~dp0tessaread-testcam.dll" Tessaread.exe
  goto done
)
call :one "%system%\regsvr32.exe" "%~dp0tessaread-testcam64.dll" Tessaread64.exe
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
  call :one "%SystemRoot%\SysWOW64\regsvr32.exe" "%~dp0tessaread-testcam.dll" Tessaread.exe
) else (
  echo This Windows runs no 32-bit programs: use Tessaread64.exe.
)

:done
if %denied% neq 0 (
  echo.
  echo Windows lets only an administrator do this: right-click the script
  echo in Explorer and choose "Run as administrator".
)
echo.
pause
exit /b %status%

:one
"%~1" /s %mode% "%~2"
set code=%errorlevel%
if %code% neq 0 goto failed
echo The test camera for %3 is %action%.
goto :eof
:failed
echo The test camera for %3 could not be %action% (regsvr32 error %code%).
set status=1
rem 5: the DLL loaded but could not write the registry.
if %code% equ 5 set denied=1
goto :eof
