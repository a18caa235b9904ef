// The folder of pictures: which files are played, and reading the one to
// show. Every failure ends in a skipped file or a grey picture.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "tools/testcam/testcam.h"

namespace {

// Files larger than this are not read (a 4096 x 4096 picture needs 48 MiB).
constexpr ULONGLONG kMaxFileBytes = 64ull << 20;

std::wstring environment(const wchar_t* name) {
    wchar_t value[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(value, n) : std::wstring();
}

std::string narrow(const std::wstring& text) {
    char buffer[MAX_PATH * 2];
    const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer, sizeof buffer,
                                      nullptr, nullptr);
    return n > 0 ? std::string(buffer) : std::string("?");
}

bool endsWithBmp(const wchar_t* name) {
    const size_t n = std::wcslen(name);
    return n > 4 && _wcsicmp(name + n - 4, L".bmp") == 0;
}

// Reads the whole file, or only its first `limit` bytes.
bool readFile(const std::wstring& path, std::vector<uint8_t>& bytes, ULONGLONG& size,
              DWORD limit) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER length;
    bool ok = GetFileSizeEx(file, &length) != 0 &&
              static_cast<ULONGLONG>(length.QuadPart) <= kMaxFileBytes;
    if (ok) {
        size = static_cast<ULONGLONG>(length.QuadPart);
        const DWORD want = limit != 0 && limit < size ? limit : static_cast<DWORD>(size);
        bytes.assign(want, 0);
        DWORD got = 0;
        ok = ReadFile(file, bytes.data(), want, &got, nullptr) != 0 && got == want;
    }
    CloseHandle(file);
    return ok;
}

std::vector<std::wstring> listBmpFiles(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.bmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        // The pattern also matches by short name: check the long one.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            endsWithBmp(found.cFileName)) {
            names.emplace_back(found.cFileName);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        const int c = _wcsicmp(a.c_str(), b.c_str());
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

}  // namespace

void traceLine(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text - 1, format, args);
    va_end(args);
    text[sizeof text - 2] = '\0';
    std::strcat(text, "\n");
    OutputDebugStringA(text);
}

void loadPictureFolder(PictureFolder& pictures) {
    pictures.folder = environment(L"TESSAREAD_TESTCAM_DIR");
    // A person who registered the unpacked camera sets no variable: the
    // pictures that came with it play.
    const std::wstring module = pictures.folder.empty() ? moduleFolder() : std::wstring();
    if (!module.empty()) {
        const std::wstring beside = module + L"\\pictures";
        const DWORD attributes = GetFileAttributesW(beside.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            pictures.folder = beside;
        }
    }
    pictures.millisecondsPerPicture =
        testcam::parseSecondsAsMilliseconds(narrow(environment(L"TESSAREAD_TESTCAM_SECONDS")).c_str());
    const std::vector<std::wstring> all =
        pictures.folder.empty() ? std::vector<std::wstring>() : listBmpFiles(pictures.folder);
    std::vector<testcam::BmpLayout> layouts(all.size());
    std::vector<const testcam::BmpLayout*> good(all.size(), nullptr);
    for (size_t i = 0; i < all.size(); ++i) {
        std::vector<uint8_t> head;
        ULONGLONG size = 0;
        if (readFile(pictures.folder + L"\\" + all[i], head, size, testcam::kBmpHeaderBytes) &&
            testcam::readBmpLayout(head.data(), head.size(), size, layouts[i])) {
            good[i] = &layouts[i];
        }
    }
    const testcam::PictureChoice choice = testcam::choosePictures(good);
    pictures.width = choice.width;
    pictures.height = choice.height;
    for (size_t i : choice.played) {
        pictures.names.push_back(all[i]);
        pictures.layouts.push_back(layouts[i]);
    }
    for (size_t i : choice.skipped) {
        traceLine("testcam: skipped %s", narrow(all[i]).c_str());
    }
    if (pictures.names.empty()) {
        traceLine("testcam: no pictures in '%s': grey %dx%d frames", narrow(pictures.folder).c_str(),
                  static_cast<int>(pictures.width), static_cast<int>(pictures.height));
    } else {
        traceLine("testcam: %u pictures of %dx%d from '%s', %u ms each",
                  static_cast<unsigned>(pictures.names.size()), static_cast<int>(pictures.width),
                  static_cast<int>(pictures.height), narrow(pictures.folder).c_str(),
                  static_cast<unsigned>(pictures.millisecondsPerPicture));
    }
}

void loadPictureRows(PictureFolder& pictures, size_t index) {
    if (index == pictures.loaded) {
        return;
    }
    pictures.loaded = index;
    pictures.rows.clear();
    if (index >= pictures.names.size()) {
        return;
    }
    std::vector<uint8_t> file;
    ULONGLONG size = 0;
    if (!readFile(pictures.folder + L"\\" + pictures.names[index], file, size, 0) ||
        !testcam::readBmpRows(file.data(), file.size(), pictures.layouts[index], pictures.rows)) {
        pictures.rows.clear();
        traceLine("testcam: cannot read %s: grey frame", pictureName(pictures, index).c_str());
    }
}

std::string pictureName(const PictureFolder& pictures, size_t index) {
    return index < pictures.names.size() ? narrow(pictures.names[index]) : std::string("grey");
}
