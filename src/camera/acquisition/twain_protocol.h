#pragma once
// The acquisition protocol spoken between CTwain and the source manager: TWAIN 1.8 records with
// 2-byte packing, the codes the program uses, and movable memory handles (the source manager
// allocates a delivered picture, the program frees it).

#include <cstddef>
#include <cstdint>

class QEvent;
class QObject;

using TW_UINT16 = uint16_t;
using TW_INT16 = int16_t;
using TW_UINT32 = uint32_t;
using TW_INT32 = int32_t;
using TW_BOOL = uint16_t;
using TW_MEMREF = void*;
using TW_HANDLE = void*;
using TW_STR32 = char[34];

#pragma pack(push, 2)
struct TW_VERSION {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;
    TW_UINT16 Country;
    TW_STR32 Info;
};

struct TW_IDENTITY {
    TW_UINT32 Id;
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
};

struct TW_STATUS {
    TW_UINT16 ConditionCode;
    TW_UINT16 Reserved;
};

struct TW_FIX32 {
    TW_INT16 Whole;
    TW_UINT16 Frac;
};

struct TW_CAPABILITY {
    TW_UINT16 Cap;
    TW_UINT16 ConType;
    TW_HANDLE hContainer;
};

struct TW_ONEVALUE {
    TW_UINT16 ItemType;
    TW_UINT32 Item;
};

struct TW_USERINTERFACE {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
};

struct TW_PENDINGXFERS {
    TW_UINT16 Count;
    TW_UINT32 EOJ;
};

struct TW_EVENT {
    TW_MEMREF pEvent;
    TW_UINT16 TWMessage;
};

struct TW_IMAGEINFO {
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_INT32 ImageWidth;
    TW_INT32 ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;
    TW_UINT16 Compression;
};
#pragma pack(pop)
static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(sizeof(TW_ONEVALUE) == 6);

// The single entry point of the source manager.
using DSMENTRYPROC = TW_UINT16 (*)(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG,
                                   TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);

// Data groups.
inline constexpr TW_UINT32 DG_CONTROL = 1;
inline constexpr TW_UINT32 DG_IMAGE = 2;

// Data argument types.
inline constexpr TW_UINT16 DAT_CAPABILITY = 1;
inline constexpr TW_UINT16 DAT_EVENT = 2;
inline constexpr TW_UINT16 DAT_IDENTITY = 3;
inline constexpr TW_UINT16 DAT_PARENT = 4;
inline constexpr TW_UINT16 DAT_PENDINGXFERS = 5;
inline constexpr TW_UINT16 DAT_STATUS = 8;
inline constexpr TW_UINT16 DAT_USERINTERFACE = 9;
inline constexpr TW_UINT16 DAT_IMAGEINFO = 0x0101;
inline constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;

// Messages.
inline constexpr TW_UINT16 MSG_NULL = 0;
inline constexpr TW_UINT16 MSG_GET = 1;
inline constexpr TW_UINT16 MSG_GETDEFAULT = 3;
inline constexpr TW_UINT16 MSG_SET = 6;
inline constexpr TW_UINT16 MSG_RESET = 7;
inline constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
inline constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
inline constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
inline constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
inline constexpr TW_UINT16 MSG_OPENDS = 0x0401;
inline constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
inline constexpr TW_UINT16 MSG_USERSELECT = 0x0403;
inline constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
inline constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
inline constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
inline constexpr TW_UINT16 MSG_ENDXFER = 0x0701;

// Return codes.
inline constexpr TW_UINT16 TWRC_SUCCESS = 0;
inline constexpr TW_UINT16 TWRC_FAILURE = 1;
inline constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
inline constexpr TW_UINT16 TWRC_CANCEL = 3;
inline constexpr TW_UINT16 TWRC_DSEVENT = 4;
inline constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
inline constexpr TW_UINT16 TWRC_XFERDONE = 6;

// Condition codes (TW_STATUS).
inline constexpr TW_UINT16 TWCC_SUCCESS = 0;
inline constexpr TW_UINT16 TWCC_BUMMER = 1;
inline constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
inline constexpr TW_UINT16 TWCC_NODS = 3;
inline constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;
inline constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;
inline constexpr TW_UINT16 TWCC_BADCAP = 6;
inline constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
inline constexpr TW_UINT16 TWCC_BADVALUE = 10;
inline constexpr TW_UINT16 TWCC_SEQERROR = 11;
inline constexpr TW_UINT16 TWCC_BADDEST = 12;

// Capabilities, containers and item types.
inline constexpr TW_UINT16 CAP_XFERCOUNT = 1;
inline constexpr TW_UINT16 TWON_ONEVALUE = 5;
inline constexpr TW_UINT16 TWON_DONTCARE16 = 0xFFFF;
inline constexpr TW_UINT16 TWTY_INT16 = 1;
inline constexpr TW_UINT16 TWTY_UINT16 = 4;

// Groups of the application identity, pixel types, compression.
inline constexpr TW_UINT32 DG_CONTROL_AND_IMAGE = DG_CONTROL | DG_IMAGE;
inline constexpr TW_INT16 TWPT_RGB = 2;
inline constexpr TW_UINT16 TWCP_NONE = 0;

// A window message as the program's message pre-filter sees it: the event and the object it
// is addressed to. TW_EVENT's pEvent points at one.
struct TwWindowMessage {
    QObject* receiver = nullptr;
    QEvent* event = nullptr;
};

// Movable memory blocks: the container of a capability and a delivered picture. A handle
// stays valid until TwGlobalFree; TwGlobalLock answers its bytes.
inline constexpr unsigned kGmemMoveable = 0x0002;
inline constexpr unsigned kGmemZeroInit = 0x0040;
TW_HANDLE TwGlobalAlloc(unsigned flags, size_t bytes);
void* TwGlobalLock(TW_HANDLE handle);
void TwGlobalUnlock(TW_HANDLE handle);
size_t TwGlobalSize(TW_HANDLE handle);
void TwGlobalFree(TW_HANDLE handle);

// Owns a handle until it is released or freed.
class CTwHandle {
public:
    CTwHandle() = default;
    explicit CTwHandle(TW_HANDLE h) : m_h(h) {}
    ~CTwHandle() { TwGlobalFree(m_h); }
    CTwHandle(CTwHandle&& o) noexcept : m_h(o.Release()) {}
    CTwHandle& operator=(CTwHandle&& o) noexcept {
        if (this != &o) {
            TwGlobalFree(m_h);
            m_h = o.Release();
        }
        return *this;
    }
    CTwHandle(const CTwHandle&) = delete;
    CTwHandle& operator=(const CTwHandle&) = delete;
    TW_HANDLE Get() const { return m_h; }
    TW_HANDLE Release() {
        TW_HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }
    explicit operator bool() const { return m_h != nullptr; }

private:
    TW_HANDLE m_h = nullptr;
};

// Copies text into a TW_STR32, cut at 33 bytes (never inside a UTF-8 sequence).
void TwCopyString(TW_STR32& to, const char* from);
