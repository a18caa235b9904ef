#include "shell/user_settings.h"

#include <windows.h>

namespace {

const wchar_t kSettingsKey[] = L"Software\\Tessaread";
const wchar_t kThoroughReadingValue[] = L"ThoroughReading";

}  // namespace

bool loadThoroughReading() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status = RegQueryValueExW(key, kThoroughReadingValue, nullptr, &type,
                                            reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value != 0;
}

bool saveThoroughReading(bool on) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD value = on ? 1 : 0;
    const LSTATUS status = RegSetValueExW(key, kThoroughReadingValue, 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}
