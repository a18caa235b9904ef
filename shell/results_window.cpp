#include "shell/results_window.h"

#include <atomic>

#include "resources/resource.h"
#include "shell/about_lines.h"
#include "shell/frame_exchange.h"
#include "shell/lifecycle.h"
#include "shell/results_text.h"

namespace {

// Neither side of the results window gets smaller than this.
constexpr int kMinimumSide = 200;

constexpr int kWideCopyCapacity = 30000;
constexpr int kCreationRefreshLimit = 256;

HWND resultsPanel;
wchar_t wideCopy[kWideCopyCapacity];

// Detaches and destroys what a failed build made.
int abandonMenu(HMENU bar, HMENU dropDown) {
    if (dropDown != nullptr) {
        DestroyMenu(dropDown);
    }
    if (bar != nullptr) {
        DestroyMenu(bar);
    }
    return 1;
}

// Creation steps 2 to 7: the panel, its layout and the first line. Returns
// false when the panel cannot be made.
bool createResultsPanel(HWND window) {
    resultsPanel = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_RESULTS_PANEL), window,
                                      reinterpret_cast<DLGPROC>(DefWindowProcW), 0);
    if (resultsPanel == nullptr) {
        return false;
    }
    layoutResultsWindow(window);
    clearResultsText();
    prependResultLine("Start program!");
    refreshResultsBox(kCreationRefreshLimit);
    frameExchange.grabEnabled.store(1, std::memory_order_release);
    return true;
}

// What the person is doing in the box: the selection (with the side the
// caret is on, which a mouse drag extends) and the view's scroll position.
struct BoxView {
    DWORD start;
    DWORD end;
    bool caretAtStart;
    int firstLine;
    int horizontal;  // the horizontal scroll position, in pixels
};

BoxView readBoxView(HWND box) {
    BoxView view = {};
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&view.start),
                 reinterpret_cast<LPARAM>(&view.end));
    POINT caret;
    if (view.start != view.end && GetFocus() == box && GetCaretPos(&caret)) {
        const LRESULT at = SendMessageW(box, EM_POSFROMCHAR, view.start, 0);
        view.caretAtStart = caret.x == static_cast<short>(LOWORD(at)) &&
                            caret.y == static_cast<short>(HIWORD(at));
    }
    view.firstLine = static_cast<int>(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0));
    SCROLLINFO horizontal = {};
    horizontal.cbSize = sizeof horizontal;
    horizontal.fMask = SIF_POS;
    if (GetScrollInfo(box, SB_HORZ, &horizontal)) {
        view.horizontal = horizontal.nPos;
    }
    return view;
}

// After the text was set anew with `added` characters in front: the same
// characters selected and the same lines in view, unless the person was
// doing nothing (no selection, view at the top), when the newest line
// shows at the top. Text cut away at the old end takes its part of the
// selection with it.
void restoreBoxView(HWND box, const BoxView& view, int added, int length) {
    if (view.start == view.end && view.firstLine == 0 && view.horizontal == 0) {
        return;
    }
    auto shifted = [&](DWORD position) {
        const long long moved = static_cast<long long>(position) + added;
        return static_cast<WPARAM>(moved < length ? moved : length);
    };
    if (view.caretAtStart) {
        SendMessageW(box, EM_SETSEL, shifted(view.end), static_cast<LPARAM>(shifted(view.start)));
    } else {
        SendMessageW(box, EM_SETSEL, shifted(view.start), static_cast<LPARAM>(shifted(view.end)));
    }
    const int linesAdded = static_cast<int>(SendMessageW(box, EM_LINEFROMCHAR, shifted(0), 0));
    const int first = static_cast<int>(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0));
    SendMessageW(box, EM_LINESCROLL, 0, view.firstLine + linesAdded - first);
    SendMessageW(box, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, view.horizontal), 0);
}

}  // namespace

ATOM registerResultsClass() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = resultsWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    // No background: the panel covers the whole client area.
    wc.hbrBackground = nullptr;
    wc.lpszClassName = L"ORVL1";
    return RegisterClassW(&wc);
}

