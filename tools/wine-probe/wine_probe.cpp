// wine-probe: looks at and drives another program's windows for the Wine
// tests. One action per run; the result goes to standard output, and the
// exit code is 0 on success, 1 when the action failed, 2 on bad usage.
//
//   wait <class> <ms>              wait until a window of the class exists
//   wait-caption <caption> <ms>    wait until a window with the caption exists
//   gone <class> <ms>              wait until no window of the class exists
//   results-text <class>           text of control 1000 of the window's panel
//   box-text <caption>             text of a message box
//   box-ok <caption>               post IDOK to a message box
//   command <class> <id>           post WM_COMMAND with the identifier
//   close <class>                  post WM_CLOSE
//   resize <class> <width> <height>
//   layout <class>                 outer, client, panel and box sizes
//   visible <class>                1 or 0
//   count-caption <caption>        number of top-level windows with it
//   trace <text>                   OutputDebugStringA(text)
//   pid <class>                    process id of the window's owner
//   memory <class>                 "working-set N commit N handles N" of
//                                  the window's owner (bytes, bytes, count)
//   rot                            display names in the running object
//                                  table, one per line
//   box-select <class> <start> <end>
//                                  EM_SETSEL on the results box
//   box-selection <class>          "<start> <end> <selected text>"
//   box-scroll <class> <lines> <chars>
//                                  EM_LINESCROLL on the results box
//   box-view <class>               "<first visible line> <x of its first
//                                  character> <its text>"
//   box-char <class> <code>        post WM_CHAR with the code to the box
//   box-copy <class>               WM_COPY to the box, then the clipboard's
//                                  text
//   post-in-cycle <trace> <class> <message> <wparam> <ms>
//                                  wait until the program's trace file
//                                  shows a recognition cycle begun and not
//                                  ended, then post the message (a number)
//                                  and say so with OutputDebugStringA
//
// Texts are printed with CR, LF and backslash escaped as \r, \n and \\,
// and characters beyond ASCII as \uXXXX, on one line.
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <psapi.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr UINT kSendTimeout = 5000;
constexpr int kPanelControlId = 1000;

int usage() {
    std::fputs("usage: wine-probe <action> [arguments]\n", stderr);
    return 2;
}

HWND findByClass(const wchar_t* className) {
    return FindWindowW(className, nullptr);
}

HWND findBox(const wchar_t* caption) {
    return FindWindowW(L"#32770", caption);
}

// Control 1000 of the window's panel.
HWND findResultsBox(const wchar_t* className) {
    HWND top = findByClass(className);
    HWND panel = top ? FindWindowExW(top, nullptr, L"#32770", nullptr) : nullptr;
    return panel ? GetDlgItem(panel, kPanelControlId) : nullptr;
}

// Waits until lookup() gives a window (wantWindow) or none (!wantWindow).
template <typename Lookup>
bool waitFor(Lookup lookup, bool wantWindow, const wchar_t* milliseconds) {
    const DWORD limit = static_cast<DWORD>(std::wcstoul(milliseconds, nullptr, 10));
    const DWORD start = GetTickCount();
    for (;;) {
        if ((lookup() != nullptr) == wantWindow) {
            return true;
        }
        if (GetTickCount() - start >= limit) {
            return false;
        }
        Sleep(50);
    }
}

bool readText(HWND window, std::wstring& text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout,
                             &length)) {
        return false;
    }
    std::wstring buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(&buffer[0]),
                             SMTO_ABORTIFHUNG, kSendTimeout, &copied)) {
        return false;
    }
    buffer.resize(copied < length ? copied : length);
    text = buffer;
    return true;
}

void printEscaped(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c == L'\r') {
            std::fputs("\\r", stdout);
        } else if (c == L'\n') {
            std::fputs("\\n", stdout);
        } else if (c == L'\\') {
            std::fputs("\\\\", stdout);
        } else if (c >= 0x20 && c < 0x7F) {
            std::fputc(static_cast<char>(c), stdout);
        } else {
            std::printf("\\u%04x", static_cast<unsigned>(c));
        }
    }
    std::fputc('\n', stdout);
}

int resultsText(const wchar_t* className) {
    HWND box = findResultsBox(className);
    std::wstring text;
    if (box == nullptr || !readText(box, text)) {
        std::fputs("no results box\n", stderr);
        return 1;
    }
    printEscaped(text);
    return 0;
}

LRESULT sendToBox(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(box, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeout, &result);
    return static_cast<LRESULT>(result);
}

