// Win32 types and constants used across the operating-system seam.
//
// On Windows they come from the system headers. Everywhere else the same
// names are declared here with the same sizes and record layouts, so that the
// routines that call the seam read exactly like Win32 code on both sides.
#pragma once

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
// Winsock's headers must come before windows.h (kept apart from it, so
// that sorting the includes keeps the order).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>
// The headers below need windows.h first.
#include <lm.h>
#include <objbase.h>
#include <shellapi.h>
#include <winnetwk.h>

using WIDECHAR = wchar_t;

#else // not _WIN32

#include <cstdarg>
#include <cstdint>

// The socket records (sockaddr, sockaddr_in, in_addr), the byte-order
// helpers and the option, poll and interface flag names are the system's
// own: their layouts are Winsock's, and the values of the names only need to
// agree between the caller and the implementation of the seam.
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using BOOL = int;
using HRESULT = std::int32_t;
using NET_API_STATUS = DWORD;
using DISPID = LONG;
using WIDECHAR = char16_t;
using WCHAR = char16_t;
using CHAR = char;

using HANDLE = void*;
using HWND = void*;
using HINSTANCE = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPBYTE = BYTE*;
using PHANDLE = HANDLE*;
using LPHANDLE = HANDLE*;
using LPDWORD = DWORD*;
using PDWORD = DWORD*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct LUID {
  DWORD LowPart;
  LONG HighPart;
};
using PLUID = LUID*;

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
};
using PTOKEN_PRIVILEGES = TOKEN_PRIVILEGES*;

struct NETRESOURCEA {
  DWORD dwScope;
  DWORD dwType;
  DWORD dwDisplayType;
  DWORD dwUsage;
  LPSTR lpLocalName;
  LPSTR lpRemoteName;
  LPSTR lpComment;
  LPSTR lpProvider;
};
using LPNETRESOURCEA = NETRESOURCEA*;

struct SERVER_INFO_101 {
  DWORD sv101_platform_id;
  LPWSTR sv101_name;
  DWORD sv101_version_major;
  DWORD sv101_version_minor;
  DWORD sv101_type;
  LPWSTR sv101_comment;
};

// --- kernel32 -------------------------------------------------------------
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD NO_ERROR = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_BAD_NETPATH = 53;
inline constexpr DWORD ERROR_NETWORK_BUSY = 54;
inline constexpr DWORD ERROR_BAD_NET_NAME = 67;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_INVALID_ADDRESS = 487;
inline constexpr DWORD ERROR_NO_BROWSER_SERVERS_FOUND = 6118;
inline constexpr DWORD ERROR_SHUTDOWN_IN_PROGRESS = 1115;
inline constexpr DWORD ERROR_NO_NETWORK = 1222;
inline constexpr DWORD ERROR_INVALID_COMPUTERNAME = 1210;
inline constexpr DWORD ERROR_CANCELLED = 1223;
inline constexpr DWORD ERROR_DOWNGRADE_DETECTED = 1265;
inline constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;
inline constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
inline constexpr DWORD ERROR_PRIVILEGE_NOT_HELD = 1314;
inline constexpr DWORD ERROR_LOGON_FAILURE = 1326;
inline constexpr DWORD ERROR_BAD_IMPERSONATION_LEVEL = 1346;
inline constexpr DWORD ERROR_NO_SUCH_DOMAIN = 1355;
inline constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_BAD_DEV_TYPE = 66;
inline constexpr DWORD ERROR_ALREADY_ASSIGNED = 85;
inline constexpr DWORD ERROR_INVALID_LEVEL = 124;
inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
inline constexpr DWORD ERROR_NOACCESS = 998;
inline constexpr DWORD ERROR_NO_ASSOCIATION = 1155;
inline constexpr DWORD ERROR_BAD_DEVICE = 1200;
inline constexpr DWORD ERROR_BAD_PROVIDER = 1204;
inline constexpr DWORD ERROR_NOT_CONTAINER = 1207;
inline constexpr DWORD ERROR_SESSION_CREDENTIAL_CONFLICT = 1219;
inline constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
inline constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 1815;
inline constexpr DWORD RPC_S_UNKNOWN_IF = 1717;
inline constexpr DWORD RPC_S_CALL_FAILED = 1726;
inline constexpr DWORD RPC_S_PROTOCOL_ERROR = 1728;

inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
inline constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

// --- advapi32 -------------------------------------------------------------
inline constexpr DWORD LOGON32_LOGON_INTERACTIVE = 2;
inline constexpr DWORD LOGON32_LOGON_NEW_CREDENTIALS = 9;
inline constexpr DWORD LOGON32_PROVIDER_DEFAULT = 0;
inline constexpr DWORD LOGON32_PROVIDER_WINNT50 = 3;
inline constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
inline constexpr DWORD TOKEN_DUPLICATE = 0x0002;
inline constexpr DWORD TOKEN_QUERY = 0x0008;
inline constexpr DWORD TOKEN_ALL_ACCESS = 0x000F01FF;
inline constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
inline constexpr DWORD SE_PRIVILEGE_REMOVED = 0x00000004;
// The longest countdown InitiateSystemShutdownEx accepts: ten years, in seconds.
inline constexpr DWORD MAX_SHUTDOWN_TIMEOUT = 10 * 365 * 24 * 60 * 60;

