#include "cls_Config.h"

#include "platform/forms/Interaction.h"

#include "platform/desktop/MessageBox.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {

const char* kTitle = "Pennant";
// The runtime's text for a missing object, which is what a missing node or attribute is.
const char* kNoObject = "对象变量或 With 块变量未设置";
constexpr long kErrNoObject = 91;
constexpr long kErrBadName = 5;
constexpr long kErrFileAccess = 75;

bool isNameStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == ':' || c >= 0x80; }
bool isNameChar(unsigned char c) { return isNameStart(c) || std::isdigit(c) || c == '.' || c == '-'; }

// The DOM refuses names that XML does not allow; so do we.
void checkName(const std::string& name) {
    bool ok = !name.empty() && isNameStart(static_cast<unsigned char>(name[0]));
    for (unsigned char c : name) ok = ok && isNameChar(c);
    if (!ok) throw forms::RuntimeError(kErrBadName, "名称中包含无效字符: " + name, "cls_Config");
}

std::string textOf(pugi::xml_node node) {
    std::string out;
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) out += child.value();
        else if (child.type() == pugi::node_element) out += textOf(child);
    }
    return out;
}

// No settings file nests this deep; one that does would drive any recursive reader off the stack.
constexpr int kMaxDepth = 256;

// Counted without recursion, for the same reason.
int depthOf(const pugi::xml_document& doc) {
    int depth = 0, deepest = 0;
    pugi::xml_node n = doc.first_child();
    while (n) {
        deepest = std::max(deepest, depth);
        if (deepest > kMaxDepth) break;
        if (n.first_child()) {
            n = n.first_child();
            ++depth;
            continue;
        }
        while (n && !n.next_sibling()) {
            n = n.parent();
            --depth;
            if (n == doc) return deepest;
        }
        if (n) n = n.next_sibling();
    }
    return deepest;
}

pugi::xml_node elementByPath(pugi::xml_node from, const std::string& path) {
    pugi::xml_node node = from;
    std::string part;
    std::istringstream ss(path);
    while (std::getline(ss, part, '/')) {
        if (part.empty()) continue;
        node = node.child(part.c_str());
        if (!node) return {};
    }
    return node;
}

} // namespace

cls_Config& Config() {
    static cls_Config store;
    return store;
}

bool cls_Config::Initialize() {
    if (XmlFile_.empty()) return false;
    doc_.reset();
    // Saves of earlier runs killed before their rename leave their temporary files behind.
    sys::Machine::current().removeStaleTemporaries(XmlFile_);
    std::string reason;
    auto bytes = sys::Machine::current().readFile(XmlFile_);
    if (!bytes) {
        reason = "系统找不到指定的文件: " + XmlFile_;
    } else {
        pugi::xml_parse_result r = doc_.load_buffer(bytes->data(), bytes->size(), pugi::parse_default | pugi::parse_declaration);
        encoding_ = r.encoding;
        if (!r) {
            reason = std::string(r.description()) + " (offset " + std::to_string(r.offset) + ")";
        } else if (!doc_.document_element()) {
            reason = "缺少根元素";
        } else if (depthOf(doc_) > kMaxDepth) {
            reason = "设置文件的层次过深";
        }
    }
    if (reason.empty()) {
        Error_ = false;
        OK_ = true;
        return true;
    }
    doc_.reset();
    Error_ = true;
    win::MessageBox(0, reason, kTitle, 16);
    return false;
}

pugi::xml_node cls_Config::root() { return doc_.document_element(); }

pugi::xml_node cls_Config::nodeAt(const std::string& path) { return root() ? elementByPath(root(), path) : pugi::xml_node(); }

pugi::xml_node cls_Config::requireNode(const std::string& path) {
    pugi::xml_node n = nodeAt(path);
    if (!n) throw forms::RuntimeError(kErrNoObject, kNoObject, "cls_Config");
    return n;
}

pugi::xml_node cls_Config::parentFor(const std::string& parentPath) {
    if (parentPath.empty()) return doc_.child("App");
    return nodeAt(parentPath);
}

int cls_Config::ShowConfigError(const std::string& number, const std::string& description, int style) {
    const std::string num = (number.empty() || number == "0") ? "未知" : number;
    const std::string desc = description.empty() ? "未知" : description;
    const int answer =
        win::MessageBox(0, "错误:#" + num + " - " + desc, kTitle, static_cast<win::UINT>(style + 4096 + 65536));
    // A caller that set the hourglass before the failing step would otherwise leave it up.
    forms::Screen.setMousePointer(forms::vbDefault);
    return answer;
}

std::string cls_Config::GetNodeText(const std::string& path) {
    try {
        return textOf(requireNode(path));
    } catch (const forms::RuntimeError& e) {
        ShowConfigError(std::to_string(e.Number), e.Description, 16);
        return "";
    }
}

