// ShellExecuteA: "open" on a web or mail address hands it to xdg-open,
// with the window system's activation token where it gives one.
//
// The opener is started with posix_spawnp and the address as its one
// argument, so no shell ever reads the address. Each started opener gets a
// detached thread that waits for exactly that child, so it is reaped as
// soon as it ends and never lingers as a zombie; no SIGCHLD handler is
// installed and no other child of the process is waited for.
#include <shellapi.h>

#include <errno.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/shell/shell.h"
#include "platform/shell/testing.h"

extern char **environ;

namespace {

constexpr INT_PTR kStarted = 42;  // any value above 32 means success

struct ShellState {
    bool recording = false;
    std::vector<win32::testing::ShellCall> calls;
    std::string opener = "xdg-open";
    std::string (*tokens)() = nullptr;
};

ShellState &Launcher() {
    static ShellState s;
    return s;
}

bool HasScheme(const char *file, const char *scheme) {
    return strncasecmp(file, scheme, strlen(scheme)) == 0;
}

bool IsOpenableAddress(const char *file) {
    if (!HasScheme(file, "http:") && !HasScheme(file, "https:") && !HasScheme(file, "mailto:")) return false;
    // Control characters have no place in an address.
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(file); *p; ++p)
        if (*p < 0x20 || *p == 0x7F) return false;
    return true;
}

HINSTANCE Result(INT_PTR code) {
    return reinterpret_cast<HINSTANCE>(code);
}

// The opener's environment: ours, and where the window system hands them
// out, a fresh token that lets the browser come forward for the user's
// click (never one this process inherited: each is good once).
std::vector<std::string> OpenerEnvironment() {
    static const char kToken[] = "XDG_ACTIVATION_TOKEN=";
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        if (std::strncmp(*e, kToken, sizeof kToken - 1) != 0) env.emplace_back(*e);
    }
    std::string token = Launcher().tokens ? Launcher().tokens() : "";
    if (!token.empty()) env.push_back(kToken + token);
    return env;
}

INT_PTR SpawnOpener(const char *file) {
    std::string program = Launcher().opener;
    char *argv[] = {program.data(), const_cast<char *>(file), nullptr};
    std::vector<std::string> env = OpenerEnvironment();
    std::vector<char *> envp;
    for (std::string &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid;
    int err = posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, envp.data());
    if (err != 0) {
        // The click has no other way to tell the user why nothing opens.
        fprintf(stderr, "%s: cannot open %s: %s: %s\n", program_invocation_short_name, file, program.c_str(),
                strerror(err));
        switch (err) {
            case ENOMEM:
            case EAGAIN:
                return SE_ERR_OOM;
            case EACCES:
            case EPERM:
                return SE_ERR_ACCESSDENIED;
            default:
                return SE_ERR_FNF;
        }
    }
    try {
        std::thread([pid] {
            int status;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error &) {
        // Without a thread to spare, wait here: the opener only hands the
        // address over and ends.
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    return kStarted;
}

std::string Text(LPCSTR s) {
    return s ? s : "(null)";
}

}  // namespace

extern "C" HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                                          LPCSTR lpDirectory, INT nShowCmd) {
    ShellState &s = Launcher();
    if (s.recording)
        s.calls.push_back(
            {hwnd, Text(lpOperation), Text(lpFile), Text(lpParameters), Text(lpDirectory), nShowCmd});

    // A null verb is the default one, which is "open" for an address.
    if (lpOperation && strcasecmp(lpOperation, "open") != 0) return Result(SE_ERR_NOASSOC);
    if (!lpFile || !*lpFile) return Result(SE_ERR_FNF);
    if (!IsOpenableAddress(lpFile)) return Result(SE_ERR_NOASSOC);
    if (s.recording) return Result(kStarted);
    return Result(SpawnOpener(lpFile));
}

void win32::shell::SetActivationTokenSource(std::string (*source)()) {
    Launcher().tokens = source;
}

void win32::testing::RecordShellCalls(bool on) {
    Launcher().recording = on;
}
std::vector<win32::testing::ShellCall> win32::testing::ShellCalls() {
    return Launcher().calls;
}
void win32::testing::SetShellOpener(const char *program) {
    Launcher().opener = program ? program : "xdg-open";
}
void win32::testing::ResetShell() {
    Launcher() = ShellState{};
}
