// The steps Start prepares a transfer with: the local file, the URL's parts,
// the WinINet handles and their time-outs.
#include "net/http_download.h"

#include <cstring>

#include "net/download_logic.h"
#include "net/http_download_internal.h"

using namespace download_job;

int HttpDownload::CreateLocalFile(const char* path)
{
    try {
        int code = 0;
        CatchingFaults([&] {
            DownloadFaultPoint("CreateLocalFile");
            // Readers may open it beside the writer (the net installer's
            // hold keeps it from being deleted while it downloads); nobody may
            // write or delete it.
            fileHandle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     createNewFile ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (fileHandle == INVALID_HANDLE_VALUE) {
                SetStepError(500, GetLastError());
                code = 500;
                return;
            }
            DownloadFaultPoint("CreateLocalFile.created");
            SetStepError(0, 0);
        });
        return code;
    } catch (...) {
        DWORD error = GetLastError();
        if (fileHandle != INVALID_HANDLE_VALUE) {
            CloseHandle(fileHandle);
            fileHandle = INVALID_HANDLE_VALUE;
        }
        SetStepError(501, error);
        return 501;
    }
}

int HttpDownload::CrackUrl(const char* text, int* scheme, char* host, char* path, INTERNET_PORT* port)
{
    try {
        int code = 0;
        CatchingFaults([&] {
            DownloadFaultPoint("CrackUrl");
            if (text == nullptr || scheme == nullptr || host == nullptr || path == nullptr || port == nullptr) {
                stepError = 400;
                code = 400;
                return;
            }
            char schemeName[512] = {};
            char hostName[512] = {};
            char userName[512] = {};
            char password[512] = {};
            char urlPath[512] = {};
            char extraInfo[512] = {};
            URL_COMPONENTSA parts;
            std::memset(&parts, 0, sizeof parts);
            parts.dwStructSize = sizeof parts;
            parts.lpszScheme = schemeName;
            parts.dwSchemeLength = sizeof schemeName;
            parts.lpszHostName = hostName;
            parts.dwHostNameLength = sizeof hostName;
            parts.lpszUserName = userName;
            parts.dwUserNameLength = sizeof userName;
            parts.lpszPassword = password;
            parts.dwPasswordLength = sizeof password;
            parts.lpszUrlPath = urlPath;
            parts.dwUrlPathLength = sizeof urlPath;
            parts.lpszExtraInfo = extraInfo;
            parts.dwExtraInfoLength = sizeof extraInfo;
            if (!InternetCrackUrlA(text, 0, ICU_ESCAPE, &parts)) {
                SetStepError(401, GetLastError());
                code = 401;
                return;
            }
            *scheme = parts.nScheme;
            if (!CopyBounded(host, 512, hostName)) {
                SetStepError(402, 0);
                code = 402;
                return;
            }
            if (!CopyBounded(path, 512, urlPath)) {
                SetStepError(403, 0);
                code = 403;
                return;
            }
            // User name, password and the query are not used: the request
            // names the path alone and sends no credentials.
            *port = parts.nPort;
            SetStepError(0, 0);
        });
        return code;
    } catch (...) {
        SetStepError(404, DWORD(systemError));
        return 404;
    }
}

int HttpDownload::OpenRequest(const char* host, const char* path, INTERNET_PORT port, bool secure)
{
    try {
        int code = 0;
        CatchingFaults([&] {
            DownloadFaultPoint("OpenRequest");
            if (internetHandle != nullptr || connectionHandle != nullptr || requestHandle != nullptr ||
                url[0] == '\0') {
                stepError = 300;
                code = 300;
                return;
            }
            if (host == nullptr || path == nullptr) {
                stepError = 301;
                code = 301;
                return;
            }
            if (host[0] == '\0' || path[0] == '\0') {
                stepError = 302;
                code = 302;
                return;
            }
            internetHandle = InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
            if (internetHandle == nullptr) {
                SetStepError(303, GetLastError());
                code = 303;
                return;
            }
            if (SetTimeouts(internetHandle, kTimeout) != 0) {
                SetStepError(304, 0);
                code = 304;
            }
            if (code == 0) {
                connectionHandle = InternetConnectA(internetHandle, host, port, nullptr, nullptr,
                                                    INTERNET_SERVICE_HTTP, 0, 0);
                if (connectionHandle == nullptr) {
                    SetStepError(305, GetLastError());
                    code = 305;
                }
            }
            if (code == 0 && SetTimeouts(connectionHandle, kTimeout) != 0) {
                SetStepError(306, 0);
                code = 306;
            }
            if (code == 0) {
                const DWORD flags = kRequestFlags | (secure ? INTERNET_FLAG_SECURE : 0);
                requestHandle = HttpOpenRequestA(connectionHandle, "GET", path, nullptr, nullptr, nullptr, flags, 0);
                // No server, nor one a redirect names, gets the account's
                // logon or a password the process used before: its challenge
                // fails the download (304000). WinINet keeps logging on to an
                // authenticating proxy under this option; where it lacks the
                // option (before Internet Explorer 8) the request goes with no
                // logon at all, to a proxy neither.
                // A request whose close fails is never sent.
                bool closeFailed = false;
                if (requestHandle != nullptr &&
                    !InternetSetOptionA(requestHandle, INTERNET_OPTION_SUPPRESS_SERVER_AUTH, nullptr, 0)) {
                    closeFailed = !InternetCloseHandle(requestHandle);
                    if (!closeFailed)
                        requestHandle = HttpOpenRequestA(connectionHandle, "GET", path, nullptr, nullptr, nullptr,
                                                         flags | INTERNET_FLAG_NO_AUTH, 0);
                }
                if (requestHandle == nullptr || closeFailed) {
                    SetStepError(307, GetLastError());
                    code = 307;
                }
            }
            if (code == 0 && SetTimeouts(requestHandle, kTimeout) != 0) {
                SetStepError(308, 0);
                code = 308;
            }
            if (code == 0) {
                SetStepError(0, 0);
                return;
            }
            // Clean-up: the step code set above stays.
            HINTERNET* handles[] = {&requestHandle, &connectionHandle, &internetHandle};
            for (HINTERNET* handle : handles) {
                if (*handle == nullptr)
                    continue;
                if (InternetCloseHandle(*handle))
                    *handle = nullptr;
                else
                    SetSystemError(GetLastError());
            }
        });
        return code;
    } catch (...) {
        SetStepError(309, DWORD(systemError));
        return 309;
    }
}

int HttpDownload::SetTimeouts(HINTERNET handle, DWORD milliseconds)
{
    (void)milliseconds;  // every caller passes kTimeout; kTimeout is what applies
    try {
        int code = 0;
        CatchingFaults([&] {
            DownloadFaultPoint("SetTimeouts");
            if (handle == nullptr) {
                stepError = 200;
                code = 200;
                return;
            }
            const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                                     INTERNET_OPTION_RECEIVE_TIMEOUT};
            const int codes[] = {201, 202, 203};
            for (int i = 0; i < 3; ++i) {
                DWORD value = kTimeout;
                if (!InternetSetOptionA(handle, options[i], &value, sizeof value)) {
                    SetStepError(codes[i], GetLastError());
                    code = codes[i];
                    return;
                }
            }
            SetStepError(0, 0);
        });
        return code;
    } catch (...) {
        SetStepError(204, GetLastError());
        return 204;
    }
}
