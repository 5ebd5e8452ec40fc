// ShellExecuteA: which addresses it opens, what it answers, and a real
// start of an opener with the address as one argument and no zombie left.
#include <gtest/gtest.h>

#include <shellapi.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/shell/testing.h"

namespace {

INT_PTR Open(LPCSTR verb, LPCSTR file) {
    return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, verb, file, nullptr, nullptr, SW_SHOWNORMAL));
}

class Shell : public ::testing::Test {
protected:
    void TearDown() override { win32::testing::ResetShell(); }
};

TEST_F(Shell, RecordsTheCallInsteadOfStarting) {
    win32::testing::RecordShellCalls(true);
    HWND owner = reinterpret_cast<HWND>(uintptr_t{0x10020003});
    INT_PTR r = reinterpret_cast<INT_PTR>(
        ShellExecuteA(owner, "open", "https://example.org/a b", "p", "/tmp", SW_SHOWNORMAL));
    EXPECT_GT(r, 32);
    auto calls = win32::testing::ShellCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].hwnd, owner);
    EXPECT_EQ(calls[0].verb, "open");
    EXPECT_EQ(calls[0].file, "https://example.org/a b");
    EXPECT_EQ(calls[0].params, "p");
    EXPECT_EQ(calls[0].dir, "/tmp");
    EXPECT_EQ(calls[0].show, SW_SHOWNORMAL);
}

TEST_F(Shell, OpensOnlyWebAndMailAddresses) {
    win32::testing::RecordShellCalls(true);
    for (const char *ok : {"http://example.org", "https://example.org/x?y=1", "HTTPS://EXAMPLE.ORG",
                           "mailto:someone@example.org", "Http:relative"})
        EXPECT_GT(Open("open", ok), 32) << ok;
    EXPECT_GT(Open(nullptr, "https://example.org"), 32);  // the default verb
    EXPECT_GT(Open("OPEN", "https://example.org"), 32);

    for (const char *refused :
         {"file:///etc/passwd", "/etc/passwd", "javascript:alert(1)", "httpx://a", "ftp://example.org",
          "-https://a", " https://a", "https://a\nb", "https://a\x7f"})
        EXPECT_EQ(Open("open", refused), SE_ERR_NOASSOC) << refused;
    EXPECT_EQ(Open("edit", "https://example.org"), SE_ERR_NOASSOC);
    EXPECT_EQ(Open("open", ""), SE_ERR_FNF);
    EXPECT_EQ(Open("open", nullptr), SE_ERR_FNF);
}

// Children of this process that have not been reaped.
int ZombieChildren() {
    int zombies = 0;
    for (auto &p : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(p.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state;
        int ppid;
        if (rest >> state >> ppid && ppid == getpid() && state == 'Z') ++zombies;
    }
    return zombies;
}

TEST_F(Shell, StartsTheOpenerWithOneArgumentAndReapsIt) {
    std::string dir = std::filesystem::temp_directory_path() / ("morvalen-shell-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string script = dir + "/opener", out = dir + "/args";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"" << out << ".tmp\"\nmv \"" << out
                          << ".tmp\" \"" << out << "\"\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    win32::testing::SetShellOpener(script.c_str());

    const char *address =
        "https://example.org/?q=a b&c=$(touch "
        "/nonexistent-x);'\"`";
    EXPECT_GT(Open("open", address), 32);

    std::string count, arg;
    for (int i = 0; i < 200 && !std::filesystem::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(out);
    std::getline(in, count);
    std::getline(in, arg);
    EXPECT_EQ(count, "1");
    EXPECT_EQ(arg, address);

    int zombies = 1;
    for (int i = 0; i < 200 && (zombies = ZombieChildren()) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(zombies, 0);
    std::filesystem::remove_all(dir);
}

TEST_F(Shell, MissingOpenerIsReportedAsNotFoundAndOnStderr) {
    win32::testing::SetShellOpener("morvalen-no-such-opener");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Open("open", "https://example.org"), SE_ERR_FNF);
    std::string said = ::testing::internal::GetCapturedStderr();
    // A click that cannot open the link says which opener is missing.
    EXPECT_NE(said.find("https://example.org"), std::string::npos) << said;
    EXPECT_NE(said.find("morvalen-no-such-opener: No such file or directory"), std::string::npos) << said;
}

}  // namespace
