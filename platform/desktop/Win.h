#pragma once
// The emulated window system, every service group.
#include "Clipboard.h"
#include "Controls.h"
#include "Dialogs.h"
#include "Input.h"
#include "Menu.h"
#include "Message.h"
#include "MessageBox.h"
#include "Modal.h"
#include "Screen.h"
#include "Timer.h"
#include "Tray.h"
#include "Window.h"
