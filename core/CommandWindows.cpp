#include "CommandWindows.h"

namespace m_Main {

std::function<std::shared_ptr<PageDialog>()> NewSettingsWindow;
std::function<std::shared_ptr<PageDialog>()> NewAboutWindow;
std::function<std::shared_ptr<PageDialog>()> NewInsScriptWindow;
std::shared_ptr<forms::Form> FXNewsForm;
OrderConfirmBalloon* OrderConfirmForm = nullptr;

namespace {

std::shared_ptr<PageDialog> g_settings, g_about, g_insScript;

PageDialog* instance(std::shared_ptr<PageDialog>& slot, const std::function<std::shared_ptr<PageDialog>()>& make) {
    if (!slot && make) slot = make();
    return slot.get();
}

} // namespace

PageDialog* SettingsForm() { return instance(g_settings, NewSettingsWindow); }
PageDialog* AboutForm() { return instance(g_about, NewAboutWindow); }
PageDialog* InsScriptForm() { return instance(g_insScript, NewInsScriptWindow); }

void ReleaseCommandWindows() {
    g_settings.reset();
    g_about.reset();
    g_insScript.reset();
    FXNewsForm.reset();
    OrderConfirmForm = nullptr;
}

} // namespace m_Main
