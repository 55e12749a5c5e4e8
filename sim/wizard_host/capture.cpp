#include "sim/wizard_host/capture.h"

#include <cstdio>
#include <vector>

#include "sim/wizard_host/png_writer.h"

namespace {

// A window that does not answer (its thread busy) is skipped, not waited for.
const UINT kPrintTimeout = 2000;

// Wine's WM_PRINT leaves the non-client area alone: frames, captions and
// scroll bars are drawn here from the window's styles, as the system would.
void DrawNonClient(HWND window, HDC dc, int width, int height)
{
    LONG style = GetWindowLongW(window, GWL_STYLE);
    LONG extended = GetWindowLongW(window, GWL_EXSTYLE);
    RECT whole = {0, 0, width, height};
    RECT client;
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    RECT rect;
    GetWindowRect(window, &rect);
    OffsetRect(&client, -rect.left, -rect.top);
    bool topLevel = !(style & WS_CHILD);
    if (topLevel && (style & WS_CAPTION) == WS_CAPTION) {
        DrawEdge(dc, &whole, EDGE_RAISED, BF_RECT);
        RECT caption = {client.left, client.top - GetSystemMetrics(SM_CYCAPTION), client.right, client.top - 1};
        if (style & WS_VSCROLL)
            caption.right += GetSystemMetrics(SM_CXVSCROLL);
        DrawCaption(window, dc, &caption, DC_ACTIVE | DC_TEXT | DC_GRADIENT);
    } else if (extended & WS_EX_CLIENTEDGE) {
        DrawEdge(dc, &whole, EDGE_SUNKEN, BF_RECT);
    } else if (style & WS_BORDER) {
        FrameRect(dc, &whole, GetSysColorBrush(COLOR_WINDOWFRAME));
    }
    if (style & WS_VSCROLL) {
        int bar = GetSystemMetrics(SM_CXVSCROLL);
        int arrow = GetSystemMetrics(SM_CYVSCROLL);
        RECT track = {client.right, client.top, client.right + bar, client.bottom};
        FillRect(dc, &track, GetSysColorBrush(COLOR_SCROLLBAR));
        RECT up = {track.left, track.top, track.right, track.top + arrow};
        RECT down = {track.left, track.bottom - arrow, track.right, track.bottom};
        DrawFrameControl(dc, &up, DFC_SCROLL, DFCS_SCROLLUP);
        DrawFrameControl(dc, &down, DFC_SCROLL, DFCS_SCROLLDOWN);
    }
}

// Wine's message box keeps its icon control visible when the box has no
// icon, and centres it over the text's lower left. On screen the text paints
// after it; printed in z-order, its background would cover those words. A
// picture control with nothing to show is therefore left out, as it shows
// nothing on screen either.
bool ShowsNothing(HWND window)
{
    wchar_t name[16] = {};
    if (!GetClassNameW(window, name, 16) || lstrcmpiW(name, L"Static") != 0)
        return false;
    const LONG type = GetWindowLongW(window, GWL_STYLE) & SS_TYPEMASK;
    if (type == SS_ICON)
        return SendMessageW(window, STM_GETICON, 0, 0) == 0;
    if (type == SS_BITMAP)
        return SendMessageW(window, STM_GETIMAGE, IMAGE_BITMAP, 0) == 0;
    return false;
}

// Each window draws into a bitmap of its own with its own origin (controls
// clip to their client rectangle in device units), which is then copied into
// place within the visible part of its parents.
void PrintTree(HWND window, HDC target, const RECT& rootRect, HRGN clip)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = rect.left - rootRect.left;
    int y = rect.top - rootRect.top;
    HRGN own = CreateRectRgn(x, y, x + width, y + height);
    if (clip != nullptr)
        CombineRgn(own, own, clip, RGN_AND);
    if (width > 0 && height > 0) {
        HDC dc = CreateCompatibleDC(target);
        HBITMAP bitmap = CreateCompatibleBitmap(target, width, height);
        HGDIOBJ old = SelectObject(dc, bitmap);
        // What lies below shows through where the window does not paint.
        BitBlt(dc, 0, 0, width, height, target, x, y, SRCCOPY);
        DrawNonClient(window, dc, width, height);
        // The client area draws with its own origin, then goes into place.
        RECT client;
        GetClientRect(window, &client);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
        int cx = client.right - client.left;
        int cy = client.bottom - client.top;
        if (cx > 0 && cy > 0) {
            HDC clientDc = CreateCompatibleDC(target);
            HBITMAP clientBitmap = CreateCompatibleBitmap(target, cx, cy);
            HGDIOBJ oldClient = SelectObject(clientDc, clientBitmap);
            BitBlt(clientDc, 0, 0, cx, cy, dc, client.left - rect.left, client.top - rect.top, SRCCOPY);
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(window, WM_PRINT, reinterpret_cast<WPARAM>(clientDc), PRF_CLIENT | PRF_ERASEBKGND,
                                SMTO_ABORTIFHUNG | SMTO_BLOCK, kPrintTimeout, &ignored);
            BitBlt(dc, client.left - rect.left, client.top - rect.top, cx, cy, clientDc, 0, 0, SRCCOPY);
            SelectObject(clientDc, oldClient);
            DeleteObject(clientBitmap);
            DeleteDC(clientDc);
        }
        SelectClipRgn(target, own);
        BitBlt(target, x, y, width, height, dc, 0, 0, SRCCOPY);
        SelectClipRgn(target, nullptr);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }

    // Children draw inside this window's client area, bottom of the z-order first.
    RECT client;
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    HRGN inner = CreateRectRgn(client.left - rootRect.left, client.top - rootRect.top,
                               client.right - rootRect.left, client.bottom - rootRect.top);
    CombineRgn(inner, inner, own, RGN_AND);
    HWND child = GetWindow(window, GW_CHILD);
    if (child != nullptr) {
        for (HWND c = GetWindow(child, GW_HWNDLAST); c != nullptr; c = GetWindow(c, GW_HWNDPREV)) {
            if (IsWindowVisible(c) && !ShowsNothing(c))
                PrintTree(c, target, rootRect, inner);
        }
    }
    DeleteObject(inner);
    DeleteObject(own);
}

bool WriteFile(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

}  // namespace

bool CaptureWindowPng(HWND root, const std::wstring& path)
{
    RECT rect;
    if (!GetWindowRect(root, &rect))
        return false;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) {
        DeleteDC(dc);
        return false;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, GetSysColorBrush(COLOR_3DFACE));
    PrintTree(root, dc, rect, nullptr);
    GdiFlush();

    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    const uint8_t* bgra = static_cast<const uint8_t*>(bits);
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        rgb[i * 3] = bgra[i * 4 + 2];
        rgb[i * 3 + 1] = bgra[i * 4 + 1];
        rgb[i * 3 + 2] = bgra[i * 4];
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    std::vector<uint8_t> png = EncodePng(rgb, uint32_t(width), uint32_t(height));
    return !png.empty() && WriteFile(path, png);
}
