// Winsock's calls on the system's own sockets (Linux and other systems with
// BSD sockets), for the implementations of the seam that reach a real
// network off Windows. Each call answers as Winsock does: the same results,
// SOCKET_ERROR with a WSA error number left as the thread's last error (set
// through the owner's SetLastError), WSAEWOULDBLOCK for a connection under
// way, WSAEMSGSIZE for a datagram cut to the caller's buffer, and the
// interface list of WSAIoctl(SIO_GET_INTERFACE_LIST).
#pragma once

#include "platform/WinApi.h"
#include "platform/desktop/Winsock.h"

namespace skarvet {

class BsdSockets final : public Winsock {
public:
  explicit BsdSockets(WinApi& owner) : owner_(owner) {}

  SOCKET socket(int af, int type, int protocol) override;
  int closesocket(SOCKET s) override;
  int bind(SOCKET s, const sockaddr* name, int namelen) override;
  int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) override;
  int ioctlsocket(SOCKET s, long cmd, u_long* argp) override;
  int WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
               LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
               LPWSAOVERLAPPED lpOverlapped,
               LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) override;
  int connect(SOCKET s, const sockaddr* name, int namelen) override;
  int send(SOCKET s, const char* buf, int len, int flags) override;
  int recv(SOCKET s, char* buf, int len, int flags) override;
  int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) override;
  int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) override;
  int WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) override;

  // The Winsock error number of a system error number.
  static int WsaError(int error);

private:
  // Leaves `error` (an errno value) as the thread's last error; SOCKET_ERROR.
  int Fail(int error);
  int FailWsa(int wsaError);

  WinApi& owner_;
};

} // namespace skarvet
