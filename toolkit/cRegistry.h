#pragma once
// Property-driven access to one registry value at a time, plus key tests, enumeration and file
// associations. Failures are raised as forms::RuntimeError; reads never raise.
#include "platform/registry/Registry.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

class cRegistry {
public:
    // What a value can be: Empty, Boolean, Integer, Long, Double, String, Byte array.
    using Variant = std::variant<std::monostate, bool, int16_t, int32_t, double, std::string, std::vector<uint8_t>>;

    std::string Machine() const { return machine_; }
    void Machine(const std::string& name);

    bool KeyExists() const;
    bool CreateKey();
    bool DeleteKey();
    bool DeleteValue();

    Variant Value();
    void Value(const Variant& value);

    // Names in the registry's order; names[i - 1] is the i-th of count.
    bool EnumerateValues(std::vector<std::string>& names, int32_t& count);
    bool EnumerateSections(std::vector<std::string>& names, int32_t& count);

    void CreateEXEAssociation(const std::string& exePath, const std::string& className,
                              const std::string& classDescription, const std::string& extension,
                              const std::string& openText, bool print, const std::string& printText, bool newFlag,
                              const std::string& newText, bool install, const std::string& installText,
                              int32_t iconIndex);
    // items: verb name, menu text, command; repeated.
    void CreateAdditionalEXEAssociations(const std::string& className, const std::vector<std::string>& items);

    int32_t ValueType() const { return valueType_; }
    void ValueType(int32_t type) { valueType_ = type; }
    win::HKEY ClassKey() const { return classKey_; }
    void ClassKey(win::HKEY root) { classKey_ = root; }
    std::string SectionKey() const { return sectionKey_; }
    void SectionKey(const std::string& path) { sectionKey_ = path; }
    std::string ValueKey() const { return valueKey_; }

    Variant ValueEx(win::HKEY root, const std::string& section, const std::string& valueName, int32_t type,
                    const Variant& def);
    void ValueEx(win::HKEY root, const std::string& section, const std::string& valueName, int32_t type,
                 const Variant& def, const Variant& newValue);

    void ValueKey(const std::string& name) { valueKey_ = name; }
    Variant Default() const { return default_; }
    void Default(const Variant& value) { default_ = value; }

private:
    std::string rootText() const;
    void writeBoth(const std::string& section, const std::string& text);

    win::HKEY classKey_ = 0;
    std::string sectionKey_;
    std::string valueKey_;
    int32_t valueType_ = 0;
    Variant default_ = int16_t(-1);
    Variant lastValue_;
    std::string machine_;
};
