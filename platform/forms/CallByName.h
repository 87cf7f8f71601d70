#pragma once
// Late binding: each class that is called by name derives from Dispatch and answers a member
// table, built once per class, that maps member names (without regard to case) to methods and
// property get/let/set. CallByName looks a member up and calls it; an unknown name raises 438.
//
//   const forms::MemberTable& frmFoo::memberTable() const {
//       static const auto table = forms::Members<frmFoo>()
//           .method("Refresh", [](frmFoo& f) { f.Refresh(); })
//           .method("SaveVoice", [](frmFoo& f, forms::Args& a) { f.SaveVoice(forms::arg(a, 0).toString()); })
//           .property("Caption", [](frmFoo& f) { return forms::Variant(f.Caption()); },
//                     [](frmFoo& f, const forms::Variant& v) { f.setCaption(v.toString()); });
//       return table;
//   }
#include "RuntimeError.h"
#include "Variant.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace forms {

enum VbCallType { VbMethod = 1, VbGet = 2, VbLet = 4, VbSet = 8 };

using Args = std::vector<Variant>;

// Argument i of a late-bound call; a missing one raises 449.
inline const Variant& arg(const Args& args, size_t i) {
    if (i >= args.size()) raise(err::ArgumentNotOptional);
    return args[i];
}

class MemberTable;

// A class reachable by name.
class Dispatch {
public:
    virtual ~Dispatch() = default;
    virtual const MemberTable& memberTable() const = 0;
};

// The members of one class, with the object erased.
class MemberTable {
public:
    using Call = std::function<Variant(Dispatch&, Args&)>;
    // Property let/set: the value, then the index arguments (if any).
    using Assign = std::function<void(Dispatch&, const Variant&, Args&)>;

    struct Member {
        std::string name; // as registered
        Call method;
        Call get;
        Assign let;
        Assign set;
    };

    // The member of that name (any case), or nullptr.
    const Member* find(std::string_view name) const;
    bool has(std::string_view name) const { return find(name) != nullptr; }
    // Calls the member; a name or call kind the class lacks raises 438. A method answers a
    // property get and a get answers a method call, as late binding does for the run-time's classes.
    Variant invoke(Dispatch& obj, std::string_view name, VbCallType callType, Args& args) const;

protected:
    Member& entry(std::string name);
    // Takes every member of another table (a base class's); members added later replace them.
    void includeAll(const MemberTable& other);

private:
    std::map<std::string, Member> members_; // by upper-case name
};

// The typed builder each class uses for its table.
template <class C>
class Members : public MemberTable {
public:
    // Starts from a base class's members: Members<frmX>().include(Base::baseMembers()).
    Members& include(const MemberTable& base) {
        includeAll(base);
        return *this;
    }
    // fn(C&) or fn(C&, Args&), returning a Variant (or anything a Variant takes) or nothing.
    template <class F>
    Members& method(std::string name, F fn) {
        entry(std::move(name)).method = wrapCall(std::move(fn));
        return *this;
    }
    template <class F>
    Members& get(std::string name, F fn) {
        entry(std::move(name)).get = wrapCall(std::move(fn));
        return *this;
    }
    // fn(C&, const Variant& value) or fn(C&, const Variant& value, Args& indexes).
    template <class F>
    Members& let(std::string name, F fn) {
        entry(std::move(name)).let = wrapAssign(std::move(fn));
        return *this;
    }
    template <class F>
    Members& set(std::string name, F fn) {
        entry(std::move(name)).set = wrapAssign(std::move(fn));
        return *this;
    }
    template <class G, class L>
    Members& property(std::string name, G getter, L letter) {
        get(name, std::move(getter));
        return let(std::move(name), std::move(letter));
    }

private:
    static C& self(Dispatch& obj) { return dynamic_cast<C&>(obj); }

    template <class F>
    static Call wrapCall(F fn) {
        return [fn = std::move(fn)](Dispatch& obj, Args& args) -> Variant {
            if constexpr (std::is_invocable_v<F&, C&, Args&>) {
                if constexpr (std::is_void_v<std::invoke_result_t<F&, C&, Args&>>) {
                    fn(self(obj), args);
                    return Variant();
                } else {
                    return Variant(fn(self(obj), args));
                }
            } else {
                static_assert(std::is_invocable_v<F&, C&>, "a member takes (C&) or (C&, Args&)");
                if (!args.empty()) raise(err::WrongNumberOfArguments);
                if constexpr (std::is_void_v<std::invoke_result_t<F&, C&>>) {
                    fn(self(obj));
                    return Variant();
                } else {
                    return Variant(fn(self(obj)));
                }
            }
        };
    }

    template <class F>
    static Assign wrapAssign(F fn) {
        return [fn = std::move(fn)](Dispatch& obj, const Variant& value, Args& indexes) {
            if constexpr (std::is_invocable_v<F&, C&, const Variant&, Args&>) {
                fn(self(obj), value, indexes);
            } else {
                static_assert(std::is_invocable_v<F&, C&, const Variant&>,
                              "a let takes (C&, const Variant&) or (C&, const Variant&, Args&)");
                if (!indexes.empty()) raise(err::WrongNumberOfArguments);
                fn(self(obj), value);
            }
        };
    }
};

// Calls a member by name. For VbLet/VbSet the last argument is the value.
Variant CallByName(Dispatch& obj, std::string_view procName, VbCallType callType, Args args = {});
// On an object reference; Nothing raises 91.
Variant CallByName(const std::shared_ptr<Dispatch>& obj, std::string_view procName, VbCallType callType,
                   Args args = {});
Variant CallByName(const Variant& obj, std::string_view procName, VbCallType callType, Args args = {});

} // namespace forms
