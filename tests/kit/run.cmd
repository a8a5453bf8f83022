@echo off
rem Avenor's test kit: run from an elevated prompt, in any folder (see README.txt).
"%~dp0avenor_kit.exe" %*
exit /b %ERRORLEVEL%
