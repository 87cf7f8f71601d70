#pragma once
// One module loaded by file name, freed when the name changes or the object goes.
#include "platform/system/Module.h"

#include <string>

class cLibrary {
public:
    cLibrary() = default;
    ~cLibrary();
    cLibrary(const cLibrary&) = delete;
    cLibrary& operator=(const cLibrary&) = delete;

    const std::string& Filename() const { return filename_; }
    // Frees the module held, then loads the new name ("" loads nothing). A failed load shows
    // only as hModule 0.
    void Filename(const std::string& name);
    win::HMODULE hModule() const { return module_; }

private:
    void release();
    std::string filename_;
    win::HMODULE module_ = 0;
};
