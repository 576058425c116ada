// Reads the running panel from outside and prints what it finds as one JSON
// object: the main window, every child control, and the dialog boxes that the
// panel's process has open. It only asks (texts, check marks, pictures,
// rectangles, styles) and never sends anything that would change the panel.
//
// One look for each line on stdin, until it ends: an empty line for all
// panels and their boxes, "X Y" for the window under that screen point too.
// It stays, as Wine's start of a program costs more than a look.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

// A panel busy in a transfer or the switch-on wait does not answer; the
// inspector must not hang with it, so every question has a deadline.
static const UINT AnswerTimeoutMilliseconds = 400;

static bool AnyTimeout = false;

static std::string JsonString(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20 || c >= 0x7F) {
            // Texts are single-byte; show every other byte by its value so
            // that a stray terminator or high byte is visible, not lost.
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

static std::string Handle(HWND window)
{
    char text[32];
    snprintf(text, sizeof text, "%llu", (unsigned long long)(ULONG_PTR)window);
    return text;
}

struct Question {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD_PTR answer;
};

// One thread of ours puts the questions, the main one waits for each answer.
struct Asker {
    HANDLE asked;
    HANDLE answered;
    Question question;
    volatile LONG abandoned;
};

static Asker *CurrentAsker = NULL;

static DWORD WINAPI PutQuestions(void *data)
{
    Asker *asker = (Asker *)data;
    while (WaitForSingleObject(asker->asked, INFINITE) == WAIT_OBJECT_0 && !asker->abandoned) {
        Question &question = asker->question;
        question.answer = SendMessageA(question.window, question.message, question.wParam, question.lParam);
        SetEvent(asker->answered);
    }
    return 0;
}

// Wine's SendMessageTimeoutA waits out a busy receiver whatever the time-out,
// so the questions go from a thread of their own and one is given up after
// the deadline: that thread is left to end once the panel answers, with its
// question and buffer, and the next look starts another. After one question
// has gone unanswered the rest would too, so a busy panel is asked nothing
// more in that look.
static bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR *answer)
{
    if (AnyTimeout)
        return false;
    if (CurrentAsker == NULL) {
        Asker *asker = new Asker{CreateEventA(NULL, FALSE, FALSE, NULL), CreateEventA(NULL, FALSE, FALSE, NULL), {}, 0};
        HANDLE thread = CreateThread(NULL, 0, PutQuestions, asker, 0, NULL);
        if (thread == NULL) {
            AnyTimeout = true;
            return false;
        }
        CloseHandle(thread);
        CurrentAsker = asker;
    }
    CurrentAsker->question = Question{window, message, wParam, lParam, 0};
    SetEvent(CurrentAsker->asked);
    if (WaitForSingleObject(CurrentAsker->answered, AnswerTimeoutMilliseconds) != WAIT_OBJECT_0) {
        // Woken once it has its answer, it ends.
        CurrentAsker->abandoned = 1;
        SetEvent(CurrentAsker->asked);
        CurrentAsker = NULL;
        AnyTimeout = true;
        return false;
    }
    *answer = CurrentAsker->question.answer;
    return true;
}

// WM_GETTEXT is marshalled across processes by the system, so this works on
// another program's controls.
static std::string TextOf(HWND window, bool *known)
{
    DWORD_PTR length = 0;
    *known = false;
    if (!Ask(window, WM_GETTEXTLENGTH, 0, 0, &length))
        return "";
    // Not freed when the question is abandoned: its thread may still write.
    char *buffer = new char[length + 2]();
    DWORD_PTR copied = 0;
    if (!Ask(window, WM_GETTEXT, length + 2, (LPARAM)buffer, &copied))
        return "";
    *known = true;
    std::string text(buffer, copied < length + 2 ? copied : length + 1);
    delete[] buffer;
    return text;
}

