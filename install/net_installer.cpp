// Downloads the net installer into the temporary folder and starts it
// without waiting for it.
#include "install/net_installer.h"

#include "install/command_lines.h"
#include "install/temp_folder.h"
#include "net/http_download.h"
#include "resources/module_resources.h"
#include "resources/resource_ids.h"

void NetInstallerLauncher(HWND pageWindow, const char* url)
{
    HttpDownload job;
    std::string tempFolder;
    // Without a temporary folder the path stays empty and Start fails: nothing
    // is written into the current drive's root, nor started from there.
    const std::string localPath = ReadTempFolder(tempFolder) ? NetInstallerPath(tempFolder) : std::string();
    job.Start(url, localPath.c_str());
    if (job.GetState() == HttpDownload::Prepared) {
        job.Run();
        while (job.GetState() != HttpDownload::Finished)
            Sleep(100);
    } else {
        job.jobError = 200000;
    }
    if (job.GetResult() != 0) {
        char text[kStringBufferSize];
        LoadModuleStringInto(IDS_DOWNLOAD_RETRY, text);
        MessageBoxA(pageWindow, text, nullptr, MB_OK);
        return;
    }
    // Started and let go: the net installer carries on by itself.
    ProcessHandles process;
    StartProgram(ProgramCommandLine(localPath), process);
}
