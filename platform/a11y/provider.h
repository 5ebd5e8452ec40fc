// The seam between the layer and the accessibility plugin, which is loaded
// only while it is needed. The layer (Host) answers questions about its
// objects; the plugin (Provider) speaks to assistive technologies and hears
// of changes. Both sides are built from this tree with the same compiler.
#pragma once

#include <poll.h>

#include <cstdint>
#include <string>
#include <vector>

namespace win32::a11y {

// An accessible object: the application (window 0), a window, an item of
// a list box, or a run of text drawn into a window.
struct Node {
    uint64_t window = 0;
    int item = -1;   // list item index, or -1
    int label = -1;  // index of the text run in the window, or -1
    bool operator==(const Node &) const = default;
};

enum class Role { Application, Frame, Dialog, List, ListItem, Label, PushButton, Link, Panel };

struct Box {
    int x = 0, y = 0, width = 0, height = 0;  // device pixels of the screen
};

struct NodeInfo {
    Role role = Role::Panel;
    std::string name;  // as drawn (ANSI)
    std::string description;
    Box extents;
    bool enabled = true;
    bool visible = false;
    bool showing = false;
    bool focusable = false;
    bool focused = false;
    bool selectable = false;
    bool selected = false;
    bool active = false;
    bool modal = false;
    bool resizable = false;
    std::string action;      // the one action's name, empty for none
    std::string keyBinding;  // its key, empty for none
};

// A key press or release as the registry's device event controller takes
// it (X numbering): what a screen reader hears before the program does.
struct KeyReport {
    bool pressed = false;
    int32_t keysym = 0;
    int16_t keycode = 0;
    int16_t modifiers = 0;  // X state: Shift 1, Lock 2, Control 4, Mod1 8, ...
    int32_t time = 0;       // milliseconds
    std::string text;       // the character typed, else the keysym's name
};

// The registry's word on a key: let it through, it was the screen
// reader's, or no word yet.
enum class KeyAnswer { Pass, Kept, Awaited };

class Host {
public:
    virtual ~Host() = default;
    virtual std::vector<Node> Children(const Node &n) = 0;
    virtual Node Parent(const Node &n) = 0;
    // Where `n` lies among its parent's children; -1 when it is not there.
    virtual int IndexInParent(const Node &n) = 0;
    // False when the object is gone.
    virtual bool Describe(const Node &n, NodeInfo *info) = 0;
    // Performs the node's action as the mouse would; false without one.
    virtual bool Act(const Node &n) = 0;
    // Recording drawn text on (everything is drawn again) or off (forgotten).
    virtual void SetRecording(bool on) = 0;
    // The registry knows the application now: what is active and focused
    // is announced again.
    virtual void Registered() = 0;
    // Selects a list's item (-1: none) as the keyboard would; false when
    // `list` is no list or the index none of its items.
    virtual bool SelectItem(const Node &list, int index) = 0;
    // Objects that name `n` (what labels it) and that `n` names.
    virtual std::vector<Node> LabelledBy(const Node &n) = 0;
    virtual std::vector<Node> LabelFor(const Node &n) = 0;
};

class Provider {
public:
    virtual ~Provider() = default;
    // For the message loop's wait: descriptors to watch, how long it may
    // sleep (-1 forever), and the work to do after each wait.
    virtual int Descriptors(pollfd *fds, int max) = 0;
    virtual int TimeoutMs() = 0;
    virtual void Dispatch() = 0;

    virtual void ChildrenChanged(const Node &parent, const Node &child, int index, bool added) = 0;
    virtual void StateChanged(const Node &n, const char *state, bool on) = 0;
    virtual void Focused(const Node &n) = 0;
    virtual void ActiveDescendant(const Node &list, const Node &item) = 0;
    virtual void WindowEvent(const Node &n, const char *what) = 0;  // "Activate", "Deactivate"
    // Hands a key to the registry before the program gets it: Awaited until
    // the answer comes or its short time limit passes, asked again with the
    // same serial. At most one message per key.
    virtual KeyAnswer Key(const KeyReport &key, uint64_t serial) = 0;
};

// The plugin's entry point.
using OpenProviderFn = Provider *(*)(Host *host);
constexpr const char *kOpenProviderSymbol = "MorvalenOpenAccessibility";

}  // namespace win32::a11y
