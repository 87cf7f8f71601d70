#include "cLibrary.h"

cLibrary::~cLibrary() { release(); }

void cLibrary::release() {
    if (module_) win::FreeLibrary(module_);
    module_ = 0;
    filename_.clear();
}

void cLibrary::Filename(const std::string& name) {
    release();
    filename_ = name;
    if (!name.empty()) module_ = win::LoadLibraryExA(name, 0, 0);
}