static std::string ClassOf(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

static std::string RectJson(const RECT &r)
{
    char text[128];
    snprintf(text, sizeof text, "{\"left\": %ld, \"top\": %ld, \"right\": %ld, \"bottom\": %ld}",
             r.left, r.top, r.right, r.bottom);
    return text;
}

// The control's rectangle in its parent's client coordinates: the
// coordinates the panel's layout is written in.
static RECT RectInParent(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    HWND parent = GetParent(window);
    if (parent && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD))
        MapWindowPoints(HWND_DESKTOP, parent, (POINT *)&r, 2);
    return r;
}

static std::string ControlJson(HWND control, HWND focus)
{
    std::string className = ClassOf(control);
    bool textKnown = false;
    std::string text = TextOf(control, &textKnown);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    LONG exStyle = GetWindowLongA(control, GWL_EXSTYLE);
    RECT screen = {};
    GetWindowRect(control, &screen);

    std::string json = "{\"hwnd\": " + Handle(control);
    json += ", \"class\": " + JsonString(className);
    json += ", \"text\": " + (textKnown ? JsonString(text) : std::string("null"));
    char numbers[256];
    snprintf(numbers, sizeof numbers,
             ", \"id\": %ld, \"style\": %lu, \"exstyle\": %lu, \"visible\": %s, \"enabled\": %s, \"focused\": %s",
             (long)GetDlgCtrlID(control), (unsigned long)style, (unsigned long)exStyle,
             IsWindowVisible(control) ? "true" : "false", IsWindowEnabled(control) ? "true" : "false",
             control == focus ? "true" : "false");
    json += numbers;
    json += ", \"rect\": " + RectJson(RectInParent(control));
    json += ", \"screen\": " + RectJson(screen);
    if (_stricmp(className.c_str(), "Button") == 0) {
        DWORD_PTR check = 0, image = 0;
        bool checkKnown = Ask(control, BM_GETCHECK, 0, 0, &check);
        bool imageKnown = Ask(control, BM_GETIMAGE, IMAGE_BITMAP, 0, &image);
        snprintf(numbers, sizeof numbers, ", \"check\": %s, \"image\": %s",
                 checkKnown ? (check == BST_CHECKED ? "1" : check == BST_INDETERMINATE ? "2" : "0") : "null",
                 imageKnown ? std::to_string((unsigned long long)image).c_str() : "null");
        json += numbers;
    }
    return json + "}";
}

struct Children {
    std::vector<HWND> list;
};

static BOOL CALLBACK CollectChild(HWND child, LPARAM data)
{
    // Direct children only: the layout is one level deep.
    Children *children = (Children *)data;
    if (GetAncestor(child, GA_PARENT) == (HWND)children->list.front())
        children->list.push_back(child);
    return TRUE;
}

// Children in z-order, which for controls is their order of creation.
static std::vector<HWND> ChildrenOf(HWND parent)
{
    Children children;
    children.list.push_back(parent);
    EnumChildWindows(parent, CollectChild, (LPARAM)&children);
    children.list.erase(children.list.begin());
    return children.list;
}

