// The attached readers: enumeration through the reader drivers' interfaces,
// opening a reader's unit and asking it for its model name.
#ifndef KUVANA_PROBE_READERS_H
#define KUVANA_PROBE_READERS_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "probe/records.h"

class ReaderInterfaces;

// Control codes of the reader drivers (device type 0x22, METHOD_BUFFERED).
const DWORD ioctlUnitEmb = 0x2221FC;
const DWORD ioctlWordEmb = 0x22226C;
const DWORD ioctlIdentityEmb = 0x2221E4;
const DWORD ioctlUnit = 0x22244C;
const DWORD ioctlWord = 0x222450;
const DWORD ioctlIdentity = 0x222444;
const DWORD ioctlPrepare1Emb = 0x222208;
const DWORD ioctlPrepare2Emb = 0x2221D0;
const DWORD ioctlPrepare2 = 0x222008;
const DWORD ioctlPrepare3Emb = 0x2221F0;
const DWORD ioctlPrepare3 = 0x222488;
const DWORD ioctlModelName = 0x222804;

// Interface classes: kinds 0 and 1 share the first, kind 2 has the second.
extern const GUID readerInterfaceClass;
extern const GUID pcCardInterfaceClass;

// count: capacity of records on entry, readers found (or written) on return.
// Without records it only counts. Returns 0 or -1.
int EnumerateReaders(uint16_t* count, DeviceRecord* records);
// The same over interface lists the caller keeps for several calls.
// driverVersions, if given, receives per record written the DriverVersion
// text of its interface's driver (empty for kind 2).
int EnumerateReaders(uint16_t* count, DeviceRecord* records, ReaderInterfaces& interfaces,
                     std::vector<std::string>* driverVersions);

// Device error code; on 0 *handle is open (for overlapped I/O) and belongs to the caller.
uint32_t OpenReaderUnit(int32_t kind, int unit, HANDLE* handle);

// text: 128 bytes, receives a NUL-terminated name. Device error code.
uint32_t QueryModelName(int32_t kind, HANDLE handle, char* text);

// Fills entry from the records; opens the reader to ask its name, never fails.
void IdentifyReader(ReaderEntry& entry, const DriverRecord& driver, const DeviceRecord& device);
void IdentifyReader(ReaderEntry& entry, const DriverRecord& driver, const DeviceRecord& device,
                    ReaderInterfaces& interfaces);

// The packed DriverVersion of the driver behind an interface: 0, or -1.
int InterfaceDriverVersion(const char* devicePath, uint32_t* version, const char* classText);
// The same DriverVersion as its registry text, whole.
int InterfaceDriverVersionText(const char* devicePath, const char* classText, std::string& text);

// Bit 5 of the driver's Parameters value, read strictly as a 4-byte REG_DWORD.
bool ReadParametersFlag(int32_t kind);

#endif
