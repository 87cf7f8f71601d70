#pragma once
// User controls: a control drawn in a child window of its container, sized in twips, that
// keeps its design in the container's property bag and tells the container which properties
// changed. The runtime's control events are plain members the container calls.
#include "Variant.h"
#include "platform/desktop/Window.h"

#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace forms {

// The runtime's font object. Fonts are shared by reference; a property bag keeps a copy.
struct StdFont {
    std::string Name = "MS Sans Serif";
    double Size = 8;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strikethrough = false;
    bool operator==(const StdFont&) const = default;
};
std::shared_ptr<StdFont> newFont(const std::string& name, double size);

// Saved properties of one control, names without regard to case.
class PropertyBag {
public:
    Variant ReadProperty(const std::string& name, const Variant& defaultValue = Variant()) const;
    void WriteProperty(const std::string& name, const Variant& value, const Variant& defaultValue = Variant());
    // A fresh font object with the saved description (or the default's).
    std::shared_ptr<StdFont> ReadFont(const std::string& name, const std::shared_ptr<StdFont>& defaultValue) const;
    void WriteFont(const std::string& name, const std::shared_ptr<StdFont>& value,
                   const std::shared_ptr<StdFont>& defaultValue);
    bool contains(const std::string& name) const;

private:
    std::map<std::string, std::variant<Variant, StdFont>> values_;  // upper-case names
};

class UserControl {
public:
    // Creates the control's window, a visible child of the container.
    explicit UserControl(win::HWND container);
    virtual ~UserControl();
    UserControl(const UserControl&) = delete;
    UserControl& operator=(const UserControl&) = delete;

    win::HWND hWnd() const { return hwnd_; }
    win::HWND ContainerHwnd() const { return container_; }
    // Extent in twips.
    long Width() const { return width_; }
    long Height() const { return height_; }
    // Left, top, width and height in twips of the container's client area; raises the resize.
    void Move(long left, long top, long width, long height);
    bool Visible() const;
    void setVisible(bool visible);

    // What the container tells its controls (Ambient).
    struct Ambient {
        bool UserMode = true;  // false in a designer
        std::shared_ptr<StdFont> Font = newFont("MS Sans Serif", 8);
    } ambient;

    // The container learns that a saved property changed (the names, in order, until cleared).
    void PropertyChanged(const std::string& name) { changed_.push_back(name); }
    const std::vector<std::string>& changedProperties() const { return changed_; }
    void clearChangedProperties() { changed_.clear(); }

    // The control's window got the keyboard focus.
    virtual void UserControl_GotFocus() {}
    virtual void UserControl_Resize() {}

private:
    win::HWND container_ = 0;
    win::HWND hwnd_ = 0;
    long width_ = 0, height_ = 0;
    std::vector<std::string> changed_;
};

} // namespace forms
