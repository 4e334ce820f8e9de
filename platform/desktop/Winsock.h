// Winsock's calls as one interface, for the implementations of the seam off
// Windows: the base (DesktopWinApi) hands every ws2_32 call of the seam to
// the implementation's sockets, the system's (BsdSockets) or the simulated
// network's (sim::Sockets). Same names, arguments and results as Winsock;
// a failure leaves its WSA error number as the caller's last error.
#pragma once

#include "platform/Win32Types.h"

namespace skarvet {

class Winsock {
public:
  virtual ~Winsock() = default;

  virtual SOCKET socket(int af, int type, int protocol) = 0;
  virtual int closesocket(SOCKET s) = 0;
  virtual int bind(SOCKET s, const sockaddr* name, int namelen) = 0;
  virtual int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) = 0;
  virtual int ioctlsocket(SOCKET s, long cmd, u_long* argp) = 0;
  virtual int WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
                       LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                       LPWSAOVERLAPPED lpOverlapped,
                       LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) = 0;
  virtual int connect(SOCKET s, const sockaddr* name, int namelen) = 0;
  virtual int send(SOCKET s, const char* buf, int len, int flags) = 0;
  virtual int recv(SOCKET s, char* buf, int len, int flags) = 0;
  virtual int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
                     int tolen) = 0;
  virtual int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) = 0;
  virtual int WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) = 0;
};

} // namespace skarvet
