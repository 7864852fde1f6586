#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The DDE management library over D-Bus. A server instance owns a private
// connection to the user's session bus; each service name it registers
// becomes the bus name kDdeBusPrefix + DdeBusNameElement(service), served by
// the object kDdeObjectPath with the interface kDdeInterface. Every method
// call arrives on the thread that initialised the instance and is turned
// into the XTYP_ transaction its callback expects:
//
//   Connect(s topic) -> u conv                 XTYP_CONNECT, XTYP_CONNECT_CONFIRM (0: refused)
//   WildConnect(s service, s topic) -> a(ss)   XTYP_WILDCONNECT ("" = any)
//   Request(u conv, s item, u fmt) -> (b ok, ay data)         XTYP_REQUEST
//   Poke(u conv, s item, u fmt, ay data) -> u flags           XTYP_POKE (0x8000 = DDE_FACK)
//   Execute(u conv, ay data) -> u flags                       XTYP_EXECUTE
//   AdviseStart(u conv, s item, u fmt) -> b                   XTYP_ADVSTART
//   AdviseStop(u conv, s item, u fmt) -> b                    XTYP_ADVSTOP
//   Disconnect(u conv) -> b                                   XTYP_DISCONNECT
//   RequestOnce(s topic, s item, u fmt) -> (b ok, ay data)    connect, request, disconnect
//   PokeOnce(s topic, s item, u fmt, ay data) -> u flags      connect, poke, disconnect
//   ExecuteOnce(s topic, ay data) -> u flags                  connect, execute, disconnect
//   signal AdviseData(u conv, s item, u fmt, ay data)  sent to the client after DdePostAdvise
//   signal Disconnected(u conv)                       sent to the client after DdeDisconnect
//
// A conversation belongs to the bus connection that opened it; a client that
// leaves the bus has its conversations disconnected. A client connection
// keeps at most kMaxConversationsPerClient conversations open: one more
// Connect (or *Once call) fails with the D-Bus error kDdeErrorTooMany.
// AdviseData and Disconnected go to the conversation's own client only. Client instances
// (APPCMD_CLIENTONLY) call other servers through DdeConnect and
// DdeClientTransaction; their callback receives no transactions.
namespace nimbra::ddeml {

using BYTE = std::uint8_t;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using ULONG_PTR = std::uintptr_t;
using BOOL = int;

struct HSZ__;
using HSZ = HSZ__*;
struct HCONV__;
using HCONV = HCONV__*;
struct HDDEDATA__;
using HDDEDATA = HDDEDATA__*;

using PFNCALLBACK = HDDEDATA (*)(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2,
                                 HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);

inline constexpr char kDdeBusPrefix[] = "org.nimbra.dde.";
inline constexpr char kDdeObjectPath[] = "/dde";
inline constexpr char kDdeInterface[] = "org.nimbra.dde";
inline constexpr char kDdeErrorTooMany[] = "org.nimbra.dde.Error.TooManyConversations";
inline constexpr int kMaxConversationsPerClient = 256;

// Transaction classes, flags and types.
inline constexpr UINT XCLASS_BOOL = 0x1000;
inline constexpr UINT XCLASS_DATA = 0x2000;
inline constexpr UINT XCLASS_FLAGS = 0x4000;
inline constexpr UINT XCLASS_NOTIFICATION = 0x8000;
inline constexpr UINT XTYPF_NOBLOCK = 0x0002;
inline constexpr UINT XTYPF_NODATA = 0x0004;
inline constexpr UINT XTYPF_ACKREQ = 0x0008;

inline constexpr UINT XTYP_ERROR = 0x0000 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_ADVDATA = 0x0010 | XCLASS_FLAGS;
inline constexpr UINT XTYP_ADVREQ = 0x0020 | XCLASS_DATA | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_ADVSTART = 0x0030 | XCLASS_BOOL;
inline constexpr UINT XTYP_ADVSTOP = 0x0040 | XCLASS_NOTIFICATION;
inline constexpr UINT XTYP_EXECUTE = 0x0050 | XCLASS_FLAGS;
inline constexpr UINT XTYP_CONNECT = 0x0060 | XCLASS_BOOL | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_CONNECT_CONFIRM = 0x0070 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_XACT_COMPLETE = 0x0080 | XCLASS_NOTIFICATION;
inline constexpr UINT XTYP_POKE = 0x0090 | XCLASS_FLAGS;
inline constexpr UINT XTYP_REGISTER = 0x00A0 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_REQUEST = 0x00B0 | XCLASS_DATA;
inline constexpr UINT XTYP_DISCONNECT = 0x00C0 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_UNREGISTER = 0x00D0 | XCLASS_NOTIFICATION | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_WILDCONNECT = 0x00E0 | XCLASS_DATA | XTYPF_NOBLOCK;
inline constexpr UINT XTYP_MASK = 0x00F0;

// Acknowledgement flags of poke, execute and advise data.
inline constexpr UINT DDE_FACK = 0x8000;
inline constexpr UINT DDE_FBUSY = 0x4000;
inline constexpr UINT DDE_FNOTPROCESSED = 0x0000;

// Errors (DdeGetLastError, DdeInitialize).
inline constexpr UINT DMLERR_NO_ERROR = 0;
inline constexpr UINT DMLERR_ADVACKTIMEOUT = 0x4000;
inline constexpr UINT DMLERR_DATAACKTIMEOUT = 0x4002;
inline constexpr UINT DMLERR_DLL_NOT_INITIALIZED = 0x4003;
inline constexpr UINT DMLERR_DLL_USAGE = 0x4004;
inline constexpr UINT DMLERR_EXECACKTIMEOUT = 0x4005;
inline constexpr UINT DMLERR_INVALIDPARAMETER = 0x4006;
inline constexpr UINT DMLERR_NOTPROCESSED = 0x4009;
inline constexpr UINT DMLERR_NO_CONV_ESTABLISHED = 0x400A;
inline constexpr UINT DMLERR_POKEACKTIMEOUT = 0x400B;
inline constexpr UINT DMLERR_SERVER_DIED = 0x400E;
inline constexpr UINT DMLERR_SYS_ERROR = 0x400F;

inline constexpr DWORD APPCMD_CLIENTONLY = 0x00000010;
inline constexpr UINT DNS_REGISTER = 0x0001;
inline constexpr UINT DNS_UNREGISTER = 0x0002;
inline constexpr int CP_WINANSI = 1004;
inline constexpr UINT CF_TEXT = 1;
inline constexpr DWORD QID_SYNC = 0xFFFFFFFF;

// Conversation status bits (CONVINFO::wStatus).
inline constexpr UINT ST_CONNECTED = 0x0001;
inline constexpr UINT ST_ADVISE = 0x0002;
inline constexpr UINT ST_CLIENT = 0x0010;
inline constexpr UINT ST_ISSELF = 0x0100;

struct HSZPAIR {
    HSZ hszSvc;
    HSZ hszTopic;
};

struct CONVINFO {
    DWORD cb = sizeof(CONVINFO);
    HSZ hszServiceReq = nullptr; // valid until the conversation ends
    HSZ hszTopic = nullptr;
    UINT wStatus = 0;
};

// Callbacks answer booleans and flags through their data handle result.
inline HDDEDATA DdeResult(ULONG_PTR value) { return reinterpret_cast<HDDEDATA>(value); }
inline ULONG_PTR DdeResultValue(HDDEDATA result) { return reinterpret_cast<ULONG_PTR>(result); }

// Instances. Fails with DMLERR_SYS_ERROR when there is no session bus,
// DMLERR_INVALIDPARAMETER without a callback.
UINT DdeInitialize(DWORD* idInst, PFNCALLBACK callback, DWORD afCmd, DWORD ulRes);
// Ends the instance's conversations, drops its names and handles.
BOOL DdeUninitialize(DWORD idInst);
// Returns the instance's last error and clears it.
UINT DdeGetLastError(DWORD idInst);

// Registers or unregisters a service name (DNS_REGISTER / DNS_UNREGISTER).
// Fails when the bus name is invalid or owned by another connection.
HDDEDATA DdeNameService(DWORD idInst, HSZ service, HSZ reserved, UINT afCmd);

// String handles: reference-counted texts; names compare without regard to
// ASCII case. Only CP_WINANSI (the system's code page, UTF-8) is accepted.
HSZ DdeCreateStringHandle(DWORD idInst, std::string_view text, int codePage);
BOOL DdeKeepStringHandle(DWORD idInst, HSZ hsz);
BOOL DdeFreeStringHandle(DWORD idInst, HSZ hsz);
// The handle's text; nullopt for a handle that is not valid in the instance.
std::optional<std::string> DdeQueryString(DWORD idInst, HSZ hsz);

// Data handles. A handle returned from a callback belongs to the library
// afterwards; one returned by DdeClientTransaction belongs to the caller.
HDDEDATA DdeCreateDataHandle(DWORD idInst, const void* source, DWORD size);
// The bytes of the handle (valid until it is freed); nullptr for an invalid handle.
const BYTE* DdeAccessData(HDDEDATA data, DWORD* size);
BOOL DdeFreeDataHandle(HDDEDATA data);

// Conversations.
BOOL DdePostAdvise(DWORD idInst, HSZ topic, HSZ item);
BOOL DdeDisconnect(HCONV conv);
UINT DdeQueryConvInfo(HCONV conv, DWORD transaction, CONVINFO* info);

// Client side. DdeConnect waits at most 5000 ms. It fails with
// DMLERR_NO_CONV_ESTABLISHED when the service is not on the bus, and with
// DMLERR_NOTPROCESSED when the server refused the topic.
// DdeClientTransaction supports XTYP_REQUEST (returns a data handle),
// XTYP_POKE, XTYP_EXECUTE, XTYP_ADVSTART and XTYP_ADVSTOP (return nonzero on
// success, with the acknowledgement flags in *result).
HCONV DdeConnect(DWORD idInst, HSZ service, HSZ topic, const void* context);
HDDEDATA DdeClientTransaction(const BYTE* data, DWORD size, HCONV conv, HSZ item, UINT format,
                              UINT type, DWORD timeoutMs, DWORD* result);

// The bus name element of a service: ASCII letters upper-cased (service
// names ignore case), digits kept except in front, every other byte "_xx"
// in lower-case hex.
std::string DdeBusNameElement(std::string_view service);

} // namespace nimbra::ddeml
