#pragma once
// The XML element names under which the settings file keeps a symbol's own settings.
#include <string>

namespace m_Main {

// The element name under which a symbol's own settings are kept: the symbol itself when it is a
// valid XML name, else with each offending character written as _xHHHH_ (UTF-16 code in hex).
std::string SymbolElementName(const std::string& symbol);
// The symbol back from such a name.
std::string SymbolFromElementName(const std::string& name);

} // namespace m_Main
