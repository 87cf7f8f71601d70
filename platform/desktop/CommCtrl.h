#pragma once
// The list-view and header controls' messages and the list-view item record as a 32-bit
// program lays it out (the form both a caller and the control agree on across processes).
#include "platform/system/WinTypes.h"

#include <cstdint>

namespace win {

constexpr UINT LVM_GETITEMCOUNT = 0x1004;
constexpr UINT LVM_GETITEMA = 0x1005;
constexpr UINT LVM_GETHEADER = 0x101F;
constexpr UINT LVM_SETITEMSTATE = 0x102B;
constexpr UINT LVM_GETITEMTEXTA = 0x102D;
constexpr UINT HDM_GETITEMCOUNT = 0x1200;

constexpr uint32_t LVIF_TEXT = 0x1;
constexpr uint32_t LVIF_STATE = 0x8;
constexpr uint32_t LVIS_FOCUSED = 0x1;
constexpr uint32_t LVIS_SELECTED = 0x2;

// LVITEMA of a 32-bit process: pszText is an address in the owning process.
struct LVITEM32 {
    uint32_t mask = 0;
    int32_t iItem = 0;
    int32_t iSubItem = 0;
    uint32_t state = 0;
    uint32_t stateMask = 0;
    uint32_t pszText = 0;
    int32_t cchTextMax = 0;
    int32_t iImage = 0;
    int32_t lParam = 0;
    int32_t iIndent = 0;
};
static_assert(sizeof(LVITEM32) == 40);

} // namespace win
