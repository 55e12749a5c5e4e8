/*
 * A simulated contactless reader for tests: one WDM driver image that plays a
 * reader behind any of the three reader drivers (port, embedded, PC Card).
 *
 * Each root-enumerated device is one reader. Its behaviour comes from the
 * device's "Device Parameters" registry key, written by the test before the
 * device starts (see scenario.md). At start the device registers its interface
 * and publishes the reader's control and unit paths.
 *
 * Wine does not hand the rest of an open path ("\UG\+ioctl") to the device the
 * interface link points at, so the paths are real objects: a directory object
 * per reader holding one named device object per path, and the interface link
 * is pointed at that directory. On Windows the FDO itself receives the path in
 * FileName; both ways lead to the same roles below.
 */
#include <ntddk.h>

/* Interface classes of the reader drivers. */
static const GUID readerClass = {0xBCDBF9F1, 0x587D, 0x4DC8, {0x90, 0xD6, 0x5C, 0x8A, 0x17, 0x11, 0x9C, 0xD5}};
static const GUID pcCardClass = {0x1AB5ECA2, 0xF4D9, 0x46B9, {0x9A, 0xF7, 0x3C, 0xA0, 0x12, 0xAC, 0x32, 0x7E}};

#define REQUEST(function) CTL_CODE(FILE_DEVICE_UNKNOWN, (function), METHOD_BUFFERED, FILE_ANY_ACCESS)

enum Role { roleFdo, roleControl, roleUnit, roleOther };

#define MAX_OBJECTS 40
#define NAME_SIZE 128
#define LANGUAGES 3

static const ULONG languageCodes[LANGUAGES] = {0x04090000, 0x04110000, 0x08040000};

struct Reader {
    PDEVICE_OBJECT fdo;
    PDEVICE_OBJECT lower;
    PDEVICE_OBJECT pdo;
    BOOLEAN started;
    HANDLE directory;
    HANDLE subdirectory;
    UNICODE_STRING link;
    PDEVICE_OBJECT objects[MAX_OBJECTS];
    ULONG objectCount;
    /* the scenario */
    ULONG kind;
    ULONG unit;
    ULONG word;
    ULONG identity;
    UCHAR names[LANGUAGES][NAME_SIZE];
    ULONG nameSizes[LANGUAGES];
    ULONG generation;  /* readers installed together share it */
    ULONG failOpen;
    ULONG failUnit;
    ULONG failRequest[12];
    ULONG stallRequest[12];  /* 1: the request never completes until cancelled; 2: nor then, only at close */
    ULONG opens;
    ULONG requests;
    HANDLE countersKey;  /* kept open while started: counting must stay cheap */
    WCHAR refuse[512];
};

struct Extension {
    enum Role role;
    struct Reader* reader;  /* the FDO's own reader, or the reader an object belongs to */
    WCHAR unitName[16];     /* roleOther: the unit of another reader this path names */
    struct Reader own;      /* used by the FDO only */
};

static LONG directoryCounter;

/* Started readers, so that a path naming another reader's unit reaches it. */
#define MAX_READERS 64
static struct Reader* startedReaders[MAX_READERS];

static struct Extension* ExtensionOf(PDEVICE_OBJECT device)
{
    return (struct Extension*)device->DeviceExtension;
}

/* ---- scenario -------------------------------------------------------- */

static NTSTATUS QueryValue(HANDLE key, const WCHAR* name, ULONG* type, void* data, ULONG size, ULONG* length)
{
    UCHAR buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + 1024];
    KEY_VALUE_PARTIAL_INFORMATION* info = (KEY_VALUE_PARTIAL_INFORMATION*)buffer;
    UNICODE_STRING valueName;
    ULONG result = 0;
    NTSTATUS status;

    RtlInitUnicodeString(&valueName, name);
    status = ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, info, sizeof(buffer), &result);
    if (!NT_SUCCESS(status))
        return status;
    if (type)
        *type = info->Type;
    if (info->DataLength < size)
        size = info->DataLength;
    RtlCopyMemory(data, info->Data, size);
    if (length)
        *length = size;
    return STATUS_SUCCESS;
}

static ULONG QueryDword(HANDLE key, const WCHAR* name, ULONG fallback)
{
    ULONG value = 0, type = 0, length = 0;
    if (!NT_SUCCESS(QueryValue(key, name, &type, &value, sizeof(value), &length)) || type != REG_DWORD ||
        length != sizeof(value))
        return fallback;
    return value;
}

