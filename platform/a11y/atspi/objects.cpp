// The accessible objects on the accessibility bus: Accessible, Component,
// Action, Selection, Text and Application, answered from the layer through
// Host.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/a11y/atspi/atspi.h"

namespace win32::a11y::atspi {

namespace {

struct Context {
    Host *host = nullptr;
    const std::string *desktopName = nullptr;
    const std::string *desktopPath = nullptr;
    int32_t id = 0;  // the registry's number for the application
};

Context &Registration() {
    static Context c;
    return c;
}

// AT-SPI's number and name of each role, in the order of Role.
struct RoleEntry {
    uint32_t number;
    const char *name;
};
constexpr RoleEntry kRoles[] = {
    {75, "application"}, {23, "frame"},       {16, "dialog"}, {31, "list"},  {32, "list item"},
    {29, "label"},       {43, "push button"}, {88, "link"},   {39, "panel"},
};
static_assert(sizeof kRoles / sizeof kRoles[0] == static_cast<size_t>(Role::Panel) + 1);

const RoleEntry &RoleOf(Role r) {
    return kRoles[static_cast<size_t>(r)];
}

// AT-SPI's numbers for states.
enum State : unsigned {
    kActive = 1,
    kEnabled = 8,
    kFocusable = 11,
    kFocused = 12,
    kModal = 16,
    kResizable = 21,
    kSelectable = 22,
    kSelected = 23,
    kSensitive = 24,
    kShowing = 25,
    kVisible = 30,
};

const char *UniqueName(sd_bus *bus) {
    const char *name = "";
    if (sd_bus_get_unique_name(bus, &name) < 0) name = "";
    return name;
}

int AppendRef(sd_bus_message *m, sd_bus *bus, const Node &n) {
    return sd_bus_message_append(m, "(so)", UniqueName(bus), PathOf(n).c_str());
}

int AppendParentRef(sd_bus_message *m, sd_bus *bus, const Node &n) {
    if (n.window == 0) {
        Context &c = Registration();
        if (c.desktopName && !c.desktopName->empty())
            return sd_bus_message_append(m, "(so)", c.desktopName->c_str(), c.desktopPath->c_str());
        return sd_bus_message_append(m, "(so)", "", "/org/a11y/atspi/null");
    }
    return AppendRef(m, bus, Registration().host->Parent(n));
}

// The node a call is for, described; an error reply when it is gone.
bool Lookup(const char *path, Node *n, NodeInfo *info, sd_bus_error *error) {
    if (!NodeOfPath(path, n) || !Registration().host->Describe(*n, info)) {
        sd_bus_error_set(error, "org.freedesktop.DBus.Error.UnknownObject", "The object is gone");
        return false;
    }
    return true;
}

bool LookupMessage(sd_bus_message *m, Node *n, NodeInfo *info, sd_bus_error *error) {
    return Lookup(sd_bus_message_get_path(m), n, info, error);
}

Box ExtentsIn(const Node &n, const NodeInfo &info, uint32_t coordType) {
    Box b = info.extents;
    if (coordType == 0 || n.window == 0) return b;
    // Window (1) and parent (2) coordinates: relative to the top-level or
    // the parent object.
    Node origin = Registration().host->Parent(n);
    if (coordType == 1) {
        Node top = n;
        while (top.window != 0) {
            Node up = Registration().host->Parent(top);
            if (up.window == 0) break;
            top = up;
        }
        origin = top;
    }
    NodeInfo o;
    if (origin.window != 0 && Registration().host->Describe(origin, &o)) {
        b.x -= o.extents.x;
        b.y -= o.extents.y;
    }
    return b;
}

// ---- Accessible ----------------------------------------------------------

// Name and Description.
int GetText(sd_bus *, const char *path, const char *, const char *property, sd_bus_message *reply, void *,
            sd_bus_error *error) {
    Node n;
    NodeInfo info;
    if (!Lookup(path, &n, &info, error)) return -EINVAL;
    const std::string &text = std::strcmp(property, "Name") == 0 ? info.name : info.description;
    return sd_bus_message_append(reply, "s", Utf8(text).c_str());
}

int GetParent(sd_bus *bus, const char *path, const char *, const char *, sd_bus_message *reply, void *,
              sd_bus_error *error) {
    Node n;
    if (!NodeOfPath(path, &n))
        return sd_bus_error_set(error, "org.freedesktop.DBus.Error.UnknownObject", path);
    return AppendParentRef(reply, bus, n);
}

int GetChildCount(sd_bus *, const char *path, const char *, const char *, sd_bus_message *reply, void *,
                  sd_bus_error *error) {
    Node n;
    if (!NodeOfPath(path, &n))
        return sd_bus_error_set(error, "org.freedesktop.DBus.Error.UnknownObject", path);
    return sd_bus_message_append(reply, "i", static_cast<int32_t>(Registration().host->Children(n).size()));
}

int GetLocaleProperty(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *,
                      sd_bus_error *) {
    return sd_bus_message_append(reply, "s", "C");
}

int GetAccessibleId(sd_bus *, const char *path, const char *, const char *, sd_bus_message *reply, void *,
                    sd_bus_error *) {
    return sd_bus_message_append(reply, "s", path + std::strlen(kPathPrefix) + 1);
}

// GetChildAtIndex (one reference, the null one past the end) and
// GetChildren (all of them).
int GetChildren(sd_bus_message *m, void *, sd_bus_error *error) {
    const bool one = std::strcmp(sd_bus_message_get_member(m), "GetChildAtIndex") == 0;
    int32_t index = 0;
    int r = one ? sd_bus_message_read(m, "i", &index) : 0;
    if (r < 0) return r;
    Node n;
    if (!NodeOfPath(sd_bus_message_get_path(m), &n))
        return sd_bus_error_set(error, "org.freedesktop.DBus.Error.UnknownObject", "gone");
    const std::vector<Node> kids = Registration().host->Children(n);
    sd_bus_message *reply = nullptr;
    if ((r = sd_bus_message_new_method_return(m, &reply)) < 0) return r;
    sd_bus *bus = sd_bus_message_get_bus(m);
    if (one && index >= 0 && static_cast<size_t>(index) < kids.size()) {
        r = AppendRef(reply, bus, kids[static_cast<size_t>(index)]);
    } else if (one) {
        r = sd_bus_message_append(reply, "(so)", "", "/org/a11y/atspi/null");
    } else {
        r = sd_bus_message_open_container(reply, 'a', "(so)");
        for (const Node &k : kids)
            if (r >= 0) r = AppendRef(reply, bus, k);
        if (r >= 0) r = sd_bus_message_close_container(reply);
    }
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int GetIndexInParent(sd_bus_message *m, void *, sd_bus_error *error) {
    Node n;
    if (!NodeOfPath(sd_bus_message_get_path(m), &n))
        return sd_bus_error_set(error, "org.freedesktop.DBus.Error.UnknownObject", "gone");
    return sd_bus_reply_method_return(m, "i", static_cast<int32_t>(Registration().host->IndexInParent(n)));
}

// AT-SPI's numbers of the relations.
constexpr uint32_t kLabelFor = 1, kLabelledBy = 2;

int GetRelationSet(sd_bus_message *m, void *, sd_bus_error *error) {
    Node n;
    if (!NodeOfPath(sd_bus_message_get_path(m), &n))
        return sd_bus_error_set(error, "org.freedesktop.DBus.Error.UnknownObject", "gone");
    Host *host = Registration().host;
    const std::pair<uint32_t, std::vector<Node>> relations[] = {{kLabelFor, host->LabelFor(n)},
                                                                {kLabelledBy, host->LabelledBy(n)}};
    sd_bus_message *reply = nullptr;
    int r = sd_bus_message_new_method_return(m, &reply);
    if (r < 0) return r;
    sd_bus *bus = sd_bus_message_get_bus(m);
    r = sd_bus_message_open_container(reply, 'a', "(ua(so))");
    for (const auto &[type, targets] : relations) {
        if (targets.empty() || r < 0) continue;
        r = sd_bus_message_open_container(reply, 'r', "ua(so)");
        if (r >= 0) r = sd_bus_message_append(reply, "u", type);
        if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "(so)");
        for (const Node &t : targets)
            if (r >= 0) r = AppendRef(reply, bus, t);
        if (r >= 0) r = sd_bus_message_close_container(reply);
        if (r >= 0) r = sd_bus_message_close_container(reply);
    }
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int GetRole(sd_bus_message *m, void *, sd_bus_error *error) {
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    return sd_bus_reply_method_return(m, "u", RoleOf(info.role).number);
}

int GetRoleName(sd_bus_message *m, void *, sd_bus_error *error) {
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    return sd_bus_reply_method_return(m, "s", RoleOf(info.role).name);
}

int GetState(sd_bus_message *m, void *, sd_bus_error *error) {
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    uint64_t bits = 0;
    auto set = [&](bool on, unsigned state) {
        if (on) bits |= uint64_t{1} << state;
    };
    set(info.enabled, kEnabled);
    set(info.enabled, kSensitive);
    set(info.visible, kVisible);
    set(info.showing, kShowing);
    set(info.focusable, kFocusable);
    set(info.focused, kFocused);
    set(info.selectable, kSelectable);
    set(info.selected, kSelected);
    set(info.active, kActive);
    set(info.modal, kModal);
    set(info.resizable, kResizable);
    return sd_bus_reply_method_return(m, "au", 2, static_cast<uint32_t>(bits),
                                      static_cast<uint32_t>(bits >> 32));
}

int GetAttributes(sd_bus_message *m, void *, sd_bus_error *) {
    return sd_bus_reply_method_return(m, "a{ss}", 0);
}

int GetApplication(sd_bus_message *m, void *, sd_bus_error *) {
    return sd_bus_reply_method_return(m, "(so)", UniqueName(sd_bus_message_get_bus(m)), kRootPath);
}

// Which interfaces beyond Accessible an object has.
bool HasText(const Node &n) {
    return n.item >= 0 || n.label >= 0;
}

bool HasSelection(const NodeInfo &info) {
    return info.role == Role::List;
}

int GetInterfaces(sd_bus_message *m, void *, sd_bus_error *error) {
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    std::vector<const char *> names{"org.a11y.atspi.Accessible"};
    if (n.window == 0) names.push_back("org.a11y.atspi.Application");
    if (n.window != 0) names.push_back("org.a11y.atspi.Component");
    if (!info.action.empty()) names.push_back("org.a11y.atspi.Action");
    if (HasSelection(info)) names.push_back("org.a11y.atspi.Selection");
    if (HasText(n)) names.push_back("org.a11y.atspi.Text");
    sd_bus_message *reply = nullptr;
    int r = sd_bus_message_new_method_return(m, &reply);
    if (r < 0) return r;
    r = sd_bus_message_open_container(reply, 'a', "s");
    for (const char *name : names)
        if (r >= 0) r = sd_bus_message_append(reply, "s", name);
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

const sd_bus_vtable kAccessible[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Name", "s", GetText, 0, 0),
    SD_BUS_PROPERTY("Description", "s", GetText, 0, 0),
    SD_BUS_PROPERTY("Parent", "(so)", GetParent, 0, 0),
    SD_BUS_PROPERTY("ChildCount", "i", GetChildCount, 0, 0),
    SD_BUS_PROPERTY("Locale", "s", GetLocaleProperty, 0, 0),
    SD_BUS_PROPERTY("AccessibleId", "s", GetAccessibleId, 0, 0),
    SD_BUS_METHOD("GetChildAtIndex", "i", "(so)", GetChildren, 0),
    SD_BUS_METHOD("GetChildren", "", "a(so)", GetChildren, 0),
    SD_BUS_METHOD("GetIndexInParent", "", "i", GetIndexInParent, 0),
    SD_BUS_METHOD("GetRelationSet", "", "a(ua(so))", GetRelationSet, 0),
    SD_BUS_METHOD("GetRole", "", "u", GetRole, 0),
    SD_BUS_METHOD("GetRoleName", "", "s", GetRoleName, 0),
    SD_BUS_METHOD("GetLocalizedRoleName", "", "s", GetRoleName, 0),
    SD_BUS_METHOD("GetState", "", "au", GetState, 0),
    SD_BUS_METHOD("GetAttributes", "", "a{ss}", GetAttributes, 0),
    SD_BUS_METHOD("GetApplication", "", "(so)", GetApplication, 0),
    SD_BUS_METHOD("GetInterfaces", "", "as", GetInterfaces, 0),
    SD_BUS_VTABLE_END,
};

// ---- Component -----------------------------------------------------------

// GetExtents and GetPosition.
int GetExtents(sd_bus_message *m, void *, sd_bus_error *error) {
    uint32_t coordType = 0;
    int r = sd_bus_message_read(m, "u", &coordType);
    if (r < 0) return r;
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    Box b = ExtentsIn(n, info, coordType);
    if (std::strcmp(sd_bus_message_get_member(m), "GetPosition") == 0)
        return sd_bus_reply_method_return(m, "ii", b.x, b.y);
    return sd_bus_reply_method_return(m, "(iiii)", b.x, b.y, b.width, b.height);
}

int GetSize(sd_bus_message *m, void *, sd_bus_error *error) {
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    return sd_bus_reply_method_return(m, "ii", info.extents.width, info.extents.height);
}

bool Inside(const Box &b, int x, int y) {
    return x >= b.x && y >= b.y && x < b.x + b.width && y < b.y + b.height;
}

// Contains (whether the point is inside), Text's GetOffsetAtPoint (a text
// object's one line fills its box: offset 0 inside, -1 outside) and
// GetAccessibleAtPoint (the deepest showing child under the point).
int AtPoint(sd_bus_message *m, void *, sd_bus_error *error) {
    int32_t x = 0, y = 0;
    uint32_t coordType = 0;
    int r = sd_bus_message_read(m, "iiu", &x, &y, &coordType);
    if (r < 0) return r;
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    const char *member = sd_bus_message_get_member(m);
    const bool inside = Inside(ExtentsIn(n, info, coordType), x, y);
    if (std::strcmp(member, "Contains") == 0) return sd_bus_reply_method_return(m, "b", inside);
    if (std::strcmp(member, "GetOffsetAtPoint") == 0)
        return sd_bus_reply_method_return(m, "i", inside ? 0 : -1);
    // Into screen coordinates.
    Box self = ExtentsIn(n, info, coordType);
    x += info.extents.x - self.x;
    y += info.extents.y - self.y;
    Node found{};
    bool any = false;
    for (Node at = n;;) {
        bool deeper = false;
        for (const Node &k : Registration().host->Children(at)) {
            NodeInfo ki;
            if (Registration().host->Describe(k, &ki) && ki.showing && Inside(ki.extents, x, y)) {
                found = at = k;
                any = deeper = true;
                break;
            }
        }
        if (!deeper) break;
    }
    sd_bus *bus = sd_bus_message_get_bus(m);
    if (!any) return sd_bus_reply_method_return(m, "(so)", "", "/org/a11y/atspi/null");
    return sd_bus_reply_method_return(m, "(so)", UniqueName(bus), PathOf(found).c_str());
}

int GetLayer(sd_bus_message *m, void *, sd_bus_error *error) {
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    // Windows (7) for top-levels, widgets (3) inside them.
    return sd_bus_reply_method_return(m, "u", Registration().host->Parent(n).window == 0 ? 7u : 3u);
}

int GetMdiZOrder(sd_bus_message *m, void *, sd_bus_error *) {
    return sd_bus_reply_method_return(m, "n", static_cast<int16_t>(-1));
}

// What cannot be done: grabbing the focus; in read-only text, selecting,
// moving the caret or scrolling.
int ReplyFalse(sd_bus_message *m, void *, sd_bus_error *) {
    return sd_bus_reply_method_return(m, "b", 0);
}

int GetAlpha(sd_bus_message *m, void *, sd_bus_error *) {
    return sd_bus_reply_method_return(m, "d", 1.0);
}

const sd_bus_vtable kComponent[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Contains", "iiu", "b", AtPoint, 0),
    SD_BUS_METHOD("GetAccessibleAtPoint", "iiu", "(so)", AtPoint, 0),
    SD_BUS_METHOD("GetExtents", "u", "(iiii)", GetExtents, 0),
    SD_BUS_METHOD("GetPosition", "u", "ii", GetExtents, 0),
    SD_BUS_METHOD("GetSize", "", "ii", GetSize, 0),
    SD_BUS_METHOD("GetLayer", "", "u", GetLayer, 0),
    SD_BUS_METHOD("GetMDIZOrder", "", "n", GetMdiZOrder, 0),
    SD_BUS_METHOD("GrabFocus", "", "b", ReplyFalse, 0),
    SD_BUS_METHOD("GetAlpha", "", "d", GetAlpha, 0),
    SD_BUS_VTABLE_END,
};

// ---- Action --------------------------------------------------------------

int GetNActions(sd_bus *, const char *path, const char *, const char *, sd_bus_message *reply, void *,
                sd_bus_error *error) {
    Node n;
    NodeInfo info;
    if (!Lookup(path, &n, &info, error)) return -EINVAL;
    return sd_bus_message_append(reply, "i", info.action.empty() ? 0 : 1);
}

// The action's name, key binding or description for index `i`.
int ActionText(sd_bus_message *m, sd_bus_error *error, int which) {
    int32_t index = 0;
    int r = sd_bus_message_read(m, "i", &index);
    if (r < 0) return r;
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    if (index != 0 || info.action.empty()) return sd_bus_reply_method_return(m, "s", "");
    const std::string text = which == 0 ? info.action : which == 1 ? info.keyBinding : std::string();
    return sd_bus_reply_method_return(m, "s", Utf8(text).c_str());
}

int GetActionName(sd_bus_message *m, void *, sd_bus_error *error) {
    return ActionText(m, error, 0);
}

int GetKeyBinding(sd_bus_message *m, void *, sd_bus_error *error) {
    return ActionText(m, error, 1);
}

int GetActionDescription(sd_bus_message *m, void *, sd_bus_error *error) {
    return ActionText(m, error, 2);
}

int GetActions(sd_bus_message *m, void *, sd_bus_error *error) {
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    if (info.action.empty()) return sd_bus_reply_method_return(m, "a(sss)", 0);
    return sd_bus_reply_method_return(m, "a(sss)", 1, info.action.c_str(), "", Utf8(info.keyBinding).c_str());
}

int DoAction(sd_bus_message *m, void *, sd_bus_error *error) {
    int32_t index = 0;
    int r = sd_bus_message_read(m, "i", &index);
    if (r < 0) return r;
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    return sd_bus_reply_method_return(m, "b", index == 0 && Registration().host->Act(n));
}

const sd_bus_vtable kAction[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("NActions", "i", GetNActions, 0, 0),
    SD_BUS_METHOD("GetDescription", "i", "s", GetActionDescription, 0),
    SD_BUS_METHOD("GetName", "i", "s", GetActionName, 0),
    SD_BUS_METHOD("GetLocalizedName", "i", "s", GetActionName, 0),
    SD_BUS_METHOD("GetKeyBinding", "i", "s", GetKeyBinding, 0),
    SD_BUS_METHOD("GetActions", "", "a(sss)", GetActions, 0),
    SD_BUS_METHOD("DoAction", "i", "b", DoAction, 0),
    SD_BUS_VTABLE_END,
};

// ---- Selection -----------------------------------------------------------

// The selected items of a list, in order.
std::vector<Node> SelectedChildren(const Node &list) {
    std::vector<Node> out;
    for (const Node &k : Registration().host->Children(list)) {
        NodeInfo ki;
        if (Registration().host->Describe(k, &ki) && ki.selected) out.push_back(k);
    }
    return out;
}

int GetNSelectedChildren(sd_bus *, const char *path, const char *, const char *, sd_bus_message *reply,
                         void *, sd_bus_error *error) {
    Node n;
    NodeInfo info;
    if (!Lookup(path, &n, &info, error)) return -EINVAL;
    return sd_bus_message_append(reply, "i", static_cast<int32_t>(SelectedChildren(n).size()));
}

int GetSelectedChild(sd_bus_message *m, void *, sd_bus_error *error) {
    int32_t index = 0;
    int r = sd_bus_message_read(m, "i", &index);
    if (r < 0) return r;
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    const std::vector<Node> selected = SelectedChildren(n);
    if (index < 0 || static_cast<size_t>(index) >= selected.size())
        return sd_bus_reply_method_return(m, "(so)", "", "/org/a11y/atspi/null");
    return sd_bus_reply_method_return(m, "(so)", UniqueName(sd_bus_message_get_bus(m)),
                                      PathOf(selected[static_cast<size_t>(index)]).c_str());
}

// IsChildSelected, SelectChild and DeselectChild (by child index),
// DeselectSelectedChild (by selected index), SelectAll and ClearSelection.
int ChangeSelection(sd_bus_message *m, void *, sd_bus_error *error) {
    const char *member = sd_bus_message_get_member(m);
    const bool all = std::strcmp(member, "SelectAll") == 0 || std::strcmp(member, "ClearSelection") == 0;
    int32_t index = 0;
    int r = all ? 0 : sd_bus_message_read(m, "i", &index);
    if (r < 0) return r;
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    Host *host = Registration().host;
    const std::vector<Node> kids = host->Children(n);
    const std::vector<Node> selected = SelectedChildren(n);
    const bool inRange = index >= 0 && static_cast<size_t>(index) < kids.size();
    auto isSelected = [&](int i) {
        return std::find(selected.begin(), selected.end(), kids[static_cast<size_t>(i)]) != selected.end();
    };
    bool done = false;
    if (std::strcmp(member, "IsChildSelected") == 0) {
        done = inRange && isSelected(index);
    } else if (std::strcmp(member, "SelectChild") == 0) {
        done = inRange && host->SelectItem(n, index);
    } else if (std::strcmp(member, "DeselectChild") == 0) {
        done = inRange && isSelected(index) && host->SelectItem(n, -1);
    } else if (std::strcmp(member, "DeselectSelectedChild") == 0) {
        done = index >= 0 && static_cast<size_t>(index) < selected.size() && host->SelectItem(n, -1);
    } else if (std::strcmp(member, "ClearSelection") == 0) {
        done = host->SelectItem(n, -1);
    }
    // SelectAll: one item at most is selected in these lists.
    return sd_bus_reply_method_return(m, "b", done);
}

const sd_bus_vtable kSelection[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("NSelectedChildren", "i", GetNSelectedChildren, 0, 0),
    SD_BUS_METHOD("GetSelectedChild", "i", "(so)", GetSelectedChild, 0),
    SD_BUS_METHOD("SelectChild", "i", "b", ChangeSelection, 0),
    SD_BUS_METHOD("DeselectSelectedChild", "i", "b", ChangeSelection, 0),
    SD_BUS_METHOD("IsChildSelected", "i", "b", ChangeSelection, 0),
    SD_BUS_METHOD("SelectAll", "", "b", ChangeSelection, 0),
    SD_BUS_METHOD("ClearSelection", "", "b", ChangeSelection, 0),
    SD_BUS_METHOD("DeselectChild", "i", "b", ChangeSelection, 0),
    SD_BUS_VTABLE_END,
};

// ---- Text ----------------------------------------------------------------

// A list item's or a label's text is its name: one line, read-only, one
// character per byte of the program's ANSI text.
bool TextOf(const char *path, Node *n, NodeInfo *info, std::string *text, sd_bus_error *error) {
    if (!Lookup(path, n, info, error)) return false;
    *text = info->name;
    return true;
}

int32_t Length(const std::string &text) {
    return static_cast<int32_t>(text.size());
}

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

// AT-SPI's boundaries (char 0, word start 1, word end 2, sentence 3-4,
// line 5-6) around `offset`: [start, end).
void Around(const std::string &text, int32_t offset, uint32_t boundary, int32_t *start, int32_t *end) {
    const int32_t len = Length(text);
    offset = std::clamp(offset, 0, len);
    auto at = [&](int32_t i) { return text[static_cast<size_t>(i)]; };
    if (boundary == 0) {
        *start = offset;
        *end = std::min(offset + 1, len);
    } else if (boundary == 1) {
        // From the start of the word at (or before) the offset to the next word's start.
        int32_t a = offset;
        while (a > 0 && (a == len || Blank(at(a)))) --a;
        while (a > 0 && !Blank(at(a - 1))) --a;
        int32_t b = std::max(a, offset);
        while (b < len && !Blank(at(b))) ++b;
        while (b < len && Blank(at(b))) ++b;
        *start = a;
        *end = b;
    } else if (boundary == 2) {
        // From the last word end at (or before) the offset to the next one.
        int32_t b = offset;
        while (b < len && Blank(at(b))) ++b;
        while (b < len && !Blank(at(b))) ++b;
        int32_t a = offset;
        if (a < len && !Blank(at(a)))
            while (a > 0 && !Blank(at(a - 1))) --a;
        while (a > 0 && Blank(at(a - 1))) --a;
        *start = a;
        *end = b;
    } else {
        *start = 0;
        *end = len;
    }
}

int ReplyRange(sd_bus_message *m, const std::string &text, int32_t start, int32_t end) {
    const std::string part =
        end > start ? text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)) : "";
    return sd_bus_reply_method_return(m, "sii", Utf8(part).c_str(), start, end);
}

// GetTextAtOffset, GetTextBeforeOffset, GetTextAfterOffset (by boundary)
// and GetStringAtOffset (by granularity: char, word, sentence, line,
// paragraph).
int TextAround(sd_bus_message *m, void *, sd_bus_error *error) {
    int32_t offset = 0;
    uint32_t kind = 0;
    int r = sd_bus_message_read(m, "iu", &offset, &kind);
    if (r < 0) return r;
    Node n;
    NodeInfo info;
    std::string text;
    if (!TextOf(sd_bus_message_get_path(m), &n, &info, &text, error)) return -EINVAL;
    const char *member = sd_bus_message_get_member(m);
    if (std::strcmp(member, "GetStringAtOffset") == 0)
        kind = kind == 0 ? 0 : kind == 1 ? 1 : kind == 2 ? 3 : 5;
    int32_t start = 0, end = 0;
    Around(text, offset, kind, &start, &end);
    if (std::strcmp(member, "GetTextBeforeOffset") == 0) {
        if (start == 0) return ReplyRange(m, text, 0, 0);
        Around(text, start - 1, kind, &start, &end);
    } else if (std::strcmp(member, "GetTextAfterOffset") == 0) {
        if (end >= Length(text)) return ReplyRange(m, text, end, end);
        Around(text, end, kind, &start, &end);
    }
    return ReplyRange(m, text, start, end);
}

int GetTextRange(sd_bus_message *m, void *, sd_bus_error *error) {
    int32_t start = 0, end = 0;
    int r = sd_bus_message_read(m, "ii", &start, &end);
    if (r < 0) return r;
    Node n;
    NodeInfo info;
    std::string text;
    if (!TextOf(sd_bus_message_get_path(m), &n, &info, &text, error)) return -EINVAL;
    const int32_t len = Length(text);
    if (end < 0 || end > len) end = len;
    start = std::clamp(start, 0, end);
    return sd_bus_reply_method_return(
        m, "s", Utf8(text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start))).c_str());
}

