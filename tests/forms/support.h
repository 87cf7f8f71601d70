#pragma once
#include "platform/forms/RuntimeError.h"

// The run-time error number a call raises, or 0 when it raises none.
template <class F>
long errorOf(F&& f) {
    try {
        f();
    } catch (const forms::RuntimeError& e) {
        return e.Number;
    }
    return 0;
}