bool cls_Config::SetNodeText(const std::string& path, const std::string& text) {
    try {
        pugi::xml_node n = requireNode(path);
        while (n.first_child()) n.remove_child(n.first_child());
        n.append_child(pugi::node_pcdata).set_value(text.c_str());
        return true;
    } catch (const forms::RuntimeError& e) {
        ShowConfigError(std::to_string(e.Number), e.Description, 16);
        return false;
    }
}

std::string cls_Config::GetNodeAttrib(const std::string& path, const std::string& attribute) {
    try {
        pugi::xml_attribute a = requireNode(path).attribute(attribute.c_str());
        if (!a) throw forms::RuntimeError(kErrNoObject, kNoObject, "cls_Config");
        return a.value();
    } catch (const forms::RuntimeError& e) {
        ShowConfigError(std::to_string(e.Number), e.Description, 16);
        return "";
    }
}

bool cls_Config::SetNodeAttrib(const std::string& path, const std::string& attribute, const std::string& value) {
    try {
        pugi::xml_attribute a = requireNode(path).attribute(attribute.c_str());
        if (!a) throw forms::RuntimeError(kErrNoObject, kNoObject, "cls_Config");
        a.set_value(value.c_str());
        return true;
    } catch (const forms::RuntimeError& e) {
        ShowConfigError(std::to_string(e.Number), e.Description, 16);
        return false;
    }
}

void cls_Config::XMLSave() {
    if (XmlFile_.empty()) return;
    // A document that never loaded must not replace the user's file.
    if (!OK_ || Error_ || !root()) return;
    // Written back in the encoding it was read in, under a label that says so: a label that
    // disagreed with the bytes would make the next reader take the file for damaged.
    const char* label = "UTF-8";
    switch (encoding_) {
    case pugi::encoding_utf16_le:
    case pugi::encoding_utf16_be: label = "UTF-16"; break;
    case pugi::encoding_utf32_le:
    case pugi::encoding_utf32_be: label = "UTF-32"; break;
    case pugi::encoding_latin1: label = "ISO-8859-1"; break;
    default: break;
    }
    for (pugi::xml_node n = doc_.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_declaration && n.attribute("encoding")) n.attribute("encoding").set_value(label);
    std::ostringstream out;
    doc_.save(out, kIndent, writeFlags(), encoding_);
    if (!sys::Machine::current().writeFileAtomic(XmlFile_, out.str()))
        throw forms::RuntimeError(kErrFileAccess, "路径/文件访问错误: " + XmlFile_, "cls_Config");
}

unsigned cls_Config::writeFlags() const {
    const bool wide = encoding_ == pugi::encoding_utf16_le || encoding_ == pugi::encoding_utf16_be ||
                      encoding_ == pugi::encoding_utf32_le || encoding_ == pugi::encoding_utf32_be;
    return pugi::format_default | (wide ? pugi::format_write_bom : 0u);
}

size_t cls_Config::FileBytes(pugi::xml_node node) const {
    unsigned depth = 0;
    for (pugi::xml_node p = node.parent(); p && p.type() != pugi::node_document; p = p.parent()) ++depth;
    std::ostringstream out;
    node.print(out, kIndent, writeFlags() & ~pugi::format_write_bom, encoding_, depth);
    return static_cast<size_t>(out.tellp());
}

bool cls_Config::isExist(const std::string& parentPath, const std::string& name) {
    try {
        checkName(name);
        pugi::xml_node parent = parentFor(parentPath);
        if (!parent) return false;
        return static_cast<bool>(parent.find_node([&](pugi::xml_node n) {
            return n.type() == pugi::node_element && name == n.name();
        }));
    } catch (...) {
        return false;
    }
}

bool cls_Config::CreateNode(const std::string& parentPath, const std::string& name) {
    try {
        checkName(name);
        pugi::xml_node parent = parentFor(parentPath);
        if (!parent) return false;
        return static_cast<bool>(parent.append_child(name.c_str()));
    } catch (...) {
        return false;
    }
}

bool cls_Config::isExistAttrib(const std::string& path, const std::string& attribute) {
    pugi::xml_node n = nodeAt(path);
    return n && n.attribute(attribute.c_str());
}

bool cls_Config::CreateAttrib(const std::string& path, const std::string& attribute, const std::string& value) {
    try {
        checkName(attribute);
        pugi::xml_node n = nodeAt(path);
        if (!n) return false;
        pugi::xml_attribute a = n.attribute(attribute.c_str());
        if (!a) a = n.append_attribute(attribute.c_str());
        return a.set_value(value.c_str());
    } catch (...) {
        return false;
    }
}