int GetCharacterAtOffset(sd_bus_message *m, void *, sd_bus_error *error) {
    int32_t offset = 0;
    int r = sd_bus_message_read(m, "i", &offset);
    if (r < 0) return r;
    Node n;
    NodeInfo info;
    std::string text;
    if (!TextOf(sd_bus_message_get_path(m), &n, &info, &text, error)) return -EINVAL;
    const bool inside = offset >= 0 && offset < Length(text);
    return sd_bus_reply_method_return(
        m, "i",
        inside ? static_cast<int32_t>(static_cast<unsigned char>(text[static_cast<size_t>(offset)])) : 0);
}

int GetCharacterCount(sd_bus *, const char *path, const char *, const char *, sd_bus_message *reply, void *,
                      sd_bus_error *error) {
    Node n;
    NodeInfo info;
    std::string text;
    if (!TextOf(path, &n, &info, &text, error)) return -EINVAL;
    return sd_bus_message_append(reply, "i", Length(text));
}

int GetCaretOffset(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *,
                   sd_bus_error *) {
    return sd_bus_message_append(reply, "i", 0);
}

// GetCharacterExtents and GetRangeExtents: the object's own box, where all
// of its one line lies.
int GetTextExtents(sd_bus_message *m, void *, sd_bus_error *error) {
    int32_t a = 0, b = 0;
    uint32_t coordType = 0;
    const bool range = std::strcmp(sd_bus_message_get_member(m), "GetRangeExtents") == 0;
    int r = range ? sd_bus_message_read(m, "iiu", &a, &b, &coordType)
                  : sd_bus_message_read(m, "iu", &a, &coordType);
    if (r < 0) return r;
    Node n;
    NodeInfo info;
    if (!LookupMessage(m, &n, &info, error)) return -EINVAL;
    Box box = ExtentsIn(n, info, coordType);
    return sd_bus_reply_method_return(m, "iiii", box.x, box.y, box.width, box.height);
}

