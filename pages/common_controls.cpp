#include "pages/common_controls.h"

#include <vector>

namespace {

// ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID on this
// resource is where a library keeps a manifest the loader does not attach.
const WORD kFallbackManifestId = 3;
// The first PROPSHEETPAGE layout that has hActCtx.
const DWORD kPageSizeWithActCtx = 96;

HANDLE moduleContext = INVALID_HANDLE_VALUE;  // not obtained yet
HMODULE comctlModule = nullptr;
FARPROC initCommonControlsProc = nullptr;
FARPROC createPageProc = nullptr;

bool IsResourceNotFound(DWORD error)
{
    return error >= ERROR_RESOURCE_DATA_NOT_FOUND && error <= ERROR_RESOURCE_LANG_NOT_FOUND;  // 1812..1815
}

// The context the loader attached to this module from its manifest, else one
// made from the fallback manifest resource, else the null context.
bool ObtainContext(HANDLE* context)
{
    ACTIVATION_CONTEXT_BASIC_INFORMATION info = {};
    if (QueryActCtxW(QUERY_ACTCTX_FLAG_ACTCTX_IS_ADDRESS | QUERY_ACTCTX_FLAG_NO_ADDREF,
                     reinterpret_cast<HANDLE>(&moduleContext), nullptr, ActivationContextBasicInformation,
                     &info, sizeof info, nullptr) &&
        info.hActCtx != nullptr) {
        *context = info.hActCtx;
        return true;
    }
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&moduleContext), &self))
        return false;
    WCHAR path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH + 1);
    if (length == 0)
        return false;
    if (length >= MAX_PATH + 1) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return false;
    }
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    request.lpSource = path;
    request.lpResourceName = MAKEINTRESOURCEW(kFallbackManifestId);
    request.hModule = self;
    HANDLE created = CreateActCtxW(&request);
    if (created == INVALID_HANDLE_VALUE) {
        if (!IsResourceNotFound(GetLastError()))
            return false;
        created = nullptr;  // no manifest at all: the process default applies
    }
    *context = created;
    return true;
}

// Pins the library the context redirects "Comctl32.dll" to, so later loads
// under the same context find the same version.
void LoadRedirectedComctl(HANDLE context)
{
    ULONG_PTR cookie = 0;
    if (!ActivateActCtx(context, &cookie))
        return;
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof data;
    if (FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"Comctl32.dll", &data))
        LoadLibraryW(L"Comctl32.dll");
    DeactivateActCtx(0, cookie);
}

bool ActivateModuleContext(ULONG_PTR* cookie)
{
    if (moduleContext == INVALID_HANDLE_VALUE) {
        HANDLE context = nullptr;
        if (!ObtainContext(&context))
            return false;
        moduleContext = context;
        LoadRedirectedComctl(context);
    }
    return ActivateActCtx(moduleContext, cookie) != FALSE;
}

// Resolved under the active module context; module and function are cached.
FARPROC ResolveComctl(FARPROC* cache, const char* name)
{
    if (*cache != nullptr)
        return *cache;
    if (comctlModule == nullptr)
        comctlModule = LoadLibraryW(L"Comctl32.dll");
    if (comctlModule != nullptr)
        *cache = GetProcAddress(comctlModule, name);
    return *cache;
}

// Deactivates on every way out of a wrapper.
class ActiveContext {
public:
    ActiveContext() { active = ActivateModuleContext(&cookie); }
    ~ActiveContext()
    {
        if (active)
            DeactivateActCtx(0, cookie);
    }
    ActiveContext(const ActiveContext&) = delete;
    ActiveContext& operator=(const ActiveContext&) = delete;
    bool active = false;

private:
    ULONG_PTR cookie = 0;
};

}  // namespace

HANDLE ModuleActivationContext()
{
    return moduleContext;
}

void IsolationAwareInitCommonControls()
{
    ActiveContext context;
    if (!context.active)
        return;
    typedef void(WINAPI * InitProc)();
    InitProc init = reinterpret_cast<InitProc>(
        reinterpret_cast<void (*)()>(ResolveComctl(&initCommonControlsProc, "InitCommonControls")));
    if (init != nullptr)
        init();
}

HPROPSHEETPAGE IsolationAwareCreatePropertySheetPageA(LPCPROPSHEETPAGEA page)
{
    HPROPSHEETPAGE result = nullptr;
    DWORD error = NO_ERROR;
    {
        ActiveContext context;
        if (!context.active)
            return nullptr;
        typedef HPROPSHEETPAGE(WINAPI * CreateProc)(LPCPROPSHEETPAGEA);
        CreateProc create = reinterpret_cast<CreateProc>(
            reinterpret_cast<void (*)()>(ResolveComctl(&createPageProc, "CreatePropertySheetPageA")));
        if (create == nullptr)
            return nullptr;
        // A copy of the caller's whole description (it may be longer than the
        // structure, carrying the page's own data behind it).
        std::vector<BYTE> copy;
        if (page != nullptr && page->dwSize >= kPageSizeWithActCtx && !(page->dwFlags & PSP_USEFUSIONCONTEXT)) {
            copy.assign(reinterpret_cast<const BYTE*>(page), reinterpret_cast<const BYTE*>(page) + page->dwSize);
            PROPSHEETPAGEA* fused = reinterpret_cast<PROPSHEETPAGEA*>(copy.data());
            fused->dwFlags |= PSP_USEFUSIONCONTEXT;
            fused->hActCtx = moduleContext;
            page = fused;
        }
        result = create(page);
        if (result == nullptr)
            error = GetLastError();
    }
    if (result == nullptr)
        SetLastError(error);
    return result;
}
