// Decodes an extended dialog template (DLGTEMPLATEEX) from a resource, so tests
// can check styles, sizes and controls as the module ships them.
#ifndef KUVANA_TESTS_DIALOG_TEMPLATE_H
#define KUVANA_TESTS_DIALOG_TEMPLATE_H

#include <windows.h>

#include <string>
#include <vector>

struct DialogControl {
    DWORD id = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring className;  // names for predefined atoms: Button, Edit, Static
    std::wstring text;
};

struct DialogTemplate {
    bool ok = false;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring font;
    std::vector<DialogControl> controls;
};

DialogTemplate ParseDialogTemplate(const void* data, size_t size);

#endif