// GetAttributes and GetAttributeRun: no attributes, over the whole text.
int GetTextAttributes(sd_bus_message *m, void *, sd_bus_error *error) {
    Node n;
    NodeInfo info;
    std::string text;
    if (!TextOf(sd_bus_message_get_path(m), &n, &info, &text, error)) return -EINVAL;
    return sd_bus_reply_method_return(m, "a{ss}ii", 0, 0, Length(text));
}

int NoAttributeValue(sd_bus_message *m, void *, sd_bus_error *) {
    return sd_bus_reply_method_return(m, "s", "");
}

int NoSelections(sd_bus_message *m, void *, sd_bus_error *) {
    return sd_bus_reply_method_return(m, "i", 0);
}

int NoSelection(sd_bus_message *m, void *, sd_bus_error *) {
    return sd_bus_reply_method_return(m, "ii", 0, 0);
}

int NoBoundedRanges(sd_bus_message *m, void *, sd_bus_error *) {
    return sd_bus_reply_method_return(m, "a(iisv)", 0);
}

const sd_bus_vtable kText[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("CharacterCount", "i", GetCharacterCount, 0, 0),
    SD_BUS_PROPERTY("CaretOffset", "i", GetCaretOffset, 0, 0),
    SD_BUS_METHOD("GetStringAtOffset", "iu", "sii", TextAround, 0),
    SD_BUS_METHOD("GetText", "ii", "s", GetTextRange, 0),
    SD_BUS_METHOD("SetCaretOffset", "i", "b", ReplyFalse, 0),
    SD_BUS_METHOD("GetTextBeforeOffset", "iu", "sii", TextAround, 0),
    SD_BUS_METHOD("GetTextAtOffset", "iu", "sii", TextAround, 0),
    SD_BUS_METHOD("GetTextAfterOffset", "iu", "sii", TextAround, 0),
    SD_BUS_METHOD("GetCharacterAtOffset", "i", "i", GetCharacterAtOffset, 0),
    SD_BUS_METHOD("GetAttributeValue", "is", "s", NoAttributeValue, 0),
    SD_BUS_METHOD("GetAttributes", "i", "a{ss}ii", GetTextAttributes, 0),
    SD_BUS_METHOD("GetDefaultAttributes", "", "a{ss}", GetAttributes, 0),
    SD_BUS_METHOD("GetCharacterExtents", "iu", "iiii", GetTextExtents, 0),
    SD_BUS_METHOD("GetOffsetAtPoint", "iiu", "i", AtPoint, 0),
    SD_BUS_METHOD("GetNSelections", "", "i", NoSelections, 0),
    SD_BUS_METHOD("GetSelection", "i", "ii", NoSelection, 0),
    SD_BUS_METHOD("AddSelection", "ii", "b", ReplyFalse, 0),
    SD_BUS_METHOD("RemoveSelection", "i", "b", ReplyFalse, 0),
    SD_BUS_METHOD("SetSelection", "iii", "b", ReplyFalse, 0),
    SD_BUS_METHOD("GetRangeExtents", "iiu", "iiii", GetTextExtents, 0),
    SD_BUS_METHOD("GetBoundedRanges", "iiiiuuu", "a(iisv)", NoBoundedRanges, 0),
    SD_BUS_METHOD("GetAttributeRun", "ib", "a{ss}ii", GetTextAttributes, 0),
    SD_BUS_METHOD("GetDefaultAttributeSet", "", "a{ss}", GetAttributes, 0),
    SD_BUS_METHOD("ScrollSubstringTo", "iiu", "b", ReplyFalse, 0),
    SD_BUS_METHOD("ScrollSubstringToPoint", "iiuii", "b", ReplyFalse, 0),
    SD_BUS_VTABLE_END,
};