// --- mpr ------------------------------------------------------------------
inline constexpr DWORD RESOURCE_CONNECTED = 1;
inline constexpr DWORD RESOURCE_GLOBALNET = 2;
inline constexpr DWORD RESOURCE_REMEMBERED = 3;
inline constexpr DWORD RESOURCETYPE_ANY = 0;
inline constexpr DWORD RESOURCETYPE_DISK = 1;
inline constexpr DWORD RESOURCEUSAGE_CONNECTABLE = 1;
inline constexpr DWORD RESOURCEUSAGE_CONTAINER = 2;
inline constexpr DWORD RESOURCEDISPLAYTYPE_GENERIC = 0;
inline constexpr DWORD RESOURCEDISPLAYTYPE_DOMAIN = 1;
inline constexpr DWORD RESOURCEDISPLAYTYPE_SERVER = 2;
inline constexpr DWORD RESOURCEDISPLAYTYPE_SHARE = 3;
inline constexpr DWORD RESOURCEDISPLAYTYPE_NETWORK = 6;
inline constexpr DWORD CONNECT_UPDATE_PROFILE = 1;
inline constexpr DWORD ERROR_EXTENDED_ERROR = 1208;

// --- netapi32 -------------------------------------------------------------
inline constexpr NET_API_STATUS NERR_Success = 0;
inline constexpr DWORD MAX_PREFERRED_LENGTH = 0xFFFFFFFFu;
inline constexpr DWORD SV_TYPE_WORKSTATION = 0x00000001;
inline constexpr DWORD SV_TYPE_SERVER = 0x00000002;
inline constexpr DWORD SV_TYPE_NT = 0x00001000;
inline constexpr DWORD SV_TYPE_DOMAIN_ENUM = 0x80000000u;
inline constexpr DWORD PLATFORM_ID_NT = 500;
inline constexpr NET_API_STATUS NERR_BrowserNotStarted = 2139;
inline constexpr NET_API_STATUS NERR_ServerNotStarted = 2114;

// --- ole32 / oleaut32 -----------------------------------------------------
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);

inline constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
inline constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}

// --- user32 ---------------------------------------------------------------
inline constexpr int COLOR_SCROLLBAR = 0;
inline constexpr int COLOR_BACKGROUND = 1;
inline constexpr int COLOR_ACTIVECAPTION = 2;
inline constexpr int COLOR_INACTIVECAPTION = 3;
inline constexpr int COLOR_MENU = 4;
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWFRAME = 6;
inline constexpr int COLOR_MENUTEXT = 7;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_CAPTIONTEXT = 9;
inline constexpr int COLOR_ACTIVEBORDER = 10;
inline constexpr int COLOR_INACTIVEBORDER = 11;
inline constexpr int COLOR_APPWORKSPACE = 12;
inline constexpr int COLOR_HIGHLIGHT = 13;
inline constexpr int COLOR_HIGHLIGHTTEXT = 14;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_BTNSHADOW = 16;
inline constexpr int COLOR_GRAYTEXT = 17;
inline constexpr int COLOR_BTNTEXT = 18;
inline constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
inline constexpr int COLOR_BTNHIGHLIGHT = 20;
inline constexpr int COLOR_3DDKSHADOW = 21;
inline constexpr int COLOR_3DLIGHT = 22;
inline constexpr int COLOR_INFOTEXT = 23;
inline constexpr int COLOR_INFOBK = 24;
inline constexpr int COLOR_HOTLIGHT = 26;
inline constexpr int COLOR_GRADIENTACTIVECAPTION = 27;
inline constexpr int COLOR_GRADIENTINACTIVECAPTION = 28;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;

// --- shell32 --------------------------------------------------------------
// ShellExecute's failures (any result of 32 or less is one).
inline constexpr int SE_ERR_FNF = 2;
inline constexpr int SE_ERR_NOASSOC = 31;

inline constexpr DWORD RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<DWORD>(r) | (static_cast<DWORD>(g) << 8) | (static_cast<DWORD>(b) << 16);
}
inline constexpr BYTE GetRValue(DWORD rgb) {
  return static_cast<BYTE>(rgb & 0xFF);
}
inline constexpr BYTE GetGValue(DWORD rgb) {
  return static_cast<BYTE>((rgb >> 8) & 0xFF);
}
inline constexpr BYTE GetBValue(DWORD rgb) {
  return static_cast<BYTE>((rgb >> 16) & 0xFF);
}

// --- ws2_32 -----------------------------------------------------------------
using SOCKET = std::uintptr_t;
using SHORT = std::int16_t;
inline constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
inline constexpr int SOCKET_ERROR = -1;

struct WSAPOLLFD {
  SOCKET fd;
  SHORT events;
  SHORT revents;
};

struct WSAOVERLAPPED;
using LPWSAOVERLAPPED = WSAOVERLAPPED*;
using LPWSAOVERLAPPED_COMPLETION_ROUTINE = void (*)(DWORD dwError, DWORD cbTransferred,
                                                    LPWSAOVERLAPPED lpOverlapped, DWORD dwFlags);

// WSAIoctl(SIO_GET_INTERFACE_LIST): one record per IPv4 interface, its
// flags IFF_UP, IFF_LOOPBACK, IFF_MULTICAST ... and its addresses.
inline constexpr DWORD SIO_GET_INTERFACE_LIST = 0x4004747Fu;
union sockaddr_gen {
  sockaddr Address;
  sockaddr_in AddressIn;
  sockaddr_in6 AddressIn6;
};
struct INTERFACE_INFO {
  ULONG iiFlags;
  sockaddr_gen iiAddress;
  sockaddr_gen iiBroadcastAddress;
  sockaddr_gen iiNetmask;
};

inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAEHOSTUNREACH = 10065;

#endif // _WIN32
