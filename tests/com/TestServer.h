#pragma once
// The interface and class of the small server library the COM tests load.
#include "platform/com/ComBase.h"

struct ITestAdder : win::IUnknown {
    virtual win::HRESULT Add(int32_t a, int32_t b, int32_t* sum) = 0;
    // A registry string read by the library's own copy of the platform (HKCU "Software\ComTest").
    virtual win::HRESULT ReadSetting(win::LPCWSTR name, win::LPWSTR* value) = 0;

protected:
    ~ITestAdder() = default;
};

constexpr win::IID IID_ITestAdder = {0x5D1E0C11, 0x2B4A, 0x4F0E, {0x9A, 0x61, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};
constexpr win::CLSID CLSID_TestAdder = {0x5D1E0C12, 0x2B4A, 0x4F0E, {0x9A, 0x61, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};
inline constexpr const char* kTestAdderProgId = "ComTest.Adder.1";
inline constexpr const char* kTestAdderIndependentProgId = "ComTest.Adder";