static std::string WindowJson(HWND window)
{
    DWORD processId = 0;
    DWORD threadId = GetWindowThreadProcessId(window, &processId);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(threadId, &info);

    bool textKnown = false;
    std::string text = TextOf(window, &textKnown);
    RECT screen = {}, client = {};
    GetWindowRect(window, &screen);
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);

    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD layeredFlags = 0;
    BOOL layered = GetLayeredWindowAttributes(window, &key, &alpha, &layeredFlags);

    std::string json = "{\"hwnd\": " + Handle(window);
    json += ", \"class\": " + JsonString(ClassOf(window));
    json += ", \"text\": " + (textKnown ? JsonString(text) : std::string("null"));
    char numbers[512];
    snprintf(numbers, sizeof numbers,
             ", \"pid\": %lu, \"style\": %lu, \"exstyle\": %lu, \"visible\": %s, \"enabled\": %s, \"iconic\": %s,"
             " \"owner\": %s, \"hung\": %s, \"focus\": %s, \"active\": %s, \"capture\": %s,"
             " \"foreground\": %s, \"client_origin\": [%ld, %ld], \"client_size\": [%ld, %ld],"
             " \"colour_key\": %s",
             (unsigned long)processId, (unsigned long)GetWindowLongA(window, GWL_STYLE), (unsigned long)exStyle,
             IsWindowVisible(window) ? "true" : "false", IsWindowEnabled(window) ? "true" : "false",
             IsIconic(window) ? "true" : "false", Handle(GetWindow(window, GW_OWNER)).c_str(),
             IsHungAppWindow(window) ? "true" : "false", Handle(info.hwndFocus).c_str(),
             Handle(info.hwndActive).c_str(), Handle(info.hwndCapture).c_str(),
             GetForegroundWindow() == window ? "true" : "false", origin.x, origin.y, client.right, client.bottom,
             layered && (layeredFlags & LWA_COLORKEY) ? std::to_string((unsigned long)key).c_str() : "null");
    json += numbers;
    json += ", \"rect\": " + RectJson(screen);

    json += ", \"controls\": [";
    bool first = true;
    for (HWND child : ChildrenOf(window)) {
        json += first ? "" : ", ";
        json += ControlJson(child, info.hwndFocus);
        first = false;
    }
    return json + "]}";
}

struct TopLevel {
    std::vector<HWND> panels;
    std::vector<HWND> boxes;
};

static BOOL CALLBACK CollectTopLevel(HWND window, LPARAM data)
{
    TopLevel *found = (TopLevel *)data;
    std::string className = ClassOf(window);
    if (className == "X")
        found->panels.push_back(window);
    else if (className == "#32770" && IsWindowVisible(window))
        found->boxes.push_back(window);
    return TRUE;
}

// One look: the panels, their boxes, and with POINT the window under it.
static std::string Look(const POINT *point)
{
    AnyTimeout = false;
    TopLevel found;
    EnumWindows(CollectTopLevel, (LPARAM)&found);

    std::string json = "{\"panels\": [";
    for (size_t i = 0; i < found.panels.size(); i++)
        json += (i ? ", " : "") + WindowJson(found.panels[i]);
    json += "], \"boxes\": [";
    // Message boxes and the About box are both dialogs; only those of a
    // panel's process are ours.
    bool first = true;
    for (HWND box : found.boxes) {
        DWORD boxProcess = 0;
        GetWindowThreadProcessId(box, &boxProcess);
        bool ours = false;
        for (HWND panel : found.panels) {
            DWORD panelProcess = 0;
            GetWindowThreadProcessId(panel, &panelProcess);
            ours = ours || panelProcess == boxProcess;
        }
        if (!ours)
            continue;
        json += first ? "" : ", ";
        json += WindowJson(box);
        first = false;
    }
    json += "]";
    if (point) {
        HWND hit = WindowFromPoint(*point);
        json += ", \"at_point\": {\"hwnd\": " + Handle(hit) + ", \"class\": " + JsonString(hit ? ClassOf(hit) : "") +
                ", \"root\": " + Handle(hit ? GetAncestor(hit, GA_ROOT) : NULL) + "}";
    }
    return json + (AnyTimeout ? ", \"complete\": false}" : ", \"complete\": true}");
}

int main(int argc, char **)
{
    if (argc != 1) {
        fprintf(stderr, "usage: kivo_inspector < LOOKS (a line each: empty, or X Y)\n");
        return 2;
    }
    char line[64];
    while (fgets(line, sizeof line, stdin)) {
        POINT point = {0, 0};
        bool withPoint = sscanf(line, "%ld %ld", &point.x, &point.y) == 2;
        puts(Look(withPoint ? &point : NULL).c_str());
        fflush(stdout);
    }
    // Ends any question still waiting on a busy panel.
    ExitProcess(0);
}
