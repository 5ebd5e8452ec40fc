// The layer's answers to the provider's questions.
#include "platform/a11y/tree.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "platform/a11y/record.h"
#include "platform/common/a11y_hooks.h"
#include "platform/user/paint.h"
#include "platform/user/wm.h"

namespace win32::a11y {

namespace {

std::vector<HWND> &TopLevels() {
    static auto *tops = new std::vector<HWND>();
    return *tops;
}

bool ClassIs(HWND h, const char *name) {
    wm::Window *w = wm::WindowOf(h);
    return w && w->cls && strcasecmp(w->cls->name.c_str(), name) == 0;
}

bool IsControl(HWND h) {
    return ClassIs(h, "listbox") || ClassIs(h, "button");
}

// Text as a screen reader should get it: no leading or trailing blanks; a
// wider gap inside (columns drawn in one string, as the rows' two sizes)
// read as a pause, ", ".
std::string Tidy(const std::string &s) {
    std::string out;
    size_t blanks = 0;
    for (char c : s) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++blanks;
            continue;
        }
        if (!out.empty() && blanks > 0) out += blanks > 1 ? ", " : " ";
        blanks = 0;
        out.push_back(c);
    }
    return out;
}

std::string Join(const std::vector<TextRun> *runs, const char *separator) {
    std::string out;
    if (!runs) return out;
    for (const TextRun &r : *runs) {
        std::string t = Tidy(r.text);
        if (t.empty()) continue;
        if (!out.empty()) out += separator;
        out += t;
    }
    return out;
}

bool AnyUnderlined(const std::vector<TextRun> *runs) {
    return runs && std::any_of(runs->begin(), runs->end(), [](const TextRun &r) { return r.underlined; });
}

// A title without its mnemonic marks, and the marked letter.
std::string StripMnemonic(const std::string &title, char *mnemonic) {
    std::string out;
    *mnemonic = 0;
    for (size_t i = 0; i < title.size(); ++i) {
        if (title[i] == '&' && i + 1 < title.size()) {
            ++i;
            if (title[i] != '&' && !*mnemonic)
                *mnemonic = static_cast<char>(std::tolower(static_cast<unsigned char>(title[i])));
        }
        out.push_back(title[i]);
    }
    return out;
}

// A rectangle on the program's screen, of window h's top-level, in device
// pixels of the window system's screen.
Box DeviceBox(HWND h, RECT r) {
    if (!display::IsOpen()) return {};
    wm::Window *top = wm::TopLevelOf(wm::WindowOf(h));
    if (!top) return {};
    display::Backend &b = display::Current();
    const POINT o = wm::ClientOriginScreen(*top);
    POINT a = b.ClientToDevice(top->native, {r.left - o.x, r.top - o.y});
    POINT z = b.ClientToDevice(top->native, {r.right - o.x, r.bottom - o.y});
    return {a.x, a.y, z.x - a.x, z.y - a.y};
}

RECT ClientToScreenRect(HWND h, RECT r) {
    POINT a{r.left, r.top}, z{r.right, r.bottom};
    ClientToScreen(h, &a);
    ClientToScreen(h, &z);
    return {a.x, a.y, z.x, z.y};
}

int ItemCount(HWND list) {
    LRESULT n = SendMessageA(list, LB_GETCOUNT, 0, 0);
    return n == LB_ERR ? 0 : static_cast<int>(n);
}

