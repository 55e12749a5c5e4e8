// What the readers' replies mean: records, groups, fallback names, error codes.
#ifndef KUVANA_PROBE_READER_RULES_H
#define KUVANA_PROBE_READER_RULES_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "probe/records.h"

// Device error codes; 0 is success.
const uint32_t deviceNotFound = 0x80000001u;  // also: no interface of the class left
const uint32_t deviceNotReady = 0x80000002u;
const uint32_t deviceBadArgument = 0x80000003u;
const uint32_t deviceIoError = 0x80000004u;
const uint32_t deviceTimeout = 0x80000005u;
const uint32_t deviceCrcError = 0x80000006u;
const uint32_t deviceBusy = 0x80000008u;
const uint32_t deviceFailure = 0x80000009u;
const uint32_t deviceUnknownError = 0xFFFFFFFFu;

// A Win32 error as a device error code; kind does not change the result.
uint32_t MapDeviceError(int32_t kind, uint32_t win32Error);

// The replies of one reader to the three enumeration requests.
struct EnumerationReplies {
    uint32_t unit;
    uint16_t word;
    uint32_t identity;
};

// The record a pass writes for one reader (the pass is given by kind).
DeviceRecord MakeDeviceRecord(int32_t kind, const EnumerationReplies& replies, bool parametersFlag,
                              uint32_t driverVersion);

// Group bit (top four bits) of a ReaderId: 1, 2, 4, 8 or anything else.
inline uint32_t ReaderGroup(uint32_t readerId) { return readerId >> 28; }

// Name derived from the ReaderId when the reader cannot tell its own.
const char* FallbackModelName(const DeviceRecord& device);

// The model-name reply as text: up to the first NUL, never more than 127 chars.
std::string ModelNameFromReply(const char* reply, size_t size);

// Unit path suffix of a kind: "\UDnn", "\UGnn" or "\n".
std::string UnitSuffix(int32_t kind, int unit);

// Control path suffix of a kind.
const char* ControlSuffix(int32_t kind);

// Language code of the model-name query from the user's default language.
uint32_t ModelNameLanguage(uint16_t userLanguage, bool japaneseDiagPresent, bool chineseDiagPresent);

// The DeviceClasses subkey name of an interface: its path with every '\' as '#'.
std::string InterfaceKeyName(const std::string& devicePath);

// The package selection over one model name (Japanese system, groups 2 and 1).
struct PackageChoice {
    bool kl;
    bool pcscB;
};
void ApplyModelName(PackageChoice& choice, const std::string& modelName);

#endif
