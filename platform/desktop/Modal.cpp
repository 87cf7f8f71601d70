#include "Dialogs.h"
#include "MessageBox.h"
#include "Modal.h"

#include "DesktopState.h"
#include "platform/speech/SpeechThread.h"
#include "platform/system/CodePage.h"

#include <algorithm>
#include <deque>

namespace win {

namespace {

struct ModalState {
    std::optional<UnansweredModal> policy;
    std::deque<int> boxAnswers;
    std::vector<MessageBoxRecord> boxes;
    std::function<void(const MessageBoxRecord&)> watcher;
    std::deque<std::optional<std::string>> fileAnswers;
    std::vector<OPENFILENAME> fileDialogs;
};
ModalState& modal() { return sys::Machine::current().service<ModalState>(); }

std::string ansiRoundTrip(const std::string& s) {
    const int cp = sys::Machine::current().codePage();
    return sys::fromAnsi(sys::toAnsi(s, cp), cp);
}

} // namespace

void setUnansweredModal(UnansweredModal policy) { modal().policy = policy; }

UnansweredModal unansweredModal() {
    auto& m = modal();
    if (m.policy) return *m.policy;
    return sys::Machine::current().clock().isVirtual() ? UnansweredModal::Fail : UnansweredModal::TakeDefault;
}

// ---- Message boxes ----------------------------------------------------------------------

int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    // A speech worker must never wait for a user.
    auto& machine = sys::Machine::current();
    if (speech::onSpeechThread(machine)) return speech::speechThreadMessageBox(machine, text, caption, type);
    auto& m = modal();
    MessageBoxRecord r;
    r.owner = owner;
    r.text = ansiRoundTrip(text);
    r.caption = ansiRoundTrip(caption);
    r.type = type;
    const auto buttons = messageBoxButtons(type);
    if (!m.boxAnswers.empty()) {
        r.answer = m.boxAnswers.front();
        m.boxAnswers.pop_front();
        if (std::find(buttons.begin(), buttons.end(), r.answer) == buttons.end()) {
            m.boxes.push_back(r);
            throw UnansweredModalError("message box \"" + r.text + "\" has no button " + std::to_string(r.answer));
        }
    } else {
        if (unansweredModal() == UnansweredModal::Fail) {
            m.boxes.push_back(r);
            throw UnansweredModalError("unanswered message box \"" + r.text + "\" (" + r.caption + ")");
        }
        r.answer = messageBoxDefaultAnswer(type);
        r.answeredByDefault = true;
    }
    m.boxes.push_back(r);
    if (m.watcher) m.watcher(r);
    return r.answer;
}

void watchMessageBoxes(std::function<void(const MessageBoxRecord&)> watcher) { modal().watcher = std::move(watcher); }

void queueMessageBoxAnswer(int id) { modal().boxAnswers.push_back(id); }
size_t queuedMessageBoxAnswers() { return modal().boxAnswers.size(); }
std::vector<MessageBoxRecord> messageBoxes() { return modal().boxes; }
void clearMessageBoxes() { modal().boxes.clear(); }

// ---- Open-file dialog -------------------------------------------------------------------

BOOL GetOpenFileName(OPENFILENAME* ofn) {
    if (!ofn) return FALSE;
    auto& m = modal();
    m.fileDialogs.push_back(*ofn);
    std::optional<std::string> answer;
    if (!m.fileAnswers.empty()) {
        answer = m.fileAnswers.front();
        m.fileAnswers.pop_front();
    } else if (unansweredModal() == UnansweredModal::Fail) {
        throw UnansweredModalError("unanswered open-file dialog \"" + ofn->lpstrTitle + "\"");
    }
    if (!answer) return FALSE;
    auto& machine = sys::Machine::current();
    const std::string full = machine.fullWinPath(*answer);
    if ((ofn->Flags & OFN_FILEMUSTEXIST) && !machine.fileExists(full))
        throw UnansweredModalError("open-file answer \"" + full + "\" does not exist");
    ofn->lpstrFile = full;
    return TRUE;
}

void queueOpenFileAnswer(const std::string& path) { modal().fileAnswers.push_back(path); }
void queueOpenFileCancel() { modal().fileAnswers.push_back(std::nullopt); }
std::vector<OPENFILENAME> openFileDialogs() { return modal().fileDialogs; }

} // namespace win
