#include "platform/desktop/BsdSockets.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <ifaddrs.h>
#include <unistd.h>

namespace skarvet {
namespace {

// A SOCKET holds the system's descriptor; anything else is no socket.
bool ToDescriptor(SOCKET s, int& fd) {
  if (s == INVALID_SOCKET || s > static_cast<SOCKET>(INT_MAX)) return false;
  fd = static_cast<int>(s);
  return true;
}

} // namespace

int BsdSockets::WsaError(int error) {
  switch (error) {
  case EINTR:
    return WSAEINTR;
  case EBADF:
    return WSAENOTSOCK;
  case EACCES:
  case EPERM:
    return WSAEACCES;
  case EFAULT:
    return WSAEFAULT;
  case EINVAL:
    return WSAEINVAL;
  case EMFILE:
  case ENFILE:
    return WSAEMFILE;
#if EAGAIN != EWOULDBLOCK
  case EAGAIN:
#endif
  case EWOULDBLOCK:
    return WSAEWOULDBLOCK;
  // A connection under way: Winsock says "would block".
  case EINPROGRESS:
    return WSAEWOULDBLOCK;
  case EALREADY:
    return WSAEALREADY;
  case ENOTSOCK:
    return WSAENOTSOCK;
  case EDESTADDRREQ:
    return WSAEDESTADDRREQ;
  case EMSGSIZE:
    return WSAEMSGSIZE;
  case EPROTOTYPE:
    return WSAEPROTOTYPE;
  case ENOPROTOOPT:
    return WSAENOPROTOOPT;
  case EPROTONOSUPPORT:
    return WSAEPROTONOSUPPORT;
  case EOPNOTSUPP:
    return WSAEOPNOTSUPP;
  case EAFNOSUPPORT:
    return WSAEAFNOSUPPORT;
  case EADDRINUSE:
    return WSAEADDRINUSE;
  case EADDRNOTAVAIL:
    return WSAEADDRNOTAVAIL;
  case ENETDOWN:
    return WSAENETDOWN;
  case ENETUNREACH:
    return WSAENETUNREACH;
  case ECONNABORTED:
    return WSAECONNABORTED;
  case ECONNRESET:
  case EPIPE:
    return WSAECONNRESET;
  case ENOBUFS:
  case ENOMEM:
    return WSAENOBUFS;
  case EISCONN:
    return WSAEISCONN;
  case ENOTCONN:
    return WSAENOTCONN;
  case ETIMEDOUT:
    return WSAETIMEDOUT;
  case ECONNREFUSED:
    return WSAECONNREFUSED;
  case EHOSTUNREACH:
  case EHOSTDOWN:
    return WSAEHOSTUNREACH;
  default:
    return WSAEINVAL;
  }
}

int BsdSockets::Fail(int error) {
  return FailWsa(WsaError(error));
}

int BsdSockets::FailWsa(int wsaError) {
  owner_.SetLastError(static_cast<DWORD>(wsaError));
  return SOCKET_ERROR;
}

SOCKET BsdSockets::socket(int af, int type, int protocol) {
  // Never inherited by a program this one starts.
  const int fd = ::socket(af, type | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    Fail(errno);
    return INVALID_SOCKET;
  }
  return static_cast<SOCKET>(fd);
}

int BsdSockets::closesocket(SOCKET s) {
  int fd;
  if (!ToDescriptor(s, fd)) return FailWsa(WSAENOTSOCK);
  return ::close(fd) == 0 ? 0 : Fail(errno);
}

int BsdSockets::bind(SOCKET s, const sockaddr* name, int namelen) {
  int fd;
  if (!ToDescriptor(s, fd)) return FailWsa(WSAENOTSOCK);
  if (!name || namelen <= 0) return FailWsa(WSAEFAULT);
  return ::bind(fd, name, static_cast<socklen_t>(namelen)) == 0 ? 0 : Fail(errno);
}

int BsdSockets::setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  int fd;
  if (!ToDescriptor(s, fd)) return FailWsa(WSAENOTSOCK);
  if (!optval || optlen < 0) return FailWsa(WSAEFAULT);
  return ::setsockopt(fd, level, optname, optval, static_cast<socklen_t>(optlen)) == 0
             ? 0
             : Fail(errno);
}

int BsdSockets::ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  int fd;
  if (!ToDescriptor(s, fd)) return FailWsa(WSAENOTSOCK);
  if (!argp) return FailWsa(WSAEFAULT);
  if (static_cast<unsigned long>(cmd) != static_cast<unsigned long>(FIONBIO))
    return FailWsa(WSAEINVAL);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return Fail(errno);
  const int wanted = *argp ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return ::fcntl(fd, F_SETFL, wanted) == 0 ? 0 : Fail(errno);
}

