#include "CallByName.h"

#include "Strings.h"
#include "platform/system/Machine.h"

namespace forms {

// ---- Variant ------------------------------------------------------------------------------

std::string Variant::toString() const {
    switch (type()) {
    case Type::Empty: return "";
    case Type::Null: raise(err::InvalidUseOfNull);
    case Type::Boolean: return CStr(std::get<bool>(v_));
    case Type::Long: return CStr(static_cast<long>(std::get<int32_t>(v_)));
    case Type::Double: return CStr(std::get<double>(v_));
    case Type::String: return std::get<std::string>(v_);
    case Type::Date: return CStr(std::get<DateTime>(v_));
    case Type::Object: break;
    }
    raise(err::TypeMismatch);
}

double Variant::toDouble() const {
    switch (type()) {
    case Type::Empty: return 0;
    case Type::Null: raise(err::InvalidUseOfNull);
    case Type::Boolean: return std::get<bool>(v_) ? -1 : 0;
    case Type::Long: return std::get<int32_t>(v_);
    case Type::Double: return std::get<double>(v_);
    case Type::String: return CDbl(std::get<std::string>(v_));
    case Type::Date: return std::get<DateTime>(v_).value;
    case Type::Object: break;
    }
    raise(err::TypeMismatch);
}

int32_t Variant::toLong() const {
    if (type() == Type::Long) return std::get<int32_t>(v_);
    return CLng(toDouble());
}

bool Variant::toBool() const {
    switch (type()) {
    case Type::Boolean: return std::get<bool>(v_);
    case Type::String: {
        const auto& s = std::get<std::string>(v_);
        const std::string t = Trim(s);
        if (sys::iequals(t, "True")) return true;
        if (sys::iequals(t, "False")) return false;
        return CDbl(s) != 0;
    }
    default: return toDouble() != 0;
    }
}

DateTime Variant::toDate() const {
    switch (type()) {
    case Type::Date: return std::get<DateTime>(v_);
    case Type::String: return CDate(std::get<std::string>(v_));
    case Type::Empty: return DateTime();
    case Type::Long:
    case Type::Double: return DateTime(toDouble());
    case Type::Null: raise(err::InvalidUseOfNull);
    default: raise(err::TypeMismatch);
    }
}

std::shared_ptr<Dispatch> Variant::toObject() const {
    if (type() != Type::Object) raise(err::ObjectRequired);
    return std::get<std::shared_ptr<Dispatch>>(v_);
}

// ---- Member tables ------------------------------------------------------------------------

const MemberTable::Member* MemberTable::find(std::string_view name) const {
    auto it = members_.find(sys::upperAscii(std::string(name)));
    return it == members_.end() ? nullptr : &it->second;
}

MemberTable::Member& MemberTable::entry(std::string name) {
    Member& m = members_[sys::upperAscii(name)];
    m.name = std::move(name);
    return m;
}

void MemberTable::includeAll(const MemberTable& other) {
    for (const auto& [key, member] : other.members_) members_[key] = member;
}

Variant MemberTable::invoke(Dispatch& obj, std::string_view name, VbCallType callType, Args& args) const {
    const Member* m = find(name);
    if (!m) raise(err::ObjectDoesNotSupport);
    switch (callType) {
    case VbMethod:
        if (m->method) return m->method(obj, args);
        if (m->get) return m->get(obj, args);
        break;
    case VbGet:
        if (m->get) return m->get(obj, args);
        if (m->method) return m->method(obj, args);
        break;
    case VbLet:
    case VbSet: {
        const Assign& assign = callType == VbLet ? (m->let ? m->let : m->set) : (m->set ? m->set : m->let);
        if (!assign) break;
        if (args.empty()) raise(err::ArgumentNotOptional);
        Variant value = std::move(args.back());
        args.pop_back();
        assign(obj, value, args);
        return Variant();
    }
    default: raise(err::InvalidProcedureCall);
    }
    raise(err::ObjectDoesNotSupport);
}

Variant CallByName(Dispatch& obj, std::string_view procName, VbCallType callType, Args args) {
    return obj.memberTable().invoke(obj, procName, callType, args);
}

Variant CallByName(const std::shared_ptr<Dispatch>& obj, std::string_view procName, VbCallType callType, Args args) {
    if (!obj) raise(err::ObjectVariableNotSet);
    return CallByName(*obj, procName, callType, std::move(args));
}

Variant CallByName(const Variant& obj, std::string_view procName, VbCallType callType, Args args) {
    return CallByName(obj.toObject(), procName, callType, std::move(args));
}

} // namespace forms
