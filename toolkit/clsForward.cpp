#include "clsForward.h"

void clsForward::Set_Destination(const std::shared_ptr<forms::Dispatch>& target, const std::string& memberName) {
    target_ = target;
    memberName_ = memberName;
    armed_ = true;
}

void clsForward::theDefault() {
    if (!armed_) return;
    forms::CallByName(target_, memberName_, forms::VbMethod);
}

const forms::MemberTable& clsForward::memberTable() const {
    static const auto table = forms::Members<clsForward>()
        .method("Set_Destination", [](clsForward& f, forms::Args& a) {
            f.Set_Destination(forms::arg(a, 0).toObject(), forms::arg(a, 1).toString());
        })
        .method("theDefault", [](clsForward& f) { f.theDefault(); });
    return table;
}
