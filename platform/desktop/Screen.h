#pragma once
// Screen size, work area, system metrics and the settings the program reads or changes.
#include "Window.h"

namespace win {

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXCURSOR = 13;
constexpr int SM_CYCURSOR = 14;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CXDOUBLECLK = 36;
constexpr int SM_CYDOUBLECLK = 37;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
constexpr int SM_CYSMCAPTION = 51;
constexpr int SM_CXMINIMIZED = 57;
constexpr int SM_CYMINIMIZED = 58;
constexpr int SM_CXMAXIMIZED = 61;
constexpr int SM_CYMAXIMIZED = 62;
constexpr int SM_XVIRTUALSCREEN = 76;
constexpr int SM_YVIRTUALSCREEN = 77;
constexpr int SM_CXVIRTUALSCREEN = 78;
constexpr int SM_CYVIRTUALSCREEN = 79;
constexpr int SM_CMONITORS = 80;
int GetSystemMetrics(int index);

constexpr UINT SPI_GETWORKAREA = 0x0030;
constexpr UINT SPI_GETDRAGFULLWINDOWS = 0x0026;
constexpr UINT SPI_SETDRAGFULLWINDOWS = 0x0025;
constexpr UINT SPIF_UPDATEINIFILE = 0x0001;
constexpr UINT SPIF_SENDWININICHANGE = 0x0002;
// SPI_GETWORKAREA fills a RECT at param; SPI_GETDRAGFULLWINDOWS a BOOL; SPI_SETDRAGFULLWINDOWS
// takes the value in uiParam. FALSE for anything else.
BOOL SystemParametersInfo(UINT action, UINT uiParam, void* param, UINT winIni);

constexpr int TwipsPerPixelX = 15;
constexpr int TwipsPerPixelY = 15;

} // namespace win
