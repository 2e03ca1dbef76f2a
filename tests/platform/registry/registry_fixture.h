#pragma once
// A registry of its own for each test: a scratch folder named by ORVANE_REGISTRY_DIR and a
// registry service that forgets every cached hive and handle.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/registry/winreg.h"
#include "support/temp_dir.h"

namespace orvane::test {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ORVANE_REGISTRY_DIR", dir_.path().c_str(), 1);
        orvane::registry::ResetForTesting();
    }
    void TearDown() override { orvane::registry::ResetForTesting(); }

    std::string HiveFile(const std::string& root) const {
        return (dir_.path() / (root + ".reg")).string();
    }
    const TempDir& Dir() const { return dir_; }

    // Creates (or opens) a key with full access; fails the test when it cannot.
    HKEY Create(HKEY root, const char* path) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &key, nullptr));
        return key;
    }
    static LONG SetBytes(HKEY key, const char* name, DWORD type, const std::string& bytes) {
        return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size()));
    }
    // Reads a value whole; the type through `type` when given.
    static std::string GetBytes(HKEY key, const char* name, DWORD* type = nullptr) {
        DWORD size = 0, t = 0;
        if (RegQueryValueExA(key, name, nullptr, &t, nullptr, &size) != ERROR_SUCCESS)
            return "<missing>";
        std::string data(size, '\0');
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, nullptr, &t,
                                                  reinterpret_cast<BYTE*>(data.data()), &size));
        data.resize(size);
        if (type) *type = t;
        return data;
    }

private:
    TempDir dir_;
};

}  // namespace orvane::test
