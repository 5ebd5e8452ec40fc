// The provider's connections. On the session bus it reads and watches
// org.a11y.Status (IsEnabled, ScreenReaderEnabled); while either is true it
// holds a connection to the accessibility bus, registered with the
// registry, and the layer records drawn text. Every call is asynchronous:
// the status has 100 ms to answer, after which accessibility counts as off
// until the status changes. A connection that fails is closed and the
// program goes on without it.
//
// Keys go to the registry's device event controller before the program
// gets them, one call each; the program waits for the answer (the screen
// reader may keep the key) at most kKeyLimitUs. A registry that lets that
// pass is not waited for again until it answers a key in time.
#include <time.h>

#include <cstdint>
#include <cstring>

#include "platform/a11y/atspi/atspi.h"

namespace win32::a11y::atspi {

namespace {

constexpr uint64_t kStatusTimeoutUs = 100 * 1000;
constexpr uint64_t kAddressTimeoutUs = 5 * 1000 * 1000;
constexpr uint64_t kKeyLimitUs = 500 * 1000;

uint64_t NowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

class AtspiProvider : public Provider {
public:
    explicit AtspiProvider(Host *host) : host_(host) {}
    ~AtspiProvider() override {
        CloseAccessibilityBus();
        if (session_) sd_bus_close_unref(session_);
    }

    bool Start() {
        if (sd_bus_open_user(&session_) < 0) {
            session_ = nullptr;
            return false;
        }
        sd_bus_match_signal_async(session_, nullptr, "org.a11y.Bus", "/org/a11y/bus",
                                  "org.freedesktop.DBus.Properties", "PropertiesChanged", OnStatusChanged,
                                  nullptr, this);
        AskStatus("IsEnabled", OnIsEnabled);
        AskStatus("ScreenReaderEnabled", OnScreenReaderEnabled);
        return true;
    }

    int Descriptors(pollfd *fds, int max) override {
        int count = 0;
        for (sd_bus *bus : {session_, a11y_}) {
            if (!bus || count >= max) continue;
            int fd = sd_bus_get_fd(bus);
            int events = sd_bus_get_events(bus);
            if (fd < 0 || events < 0) continue;
            fds[count++] = pollfd{fd, static_cast<short>(events), 0};
        }
        return count;
    }

    int TimeoutMs() override {
        uint64_t soonest = UINT64_MAX;
        for (sd_bus *bus : {session_, a11y_}) {
            uint64_t at = UINT64_MAX;
            if (bus && sd_bus_get_timeout(bus, &at) >= 0 && at < soonest) soonest = at;
        }
        if (soonest == UINT64_MAX) return -1;
        uint64_t now = NowUs();
        if (soonest <= now) return 0;
        uint64_t ms = (soonest - now + 999) / 1000;
        return ms > 60000 ? 60000 : static_cast<int>(ms);
    }

    void Dispatch() override {
        if (session_ && !Process(session_)) {
            sd_bus_close_unref(session_);
            session_ = nullptr;
        }
        if (a11y_ && !Process(a11y_)) {
            CloseAccessibilityBus();
            return;
        }
        if (a11y_ && !embedCalled_ && sd_bus_is_ready(a11y_) > 0) Embed();
    }

    void ChildrenChanged(const Node &parent, const Node &child, int index, bool added) override {
        sd_bus_message *m = NewEvent(parent, "org.a11y.atspi.Event.Object", "ChildrenChanged",
                                     added ? "add" : "remove", index, 0);
        if (!m) return;
        const char *name = nullptr;
        sd_bus_get_unique_name(a11y_, &name);
        sd_bus_message_append(m, "v", "(so)", name ? name : "", PathOf(child).c_str());
        Send(m);
    }

    void StateChanged(const Node &n, const char *state, bool on) override {
        sd_bus_message *m = NewEvent(n, "org.a11y.atspi.Event.Object", "StateChanged", state, on ? 1 : 0, 0);
        if (!m) return;
        sd_bus_message_append(m, "v", "i", 0);
        Send(m);
    }

    void Focused(const Node &n) override {
        sd_bus_message *m = NewEvent(n, "org.a11y.atspi.Event.Focus", "Focus", "", 0, 0);
        if (!m) return;
        sd_bus_message_append(m, "v", "i", 0);
        Send(m);
    }

    void ActiveDescendant(const Node &list, const Node &item) override {
        sd_bus_message *m =
            NewEvent(list, "org.a11y.atspi.Event.Object", "ActiveDescendantChanged", "", item.item, 0);
        if (!m) return;
        const char *name = nullptr;
        sd_bus_get_unique_name(a11y_, &name);
        sd_bus_message_append(m, "v", "(so)", name ? name : "", PathOf(item).c_str());
        Send(m);
    }

