#include "probe/reader_rules.h"

#include <cstdio>

uint32_t MapDeviceError(int32_t /*kind*/, uint32_t win32Error)
{
    switch (win32Error) {
    case 0:
        return 0;
    case 1:     // ERROR_INVALID_FUNCTION
    case 5:     // ERROR_ACCESS_DENIED
    case 22:    // ERROR_BAD_COMMAND
    case 1167:  // ERROR_DEVICE_NOT_CONNECTED
        return deviceFailure;
    case 2:  // ERROR_FILE_NOT_FOUND
    case 3:  // ERROR_PATH_NOT_FOUND
        return deviceNotFound;
    case 21:  // ERROR_NOT_READY
        return deviceNotReady;
    case 23:  // ERROR_CRC
        return deviceCrcError;
    case 32:  // ERROR_SHARING_VIOLATION
        return deviceBusy;
    case 121:  // ERROR_SEM_TIMEOUT
        return deviceTimeout;
    case 1117:  // ERROR_IO_DEVICE
        return deviceIoError;
    default:
        return deviceUnknownError;
    }
}

DeviceRecord MakeDeviceRecord(int32_t kind, const EnumerationReplies& replies, bool parametersFlag,
                              uint32_t driverVersion)
{
    DeviceRecord r = {};
    r.kind = kind;
    r.unitNumber = uint8_t(replies.unit & 0xFF);
    r.replyWord = replies.word;
    const uint32_t w = replies.identity;
    const uint32_t low = w & 0x0FFFFFFFu;
    if (kind == kindZrvemb) {
        r.driverVersion = driverVersion;
        if (w == 0xFFFFFFFFu) {
            r.readerId = group1;
            r.flags = 0;
        } else {
            const bool b14and15 = (w & 0xC000u) == 0xC000u;
            const uint32_t s = (w >> 4) & 7u;
            if (b14and15)
                r.readerId = low | (s == 4 ? group8 : group1);
            else
                r.readerId = low | group2;
            r.flags = 1u | (parametersFlag ? 2u : 0u);
        }
    } else if (kind == kindZrvport) {
        r.driverVersion = driverVersion;
        const uint32_t n = w & 0xFu;
        if (n >= 1 && n <= 3)
            r.readerId = low | group1;
        else if (n == 5)
            r.readerId = low | group8;
        else
            r.readerId = low | group2;
        r.flags = (parametersFlag && n != 5) ? 2u : 0u;
    } else {
        r.driverVersion = 0;
        r.readerId = low | group4;
        r.flags = parametersFlag ? 2u : 0u;
    }
    return r;
}

const char* FallbackModelName(const DeviceRecord& device)
{
    if (device.kind == kindZrvemb) {
        const uint32_t v = device.readerId & 0xFFFFu;
        const uint32_t s = (v >> 4) & 7u;
        const uint32_t n = v & 0xFu;
        const bool b14 = (v & 0x4000u) != 0;
        if (s == 1 && b14 && n == 1)
            return "TQ-410/P";
        if (s == 1 && b14 && n == 2)
            return "TQ-410/S";
        if (s == 3 && !b14) {
            switch (n) {
            case 1: return "TQ-720";
            case 2: return "TQ-721";
            case 3: return "TQ-725";
            case 4: return "TQ-728";
            default: break;
            }
        }
        if (s == 4 && n == 1)
            return "TQ-72UC";
        return "unknown";
    }
    if (device.kind == kindZrvpccard && (device.readerId & 0xFFu) == 1)
        return "TQ-440";
    return "unknown";
}

std::string ModelNameFromReply(const char* reply, size_t size)
{
    // A reply that fills the whole buffer without a terminator keeps 127 chars.
    size_t limit = size == 0 ? 0 : size - 1;
    size_t n = 0;
    while (n < limit && reply[n] != '\0')
        ++n;
    return std::string(reply, n);
}

std::string UnitSuffix(int32_t kind, int unit)
{
    char text[270];
    if (kind == kindZrvport)
        std::snprintf(text, sizeof text, "\\%s%02d", "UD", unit);
    else if (kind == kindZrvemb)
        std::snprintf(text, sizeof text, "\\%s%02d", "UG", unit);
    else
        std::snprintf(text, sizeof text, "\\%d", unit);
    return text;
}

const char* ControlSuffix(int32_t kind)
{
    if (kind == kindZrvport)
        return "\\UD\\+ioctl";
    if (kind == kindZrvemb)
        return "\\UG\\+ioctl";
    return "\\+ioctl";
}

uint32_t ModelNameLanguage(uint16_t userLanguage, bool japaneseDiagPresent, bool chineseDiagPresent)
{
    if (userLanguage == 0x0411 && japaneseDiagPresent)
        return 0x04110000u;
    if (userLanguage == 0x0804 && chineseDiagPresent)
        return 0x08040000u;
    return 0x04090000u;
}

std::string InterfaceKeyName(const std::string& devicePath)
{
    std::string key = devicePath;
    for (char& c : key) {
        if (c == '\\')
            c = '#';
    }
    return key;
}

void ApplyModelName(PackageChoice& choice, const std::string& modelName)
{
    if (!choice.kl)
        choice.kl = modelName.find("410/P") != std::string::npos || modelName.find("470") != std::string::npos ||
                    modelName.find("460") != std::string::npos;
    if (!choice.pcscB)
        choice.pcscB = modelName.find("410/P") != std::string::npos || modelName.find("470") != std::string::npos;
}
