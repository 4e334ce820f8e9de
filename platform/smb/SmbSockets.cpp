// Winsock of the real network off Windows: the system's own sockets.
#include "platform/smb/SmbWinApi.h"

namespace skarvet {

SOCKET SmbWinApi::socket(int af, int type, int protocol) {
  return sockets_.socket(af, type, protocol);
}

int SmbWinApi::closesocket(SOCKET s) {
  return sockets_.closesocket(s);
}

int SmbWinApi::bind(SOCKET s, const sockaddr* name, int namelen) {
  return sockets_.bind(s, name, namelen);
}

int SmbWinApi::setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  return sockets_.setsockopt(s, level, optname, optval, optlen);
}

int SmbWinApi::ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  return sockets_.ioctlsocket(s, cmd, argp);
}

int SmbWinApi::WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
                        LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                        LPWSAOVERLAPPED lpOverlapped,
                        LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  return sockets_.WSAIoctl(s, dwIoControlCode, lpvInBuffer, cbInBuffer, lpvOutBuffer, cbOutBuffer,
                           lpcbBytesReturned, lpOverlapped, lpCompletionRoutine);
}

int SmbWinApi::connect(SOCKET s, const sockaddr* name, int namelen) {
  return sockets_.connect(s, name, namelen);
}

int SmbWinApi::send(SOCKET s, const char* buf, int len, int flags) {
  return sockets_.send(s, buf, len, flags);
}

int SmbWinApi::recv(SOCKET s, char* buf, int len, int flags) {
  return sockets_.recv(s, buf, len, flags);
}

int SmbWinApi::sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
                      int tolen) {
  return sockets_.sendto(s, buf, len, flags, to, tolen);
}

int SmbWinApi::recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  return sockets_.recvfrom(s, buf, len, flags, from, fromlen);
}

int SmbWinApi::WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) {
  return sockets_.WSAPoll(fdArray, fds, timeout);
}

int SmbWinApi::WSAGetLastError() {
  return static_cast<int>(GetLastError());
}

} // namespace skarvet