static void HexName(WCHAR* out, const WCHAR* prefix, ULONG value)
{
    static const WCHAR digits[] = L"0123456789ABCDEF";
    int i = 0, shift;
    while (prefix[i]) {
        out[i] = prefix[i];
        ++i;
    }
    for (shift = 28; shift >= 0; shift -= 4)
        out[i++] = digits[(value >> shift) & 0xF];
    out[i] = 0;
}

static void ReadFailures(struct Reader* reader, HANDLE key);

static void ReadScenario(struct Reader* reader)
{
    HANDLE key = NULL;
    WCHAR name[32];
    ULONG i, type = 0, length = 0;

    if (!NT_SUCCESS(IoOpenDeviceRegistryKey(reader->pdo, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &key)))
        return;
    reader->kind = QueryDword(key, L"Kind", 1);
    reader->unit = QueryDword(key, L"Unit", 0);
    reader->word = QueryDword(key, L"Word", 0);
    reader->identity = QueryDword(key, L"Identity", 0);
    reader->generation = QueryDword(key, L"Generation", 0);
    for (i = 0; i < LANGUAGES; ++i) {
        HexName(name, L"Name", languageCodes[i]);
        if (!NT_SUCCESS(QueryValue(key, name, &type, reader->names[i], NAME_SIZE, &length)))
            length = 0;
        reader->nameSizes[i] = length;
    }
    RtlZeroMemory(reader->refuse, sizeof(reader->refuse));
    QueryValue(key, L"Refuse", &type, reader->refuse, sizeof(reader->refuse) - 2 * sizeof(WCHAR), &length);
    ReadFailures(reader, key);
    ZwClose(key);
}

/* Requests whose failure a scenario may set, besides the two opens. */
static const ULONG knownRequests[] = {
    REQUEST(0x87F), REQUEST(0x89B), REQUEST(0x879), REQUEST(0x913), REQUEST(0x914), REQUEST(0x911),
    REQUEST(0x882), REQUEST(0x874), REQUEST(0x802), REQUEST(0x87C), REQUEST(0x922), REQUEST(0xA01),
};
#define KNOWN_REQUESTS (sizeof(knownRequests) / sizeof(knownRequests[0]))

/* A Win32 error as a status that Windows turns back into exactly that error. */
static NTSTATUS Win32Failure(ULONG error)
{
    return error ? (NTSTATUS)(0xC0070000u | (error & 0xFFFF)) : STATUS_SUCCESS;
}

static void ReadFailures(struct Reader* reader, HANDLE key)
{
    WCHAR name[32];
    ULONG i;
    reader->failOpen = QueryDword(key, L"FailOpen", 0);
    reader->failUnit = QueryDword(key, L"FailUnit", 0);
    for (i = 0; i < KNOWN_REQUESTS; ++i) {
        HexName(name, L"Fail", knownRequests[i]);
        reader->failRequest[i] = QueryDword(key, name, 0);
        HexName(name, L"Stall", knownRequests[i]);
        reader->stallRequest[i] = QueryDword(key, name, 0);
    }
}

static NTSTATUS RequestFailure(struct Reader* reader, ULONG code)
{
    ULONG i;
    for (i = 0; i < KNOWN_REQUESTS; ++i) {
        if (knownRequests[i] == code)
            return Win32Failure(reader->failRequest[i]);
    }
    return STATUS_SUCCESS;
}

static ULONG RequestStalls(struct Reader* reader, ULONG code)
{
    ULONG i;
    for (i = 0; i < KNOWN_REQUESTS; ++i) {
        if (knownRequests[i] == code)
            return reader->stallRequest[i];
    }
    return 0;
}

/* ---- requests that never complete ------------------------------------ */

/* Stalled requests wait here until cancelled or until their handle closes.
 * The cancel spin lock guards the table and each request's cancel routine. */
#define MAX_STALLED 32
static PIRP stalledIrps[MAX_STALLED];
static BOOLEAN deafIrps[MAX_STALLED];  /* set no cancel routine: only a close ends them */

static void Forget(PIRP irp)
{
    ULONG i;
    for (i = 0; i < MAX_STALLED; ++i) {
        if (stalledIrps[i] == irp)
            stalledIrps[i] = NULL;
    }
}

