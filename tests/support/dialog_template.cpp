#include "support/dialog_template.h"

namespace {

struct Reader {
    const BYTE* p;
    const BYTE* end;
    bool ok = true;
    template <typename T>
    T Get()
    {
        T value{};
        if (p + sizeof(T) > end) {
            ok = false;
            return value;
        }
        memcpy(&value, p, sizeof(T));
        p += sizeof(T);
        return value;
    }
    std::wstring String()
    {
        std::wstring s;
        for (;;) {
            WCHAR c = Get<WCHAR>();
            if (!ok || c == 0)
                return s;
            s += c;
        }
    }
    // A name or ordinal field: 0 = none, 0xFFFF + ordinal, or a string.
    std::wstring NameOrOrdinal(WORD* ordinal)
    {
        WORD first = Get<WORD>();
        if (first == 0)
            return L"";
        if (first == 0xFFFF) {
            *ordinal = Get<WORD>();
            return L"";
        }
        std::wstring s(1, static_cast<WCHAR>(first));
        s += String();
        return s;
    }
    void Align()
    {
        while ((reinterpret_cast<ULONG_PTR>(p) & 3) != 0 && p < end)
            ++p;
    }
};

std::wstring AtomClass(WORD atom)
{
    switch (atom) {
    case 0x80: return L"Button";
    case 0x81: return L"Edit";
    case 0x82: return L"Static";
    case 0x83: return L"ListBox";
    case 0x84: return L"ScrollBar";
    case 0x85: return L"ComboBox";
    default: return L"#" + std::to_wstring(atom);
    }
}

}  // namespace

DialogTemplate ParseDialogTemplate(const void* data, size_t size)
{
    DialogTemplate t;
    Reader r{static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size};
    if (r.Get<WORD>() != 1 || r.Get<WORD>() != 0xFFFF)
        return t;
    r.Get<DWORD>();  // help id
    r.Get<DWORD>();  // extended style
    t.style = r.Get<DWORD>();
    WORD count = r.Get<WORD>();
    t.x = r.Get<short>();
    t.y = r.Get<short>();
    t.cx = r.Get<short>();
    t.cy = r.Get<short>();
    WORD ordinal = 0;
    r.NameOrOrdinal(&ordinal);  // menu
    r.NameOrOrdinal(&ordinal);  // class
    t.caption = r.String();
    if (t.style & (DS_SETFONT | DS_SHELLFONT)) {
        t.pointSize = r.Get<WORD>();
        r.Get<WORD>();  // weight
        r.Get<BYTE>();  // italic
        r.Get<BYTE>();  // charset
        t.font = r.String();
    }
    for (WORD i = 0; i < count && r.ok; ++i) {
        r.Align();
        DialogControl c;
        r.Get<DWORD>();  // help id
        r.Get<DWORD>();  // extended style
        c.style = r.Get<DWORD>();
        c.x = r.Get<short>();
        c.y = r.Get<short>();
        c.cx = r.Get<short>();
        c.cy = r.Get<short>();
        c.id = r.Get<DWORD>();
        WORD atom = 0;
        c.className = r.NameOrOrdinal(&atom);
        if (c.className.empty())
            c.className = AtomClass(atom);
        WORD textOrdinal = 0;
        c.text = r.NameOrOrdinal(&textOrdinal);
        WORD extra = r.Get<WORD>();
        r.p += extra;
        t.controls.push_back(c);
    }
    t.ok = r.ok;
    return t;
}