    KeyAnswer Key(const KeyReport &key, uint64_t serial) override {
        if (asking_ && askedSerial_ == serial) {
            if (!answered_) return KeyAnswer::Awaited;
            asking_ = false;
            return kept_ ? KeyAnswer::Kept : KeyAnswer::Pass;
        }
        asking_ = false;
        if (!a11y_ || !embedCalled_) return KeyAnswer::Pass;
        sd_bus_message *m = nullptr;
        if (sd_bus_message_new_method_call(a11y_, &m, "org.a11y.atspi.Registry",
                                           "/org/a11y/atspi/registry/deviceeventcontroller",
                                           "org.a11y.atspi.DeviceEventController", "NotifyListenersSync") < 0)
            return KeyAnswer::Pass;
        // As toolkits send it: press 0 or release 1, keysym, keycode,
        // modifiers, time, text, and whether the text starts printable.
        const std::string text = Utf8(key.text);
        const unsigned char first = text.empty() ? 0 : static_cast<unsigned char>(text[0]);
        uint64_t cookie = 0;
        int r = sd_bus_message_append(m, "(uinnisb)", key.pressed ? 0u : 1u, key.keysym, key.keycode,
                                      key.modifiers, key.time, text.c_str(), first >= 0x20 && first != 0x7F);
        if (r >= 0) r = sd_bus_call_async(a11y_, nullptr, m, OnKeyAnswer, this, kKeyLimitUs);
        if (r >= 0) r = sd_bus_message_get_cookie(m, &cookie);
        sd_bus_message_unref(m);
        if (r < 0 || registrySlow_) return KeyAnswer::Pass;
        asking_ = true;
        answered_ = kept_ = false;
        askedSerial_ = serial;
        askedCookie_ = cookie;
        return KeyAnswer::Awaited;
    }

    void WindowEvent(const Node &n, const char *what) override {
        sd_bus_message *m = NewEvent(n, "org.a11y.atspi.Event.Window", what, "", 0, 0);
        if (!m) return;
        NodeInfo info;
        host_->Describe(n, &info);
        sd_bus_message_append(m, "v", "s", Utf8(info.name).c_str());
        Send(m);
    }

private:
    // Runs what is pending; false when the connection has failed.
    static bool Process(sd_bus *bus) {
        for (int i = 0; i < 1000; ++i) {
            int r = sd_bus_process(bus, nullptr);
            if (r < 0) return false;
            if (r == 0) break;
        }
        return sd_bus_is_open(bus) > 0;
    }

    void AskStatus(const char *property, sd_bus_message_handler_t callback) {
        sd_bus_message *m = nullptr;
        if (sd_bus_message_new_method_call(session_, &m, "org.a11y.Bus", "/org/a11y/bus",
                                           "org.freedesktop.DBus.Properties", "Get") < 0)
            return;
        if (sd_bus_message_append(m, "ss", "org.a11y.Status", property) >= 0)
            sd_bus_call_async(session_, nullptr, m, callback, this, kStatusTimeoutUs);
        sd_bus_message_unref(m);
    }

    // The registry's answer for a key: true when the screen reader kept it.
    // A call that timed out makes the next keys go on without waiting
    // until an answer comes in time again.
    static int OnKeyAnswer(sd_bus_message *m, void *self, sd_bus_error *) {
        auto *p = static_cast<AtspiProvider *>(self);
        const sd_bus_error *e = sd_bus_message_get_error(m);
        p->registrySlow_ = e && sd_bus_error_has_name(e, SD_BUS_ERROR_NO_REPLY);
        uint64_t cookie = 0;
        if (!p->asking_ || sd_bus_message_get_reply_cookie(m, &cookie) < 0 || cookie != p->askedCookie_)
            return 0;
        int kept = 0;
        p->answered_ = true;
        p->kept_ = !e && sd_bus_message_read(m, "b", &kept) >= 0 && kept;
        return 0;
    }

    static bool ReadBoolReply(sd_bus_message *m, bool *value) {
        if (sd_bus_message_is_method_error(m, nullptr)) return false;
        int b = 0;
        if (sd_bus_message_read(m, "v", "b", &b) < 0) return false;
        *value = b != 0;
        return true;
    }

    static int OnIsEnabled(sd_bus_message *m, void *self, sd_bus_error *) {
        auto *p = static_cast<AtspiProvider *>(self);
        if (ReadBoolReply(m, &p->isEnabled_)) p->Update();
        return 0;
    }

    static int OnScreenReaderEnabled(sd_bus_message *m, void *self, sd_bus_error *) {
        auto *p = static_cast<AtspiProvider *>(self);
        if (ReadBoolReply(m, &p->screenReader_)) p->Update();
        return 0;
    }

    // PropertiesChanged(s interface, a{sv} changed, as invalidated).
    static int OnStatusChanged(sd_bus_message *m, void *self, sd_bus_error *) {
        auto *p = static_cast<AtspiProvider *>(self);
        const char *interface = nullptr;
        if (sd_bus_message_read(m, "s", &interface) < 0 || std::strcmp(interface, "org.a11y.Status") != 0)
            return 0;
        if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return 0;
        while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
            const char *name = nullptr;
            int b = 0;
            if (sd_bus_message_read(m, "s", &name) < 0) return 0;
            if (sd_bus_message_read(m, "v", "b", &b) >= 0) {
                if (std::strcmp(name, "IsEnabled") == 0) p->isEnabled_ = b != 0;
                if (std::strcmp(name, "ScreenReaderEnabled") == 0) p->screenReader_ = b != 0;
            } else {
                sd_bus_message_skip(m, "v");
            }
            sd_bus_message_exit_container(m);
        }
        p->Update();
        return 0;
    }

