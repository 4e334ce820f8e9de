// Winsock on Windows: each member calls the system function of the same
// name and hands back its result; the system leaves the thread's last error.
// Winsock is started once for the process, before the first socket.
#include "platform/native/NativeWinApi.h"

#include <mutex>

namespace skarvet {
namespace {

void StartWinsock() {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data;
    // A failure shows at the first socket call (WSANOTINITIALISED).
    ::WSAStartup(MAKEWORD(2, 2), &data);
  });
}

} // namespace

SOCKET NativeWinApi::socket(int af, int type, int protocol) {
  StartWinsock();
  return ::socket(af, type, protocol);
}

int NativeWinApi::closesocket(SOCKET s) {
  return ::closesocket(s);
}

int NativeWinApi::bind(SOCKET s, const sockaddr* name, int namelen) {
  return ::bind(s, name, namelen);
}

int NativeWinApi::setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  return ::setsockopt(s, level, optname, optval, optlen);
}

int NativeWinApi::ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  return ::ioctlsocket(s, cmd, argp);
}

int NativeWinApi::WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
                           LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                           LPWSAOVERLAPPED lpOverlapped,
                           LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  return ::WSAIoctl(s, dwIoControlCode, lpvInBuffer, cbInBuffer, lpvOutBuffer, cbOutBuffer,
                    lpcbBytesReturned, lpOverlapped, lpCompletionRoutine);
}

int NativeWinApi::connect(SOCKET s, const sockaddr* name, int namelen) {
  return ::connect(s, name, namelen);
}

int NativeWinApi::send(SOCKET s, const char* buf, int len, int flags) {
  return ::send(s, buf, len, flags);
}

int NativeWinApi::recv(SOCKET s, char* buf, int len, int flags) {
  return ::recv(s, buf, len, flags);
}

int NativeWinApi::sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
                         int tolen) {
  return ::sendto(s, buf, len, flags, to, tolen);
}

int NativeWinApi::recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  return ::recvfrom(s, buf, len, flags, from, fromlen);
}

int NativeWinApi::WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) {
  return ::WSAPoll(fdArray, fds, timeout);
}

int NativeWinApi::WSAGetLastError() {
  return ::WSAGetLastError();
}

} // namespace skarvet
