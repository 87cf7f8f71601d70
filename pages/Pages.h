#pragma once

namespace pages {
// Adds the pages, page scripts and images built into the program to its resource table.
void registerResources();
} // namespace pages
