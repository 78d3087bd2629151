// Resets the fake platform and the launcher's module-level strings before each test, so no
// test sees another's world.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launcher/module_values.h"
#include "platform/fake/fake_platform.h"

class FakeWorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        launcher::JreKeyPath.clear();
        launcher::JavaVersion.clear();
    }
    fake::World& World() { return fake::world(); }

    void WriteConfig(const std::wstring& path,
                     std::map<std::wstring, std::wstring> keys) {
        World().files[path].sections[L"KELMORA"] = std::move(keys);
    }

    // Calls whose text starts with `prefix`, in order.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) {
        std::vector<std::string> found;
        for (const auto& call : World().calls) {
            if (call.rfind(prefix, 0) == 0) found.push_back(call);
        }
        return found;
    }

    // Runs `step`, which must end the process: returns the exit code it ended with, or -1.
    template <typename Step>
    long ExitCodeOf(Step step) {
        try {
            step();
        } catch (const fake::ExitRequested& exit) {
            return static_cast<long>(exit.exitCode);
        }
        return -1;
    }

    std::ptrdiff_t IndexOf(const std::string& prefix) {
        const auto& calls = World().calls;
        auto it = std::find_if(calls.begin(), calls.end(),
                               [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
        return it == calls.end() ? -1 : it - calls.begin();
    }
};
