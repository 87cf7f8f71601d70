#pragma once
// A late-bound value: what CallByName passes and returns, and what page events carry.
// Conversions follow the run-time's coercions (CStr, CLng, CDbl, CBool, CDate) and raise its errors.
#include "DateTime.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace forms {

class Dispatch;

class Variant {
public:
    enum class Type { Empty, Null, Boolean, Long, Double, String, Date, Object };

    Variant() = default;
    Variant(bool v) : v_(v) {}
    // Whole numbers are a Long when they fit 32 bits, else a Double.
    template <class I>
        requires(std::is_integral_v<I> && !std::is_same_v<I, bool>)
    Variant(I v) {
        if constexpr (std::is_unsigned_v<I>) {
            if (v > static_cast<unsigned long long>(INT32_MAX)) {
                v_ = static_cast<double>(v);
                return;
            }
        }
        setWhole(static_cast<long long>(v));
    }
    Variant(double v) : v_(v) {}
    Variant(float v) : v_(static_cast<double>(v)) {}
    Variant(const char* v) : v_(std::string(v ? v : "")) {}
    Variant(std::string v) : v_(std::move(v)) {}
    Variant(std::string_view v) : v_(std::string(v)) {}
    Variant(DateTime v) : v_(v) {}
    // An object reference; a null pointer is Nothing.
    template <class T>
        requires std::is_base_of_v<Dispatch, T>
    Variant(std::shared_ptr<T> obj) : v_(std::shared_ptr<Dispatch>(std::move(obj))) {}
    // A reference to an object the caller keeps alive (a form, a member object).
    static Variant ref(Dispatch& obj) { return Variant(std::shared_ptr<Dispatch>(std::shared_ptr<Dispatch>(), &obj)); }
    static Variant null() {
        Variant v;
        v.v_ = NullTag{};
        return v;
    }
    static Variant nothing() { return Variant(std::shared_ptr<Dispatch>()); }

    Type type() const { return static_cast<Type>(v_.index()); }
    bool isEmpty() const { return type() == Type::Empty; }
    bool isNull() const { return type() == Type::Null; }
    bool isObject() const { return type() == Type::Object; }
    bool isNumeric() const { return type() == Type::Long || type() == Type::Double || type() == Type::Boolean; }

    std::string toString() const;      // CStr; Null raises 94
    int32_t toLong() const;            // CLng
    double toDouble() const;           // CDbl
    bool toBool() const;               // CBool: numbers non-zero, texts "True"/"False" or numeric
    DateTime toDate() const;           // CDate
    // The object, or nullptr for Nothing; a value that is no object raises 424.
    std::shared_ptr<Dispatch> toObject() const;

    // Same type and value (texts compared as bytes).
    bool operator==(const Variant& o) const { return v_ == o.v_; }

private:
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    void setWhole(long long v) {
        if (v >= INT32_MIN && v <= INT32_MAX) v_ = static_cast<int32_t>(v);
        else v_ = static_cast<double>(v);
    }
    std::variant<std::monostate, NullTag, bool, int32_t, double, std::string, DateTime, std::shared_ptr<Dispatch>> v_;
};

inline std::string CStr(const Variant& v) { return v.toString(); }

} // namespace forms
