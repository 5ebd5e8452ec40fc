// The status read of status.h: SASL EXTERNAL, Hello, a match for the
// status's PropertiesChanged, and two Properties.Get calls, all written at
// once; then replies and signals parsed as they arrive.
#include "platform/a11y/status.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace win32::a11y {

namespace {

constexpr size_t kMaxMessage = 1 << 16;

uint64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

// ---- the address ---------------------------------------------------------

std::string Unescape(const std::string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out.push_back(static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// A connected non-blocking socket for the first unix: entry that takes one.
int Connect(const std::string &address) {
    size_t start = 0;
    while (start <= address.size()) {
        size_t end = address.find(';', start);
        if (end == std::string::npos) end = address.size();
        std::string entry = address.substr(start, end - start);
        start = end + 1;
        if (entry.rfind("unix:", 0) != 0) continue;
        std::string path;
        bool abstract = false;
        for (size_t k = 5; k < entry.size();) {
            size_t comma = entry.find(',', k);
            if (comma == std::string::npos) comma = entry.size();
            std::string pair = entry.substr(k, comma - k);
            k = comma + 1;
            if (pair.rfind("path=", 0) == 0) path = Unescape(pair.substr(5));
            if (pair.rfind("abstract=", 0) == 0) {
                path = Unescape(pair.substr(9));
                abstract = true;
            }
        }
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        const size_t offset = abstract ? 1 : 0;
        if (path.empty() || path.size() + offset >= sizeof sa.sun_path) continue;
        std::memcpy(sa.sun_path + offset, path.data(), path.size());
        socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                               (abstract ? 0 : 1));
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        if (connect(fd, reinterpret_cast<sockaddr *>(&sa), len) == 0 || errno == EINPROGRESS) return fd;
        close(fd);
    }
    return -1;
}

// ---- writing messages (little-endian) ------------------------------------

struct Writer {
    std::string b;
    void Align(size_t n) {
        while (b.size() % n) b.push_back('\0');
    }
    void U8(unsigned v) { b.push_back(static_cast<char>(v)); }
    void U32(uint32_t v) {
        Align(4);
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void Str(const std::string &s) {
        U32(static_cast<uint32_t>(s.size()));
        b += s;
        b.push_back('\0');
    }
    void Sig(const std::string &s) {
        U8(static_cast<unsigned>(s.size()));
        b += s;
        b.push_back('\0');
    }
    void Field(unsigned code, const char *type, const std::string &value) {
        Align(8);
        U8(code);
        Sig(type);
        if (type[0] == 'g')
            Sig(value);
        else
            Str(value);
    }
};

std::string MethodCall(uint32_t serial, const char *destination, const char *path, const char *interface,
                       const char *member, const std::vector<std::string> &args) {
    Writer body;
    for (const std::string &a : args) body.Str(a);
    Writer m;
    m.U8('l');
    m.U8(1);  // method call
    m.U8(0);
    m.U8(1);
    m.U32(static_cast<uint32_t>(body.b.size()));
    m.U32(serial);
    m.U32(0);  // the fields' length, below
    const size_t start = m.b.size();
    m.Field(1, "o", path);
    m.Field(2, "s", interface);
    m.Field(3, "s", member);
    m.Field(6, "s", destination);
    if (!args.empty()) m.Field(8, "g", std::string(args.size(), 's'));
    const uint32_t fields = static_cast<uint32_t>(m.b.size() - start);
    for (int i = 0; i < 4; ++i)
        m.b[12 + static_cast<size_t>(i)] = static_cast<char>((fields >> (8 * i)) & 0xFF);
    m.Align(8);
    return m.b + body.b;
}

// ---- reading messages ----------------------------------------------------

struct Reader {
    const std::string &b;
    size_t pos;
    bool little;
    bool ok = true;
    bool Align(size_t n) {
        while (pos % n) ++pos;
        return ok = ok && pos <= b.size();
    }
    unsigned U8() {
        if (!ok || pos >= b.size()) return ok = false, 0u;
        return static_cast<unsigned char>(b[pos++]);
    }
    uint32_t U32() {
        if (!Align(4) || pos + 4 > b.size()) return ok = false, 0u;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            uint32_t byte = static_cast<unsigned char>(b[pos + static_cast<size_t>(i)]);
            v |= little ? byte << (8 * i) : byte << (8 * (3 - i));
        }
        pos += 4;
        return v;
    }
    // A string or a signature: its length, just read, then its bytes and a nul.
    std::string Counted(size_t n) {
        if (!ok || pos + n + 1 > b.size()) return ok = false, std::string();
        std::string s = b.substr(pos, n);
        pos += n + 1;
        return s;
    }
    std::string Str() { return Counted(U32()); }
    std::string Sig() { return Counted(U8()); }
    // A variant holding a boolean; false in `isBool` for any other type,
    // after which the reader cannot go on.
    bool VariantBool(bool *isBool) {
        std::string sig = Sig();
        *isBool = ok && sig == "b";
        return *isBool && U32() != 0;
    }
};

}  // namespace

std::string SessionBusAddress() {
    const char *address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return address;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return "";
    std::string path = std::string(runtime) + "/bus";
    struct stat st = {};
    if (stat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return "";
    return "unix:path=" + path;
}

std::unique_ptr<StatusProbe> StatusProbe::Start(const std::string &address, int limitMs) {
    int fd = Connect(address);
    if (fd < 0) return nullptr;
    std::unique_ptr<StatusProbe> p(new StatusProbe());
    p->fd_ = fd;
    p->deadlineMs_ = NowMs() + static_cast<uint64_t>(limitMs);
    std::string uid = std::to_string(geteuid()), hex;
    static const char digits[] = "0123456789abcdef";
    for (char c : uid) {
        hex.push_back(digits[(static_cast<unsigned char>(c) >> 4) & 0xF]);
        hex.push_back(digits[static_cast<unsigned char>(c) & 0xF]);
    }
    p->out_ = std::string(1, '\0') + "AUTH EXTERNAL " + hex + "\r\n";
    return p;
}

StatusProbe::~StatusProbe() {
    if (fd_ >= 0) close(fd_);
}

pollfd StatusProbe::Descriptor() const {
    return pollfd{fd_, static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT)), 0};
}

