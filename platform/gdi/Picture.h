#pragma once
// A picture object of the forms runtime as the program reads it: the bitmap behind it. The
// picture does not own the bitmap; whoever made it deletes it.
#include "Gdi.h"

namespace forms {

constexpr int vbPicTypeNone = 0;
constexpr int vbPicTypeBitmap = 1;

struct StdPicture {
    win::HBITMAP Handle = 0;
    int Type = vbPicTypeNone;
};

} // namespace forms