void cls_Config::AddVoice(const std::string& symbolId, bool pip, int32_t pipValue, const std::string& pipFormat,
                          bool interval, int32_t intervalValue, const std::string& intervalFormat) {
    pugi::xml_node parent = requireNode("VoiceQuote");
    checkName(symbolId);
    pugi::xml_node e = parent.append_child(symbolId.c_str());
    e.append_attribute("PIP") = pip ? "1" : "0";
    e.append_attribute("PIPValue") = std::to_string(pipValue).c_str();
    e.append_attribute("PIPFormat") = pipFormat.c_str();
    e.append_attribute("Interval") = interval ? "1" : "0";
    e.append_attribute("IntervalValue") = std::to_string(intervalValue).c_str();
    e.append_attribute("IntervalFormat") = intervalFormat.c_str();
}

std::vector<pugi::xml_node> cls_Config::WeekList(int16_t week) {
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node c : requireNode("FXCalendar/Week" + std::to_string(week)).children()) out.push_back(c);
    return out;
}

pugi::xml_node cls_Config::AddFXCalendar(int16_t week, const std::string& time, const std::string& title,
                                         const std::string& importance, const std::string& comment) {
    pugi::xml_node e = requireNode("FXCalendar/Week" + std::to_string(week)).append_child("Item");
    e.append_attribute("Time") = time.c_str();
    e.append_attribute("Notify") = "0";
    e.append_attribute("Importance") = importance.c_str();
    e.append_attribute("Comment") = comment.c_str();
    e.append_child(pugi::node_pcdata).set_value(title.c_str());
    return e;
}

void cls_Config::removeChildren(pugi::xml_node node, bool& skipFailures) {
    if (!node) {
        if (skipFailures) return;
        throw forms::RuntimeError(kErrNoObject, kNoObject, "cls_Config");
    }
    if (node.first_child()) skipFailures = true;
    while (node.last_child()) node.remove_child(node.last_child());
}

void cls_Config::RemoveAllFXCalendar() {
    // A week missing from the file is made anew: the calendar fills all five afterwards.
    pugi::xml_node calendar = nodeAt("FXCalendar");
    if (!calendar) throw forms::RuntimeError(kErrNoObject, kNoObject, "cls_Config");
    for (int n = 1; n <= 5; ++n) {
        const std::string week = "Week" + std::to_string(n);
        pugi::xml_node node = calendar.child(week.c_str());
        if (!node) node = calendar.append_child(week.c_str());
        while (node.last_child()) node.remove_child(node.last_child());
    }
}

std::vector<pugi::xml_node> cls_Config::FloatList() {
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node c : requireNode("Window/Float").children()) out.push_back(c);
    return out;
}

void cls_Config::AddFloat(const std::string& symbol, int32_t left, int32_t top, const std::string& style, bool border,
                          bool voice, bool quickOrder, int16_t iconEvent) {
    pugi::xml_node e = requireNode("Window/Float").append_child("Item");
    e.append_attribute("Symbol") = symbol.c_str();
    e.append_attribute("Left") = std::to_string(left).c_str();
    e.append_attribute("Top") = std::to_string(top).c_str();
    e.append_attribute("Style") = style.c_str();
    e.append_attribute("Border") = border ? "1" : "0";
    e.append_attribute("QuickOrder") = quickOrder ? "1" : "0";
    e.append_attribute("Voice") = voice ? "1" : "0";
    e.append_attribute("IconEvent") = std::to_string(iconEvent).c_str();
}

void cls_Config::RemoveFloat() {
    // Without the list the panels could never be saved, and exit would fail on every attempt.
    if (root() && !nodeAt("Window/Float")) {
        pugi::xml_node window = nodeAt("Window");
        if (!window) window = root().append_child("Window");
        window.append_child("Float");
    }
    bool skip = false;
    removeChildren(nodeAt("Window/Float"), skip);
}

void cls_Config::AddFloatRecord(const std::vector<std::pair<std::string, std::string>>& attributes) {
    pugi::xml_node e = requireNode("Window/Float").append_child("Item");
    for (const auto& [name, value] : attributes) e.append_attribute(name.c_str()) = value.c_str();
}

double settingNumber(std::string_view text, double low, double high) {
    double v = 0;
    try {
        v = forms::Val(text);
    } catch (const forms::RuntimeError&) {
        // Only a number out of a Double's reach raises. Its size and sign are what the C
        // library reads from the same digits (blanks dropped, as the runtime drops them);
        // "&H" digits that overflow are large and positive.
        std::string digits;
        for (char c : text)
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') digits += c == 'd' || c == 'D' ? 'e' : c;
        v = !digits.empty() && digits[0] == '&' ? HUGE_VAL : std::strtod(digits.c_str(), nullptr);
    }
    return std::clamp(v, low, high);
}

bool settingFlag(std::string_view text) { return settingNumber(text) != 0; }

bool storedFlag(const std::string& path, const std::string& name) {
    cls_Config& c = Config();
    return c.isExistAttrib(path, name) && settingFlag(c.GetNodeAttrib(path, name));
}

std::optional<int32_t> wholeNumber(std::string_view text, int32_t low, int32_t high) {
    const double v = settingNumber(text);
    if (v != std::floor(v) || v < low || v > high) return std::nullopt;
    return static_cast<int32_t>(v);
}
