// The running copy on Windows is marked by the named mutex
// "OneInstance_Vorlinq_Allowed", whoever created it.
#include "app/SingleInstance.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(InstanceMutexOnWindows, AMutexOfTheProgramsNameMakesANewCopyEndAndItsReleaseLetsItRun)
{
    HANDLE running = CreateMutexW(nullptr, TRUE, L"OneInstance_Vorlinq_Allowed");
    ASSERT_NE(running, nullptr);
    ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    app::SingleInstance copy;
    EXPECT_FALSE(copy.TryBecomePrimary());

    ReleaseMutex(running);
    CloseHandle(running);
    ASSERT_TRUE(copy.TryBecomePrimary());
    // Now this copy holds the mutex of that name.
    HANDLE held = OpenMutexW(SYNCHRONIZE, FALSE, L"OneInstance_Vorlinq_Allowed");
    EXPECT_NE(held, nullptr);
    CloseHandle(held);
    copy.Release();
}