bool OwnerDrawnList(HWND list) {
    DWORD style = static_cast<DWORD>(GetWindowLongA(list, GWL_STYLE));
    return (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0 && !(style & LBS_HASSTRINGS);
}

// Draws an item the list has not shown into a memory context, so that its
// text is recorded as the program draws it.
void DrawItemOffScreen(HWND list, int index) {
    HWND parent = GetParent(list);
    RECT rc{};
    if (!parent || SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index),
                                reinterpret_cast<LPARAM>(&rc)) == LB_ERR)
        return;
    const int width = std::max(1L, static_cast<long>(rc.right - rc.left));
    const int height = std::max(1L, static_cast<long>(rc.bottom - rc.top));
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return;
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ previous = bitmap ? SelectObject(dc, bitmap) : nullptr;
    if (bitmap) {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_LISTBOX;
        dis.CtlID = static_cast<UINT>(GetDlgCtrlID(list));
        dis.itemID = static_cast<UINT>(index);
        dis.itemAction = ODA_DRAWENTIRE;
        dis.hwndItem = list;
        dis.hDC = dc;
        dis.rcItem = {0, 0, width, height};
        dis.itemData =
            static_cast<ULONG_PTR>(SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(index), 0));
        ItemDrawing scope(list, index, ODA_DRAWENTIRE);
        SendMessageA(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
        SelectObject(dc, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
}

std::string ItemName(HWND list, int index) {
    if (!OwnerDrawnList(list)) {
        LRESULT len = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
        if (len == LB_ERR || len <= 0) return "";
        std::string text(static_cast<size_t>(len) + 1, '\0');
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
        text.resize(std::strlen(text.c_str()));
        return Tidy(text);
    }
    if (!ItemRuns(list, index)) DrawItemOffScreen(list, index);
    return Join(ItemRuns(list, index), ", ");
}

// The text the parent drew above the list (its header): indices of the
// runs in the parent's record.
std::vector<int> HeaderRuns(HWND list) {
    std::vector<int> out;
    HWND parent = GetParent(list);
    const std::vector<TextRun> *runs = parent ? WindowRuns(parent) : nullptr;
    if (!runs) return out;
    RECT r{};
    GetWindowRect(list, &r);
    POINT top{r.left, r.top};
    ScreenToClient(parent, &top);
    for (size_t i = 0; i < runs->size(); ++i)
        if ((*runs)[i].cell.bottom <= top.y) out.push_back(static_cast<int>(i));
    return out;
}

std::string ListHeader(HWND list) {
    const std::vector<TextRun> *runs = WindowRuns(GetParent(list));
    std::vector<TextRun> above;
    for (int i : HeaderRuns(list)) above.push_back((*runs)[static_cast<size_t>(i)]);
    return Join(&above, ", ");
}

// Where a child lies in its parent's client area, for the reading order.
POINT ChildOrigin(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    POINT p{r.left, r.top};
    ScreenToClient(parent, &p);
    return p;
}

bool IsDialog(const wm::Window &w) {
    wm::Window *owner = w.owner ? wm::WindowOf(w.owner) : nullptr;
    return owner && ((owner->style & WS_DISABLED) || (w.style & WS_POPUP));
}

// Whether a screen reader may be told that `h` has the focus.
bool FocusTold(HWND h) {
    return GetFocus() == h && !StillToTell(h);
}

// The names of the links among a window's children, in reading order.
std::string LinkNames(HWND h) {
    std::string out;
    for (const Node &c : SharedHost().Children(WindowNode(h))) {
        NodeInfo info;
        if (c.label >= 0 || !SharedHost().Describe(c, &info) || info.role != Role::Link || info.name.empty())
            continue;
        if (!out.empty()) out += " ";
        out += info.name;
    }
    return out;
}

void DescribeWindow(HWND h, const wm::Window &w, NodeInfo *info) {
    RECT r{};
    GetWindowRect(h, &r);
    info->extents = DeviceBox(h, r);
    info->enabled = IsWindowEnabled(h) != FALSE;
    info->visible = (w.style & WS_VISIBLE) != 0;
    info->showing = IsWindowVisible(h) != FALSE && !wm::TopLevelOf(wm::WindowOf(h))->minimized;
    if (wm::IsTopLevel(w)) {
        info->role = IsDialog(w) ? Role::Dialog : Role::Frame;
        wm::Window *owner = w.owner ? wm::WindowOf(w.owner) : nullptr;
        info->modal = info->role == Role::Dialog && owner && (owner->style & WS_DISABLED);
        info->resizable = (w.style & WS_THICKFRAME) != 0;
        info->active = ToldActive() == h;
        info->focused = FocusTold(h);
        info->name = Tidy(w.text);
        if (info->name.empty()) {
            // Untitled: named by its text, described by its links.
            info->name = Join(WindowRuns(h), " ");
            info->description = LinkNames(h);
        }
        return;
    }
    if (ClassIs(h, "listbox")) {
        info->role = Role::List;
        info->focusable = true;
        // With items, the caret item holds the focus, not the list.
        info->focused = FocusTold(h) && FocusNode(h).item < 0;
        info->name = ListHeader(h);
        return;
    }
    if (ClassIs(h, "button")) {
        info->focusable = true;
        info->focused = FocusTold(h);
        const std::vector<TextRun> *runs = WindowRuns(h);
        char mnemonic = 0;
        if ((w.style & BS_TYPEMASK) == BS_OWNERDRAW) {
            info->name = Join(runs, " ");
            if (info->name.empty()) info->name = Tidy(StripMnemonic(w.text, &mnemonic));
        } else {
            info->name = Tidy(StripMnemonic(w.text, &mnemonic));
        }
        if ((w.style & BS_TYPEMASK) == BS_OWNERDRAW && AnyUnderlined(runs)) {
            info->role = Role::Link;
            info->action = "jump";
        } else {
            info->role = Role::PushButton;
            info->action = "press";
        }
        if (mnemonic) info->keyBinding = std::string(1, mnemonic);
        return;
    }
    info->role = Role::Panel;
    info->name = Tidy(w.text);
}

class LayerHost : public Host {
public:
    std::vector<Node> Children(const Node &n) override {
        std::vector<Node> out;
        if (n.item >= 0 || n.label >= 0) return out;
        if (n.window == 0) {
            for (HWND t : TopLevels()) out.push_back(WindowNode(t));
            return out;
        }
        HWND h = NodeWindow(n);
        wm::Window *w = wm::WindowOf(h);
        if (!w) return out;
        if (ClassIs(h, "listbox")) {
            const int count = ItemCount(h);
            for (int i = 0; i < count; ++i) out.push_back(Node{n.window, i, -1});
            return out;
        }
        // Text and child windows in reading order: top to bottom, then left
        // to right.
        struct Placed {
            Node node;
            POINT at;
        };
        std::vector<Placed> placed;
        if (!IsControl(h)) {
            if (const std::vector<TextRun> *runs = WindowRuns(h))
                for (size_t i = 0; i < runs->size(); ++i)
                    placed.push_back({Node{n.window, -1, static_cast<int>(i)},
                                      POINT{(*runs)[i].cell.left, (*runs)[i].cell.top}});
        }
        for (HWND c : w->children) placed.push_back({WindowNode(c), ChildOrigin(h, c)});
        std::stable_sort(placed.begin(), placed.end(), [](const Placed &a, const Placed &b) {
            return a.at.y != b.at.y ? a.at.y < b.at.y : a.at.x < b.at.x;
        });
        for (const Placed &p : placed) out.push_back(p.node);
        return out;
    }

    Node Parent(const Node &n) override {
        if (n.item >= 0 || n.label >= 0) return Node{n.window, -1, -1};
        wm::Window *w = wm::WindowOf(NodeWindow(n));
        if (!w || wm::IsTopLevel(*w)) return Node{};
        return WindowNode(w->parent);
    }

    int IndexInParent(const Node &n) override {
        if (n.window == 0) return -1;
        std::vector<Node> siblings = Children(Parent(n));
        auto it = std::find(siblings.begin(), siblings.end(), n);
        return it == siblings.end() ? -1 : static_cast<int>(it - siblings.begin());
    }

    bool Describe(const Node &n, NodeInfo *info) override {
        *info = NodeInfo{};
        if (n.window == 0) {
            info->role = Role::Application;
            info->name = ApplicationName();
            info->visible = info->showing = true;
            return true;
        }
        HWND h = NodeWindow(n);
        wm::Window *w = wm::WindowOf(h);
        if (!w) return false;
        if (n.label >= 0) {
            const std::vector<TextRun> *runs = WindowRuns(h);
            if (!runs || static_cast<size_t>(n.label) >= runs->size()) return false;
            const TextRun &run = (*runs)[static_cast<size_t>(n.label)];
            info->role = Role::Label;
            info->name = Tidy(run.text);
            info->extents = DeviceBox(h, ClientToScreenRect(h, run.cell));
            info->visible = info->showing = IsWindowVisible(h) != FALSE;
            return true;
        }
        if (n.item >= 0) return DescribeItem(h, n.item, info);
        DescribeWindow(h, *w, info);
        return true;
    }

    bool Act(const Node &n) override {
        HWND h = NodeWindow(n);
        if (n.item >= 0 || n.label >= 0 || !ClassIs(h, "button") || !IsWindowEnabled(h)) return false;
        // Posted, so the click runs from the message loop as a mouse click would.
        return PostMessageA(h, BM_CLICK, 0, 0) != FALSE;
    }

    void SetRecording(bool on) override {
        if (on) InstallHooks();
        SetRecordingFlag(on);
        if (!on) {
            NoteRegistered(false);
            return;
        }
        const std::vector<HWND> tops = wm::TopLevels();
        for (HWND t : tops) wm::InvalidateTree(t, true, true);
    }

    void Registered() override { NoteRegistered(true); }

    bool SelectItem(const Node &list, int index) override {
        HWND h = NodeWindow(list);
        if (list.item >= 0 || list.label >= 0 || !ClassIs(h, "listbox") || index < -1 ||
            index >= ItemCount(h))
            return false;
        // Posted, so the list changes from the message loop as it would for a key.
        return PostMessageA(h, LB_SETCURSEL, static_cast<WPARAM>(index), 0) != FALSE;
    }

    std::vector<Node> LabelledBy(const Node &n) override {
        std::vector<Node> out;
        HWND h = NodeWindow(n);
        if (n.item >= 0 || n.label >= 0 || !ClassIs(h, "listbox")) return out;
        const uint64_t parent = WindowNode(GetParent(h)).window;
        for (int i : HeaderRuns(h)) out.push_back(Node{parent, -1, i});
        return out;
    }

    std::vector<Node> LabelFor(const Node &n) override {
        std::vector<Node> out;
        wm::Window *w = n.label >= 0 ? wm::WindowOf(NodeWindow(n)) : nullptr;
        if (!w) return out;
        for (HWND c : w->children) {
            const std::vector<int> header = ClassIs(c, "listbox") ? HeaderRuns(c) : std::vector<int>();
            if (std::find(header.begin(), header.end(), n.label) != header.end())
                out.push_back(WindowNode(c));
        }
        return out;
    }

private:
    static std::string ApplicationName() {
        for (HWND t : TopLevels()) {
            wm::Window *w = wm::WindowOf(t);
            if (w && !w->owner && !w->text.empty()) return Tidy(w->text);
        }
        return "morvalen";
    }

    static bool DescribeItem(HWND list, int index, NodeInfo *info) {
        if (index >= ItemCount(list)) return false;
        info->role = Role::ListItem;
        info->name = ItemName(list, index);
        RECT rc{};
        SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc));
        info->extents = DeviceBox(list, ClientToScreenRect(list, rc));
        RECT client{};
        GetClientRect(list, &client);
        RECT shown{};
        info->visible = true;
        info->showing = IsWindowVisible(list) && IntersectRect(&shown, &client, &rc);
        info->enabled = IsWindowEnabled(list) != FALSE;
        info->selectable = info->focusable = true;
        info->selected = SendMessageA(list, LB_GETCURSEL, 0, 0) == index;
        info->focused = FocusTold(list) && SendMessageA(list, LB_GETCARETINDEX, 0, 0) == index;
        return true;
    }
};

}  // namespace

Node WindowNode(HWND h) {
    return Node{static_cast<uint64_t>(reinterpret_cast<uintptr_t>(h)), -1, -1};
}

HWND NodeWindow(const Node &n) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(n.window));
}

bool NoteTopLevel(HWND h, bool alive) {
    auto &tops = TopLevels();
    const bool known = std::find(tops.begin(), tops.end(), h) != tops.end();
    if (alive && !known) tops.push_back(h);
    if (!alive) std::erase(tops, h);
    return alive != known;
}

Node FocusNode(HWND h) {
    if (ClassIs(h, "listbox") && ItemCount(h) > 0) {
        LRESULT caret = SendMessageA(h, LB_GETCARETINDEX, 0, 0);
        if (caret != LB_ERR) return Node{WindowNode(h).window, static_cast<int>(caret), -1};
    }
    return WindowNode(h);
}

Host &SharedHost() {
    static auto *host = new LayerHost();
    return *host;
}

}  // namespace win32::a11y
