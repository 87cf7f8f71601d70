#pragma once
// The demo machine's settings file, made from the shipped one.
#include <optional>
#include <string>

// The shipped settings text with the demo's changes; nothing when it is not a settings file.
std::optional<std::string> demoSettings(const std::string& shipped);
