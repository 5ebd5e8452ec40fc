// Environment variables changed for one scope: the guard unsets the names
// it is given, Set changes them, and the destructor puts back what each
// held before.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class ScopedEnvironment {
public:
    ScopedEnvironment(std::initializer_list<const char *> names) {
        for (const char *name : names) {
            const char *value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        for (const auto &[name, value] : saved_) Set(name.c_str(), value ? value->c_str() : nullptr);
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

    // Sets `name` to `value`, or unsets it for a null value.
    static void Set(const char *name, const char *value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace testsupport
