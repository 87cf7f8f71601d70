#include "Screen.h"

#include "DesktopState.h"

namespace win {

namespace {
// Per-machine settings the program may change.
struct ScreenSettings {
    BOOL dragFullWindows = TRUE;
};
} // namespace

int GetSystemMetrics(int index) {
    auto& m = sys::Machine::current();
    const sys::Rect wa = m.workArea();
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
    case SM_CXFULLSCREEN: return m.screenWidth();
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN: return m.screenHeight();
    case SM_CYFULLSCREEN: return wa.height() - GetSystemMetrics(SM_CYCAPTION);
    case SM_XVIRTUALSCREEN:
    case SM_YVIRTUALSCREEN: return 0;
    case SM_CMONITORS: return 1;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CYSMCAPTION: return 15;
    case SM_CYMENU: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_CXMINIMIZED: return 160;
    case SM_CYMINIMIZED: return 24;
    case SM_CXMAXIMIZED: return wa.width() + 8;
    case SM_CYMAXIMIZED: return wa.height() + 8;
    default: return 0;
    }
}

BOOL SystemParametersInfo(UINT action, UINT uiParam, void* param, UINT) {
    auto& m = sys::Machine::current();
    auto& st = m.service<ScreenSettings>();
    switch (action) {
    case SPI_GETWORKAREA: {
        if (!param) return FALSE;
        const sys::Rect wa = m.workArea();
        *static_cast<RECT*>(param) = {wa.left, wa.top, wa.right, wa.bottom};
        return TRUE;
    }
    case SPI_GETDRAGFULLWINDOWS:
        if (!param) return FALSE;
        *static_cast<BOOL*>(param) = st.dragFullWindows;
        return TRUE;
    case SPI_SETDRAGFULLWINDOWS:
        st.dragFullWindows = uiParam ? TRUE : FALSE;
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace win
