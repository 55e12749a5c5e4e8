// Replaces one function the test program imports, for the program's own calls,
// while the object lives: its import address table entry points at the
// replacement. The product is linked into the test programs, so its calls go
// through the same table; a replacement may forward to Original().
#ifndef KUVANA_TESTS_IMPORT_PATCH_H
#define KUVANA_TESTS_IMPORT_PATCH_H

#include <windows.h>

class ImportPatch {
public:
    ImportPatch(const char* dllName, const char* functionName, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Applied() const { return slot != nullptr; }
    void* Original() const { return original; }

private:
    void** slot = nullptr;
    void* original = nullptr;
};

#endif