int BsdSockets::WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID /*lpvInBuffer*/,
                         DWORD /*cbInBuffer*/, LPVOID lpvOutBuffer, DWORD cbOutBuffer,
                         LPDWORD lpcbBytesReturned, LPWSAOVERLAPPED lpOverlapped,
                         LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  int fd;
  if (!ToDescriptor(s, fd)) return FailWsa(WSAENOTSOCK);
  if (dwIoControlCode != SIO_GET_INTERFACE_LIST || lpOverlapped || lpCompletionRoutine)
    return FailWsa(WSAEOPNOTSUPP);
  if (!lpcbBytesReturned) return FailWsa(WSAEFAULT);

  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return Fail(errno);
  std::vector<INTERFACE_INFO> records;
  for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    INTERFACE_INFO record{};
    record.iiFlags = entry->ifa_flags;
    std::memcpy(&record.iiAddress.AddressIn, entry->ifa_addr, sizeof(sockaddr_in));
    if (entry->ifa_netmask)
      std::memcpy(&record.iiNetmask.AddressIn, entry->ifa_netmask, sizeof(sockaddr_in));
    if ((entry->ifa_flags & IFF_BROADCAST) && entry->ifa_broadaddr)
      std::memcpy(&record.iiBroadcastAddress.AddressIn, entry->ifa_broadaddr, sizeof(sockaddr_in));
    records.push_back(record);
  }
  ::freeifaddrs(list);

  const DWORD needed = static_cast<DWORD>(records.size() * sizeof(INTERFACE_INFO));
  if (!lpvOutBuffer || cbOutBuffer < needed) return FailWsa(WSAEFAULT);
  if (needed) std::memcpy(lpvOutBuffer, records.data(), needed);
  *lpcbBytesReturned = needed;
  return 0;
}

int BsdSockets::connect(SOCKET s, const sockaddr* name, int namelen) {
  int fd;
  if (!ToDescriptor(s, fd)) return FailWsa(WSAENOTSOCK);
  if (!name || namelen <= 0) return FailWsa(WSAEFAULT);
  return ::connect(fd, name, static_cast<socklen_t>(namelen)) == 0 ? 0 : Fail(errno);
}

int BsdSockets::send(SOCKET s, const char* buf, int len, int flags) {
  int fd;
  if (!ToDescriptor(s, fd)) return FailWsa(WSAENOTSOCK);
  if (len < 0 || (!buf && len > 0)) return FailWsa(WSAEFAULT);
  // A peer that went away gives an error, not a signal.
  const ssize_t sent = ::send(fd, buf, static_cast<std::size_t>(len), flags | MSG_NOSIGNAL);
  return sent >= 0 ? static_cast<int>(sent) : Fail(errno);
}

int BsdSockets::recv(SOCKET s, char* buf, int len, int flags) {
  int fd;
  if (!ToDescriptor(s, fd)) return FailWsa(WSAENOTSOCK);
  if (len < 0 || (!buf && len > 0)) return FailWsa(WSAEFAULT);
  const ssize_t got = ::recv(fd, buf, static_cast<std::size_t>(len), flags);
  return got >= 0 ? static_cast<int>(got) : Fail(errno);
}

int BsdSockets::sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
                       int tolen) {
  int fd;
  if (!ToDescriptor(s, fd)) return FailWsa(WSAENOTSOCK);
  if (len < 0 || (!buf && len > 0) || !to || tolen <= 0) return FailWsa(WSAEFAULT);
  const ssize_t sent = ::sendto(fd, buf, static_cast<std::size_t>(len), flags | MSG_NOSIGNAL, to,
                                static_cast<socklen_t>(tolen));
  return sent >= 0 ? static_cast<int>(sent) : Fail(errno);
}

int BsdSockets::recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  int fd;
  if (!ToDescriptor(s, fd)) return FailWsa(WSAENOTSOCK);
  if (len < 0 || (!buf && len > 0) || (from && (!fromlen || *fromlen < 0)))
    return FailWsa(WSAEFAULT);
  socklen_t size = from ? static_cast<socklen_t>(*fromlen) : 0;
  // MSG_TRUNC gives a datagram's whole length: Winsock reports a datagram
  // cut to the buffer as WSAEMSGSIZE.
  const ssize_t got = ::recvfrom(fd, buf, static_cast<std::size_t>(len), flags | MSG_TRUNC, from,
                                 from ? &size : nullptr);
  if (got < 0) return Fail(errno);
  if (from) *fromlen = static_cast<int>(size);
  if (got > len) return FailWsa(WSAEMSGSIZE);
  return static_cast<int>(got);
}

int BsdSockets::WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) {
  if (!fdArray && fds > 0) return FailWsa(WSAEFAULT);
  std::vector<pollfd> polled(fds);
  for (ULONG i = 0; i < fds; ++i) {
    int fd;
    if (!ToDescriptor(fdArray[i].fd, fd)) return FailWsa(WSAENOTSOCK);
    // Winsock takes only the read and write conditions as requests.
    if (fdArray[i].events & ~(POLLIN | POLLOUT | POLLRDNORM | POLLWRNORM | POLLRDBAND | POLLWRBAND))
      return FailWsa(WSAEINVAL);
    polled[i] = {fd, fdArray[i].events, 0};
  }
  int ready;
  do {
    ready = ::poll(polled.data(), polled.size(), timeout < 0 ? -1 : timeout);
  } while (ready < 0 && errno == EINTR && timeout < 0);
  if (ready < 0) return Fail(errno);
  for (ULONG i = 0; i < fds; ++i) fdArray[i].revents = polled[i].revents;
  return ready;
}

} // namespace skarvet