static VOID NTAPI CancelStalled(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    Forget(irp);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

static NTSTATUS Stall(PIRP irp, BOOLEAN deaf)
{
    KIRQL irql;
    ULONG i;
    IoAcquireCancelSpinLock(&irql);
    for (i = 0; i < MAX_STALLED && stalledIrps[i]; ++i)
        ;
    if (irp->Cancel || i == MAX_STALLED) {
        IoReleaseCancelSpinLock(irql);
        irp->IoStatus.Status = STATUS_CANCELLED;
        irp->IoStatus.Information = 0;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_CANCELLED;
    }
    stalledIrps[i] = irp;
    deafIrps[i] = deaf;
    IoMarkIrpPending(irp);
    if (!deaf)
        IoSetCancelRoutine(irp, CancelStalled);
    IoReleaseCancelSpinLock(irql);
    return STATUS_PENDING;
}

/* A closing handle takes its stalled requests with it. */
static void CancelStalledOf(PFILE_OBJECT file)
{
    PIRP done[MAX_STALLED];
    ULONG i, n = 0;
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    for (i = 0; i < MAX_STALLED; ++i) {
        PIRP irp = stalledIrps[i];
        if (irp && IoGetCurrentIrpStackLocation(irp)->FileObject == file &&
            (deafIrps[i] || IoSetCancelRoutine(irp, NULL))) {
            stalledIrps[i] = NULL;
            done[n++] = irp;
        }
    }
    IoReleaseCancelSpinLock(irql);
    for (i = 0; i < n; ++i) {
        done[i]->IoStatus.Status = STATUS_CANCELLED;
        done[i]->IoStatus.Information = 0;
        IoCompleteRequest(done[i], IO_NO_INCREMENT);
    }
}

/* Counters the tests read back: how often the reader was opened and asked. */
static void PublishCounters(struct Reader* reader)
{
    UNICODE_STRING name;
    if (!reader->countersKey &&
        !NT_SUCCESS(IoOpenDeviceRegistryKey(reader->pdo, PLUGPLAY_REGKEY_DEVICE, KEY_WRITE, &reader->countersKey)))
        return;
    RtlInitUnicodeString(&name, L"Opens");
    ZwSetValueKey(reader->countersKey, &name, 0, REG_DWORD, &reader->opens, sizeof(ULONG));
    RtlInitUnicodeString(&name, L"Requests");
    ZwSetValueKey(reader->countersKey, &name, 0, REG_DWORD, &reader->requests, sizeof(ULONG));
}

/* ---- names ----------------------------------------------------------- */

static const WCHAR* Prefix(struct Reader* reader)
{
    return reader->kind == 0 ? L"UD" : L"UG";
}

static int Append(WCHAR* out, int at, int size, const WCHAR* text)
{
    while (*text && at < size - 1)
        out[at++] = *text++;
    out[at] = 0;
    return at;
}

static int AppendNumber(WCHAR* out, int at, int size, ULONG value, int minDigits)
{
    WCHAR digits[12];
    int n = 0;
    do {
        digits[n++] = (WCHAR)('0' + value % 10);
        value /= 10;
    } while (value);
    while (n < minDigits)
        digits[n++] = '0';
    while (n && at < size - 1)
        out[at++] = digits[--n];
    out[at] = 0;
    return at;
}

/* The reader's unit name inside its directory: "UG05", "UD12" or "3". */
static void UnitName(struct Reader* reader, WCHAR* out, int size)
{
    int at = 0;
    out[0] = 0;
    if (reader->kind != 2)
        at = Append(out, at, size, Prefix(reader));
    AppendNumber(out, at, size, reader->unit & 0xFF, reader->kind != 2 ? 2 : 1);
}

static BOOLEAN SameName(const WCHAR* a, USHORT aLength, const WCHAR* b)
{
    USHORT i, n = aLength / sizeof(WCHAR);
    for (i = 0; i < n; ++i) {
        WCHAR x = a[i], y = b[i];
        if (!y)
            return FALSE;
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y)
            return FALSE;
    }
    return b[n] == 0;
}

/* The role of a path below the interface, as Windows passes it to the FDO. */
static enum Role RoleOfPath(struct Reader* reader, const UNICODE_STRING* path)
{
    WCHAR expected[64];
    int at;
    if (!path || !path->Length)
        return roleFdo;
    at = Append(expected, 0, 64, L"\\");
    if (reader->kind != 2) {
        at = Append(expected, at, 64, Prefix(reader));
        at = Append(expected, at, 64, L"\\");
    }
    Append(expected, at, 64, L"+ioctl");
    if (SameName(path->Buffer, path->Length, expected))
        return roleControl;
    Append(expected, 0, 64, L"\\");
    UnitName(reader, expected + 1, 63);
    if (SameName(path->Buffer, path->Length, expected))
        return roleUnit;
    return roleOther;
}

