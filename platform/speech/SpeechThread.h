#pragma once
// Which threads are speech workers, and the message boxes raised on them.
//
// An engine runs on the speech service's worker thread. A message box it raises there must not
// wait for a user: it is recorded on the machine and answered at once with its default button.
// Header only, so the message-box code of the window system can consult it without linking the
// speech service. Both are kept in a machine service (found by type name), so a server library
// with its own copy of this code sees the same state.
#include "platform/desktop/MessageBoxStyle.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace speech {

struct SpeechThreadMessageBox {
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
    uint32_t type = 0;    // MB_* flags as given
};

struct SpeechThreads {
    std::mutex mutex;
    std::vector<std::thread::id> workers;
    std::vector<SpeechThreadMessageBox> messageBoxes;
};

inline bool onSpeechThread(sys::Machine& m) {
    auto& s = m.service<SpeechThreads>();
    std::lock_guard lock(s.mutex);
    return std::find(s.workers.begin(), s.workers.end(), std::this_thread::get_id()) != s.workers.end();
}

// Marks the calling thread as a speech worker for its lifetime.
class SpeechThreadScope {
public:
    explicit SpeechThreadScope(sys::Machine& m) : m_(m) {
        auto& s = m_.service<SpeechThreads>();
        std::lock_guard lock(s.mutex);
        s.workers.push_back(std::this_thread::get_id());
    }
    ~SpeechThreadScope() {
        auto& s = m_.service<SpeechThreads>();
        std::lock_guard lock(s.mutex);
        auto it = std::find(s.workers.begin(), s.workers.end(), std::this_thread::get_id());
        if (it != s.workers.end()) s.workers.erase(it);
    }
    SpeechThreadScope(const SpeechThreadScope&) = delete;
    SpeechThreadScope& operator=(const SpeechThreadScope&) = delete;

private:
    sys::Machine& m_;
};

// Records a message box raised on a speech worker and returns the answer of its default button.
inline int32_t speechThreadMessageBox(sys::Machine& m, std::string text, std::string caption, uint32_t type) {
    {
        auto& s = m.service<SpeechThreads>();
        std::lock_guard lock(s.mutex);
        s.messageBoxes.push_back({std::move(text), std::move(caption), type});
    }
    return win::messageBoxDefaultAnswer(type);
}

inline std::vector<SpeechThreadMessageBox> speechThreadMessageBoxes(sys::Machine& m) {
    auto& s = m.service<SpeechThreads>();
    std::lock_guard lock(s.mutex);
    return s.messageBoxes;
}

} // namespace speech