// ---- Application ---------------------------------------------------------

int GetToolkitName(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *,
                   sd_bus_error *) {
    return sd_bus_message_append(reply, "s", "Morvalen");
}

int GetVersion(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *,
               sd_bus_error *) {
    return sd_bus_message_append(reply, "s", MORVALEN_VERSION);
}

int GetAtspiVersion(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *,
                    sd_bus_error *) {
    return sd_bus_message_append(reply, "s", "2.1");
}

int GetId(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *, sd_bus_error *) {
    return sd_bus_message_append(reply, "i", Registration().id);
}

int SetId(sd_bus *, const char *, const char *, const char *, sd_bus_message *value, void *, sd_bus_error *) {
    return sd_bus_message_read(value, "i", &Registration().id);
}

int GetLocale(sd_bus_message *m, void *, sd_bus_error *) {
    return sd_bus_reply_method_return(m, "s", "C");
}

const sd_bus_vtable kApplication[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("ToolkitName", "s", GetToolkitName, 0, 0),
    SD_BUS_PROPERTY("Version", "s", GetVersion, 0, 0),
    SD_BUS_PROPERTY("AtspiVersion", "s", GetAtspiVersion, 0, 0),
    SD_BUS_WRITABLE_PROPERTY("Id", "i", GetId, SetId, 0, 0),
    SD_BUS_METHOD("GetLocale", "u", "s", GetLocale, 0),
    SD_BUS_VTABLE_END,
};

