#pragma once
// The program's settings store: one XML document ("Pennant.xml") held in memory for the run,
// addressed by element paths below the root `App` plus attribute names; values are text.
#include <pugixml.hpp>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class cls_Config {
public:
    void XmlFile(const std::string& path) { XmlFile_ = path; }
    const std::string& XmlFile() const { return XmlFile_; }
    bool Error() const { return Error_; }
    bool OK() const { return OK_; }

    bool Initialize();

    std::string GetNodeText(const std::string& path);
    bool SetNodeText(const std::string& path, const std::string& text);
    std::string GetNodeAttrib(const std::string& path, const std::string& attribute);
    bool SetNodeAttrib(const std::string& path, const std::string& attribute, const std::string& value);
    void XMLSave();

    bool isExist(const std::string& parentPath, const std::string& name);
    bool CreateNode(const std::string& parentPath, const std::string& name);
    bool isExistAttrib(const std::string& path, const std::string& attribute);
    bool CreateAttrib(const std::string& path, const std::string& attribute, const std::string& value);

    void AddVoice(const std::string& symbolId, bool pip, int32_t pipValue, const std::string& pipFormat,
                  bool interval, int32_t intervalValue, const std::string& intervalFormat);
    std::vector<pugi::xml_node> WeekList(int16_t week);
    // The item added.
    pugi::xml_node AddFXCalendar(int16_t week, const std::string& time, const std::string& title,
                                 const std::string& importance, const std::string& comment);
    void RemoveAllFXCalendar();
    std::vector<pugi::xml_node> FloatList();
    void AddFloat(const std::string& symbol, int32_t left, int32_t top, const std::string& style, bool border,
                  bool voice, bool quickOrder, int16_t iconEvent);
    // Clears the panel list, creating it when the file has none.
    void RemoveFloat();
    // A record kept as it was read.
    void AddFloatRecord(const std::vector<std::pair<std::string, std::string>>& attributes);

    // The loaded document, for readers of a record list's attributes.
    pugi::xml_document& document() { return doc_; }
    // The bytes a node of the document takes in the file as XMLSave writes it.
    size_t FileBytes(pugi::xml_node node) const;

private:
    static constexpr const char* kIndent = "  ";
    unsigned writeFlags() const;
    int ShowConfigError(const std::string& number, const std::string& description, int style);
    pugi::xml_node root();
    pugi::xml_node nodeAt(const std::string& path);
    pugi::xml_node requireNode(const std::string& path);
    pugi::xml_node parentFor(const std::string& parentPath);
    void removeChildren(pugi::xml_node node, bool& skipFailures);

    std::string XmlFile_;
    bool Error_ = false;
    bool OK_ = false;
    pugi::xml_document doc_;
    pugi::xml_encoding encoding_ = pugi::encoding_utf8;  // the file's, kept when it is written back
};

// The one store of the run, created on first use.
cls_Config& Config();

// Stored values read as numbers, the runtime's way (the text's leading number; other text is 0),
// except that none of them raises: a damaged file must not stop the program or its exit.
// The number held to [low, high]; one too large for a Double is the end of the range on its side.
double settingNumber(std::string_view text, double low = -DBL_MAX, double high = DBL_MAX);
// Rounded (halves to even) and held to what the integer type holds.
template <class Int>
Int settingInteger(std::string_view text) {
    using limits = std::numeric_limits<Int>;
    return static_cast<Int>(std::nearbyint(settingNumber(text, limits::min(), limits::max())));
}
// On when its number is not 0.
bool settingFlag(std::string_view text);
// A flag of the store: on when the attribute is there and its number is not 0; a missing one
// is off, without the store's error box.
bool storedFlag(const std::string& path, const std::string& name);
// A whole number within [low, high], or nothing.
std::optional<int32_t> wholeNumber(std::string_view text, int32_t low, int32_t high);