/* ---- publishing the paths -------------------------------------------- */

static NTSTATUS CreateDirectory(HANDLE* handle, const WCHAR* name)
{
    UNICODE_STRING string;
    OBJECT_ATTRIBUTES attributes;
    RtlInitUnicodeString(&string, name);
    InitializeObjectAttributes(&attributes, &string, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    return ZwCreateDirectoryObject(handle, DIRECTORY_ALL_ACCESS, &attributes);
}

static NTSTATUS CreateObject(struct Reader* reader, const WCHAR* directory, const WCHAR* name, enum Role role)
{
    WCHAR full[160];
    UNICODE_STRING string;
    PDEVICE_OBJECT device = NULL;
    NTSTATUS status;
    int at;

    if (reader->objectCount >= MAX_OBJECTS)
        return STATUS_INSUFFICIENT_RESOURCES;
    at = Append(full, 0, 160, directory);
    at = Append(full, at, 160, L"\\");
    Append(full, at, 160, name);
    RtlInitUnicodeString(&string, full);
    status = IoCreateDevice(reader->fdo->DriverObject, sizeof(struct Extension), &string, FILE_DEVICE_UNKNOWN, 0,
                            FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    RtlZeroMemory(ExtensionOf(device), sizeof(struct Extension));
    ExtensionOf(device)->role = role;
    ExtensionOf(device)->reader = reader;
    Append(ExtensionOf(device)->unitName, 0, 16, name);
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    reader->objects[reader->objectCount++] = device;
    return STATUS_SUCCESS;
}

static void Unpublish(struct Reader* reader)
{
    ULONG i;
    for (i = 0; i < MAX_READERS; ++i) {
        if (startedReaders[i] == reader)
            startedReaders[i] = NULL;
    }
    if (reader->link.Buffer) {
        IoSetDeviceInterfaceState(&reader->link, FALSE);
        IoDeleteSymbolicLink(&reader->link);
        RtlFreeUnicodeString(&reader->link);
        reader->link.Buffer = NULL;
    }
    for (i = 0; i < reader->objectCount; ++i)
        IoDeleteDevice(reader->objects[i]);
    reader->objectCount = 0;
    if (reader->subdirectory)
        ZwClose(reader->subdirectory);
    if (reader->directory)
        ZwClose(reader->directory);
    reader->subdirectory = reader->directory = NULL;
    if (reader->countersKey)
        ZwClose(reader->countersKey);
    reader->countersKey = NULL;
    reader->started = FALSE;
}

static NTSTATUS Publish(struct Reader* reader)
{
    WCHAR directory[64], subdirectory[64], unit[32];
    UNICODE_STRING target;
    const WCHAR* refused;
    NTSTATUS status;
    int at;

    ReadScenario(reader);

    at = Append(directory, 0, 64, L"\\Device\\ZrvSim");
    AppendNumber(directory, at, 64, (ULONG)InterlockedIncrement(&directoryCounter), 1);
    status = CreateDirectory(&reader->directory, directory);
    if (!NT_SUCCESS(status))
        return status;

    if (reader->kind == 2) {
        status = CreateObject(reader, directory, L"+ioctl", roleControl);
    } else {
        at = Append(subdirectory, 0, 64, directory);
        at = Append(subdirectory, at, 64, L"\\");
        Append(subdirectory, at, 64, Prefix(reader));
        status = CreateDirectory(&reader->subdirectory, subdirectory);
        if (NT_SUCCESS(status))
            status = CreateObject(reader, subdirectory, L"+ioctl", roleControl);
    }
    if (NT_SUCCESS(status)) {
        UnitName(reader, unit, 32);
        status = CreateObject(reader, directory, unit, roleUnit);
    }
    /* Paths of other readers' units: they lead to that reader while it is
     * started, else they are refused with an invalid parameter. */
    for (refused = reader->refuse; NT_SUCCESS(status) && *refused; refused += wcslen(refused) + 1)
        status = CreateObject(reader, directory, refused, roleOther);

    if (NT_SUCCESS(status))
        status = IoRegisterDeviceInterface(reader->pdo, reader->kind == 2 ? &pcCardClass : &readerClass, NULL,
                                           &reader->link);
    if (NT_SUCCESS(status))
        status = IoSetDeviceInterfaceState(&reader->link, TRUE);
    if (NT_SUCCESS(status)) {
        /* Point the interface at the directory so that its paths open. */
        IoDeleteSymbolicLink(&reader->link);
        RtlInitUnicodeString(&target, directory);
        status = IoCreateSymbolicLink(&reader->link, &target);
    }
    if (!NT_SUCCESS(status)) {
        Unpublish(reader);
        return status;
    }
    reader->started = TRUE;
    for (at = 0; at < MAX_READERS; ++at) {
        if (!startedReaders[at]) {
            startedReaders[at] = reader;
            break;
        }
    }
    PublishCounters(reader);  /* tells the test the paths exist */
    return STATUS_SUCCESS;
}

/* ---- requests ------------------------------------------------------- */

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* The started reader of the same interface class whose unit has this name. */
static struct Reader* UnitOwner(struct Reader* reader, const WCHAR* name)
{
    WCHAR own[32];
    ULONG i;
    for (i = 0; i < MAX_READERS; ++i) {
        struct Reader* other = startedReaders[i];
        if (!other || other->generation != reader->generation || (other->kind == 2) != (reader->kind == 2))
            continue;
        UnitName(other, own, 32);
        if (SameName(name, (USHORT)(wcslen(name) * sizeof(WCHAR)), own))
            return other;
    }
    return NULL;
}

/* Windows fails the open with the create's status. Wine 8 opens the handle
 * whatever the create returns, so the handle also remembers the failure and
 * every request on it fails the same way. */
static NTSTATUS DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    struct Extension* extension = ExtensionOf(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    struct Reader* reader = extension->reader;
    enum Role role = extension->role;
    ULONG failure = 0;

    if (role == roleFdo && stack->FileObject)
        role = RoleOfPath(reader, &stack->FileObject->FileName);
    if (role == roleOther) {
        struct Reader* owner = NULL;
        if (extension->role == roleOther)
            owner = UnitOwner(reader, extension->unitName);
        else if (stack->FileObject && stack->FileObject->FileName.Length > sizeof(WCHAR))
            owner = UnitOwner(reader, stack->FileObject->FileName.Buffer + 1);
        if (owner) {
            reader = owner;
            role = roleUnit;
        } else {
            failure = 87;  /* ERROR_INVALID_PARAMETER */
        }
    }
    if (role == roleControl)
        failure = reader->failOpen;
    else if (role == roleUnit)
        failure = reader->failUnit;
    if (stack->FileObject) {
        stack->FileObject->FsContext = reader;
        stack->FileObject->FsContext2 = (PVOID)(ULONG_PTR)(role | (failure << 8));
    }
    if (role != roleFdo) {
        ++reader->opens;
        PublishCounters(reader);
    }
    return Complete(irp, Win32Failure(failure), 0);
}

static NTSTATUS DispatchClose(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    struct Reader* reader = stack->FileObject && stack->FileObject->FsContext
                                ? (struct Reader*)stack->FileObject->FsContext
                                : ExtensionOf(device)->reader;
    /* Windows sends the cleanup when the last handle closes; Wine may send
     * only the close, and may send it while a request is still pending. */
    if (stack->FileObject)
        CancelStalledOf(stack->FileObject);
    if (stack->MajorFunction == IRP_MJ_CLOSE && reader->started)
        PublishCounters(reader);
    return Complete(irp, STATUS_SUCCESS, 0);
}

static const UCHAR* ModelName(struct Reader* reader, ULONG language, ULONG* size)
{
    ULONG i;
    for (i = 0; i < LANGUAGES; ++i) {
        if (languageCodes[i] == language) {
            *size = reader->nameSizes[i];
            return reader->names[i];
        }
    }
    *size = 0;
    return NULL;
}

static NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    struct Reader* reader = stack->FileObject && stack->FileObject->FsContext
                                ? (struct Reader*)stack->FileObject->FsContext
                                : ExtensionOf(device)->reader;
    ULONG_PTR context = stack->FileObject ? (ULONG_PTR)stack->FileObject->FsContext2 : 0;
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR* buffer = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
    enum Role role = (enum Role)(context & 0xFF);
    BOOLEAN emb = reader->kind == 1;
    NTSTATUS status;
    ULONG size, value;
    const UCHAR* name;

    ++reader->requests;
    if (context >> 8)
        return Complete(irp, Win32Failure((ULONG)(context >> 8)), 0);
    status = RequestFailure(reader, code);
    if (!NT_SUCCESS(status))
        return Complete(irp, status, 0);
    if (RequestStalls(reader, code))
        return Stall(irp, RequestStalls(reader, code) == 2);

    if (role == roleControl) {
        if (code == (emb ? REQUEST(0x87F) : REQUEST(0x913)))
            value = reader->unit;
        else if (code == (emb ? REQUEST(0x879) : REQUEST(0x911)))
            value = reader->identity;
        else if (code == (emb ? REQUEST(0x89B) : REQUEST(0x914))) {
            USHORT word = (USHORT)reader->word;
            if (outSize < sizeof(word))
                return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
            RtlCopyMemory(buffer, &word, sizeof(word));
            return Complete(irp, STATUS_SUCCESS, sizeof(word));
        } else
            return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
        if (outSize < sizeof(value))
            return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        RtlCopyMemory(buffer, &value, sizeof(value));
        return Complete(irp, STATUS_SUCCESS, sizeof(value));
    }

    if (role != roleUnit)
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);

    if ((emb && code == REQUEST(0x882)) || code == (emb ? REQUEST(0x87C) : REQUEST(0x922)))
        return Complete(irp, STATUS_SUCCESS, 0);
    if (code == (emb ? REQUEST(0x874) : REQUEST(0x802))) {
        if (inSize != sizeof(value))
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        RtlCopyMemory(&value, buffer, sizeof(value));
        return Complete(irp, value == 2000 ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER, 0);
    }
    if (code == REQUEST(0xA01) && reader->kind != 2) {
        if (inSize != sizeof(value) || outSize < NAME_SIZE)
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        RtlCopyMemory(&value, buffer, sizeof(value));
        name = ModelName(reader, value, &size);
        RtlZeroMemory(buffer, NAME_SIZE);
        if (name)
            RtlCopyMemory(buffer, name, size);
        return Complete(irp, STATUS_SUCCESS, NAME_SIZE);
    }
    return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

/* ---- plug and play --------------------------------------------------- */

static NTSTATUS PassDown(struct Reader* reader, PIRP irp)
{
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(reader->lower, irp);
}

static NTSTATUS DispatchPnp(PDEVICE_OBJECT device, PIRP irp)
{
    struct Extension* extension = ExtensionOf(device);
    struct Reader* reader = extension->reader;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status;

    if (extension->role != roleFdo)
        return Complete(irp, STATUS_NOT_SUPPORTED, 0);

    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
        status = reader->started ? STATUS_SUCCESS : Publish(reader);
        if (!NT_SUCCESS(status))
            return Complete(irp, status, 0);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(reader, irp);
    case IRP_MN_SURPRISE_REMOVAL:
        Unpublish(reader);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(reader, irp);
    case IRP_MN_REMOVE_DEVICE:
        Unpublish(reader);
        irp->IoStatus.Status = STATUS_SUCCESS;
        status = PassDown(reader, irp);
        IoDetachDevice(reader->lower);
        IoDeleteDevice(device);
        return status;
    default:
        return PassDown(reader, irp);
    }
}

