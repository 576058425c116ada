// Hook-driven harness shared by the panel and shell tests.
#include "panel_harness.h"

#include "panel_state.h"
#include "program.h"

#include <cctype>
#include <cstdio>
#include <deque>

static HHOOK Hook;
static std::deque<int> Answers;
static std::function<void(HWND)> DialogHandler;
static std::vector<SeenBox> Boxes;
static std::vector<CreatedWindow> Created;
static std::vector<HWND> Destroyed;
static std::vector<HWND> Handled;
static bool RefuseX;

std::string WindowText(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

static std::string ClassNameOf(LPCSTR name)
{
    if (HIWORD((ULONG_PTR)name) != 0) {
        std::string text = name;
        size_t bang = text.rfind('!');
        if (bang != std::string::npos)
            text = text.substr(bang + 1);
        for (char &c : text)
            c = char(toupper((unsigned char)c));
        return text;
    }
    char atom[16];
    snprintf(atom, sizeof atom, "#%u", unsigned(LOWORD((ULONG_PTR)name)));
    return atom;
}

static bool IsDialog(HWND window)
{
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    return std::string(name) == "#32770";
}

static HICON BoxIcon(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return (HICON)SendMessageA(child, STM_GETICON, 0, 0);
    }
    return NULL;
}

static UINT ReadFlags(HWND box)
{
    UINT flags = MB_OK;
    int second = 0;
    if (GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO)) {
        flags = MB_YESNO;
        second = IDNO;
    } else if (GetDlgItem(box, IDOK) && GetDlgItem(box, IDCANCEL)) {
        flags = MB_OKCANCEL;
        second = IDCANCEL;
    }
    HICON icon = BoxIcon(box);
    if (icon != NULL && icon == LoadIconA(NULL, IDI_WARNING))
        flags |= MB_ICONWARNING;
    else if (icon != NULL && icon == LoadIconA(NULL, IDI_INFORMATION))
        flags |= MB_ICONINFORMATION;
    else if (icon != NULL)
        flags |= 0xF0;  // some other icon: never what the panel asks for
    HWND secondButton = second != 0 ? GetDlgItem(box, second) : NULL;
    if (secondButton != NULL && (GetWindowLongA(secondButton, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
        flags |= MB_DEFBUTTON2;
    return flags;
}

static void AnswerBox(HWND box)
{
    int answer;
    if (!Answers.empty()) {
        answer = Answers.front();
        Answers.pop_front();
    } else if (GetDlgItem(box, IDYES)) {
        answer = IDNO;
    } else if (GetDlgItem(box, IDCANCEL)) {
        answer = IDCANCEL;
    } else {
        answer = IDOK;
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), (LPARAM)GetDlgItem(box, answer));
}

// A box is activated before its initialisation has chosen the default
// button, so it is read and answered a moment later, from its own modal loop.
static std::vector<HWND> Pending;

static void CALLBACK ReadPendingBoxes(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    std::vector<HWND> boxes;
    boxes.swap(Pending);
    for (HWND box : boxes) {
        if (!IsWindow(box))
            continue;
        char text[1024] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        Boxes.push_back({box, GetWindow(box, GW_OWNER), WindowText(box), text, ReadFlags(box)});
        if (GetDlgItem(box, 0xFFFF) == NULL && DialogHandler)
            DialogHandler(box);
        else
            AnswerBox(box);
    }
}

static void OnActivate(HWND window)
{
    if (!IsDialog(window))
        return;
    for (HWND seen : Handled) {
        if (seen == window)
            return;  // a box may be activated more than once
    }
    Handled.push_back(window);
    Pending.push_back(window);
    SetTimer(NULL, 0, 1, ReadPendingBoxes);
}

static LRESULT CALLBACK WatchProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA *create = ((CBT_CREATEWNDA *)lParam)->lpcs;
        Created.push_back({(HWND)wParam, create->hwndParent, ClassNameOf(create->lpszClass),
                           create->lpszName ? create->lpszName : "", DWORD(create->style),
                           create->dwExStyle, create->x, create->y, create->cx, create->cy,
                           (INT_PTR)create->hMenu, create->hInstance});
        if (RefuseX && Created.back().className == "X")
            return 1;  // a nonzero answer cancels the creation
    } else if (code == HCBT_DESTROYWND) {
        Destroyed.push_back((HWND)wParam);
    } else if (code == HCBT_ACTIVATE) {
        OnActivate((HWND)wParam);
    }
    return CallNextHookEx(Hook, code, wParam, lParam);
}

void ForgetSeen()
{
    Boxes.clear();
    Created.clear();
    Destroyed.clear();
}

void WatchThread()
{
    ForgetSeen();
    Answers.clear();
    Handled.clear();
    Pending.clear();
    DialogHandler = nullptr;
    RefuseX = false;
    if (Hook == NULL)
        Hook = SetWindowsHookExA(WH_CBT, WatchProc, NULL, GetCurrentThreadId());
}

void StopWatching()
{
    if (Hook != NULL)
        UnhookWindowsHookEx(Hook);
    Hook = NULL;
    DialogHandler = nullptr;
}

void RefuseMainWindow(bool refuse)
{
    RefuseX = refuse;
}

void QueueAnswers(std::vector<int> answers)
{
    Answers.assign(answers.begin(), answers.end());
}

void HandleDialogsWith(std::function<void(HWND)> handler)
{
    DialogHandler = std::move(handler);
}

const std::vector<SeenBox> &SeenBoxes() { return Boxes; }
const std::vector<CreatedWindow> &CreatedWindows() { return Created; }
const std::vector<HWND> &DestroyedWindows() { return Destroyed; }

std::vector<CreatedWindow> ChildrenCreated(HWND parent)
{
    std::vector<CreatedWindow> children;
    for (const CreatedWindow &made : Created) {
        if (made.parent == parent && (made.style & WS_CHILD) != 0)
            children.push_back(made);
    }
    return children;
}

HWND OpenPanel()
{
    PanelState = {};
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExA(GetModuleHandleA(NULL), "X", &existing))
        RegisterMainWindowClass(GetModuleHandleA(NULL));
    return CreateMainWindow(GetModuleHandleA(NULL));
}

void ClosePanel(HWND window)
{
    if (IsWindow(window))
        DestroyWindow(window);
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA("X", GetModuleHandleA(NULL));
    PanelState = {};
}

LRESULT Press(HWND window, HWND control)
{
    return SendMessageA(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), (LPARAM)control);
}

bool TakeQuitMessage(int *code)
{
    MSG message;
    if (!PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE))
        return false;
    if (code != nullptr)
        *code = int(message.wParam);
    return true;
}

bool HasResource(int id, LPCSTR type)
{
    return FindResourceA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), type) != NULL;
}