int buildResultsMenu(HWND window) {
    HMENU bar = CreateMenu();
    if (bar == nullptr) {
        return 1;
    }
    // "File" gets its drop-down below, found by its identifier.
    if (!AppendMenuW(bar, MF_POPUP, IDM_FILE, L"File")) {
        return abandonMenu(bar, nullptr);
    }
    HMENU dropDown = CreatePopupMenu();
    if (dropDown == nullptr) {
        return abandonMenu(bar, nullptr);
    }
    AppendMenuW(dropDown, MF_STRING, IDM_ABOUT, L"About");
    if (!AppendMenuW(dropDown, MF_STRING, IDM_EXIT, L"Exit")) {
        return abandonMenu(bar, dropDown);
    }
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_SUBMENU;
    item.hSubMenu = dropDown;
    if (!SetMenuItemInfoW(bar, IDM_FILE, FALSE, &item)) {
        return abandonMenu(bar, dropDown);
    }
    if (!SetMenu(window, bar)) {
        return abandonMenu(bar, nullptr);  // the bar owns the drop-down now
    }
    return 0;
}

int layoutResultsWindow(HWND window) {
    RECT outer;
    GetWindowRect(window, &outer);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    if (width < kMinimumSide || height < kMinimumSide) {
        SetWindowPos(window, nullptr, outer.left, outer.top,
                     width < kMinimumSide ? kMinimumSide : width,
                     height < kMinimumSide ? kMinimumSide : height, SWP_NOZORDER);
    }
    if (resultsPanel == nullptr) {
        return 0;
    }
    RECT client;
    GetClientRect(window, &client);
    SetWindowPos(resultsPanel, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER);
    RECT panelClient;
    GetClientRect(resultsPanel, &panelClient);
    const int boxWidth = panelClient.right - 2;
    const int boxHeight = panelClient.bottom - 2;
    SetWindowPos(GetDlgItem(resultsPanel, IDC_RESULTS_BOX), nullptr, 0, 0,
                 boxWidth > 0 ? boxWidth : 0, boxHeight > 0 ? boxHeight : 0, SWP_NOZORDER);
    return 0;
}

void refreshResultsBox(int limit) {
    const size_t prepended = takePrependedLength();
    int length = 0;
    while (length < limit && length < kWideCopyCapacity - 1 && ResultsText[length] != '\0') {
        ++length;
    }
    int converted = 0;
    if (length > 0) {
        converted = MultiByteToWideChar(CP_ACP, 0, ResultsText, length, wideCopy,
                                        kWideCopyCapacity - 1);
    }
    converted = converted > 0 ? converted : 0;
    wideCopy[converted] = L'\0';
    // The new lines in front, counted in the box's characters.
    int added = 0;
    if (prepended > 0) {
        const int bytes = prepended < static_cast<size_t>(length) ? static_cast<int>(prepended) : length;
        added = MultiByteToWideChar(CP_ACP, 0, ResultsText, bytes, nullptr, 0);
    }
    HWND box = GetDlgItem(resultsPanel, IDC_RESULTS_BOX);
    const BoxView view = readBoxView(box);
    SetDlgItemTextW(resultsPanel, IDC_RESULTS_BOX, wideCopy);
    restoreBoxView(box, view, added, converted);
}

bool selectAllOnCtrlA(const MSG& msg) {
    // Ctrl+A arrives as the control character 1, which the box ignores.
    if (msg.message != WM_CHAR || msg.wParam != 1 || resultsPanel == nullptr ||
        msg.hwnd != GetDlgItem(resultsPanel, IDC_RESULTS_BOX)) {
        return false;
    }
    // Caret at the start: the view stays on the newest lines.
    const LRESULT length = SendMessageW(msg.hwnd, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(msg.hwnd, EM_SETSEL, static_cast<WPARAM>(length), 0);
    return true;
}

int handleResultsCommand(HWND window, WPARAM wParam, LPARAM) {
    switch (LOWORD(wParam)) {
    case IDM_EXIT:
        DestroyWindow(window);
        break;
    case IDM_ABOUT:
        prependAboutLines(refreshResultsBox);
        break;
    default:
        break;
    }
    return 0;
}

LRESULT CALLBACK resultsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        // A window without its menu or panel is of no use: its creation
        // fails, which ends the recognition thread and then the program.
        if (buildResultsMenu(window) != 0 || !createResultsPanel(window)) {
            return -1;
        }
        break;
    case WM_DESTROY:
        resultsPanel = nullptr;
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        layoutResultsWindow(window);
        break;
    case WM_CLOSE:
        ShowWindow(window, SW_HIDE);
        break;
    case WM_COMMAND:
        handleResultsCommand(window, wParam, lParam);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
