#include "platform/system/LastError.h"
#include "platform/system/SystemMessage.h"

#include <gtest/gtest.h>

using namespace win;

TEST(SystemMessage, KnownCodesHaveTextUnknownOnesAndShortBuffersDoNot) {
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    std::string text;
    const DWORD n = FormatMessage(flags, nullptr, 1409, 0, text, 256, nullptr);
    EXPECT_EQ(text, "The hot key is already registered.\r\n");
    EXPECT_EQ(n, text.size());

    SetLastError(0);
    EXPECT_EQ(FormatMessage(flags, nullptr, 123456, 0, text, 256, nullptr), 0u);
    EXPECT_EQ(text, "");
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);

    EXPECT_EQ(FormatMessage(flags, nullptr, 1409, 0, text, n, nullptr), 0u);  // no room for the terminator
    EXPECT_EQ(GetLastError(), 122u);
    EXPECT_EQ(FormatMessage(flags, nullptr, 1409, 0, text, n + 1, nullptr), n);
}