// The cache of objects some toolkits fill ahead of requests: ours is
// empty, every question is answered as it comes.
int GetItems(sd_bus_message *m, void *, sd_bus_error *) {
    return sd_bus_reply_method_return(m, "a((so)(so)(so)iiassusau)", 0);
}

const sd_bus_vtable kCache[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetItems", "", "a((so)(so)(so)iiassusau)", GetItems, 0),
    SD_BUS_VTABLE_END,
};

// Which objects carry which interface.
int FindAny(sd_bus *, const char *path, const char *, void *, void **found, sd_bus_error *) {
    Node n;
    NodeInfo info;
    if (!NodeOfPath(path, &n) || !Registration().host->Describe(n, &info)) return 0;
    *found = &Registration();
    return 1;
}

int FindComponent(sd_bus *bus, const char *path, const char *interface, void *userdata, void **found,
                  sd_bus_error *error) {
    Node n;
    if (!NodeOfPath(path, &n) || n.window == 0) return 0;
    return FindAny(bus, path, interface, userdata, found, error);
}

int FindAction(sd_bus *, const char *path, const char *, void *, void **found, sd_bus_error *) {
    Node n;
    NodeInfo info;
    if (!NodeOfPath(path, &n) || !Registration().host->Describe(n, &info) || info.action.empty()) return 0;
    *found = &Registration();
    return 1;
}

