// The person's settings, kept per user in the registry under
// HKCU\Software\Tessaread, so that they outlast the program.
#pragma once

// "Thorough reading" (the DWORD value ThoroughReading, non-zero for on);
// off when the value is missing or cannot be read.
bool loadThoroughReading();

// False when the registry refused the value: the setting then holds for
// this run only.
bool saveThoroughReading(bool on);