int StatusProbe::TimeoutMs() const {
    if (answer_ != Asking) return -1;
    uint64_t now = NowMs();
    return now >= deadlineMs_ ? 0 : static_cast<int>(deadlineMs_ - now);
}

bool StatusProbe::Flush() {
    while (!out_.empty()) {
        ssize_t n = send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
        if (n < 0) return errno == EAGAIN || errno == EINTR || errno == ENOTCONN;
        out_.erase(0, static_cast<size_t>(n));
    }
    return true;
}

// The server's answer to AUTH: OK lets the messages go.
bool StatusProbe::HandleLine() {
    size_t end = in_.find("\r\n");
    if (end == std::string::npos) return in_.size() < 512;
    bool ok = in_.rfind("OK ", 0) == 0;
    in_.erase(0, end + 2);
    if (!ok) return false;
    authenticated_ = true;
    serialEnabled_ = 3;
    serialReader_ = 4;
    out_ += "BEGIN\r\n";
    out_ +=
        MethodCall(1, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "Hello", {});
    out_ +=
        MethodCall(2, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "AddMatch",
                   {"type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',"
                    "path='/org/a11y/bus',arg0='org.a11y.Status'"});
    for (uint32_t serial : {serialEnabled_, serialReader_})
        out_ +=
            MethodCall(serial, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
                       {"org.a11y.Status", serial == serialEnabled_ ? "IsEnabled" : "ScreenReaderEnabled"});
    return true;
}

// Every whole message in the buffer; false on a malformed one.
bool StatusProbe::HandleMessages() {
    while (in_.size() >= 16) {
        Reader head{in_, 0, in_[0] == 'l'};
        if (in_[0] != 'l' && in_[0] != 'B') return false;
        head.pos = 4;
        const uint32_t bodyLength = head.U32();
        head.U32();  // serial
        const uint32_t fieldsLength = head.U32();
        if (bodyLength > kMaxMessage || fieldsLength > kMaxMessage) return false;
        const size_t bodyStart = (16 + fieldsLength + 7) / 8 * 8;
        if (in_.size() < bodyStart + bodyLength) return true;
        const unsigned type = static_cast<unsigned char>(in_[1]);

        Reader r{in_, 16, head.little};
        uint32_t replySerial = 0;
        std::string member, interface;
        while (r.ok && r.pos < 16 + fieldsLength) {
            r.Align(8);
            unsigned code = r.U8();
            std::string sig = r.Sig();
            if (sig == "u") {
                uint32_t v = r.U32();
                if (code == 5) replySerial = v;
            } else if (sig == "s" || sig == "o") {
                std::string v = r.Str();
                if (code == 3) member = v;
                if (code == 2) interface = v;
            } else if (sig == "g") {
                r.Sig();
            } else {
                return false;
            }
        }
        if (!r.ok) return false;
        r.pos = bodyStart;
        if ((type == 2 || type == 3) && (replySerial == serialEnabled_ || replySerial == serialReader_)) {
            bool isBool = false;
            if (type == 2 && r.VariantBool(&isBool)) on_ = true;
            ++answers_;
        } else if (type == 4 && member == "PropertiesChanged" &&
                   interface == "org.freedesktop.DBus.Properties" && r.Str() == "org.a11y.Status") {
            const uint32_t length = r.U32();
            r.Align(8);
            const size_t end = r.pos + length;
            while (r.ok && r.pos < end) {
                r.Align(8);
                r.Str();  // IsEnabled or ScreenReaderEnabled: either one switches on
                bool isBool = false;
                if (r.VariantBool(&isBool)) on_ = true;
                if (!isBool) break;
            }
        }
        in_.erase(0, bodyStart + bodyLength);
    }
    return true;
}

StatusProbe::Answer StatusProbe::Step() {
    if (answer_ == Gone || answer_ == On) return answer_;
    bool alive = Flush();
    char buf[4096];
    for (;;) {
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n > 0) {
            in_.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) alive = false;
        break;
    }
    if (alive && !authenticated_) alive = HandleLine();
    if (alive && authenticated_) alive = HandleMessages() && Flush();
    if (on_) return answer_ = On;
    if (!alive || in_.size() > kMaxMessage) return answer_ = Gone;
    if (answer_ == Asking && (answers_ == 2 || NowMs() >= deadlineMs_)) answer_ = authenticated_ ? Off : Gone;
    return answer_;
}

}  // namespace win32::a11y