int FindSelection(sd_bus *, const char *path, const char *, void *, void **found, sd_bus_error *) {
    Node n;
    NodeInfo info;
    if (!NodeOfPath(path, &n) || !Registration().host->Describe(n, &info) || !HasSelection(info)) return 0;
    *found = &Registration();
    return 1;
}

int FindText(sd_bus *, const char *path, const char *, void *, void **found, sd_bus_error *) {
    Node n;
    NodeInfo info;
    if (!NodeOfPath(path, &n) || !HasText(n) || !Registration().host->Describe(n, &info)) return 0;
    *found = &Registration();
    return 1;
}

int FindApplication(sd_bus *, const char *path, const char *, void *, void **found, sd_bus_error *) {
    Node n;
    if (!NodeOfPath(path, &n) || n.window != 0) return 0;
    *found = &Registration();
    return 1;
}

}  // namespace

std::string PathOf(const Node &n) {
    if (n.window == 0) return kRootPath;
    char buf[96];
    if (n.item >= 0)
        std::snprintf(buf, sizeof buf, "%s/w%" PRIx64 "_i%d", kPathPrefix, n.window, n.item);
    else if (n.label >= 0)
        std::snprintf(buf, sizeof buf, "%s/w%" PRIx64 "_t%d", kPathPrefix, n.window, n.label);
    else
        std::snprintf(buf, sizeof buf, "%s/w%" PRIx64, kPathPrefix, n.window);
    return buf;
}