    // Connects or disconnects to follow the status.
    void Update() {
        const bool wanted = isEnabled_ || screenReader_;
        if (!wanted) {
            CloseAccessibilityBus();
            return;
        }
        if (a11y_ || addressAsked_ || !session_) return;
        sd_bus_message *m = nullptr;
        if (sd_bus_message_new_method_call(session_, &m, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                           "GetAddress") < 0)
            return;
        if (sd_bus_call_async(session_, nullptr, m, OnAddress, this, kAddressTimeoutUs) >= 0)
            addressAsked_ = true;
        sd_bus_message_unref(m);
    }

    static int OnAddress(sd_bus_message *m, void *self, sd_bus_error *) {
        auto *p = static_cast<AtspiProvider *>(self);
        p->addressAsked_ = false;
        const char *address = nullptr;
        if (sd_bus_message_is_method_error(m, nullptr) || sd_bus_message_read(m, "s", &address) < 0) return 0;
        if (!(p->isEnabled_ || p->screenReader_) || p->a11y_) return 0;
        p->OpenAccessibilityBus(address);
        return 0;
    }

    void OpenAccessibilityBus(const char *address) {
        sd_bus *bus = nullptr;
        if (sd_bus_new(&bus) < 0) return;
        if (sd_bus_set_address(bus, address) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
            AddObjects(bus, host_, &desktopName_, &desktopPath_) < 0 || sd_bus_start(bus) < 0) {
            sd_bus_close_unref(bus);
            return;
        }
        a11y_ = bus;
        embedCalled_ = false;
        host_->SetRecording(true);
    }

    void CloseAccessibilityBus() {
        if (!a11y_) return;
        sd_bus_close_unref(a11y_);
        a11y_ = nullptr;
        embedCalled_ = false;
        asking_ = registrySlow_ = false;
        desktopName_.clear();
        host_->SetRecording(false);
    }

    // Registers the application with the registry, as toolkits do.
    void Embed() {
        const char *name = nullptr;
        if (sd_bus_get_unique_name(a11y_, &name) < 0 || !name) return;
        embedCalled_ = true;
        sd_bus_message *m = nullptr;
        if (sd_bus_message_new_method_call(a11y_, &m, "org.a11y.atspi.Registry", kRootPath,
                                           "org.a11y.atspi.Socket", "Embed") < 0)
            return;
        if (sd_bus_message_append(m, "(so)", name, kRootPath) >= 0)
            sd_bus_call_async(a11y_, nullptr, m, OnEmbedded, this, kAddressTimeoutUs);
        sd_bus_message_unref(m);
    }

    static int OnEmbedded(sd_bus_message *m, void *self, sd_bus_error *) {
        auto *p = static_cast<AtspiProvider *>(self);
        const char *name = nullptr, *path = nullptr;
        if (sd_bus_message_is_method_error(m, nullptr) || sd_bus_message_read(m, "(so)", &name, &path) < 0)
            return 0;
        p->desktopName_ = name;
        p->desktopPath_ = path;
        p->host_->Registered();
        return 0;
    }

    // A new event signal from `n` with its detail and numbers, the data
    // still to be appended; null while not connected.
    sd_bus_message *NewEvent(const Node &n, const char *interface, const char *member, const char *detail,
                             int d1, int d2) {
        if (!a11y_ || !embedCalled_) return nullptr;
        sd_bus_message *m = nullptr;
        if (sd_bus_message_new_signal(a11y_, &m, PathOf(n).c_str(), interface, member) < 0) return nullptr;
        if (sd_bus_message_append(m, "sii", detail, d1, d2) < 0) {
            sd_bus_message_unref(m);
            return nullptr;
        }
        return m;
    }

    void Send(sd_bus_message *m) {
        if (sd_bus_message_open_container(m, 'a', "{sv}") >= 0 && sd_bus_message_close_container(m) >= 0)
            sd_bus_send(a11y_, m, nullptr);
        sd_bus_message_unref(m);
    }

    Host *host_;
    sd_bus *session_ = nullptr;
    sd_bus *a11y_ = nullptr;
    bool isEnabled_ = false;
    bool screenReader_ = false;
    bool addressAsked_ = false;
    bool embedCalled_ = false;
    std::string desktopName_, desktopPath_;
    // The key the program waits on, and the call that asked for it.
    bool asking_ = false, answered_ = false, kept_ = false;
    uint64_t askedSerial_ = 0, askedCookie_ = 0;
    bool registrySlow_ = false;  // the last key's time passed: do not wait for the next
};

}  // namespace

}  // namespace win32::a11y::atspi

extern "C" __attribute__((visibility("default"))) win32::a11y::Provider *MorvalenOpenAccessibility(
    win32::a11y::Host *host) {
    auto *p = new win32::a11y::atspi::AtspiProvider(host);
    if (!p->Start()) {
        delete p;
        return nullptr;
    }
    return p;
}
