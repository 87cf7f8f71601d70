#pragma once
// The news viewer: a small top-most window whose face is the page "FXNews.htm", showing one
// article cut out of its web page. It has a pop-up style (no frame; it closes when it loses
// activation) and a dialog style (a sizable captioned window); the page's button swaps them. Its
// place and style are kept in "Window/FXNews_Content".
#include "core/NeighbourWindows.h"
#include "platform/forms/CallByName.h"
#include "toolkit/PageWindow.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class clsSizeMove;
class ctlDownload;

class frmFXNews : public NewsViewerWindow, public forms::Dispatch, public PageWindow,
                  public std::enable_shared_from_this<frmFXNews> {
public:
    frmFXNews();
    ~frmFXNews() override;

    // Window styles of the two faces.
    static constexpr uint32_t kDialogStyle = 0x02CC0000;  // clip children, caption, system menu, sizing border
    static constexpr uint32_t kPopupStyle = 0;
    static constexpr int32_t kMinWidth = 300, kMinHeight = 200;
    // ---- Members, in slot order ----
    void WindowMove();
    void SizeGrip();
    void wClose();
    void XStyle() override;
    void StyleON();
    bool Busy() override;
    std::string URL() const { return URL_; }
    void URL(const std::string& address) override { URL_ = address; }
    void GETData() override;
    bool WebDoc_oncontextmenu();

    const forms::MemberTable& memberTable() const override;

    // ---- State tests read ----
    bool PopupStyle() const { return PopupStyle_; }
    const web::HTMLDocument& PageDocument() const { return Document; }
    web::WebBrowser* Browser() const { return WebBrowser1.get(); }

protected:
    void Form_Load() override;
    void Form_Activate() override;
    void Form_QueryUnload(int& Cancel, int UnloadMode) override;
    void Form_Unload(int& Cancel) override;
    void pageComplete() override;
    std::shared_ptr<forms::Dispatch> forwardTarget() override { return shared_from_this(); }

private:
    void cSizeMove_Deactivate();
    void cSizeMove_Sizing(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height);
    void ctlDown_DownloadComplete(const std::string& Data, bool Success, const std::string& Key);
    void WebBrowser_NewWindow2(const std::string& url, bool& cancel);
    void fetchPictures(std::vector<std::string> addresses);
    void pictureArrived(const std::string& Data, bool Success, size_t index);
    void showAdvertisement();
    void advertisementArrived(const std::string& Data, bool Success);
    web::HTMLElement el(const std::string& id) const;

    std::string URL_;
    // The article's pictures are fetched by the window and handed to the page as data, so the
    // page itself loads nothing from any site; a newer article makes older pictures stale.
    uint32_t PictureRound_ = 0;
    bool PageReady_ = false;
    bool PopupStyle_ = false;
    bool ShowPending_ = false;
    web::HTMLDocument WebDoc;
    std::unique_ptr<ctlDownload> ctlDown;
    std::unique_ptr<clsSizeMove> cSizeMove;
};
