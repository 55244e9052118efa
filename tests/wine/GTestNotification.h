// SPDX-License-Identifier: BSD-2-Clause
// GoogleTest's Notification for MinGW's win32 thread model, which has no
// std::mutex or std::condition_variable: a manual-reset event. Included ahead
// of GoogleTest's headers, which then use it instead of their own.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event); }
    void WaitForNotification() { WaitForSingleObject(event, INFINITE); }

private:
    HANDLE event;
};

}  // namespace testing::internal
