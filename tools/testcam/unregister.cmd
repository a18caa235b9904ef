@echo off
rem Removes the Tessaread Test Camera that register.cmd registered; needs an
rem administrator prompt, as registering does.
call "%~dp0register.cmd" /u