static NTSTATUS DispatchPower(PDEVICE_OBJECT device, PIRP irp)
{
    struct Extension* extension = ExtensionOf(device);
    if (extension->role != roleFdo)
        return Complete(irp, STATUS_NOT_SUPPORTED, 0);
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(extension->reader->lower, irp);
}

static NTSTATUS AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo)
{
    PDEVICE_OBJECT fdo = NULL;
    struct Extension* extension;
    NTSTATUS status;

    status = IoCreateDevice(driver, sizeof(struct Extension), NULL, FILE_DEVICE_UNKNOWN, 0, FALSE, &fdo);
    if (!NT_SUCCESS(status))
        return status;
    extension = ExtensionOf(fdo);
    RtlZeroMemory(extension, sizeof(*extension));
    extension->role = roleFdo;
    extension->reader = &extension->own;
    extension->own.fdo = fdo;
    extension->own.pdo = pdo;
    extension->own.lower = IoAttachDeviceToDeviceStack(fdo, pdo);
    if (!extension->own.lower) {
        IoDeleteDevice(fdo);
        return STATUS_NO_SUCH_DEVICE;
    }
    fdo->Flags |= DO_BUFFERED_IO;
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static VOID Unload(PDRIVER_OBJECT driver)
{
    (void)driver;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    (void)registryPath;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    return STATUS_SUCCESS;
}