// The selection, read back from the whole text: EM_GETSEL answers in its
// result only, since its pointers do not cross processes.
int boxSelection(const wchar_t* className) {
    HWND box = findResultsBox(className);
    std::wstring text;
    if (box == nullptr || !readText(box, text)) {
        std::fputs("no results box\n", stderr);
        return 1;
    }
    const LRESULT selection = sendToBox(box, EM_GETSEL, 0, 0);
    const size_t start = LOWORD(selection);
    const size_t end = HIWORD(selection);
    std::printf("%u %u ", static_cast<unsigned>(start), static_cast<unsigned>(end));
    printEscaped(start <= end && end <= text.size() ? text.substr(start, end - start) : L"?");
    return 0;
}

int boxView(const wchar_t* className) {
    HWND box = findResultsBox(className);
    std::wstring text;
    if (box == nullptr || !readText(box, text)) {
        std::fputs("no results box\n", stderr);
        return 1;
    }
    const LRESULT first = sendToBox(box, EM_GETFIRSTVISIBLELINE, 0, 0);
    const LRESULT index = sendToBox(box, EM_LINEINDEX, static_cast<WPARAM>(first), 0);
    const LRESULT length = sendToBox(box, EM_LINELENGTH, static_cast<WPARAM>(index), 0);
    const LRESULT position = sendToBox(box, EM_POSFROMCHAR, static_cast<WPARAM>(index), 0);
    std::printf("%ld %d ", static_cast<long>(first), static_cast<short>(LOWORD(position)));
    const size_t at = static_cast<size_t>(index);
    printEscaped(at <= text.size() ? text.substr(at, static_cast<size_t>(length)) : L"?");
    return 0;
}

int boxCopy(const wchar_t* className) {
    HWND box = findResultsBox(className);
    if (box == nullptr) {
        std::fputs("no results box\n", stderr);
        return 1;
    }
    sendToBox(box, WM_COPY, 0, 0);
    if (!OpenClipboard(nullptr)) {
        std::fputs("cannot open the clipboard\n", stderr);
        return 1;
    }
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* text = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (text != nullptr) {
        printEscaped(text);
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text != nullptr ? 0 : 1;
}

BOOL CALLBACK collectStaticText(HWND child, LPARAM context) {
    wchar_t className[32];
    GetClassNameW(child, className, 32);
    std::wstring text;
    if (_wcsicmp(className, L"Static") == 0 && readText(child, text) && !text.empty()) {
        *reinterpret_cast<std::wstring*>(context) += text;
    }
    return TRUE;
}

int boxText(const wchar_t* caption) {
    HWND box = findBox(caption);
    if (box == nullptr) {
        std::fputs("no such message box\n", stderr);
        return 1;
    }
    std::wstring text;
    EnumChildWindows(box, collectStaticText, reinterpret_cast<LPARAM>(&text));
    printEscaped(text);
    return 0;
}

int post(HWND window, UINT message, WPARAM wParam) {
    if (window == nullptr || !PostMessageW(window, message, wParam, 0)) {
        std::fputs("no such window\n", stderr);
        return 1;
    }
    return 0;
}

int resize(const wchar_t* className, const wchar_t* width, const wchar_t* height) {
    HWND window = findByClass(className);
    if (window == nullptr) {
        return 1;
    }
    return SetWindowPos(window, nullptr, 0, 0, _wtoi(width), _wtoi(height),
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)
               ? 0
               : 1;
}

void printSize(const char* name, const RECT& r) {
    std::printf("%s %ldx%ld", name, r.right - r.left, r.bottom - r.top);
}

// Outer and client size of the window, and the client sizes of its panel
// and of the panel's control 1000 (or "-" where there is none).
int layout(const wchar_t* className) {
    HWND top = findByClass(className);
    if (top == nullptr) {
        return 1;
    }
    RECT r;
    GetWindowRect(top, &r);
    printSize("window", r);
    GetClientRect(top, &r);
    printSize(" client", r);
    HWND panel = FindWindowExW(top, nullptr, L"#32770", nullptr);
    HWND box = panel ? GetDlgItem(panel, kPanelControlId) : nullptr;
    if (panel == nullptr || box == nullptr) {
        std::puts(" panel - box -");
        return 0;
    }
    GetWindowRect(panel, &r);
    printSize(" panel", r);
    GetWindowRect(box, &r);
    printSize(" box", r);
    std::fputc('\n', stdout);
    return 0;
}

struct CaptionCount {
    const wchar_t* caption;
    int count;
};

BOOL CALLBACK countCaption(HWND window, LPARAM context) {
    auto* c = reinterpret_cast<CaptionCount*>(context);
    std::wstring text;
    if (readText(window, text) && text == c->caption) {
        ++c->count;
    }
    return TRUE;
}

DWORD ownerProcess(const wchar_t* className) {
    HWND window = findByClass(className);
    DWORD pid = 0;
    if (window != nullptr) {
        GetWindowThreadProcessId(window, &pid);
    }
    return pid;
}

// One entry of the system's handle list (SystemHandleInformation, 16).
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// Handles that a process holds, counted in the system's handle list:
// Wine answers GetProcessHandleCount for another process with 0.
bool countHandles(DWORD pid, unsigned long& count) {
    auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) {
        return false;
    }
    std::string buffer(1 << 16, '\0');
    for (int tries = 0; tries < 8; ++tries) {
        ULONG needed = 0;
        const LONG status = query(16, &buffer[0], static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            ULONG_PTR entries = 0;
            std::memcpy(&entries, buffer.data(), sizeof(ULONG));
            const size_t room = (buffer.size() - sizeof(ULONG_PTR)) / sizeof(SystemHandleEntry);
            count = 0;
            for (size_t i = 0; i < entries && i < room; ++i) {
                SystemHandleEntry e;
                std::memcpy(&e, buffer.data() + sizeof(ULONG_PTR) + i * sizeof e, sizeof e);
                count += e.ownerPid == pid ? 1 : 0;
            }
            return true;
        }
        buffer.resize(needed > buffer.size() ? needed + 4096 : buffer.size() * 2);
    }
    return false;
}

