#pragma once
// Page-event forwarder: assigned to a page element's event property, it calls a member of its
// target window by name when the event fires.
#include "platform/browser/WebBrowser.h"
#include "platform/forms/CallByName.h"

#include <memory>
#include <string>

class clsForward : public forms::Dispatch, public web::EventSink {
public:
    // Holds the target and the member name and arms the forwarder.
    void Set_Destination(const std::shared_ptr<forms::Dispatch>& target, const std::string& memberName);
    // The default member, which the page's event calls: the target's member, without
    // arguments; its result is dropped. A forwarder never armed does nothing. Failures pass
    // to the caller.
    void theDefault();

    void Invoke() override { theDefault(); }
    const forms::MemberTable& memberTable() const override;

private:
    std::shared_ptr<forms::Dispatch> target_;
    std::string memberName_;
    bool armed_ = false;
};
