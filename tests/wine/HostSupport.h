// SPDX-License-Identifier: BSD-2-Clause
// What the Windows test hosts share: registering qf25.dll as the installable
// compressor vidc.qf25, counting failed checks, and opening an AVI's video.
#pragma once

#include <windows.h>
#include <vfw.h>

#include <cstdio>
#include <cstring>
#include <string>

const DWORD QF25 = mmioFOURCC('Q', 'F', '2', '5');

inline int failures = 0;

inline bool Check(bool condition, const std::string& what)
{
    if (!condition) {
        std::printf("FAILED: %s\n", what.c_str());
        ++failures;
    }
    return condition;
}

inline bool CheckResult(HRESULT result, const std::string& what)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(result));
    return Check(result == S_OK, what + " returned " + code);
}

// The first video stream of an AVI file through AVIFile, or null.
inline PAVISTREAM OpenVideoStream(const std::string& path)
{
    PAVIFILE file = nullptr;
    if (!CheckResult(AVIFileOpenA(&file, path.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr), "AVIFileOpen " + path))
        return nullptr;
    PAVISTREAM stream = nullptr;
    const bool opened = CheckResult(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), "AVIFileGetStream");
    AVIFileRelease(file);
    return opened ? stream : nullptr;
}

// The registry value through which ICOpen finds an installable compressor.
inline bool Register(const char* dllPath)
{
    const char driversKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, driversKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExA(key, "vidc.qf25", 0, REG_SZ, reinterpret_cast<const BYTE*>(dllPath),
                                       DWORD(std::strlen(dllPath) + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}