// Memory and handle figures of another process: its working set, its
// committed bytes (what Wine fills in of the private ones) and its handles.
int memory(const wchar_t* className) {
    const DWORD pid = ownerProcess(className);
    HANDLE process = pid != 0 ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid)
                              : nullptr;
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    unsigned long handles = 0;
    const bool ok = process != nullptr &&
                    GetProcessMemoryInfo(process, &counters, sizeof counters) &&
                    countHandles(pid, handles);
    if (process != nullptr) {
        CloseHandle(process);
    }
    if (!ok) {
        std::fputs("no figures for the process\n", stderr);
        return 1;
    }
    std::printf("working-set %llu commit %llu handles %lu\n",
                static_cast<unsigned long long>(counters.WorkingSetSize),
                static_cast<unsigned long long>(counters.PagefileUsage), handles);
    return 0;
}

int printRunningObjects() {
    IRunningObjectTable* table = nullptr;
    IEnumMoniker* monikers = nullptr;
    IBindCtx* context = nullptr;
    IMoniker* moniker = nullptr;
    HRESULT hr;
    if (FAILED(hr = GetRunningObjectTable(0, &table)) || FAILED(hr = table->EnumRunning(&monikers)) ||
        FAILED(hr = CreateBindCtx(0, &context))) {
        goto end;
    }
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        LPOLESTR name = nullptr;
        if (SUCCEEDED(moniker->GetDisplayName(context, nullptr, &name))) {
            printEscaped(name);
            CoTaskMemFree(name);
        }
        moniker->Release();
    }
end:
    if (context != nullptr) {
        context->Release();
    }
    if (monikers != nullptr) {
        monikers->Release();
    }
    if (table != nullptr) {
        table->Release();
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "running object table: hr=0x%lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}

// Follows a growing trace file, a line at a time.
struct TraceFollower {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string partial;

    // Reads what was added; returns +1 when the last cycle marker read
    // begins a cycle, -1 when it ends one, 0 when none was read.
    int poll() {
        char chunk[65536];
        DWORD got = 0;
        int last = 0;
        while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
            partial.append(chunk, got);
            size_t end;
            while ((end = partial.find('\n')) != std::string::npos) {
                const std::string line = partial.substr(0, end);
                partial.erase(0, end + 1);
                if (line.find("\"Start 1 started") != std::string::npos) {
                    last = 1;
                } else if (line.find("\"Start 1 processed") != std::string::npos) {
                    last = -1;
                }
            }
        }
        return last;
    }
};