bool NodeOfPath(const char *path, Node *n) {
    if (!path) return false;
    *n = Node{};
    if (std::strcmp(path, kRootPath) == 0) return true;
    const size_t prefix = std::strlen(kPathPrefix);
    if (std::strncmp(path, kPathPrefix, prefix) != 0 || path[prefix] != '/' || path[prefix + 1] != 'w')
        return false;
    char *end = nullptr;
    n->window = std::strtoull(path + prefix + 2, &end, 16);
    if (!end || n->window == 0) return false;
    if (*end == '\0') return true;
    if (end[0] != '_' || (end[1] != 'i' && end[1] != 't')) return false;
    char kind = end[1];
    char *tail = nullptr;
    long index = std::strtol(end + 2, &tail, 10);
    if (!tail || *tail != '\0' || index < 0 || index > 1000000) return false;
    (kind == 'i' ? n->item : n->label) = static_cast<int>(index);
    return true;
}

std::string Utf8(const std::string &ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (unsigned char c : ansi) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

int AddObjects(sd_bus *bus, Host *host, const std::string *desktopName, const std::string *desktopPath) {
    Context &c = Registration();
    c.host = host;
    c.desktopName = desktopName;
    c.desktopPath = desktopPath;
    int r = sd_bus_add_fallback_vtable(bus, nullptr, kPathPrefix, "org.a11y.atspi.Accessible", kAccessible,
                                       FindAny, nullptr);
    if (r >= 0)
        r = sd_bus_add_fallback_vtable(bus, nullptr, kPathPrefix, "org.a11y.atspi.Component", kComponent,
                                       FindComponent, nullptr);
    if (r >= 0)
        r = sd_bus_add_fallback_vtable(bus, nullptr, kPathPrefix, "org.a11y.atspi.Action", kAction,
                                       FindAction, nullptr);
    if (r >= 0)
        r = sd_bus_add_fallback_vtable(bus, nullptr, kPathPrefix, "org.a11y.atspi.Selection", kSelection,
                                       FindSelection, nullptr);
    if (r >= 0)
        r = sd_bus_add_fallback_vtable(bus, nullptr, kPathPrefix, "org.a11y.atspi.Text", kText, FindText,
                                       nullptr);
    if (r >= 0)
        r = sd_bus_add_fallback_vtable(bus, nullptr, kPathPrefix, "org.a11y.atspi.Application", kApplication,
                                       FindApplication, nullptr);
    if (r >= 0)
        r = sd_bus_add_object_vtable(bus, nullptr, "/org/a11y/atspi/cache", "org.a11y.atspi.Cache", kCache,
                                     nullptr);
    return r;
}

}  // namespace win32::a11y::atspi
