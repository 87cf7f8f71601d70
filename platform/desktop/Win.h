#pragma once
// The emulated window system, every service group.
#include "Message.h"
#include "Screen.h"
#include "Timer.h"
#include "Window.h"