int postInCycle(wchar_t** a) {
    const DWORD limit = static_cast<DWORD>(std::wcstoul(a[4], nullptr, 10));
    TraceFollower trace;
    trace.file = CreateFileW(a[0], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (trace.file == INVALID_HANDLE_VALUE) {
        std::fputs("cannot open the trace\n", stderr);
        return 1;
    }
    // What is there already is history: only a cycle that begins from
    // now on counts.
    trace.poll();
    const DWORD start = GetTickCount();
    int code = 1;
    while (GetTickCount() - start < limit) {
        if (trace.poll() > 0) {
            code = post(findByClass(a[1]), static_cast<UINT>(_wtoi(a[2])),
                        static_cast<WPARAM>(_wtoi(a[3])));
            OutputDebugStringA(code == 0 ? "wine-probe: posted in a cycle\n"
                                         : "wine-probe: could not post\n");
            break;
        }
        Sleep(2);
    }
    CloseHandle(trace.file);
    return code;
}

int run(int argc, wchar_t** argv) {
    if (argc < 2) {
        return usage();
    }
    const std::wstring action = argv[1];
    const int n = argc - 2;
    wchar_t** a = argv + 2;
    if (action == L"wait" && n == 2) {
        return waitFor([&] { return findByClass(a[0]); }, true, a[1]) ? 0 : 1;
    }
    if (action == L"wait-caption" && n == 2) {
        return waitFor([&] { return FindWindowW(nullptr, a[0]); }, true, a[1]) ? 0 : 1;
    }
    if (action == L"gone" && n == 2) {
        return waitFor([&] { return findByClass(a[0]); }, false, a[1]) ? 0 : 1;
    }
    if (action == L"results-text" && n == 1) {
        return resultsText(a[0]);
    }
    if (action == L"box-text" && n == 1) {
        return boxText(a[0]);
    }
    if (action == L"box-ok" && n == 1) {
        return post(findBox(a[0]), WM_COMMAND, IDOK);
    }
    if (action == L"command" && n == 2) {
        return post(findByClass(a[0]), WM_COMMAND, static_cast<WPARAM>(_wtoi(a[1])));
    }
    if (action == L"close" && n == 1) {
        return post(findByClass(a[0]), WM_CLOSE, 0);
    }
    if (action == L"resize" && n == 3) {
        return resize(a[0], a[1], a[2]);
    }
    if (action == L"layout" && n == 1) {
        return layout(a[0]);
    }
    if (action == L"visible" && n == 1) {
        HWND window = findByClass(a[0]);
        std::puts(window != nullptr && IsWindowVisible(window) ? "1" : "0");
        return window != nullptr ? 0 : 1;
    }
    if (action == L"count-caption" && n == 1) {
        CaptionCount c{a[0], 0};
        EnumWindows(countCaption, reinterpret_cast<LPARAM>(&c));
        std::printf("%d\n", c.count);
        return 0;
    }
    if (action == L"trace" && n == 1) {
        std::string text;
        for (const wchar_t* p = a[0]; *p != L'\0'; ++p) {
            text += static_cast<char>(*p < 0x80 ? *p : '?');
        }
        OutputDebugStringA(text.c_str());
        return 0;
    }
    if (action == L"pid" && n == 1) {
        const DWORD pid = ownerProcess(a[0]);
        std::printf("%lu\n", static_cast<unsigned long>(pid));
        return pid != 0 ? 0 : 1;
    }
    if (action == L"memory" && n == 1) {
        return memory(a[0]);
    }
    if (action == L"box-select" && n == 3) {
        HWND box = findResultsBox(a[0]);
        return box != nullptr && sendToBox(box, EM_SETSEL, static_cast<WPARAM>(_wtoi(a[1])),
                                           static_cast<LPARAM>(_wtoi(a[2]))) != 0
                   ? 0
                   : 1;
    }
    if (action == L"box-selection" && n == 1) {
        return boxSelection(a[0]);
    }
    if (action == L"box-scroll" && n == 3) {
        HWND box = findResultsBox(a[0]);
        return box != nullptr && sendToBox(box, EM_LINESCROLL, static_cast<WPARAM>(_wtoi(a[2])),
                                           static_cast<LPARAM>(_wtoi(a[1]))) != 0
                   ? 0
                   : 1;
    }
    if (action == L"box-view" && n == 1) {
        return boxView(a[0]);
    }
    if (action == L"box-char" && n == 2) {
        return post(findResultsBox(a[0]), WM_CHAR, static_cast<WPARAM>(_wtoi(a[1])));
    }
    if (action == L"box-copy" && n == 1) {
        return boxCopy(a[0]);
    }
    if (action == L"post-in-cycle" && n == 5) {
        return postInCycle(a);
    }
    if (action == L"rot" && n == 0) {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
            return 1;
        }
        const int code = printRunningObjects();
        CoUninitialize();
        return code;
    }
    return usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Plain LF line ends on the pipe the test script reads.
    _setmode(_fileno(stdout), _O_BINARY);
    const int code = run(argc, argv);
    std::fflush(stdout);
    return code;
}
