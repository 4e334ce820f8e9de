// One conversation with the network through Samba's client library.
//
// The library keeps process-wide state (its loaded configuration, the
// protocol range, its memory stack frames) that its contexts share, so a
// context is safe only while no other is in use: a Session is made only in
// a helper process that makes one call (SmbCalls.h). It makes a context with
// the caller's account and configuration and frees it when it ends. Each
// answer is bounded by the library's time-out.
#pragma once

#include "platform/smb/SmbAccount.h"

#include <libsmbclient.h>

#include <string>

namespace skarvet::smb {

// The protocols a context speaks: the current ones for calls, or the old
// one whose browse lists the library can read.
enum class Dialect { Calls, BrowseLists };

// The library's time-out for one answer of the network.
inline constexpr int kTimeoutMs = 20000;

class Session {
public:
  Session(const std::string& configFile, const Account& account, Dialect dialect);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // False when no context could be made; Errno() says why.
  bool Ready() const { return context_ != nullptr; }
  int Errno() const { return errno_; }

  // The library's calls on this session's context; they fail with errno.
  SMBCFILE* Open(const std::string& url, int flags);
  ssize_t Read(SMBCFILE* file, void* buffer, size_t count);
  ssize_t Write(SMBCFILE* file, const void* buffer, size_t count);
  void Close(SMBCFILE* file);
  SMBCFILE* OpenDir(const std::string& url);
  smbc_dirent* ReadDir(SMBCFILE* dir);
  void CloseDir(SMBCFILE* dir);

  // The workgroup of this computer, as the configuration names it (UTF-8).
  std::string Workgroup() const;

  // Reads exactly `count` bytes; false when the pipe ends or fails first.
  bool ReadExactly(SMBCFILE* file, void* buffer, size_t count);
  bool WriteAll(SMBCFILE* file, const void* buffer, size_t count);

private:
  static void Authenticate(SMBCCTX* context, const char* server, const char* share, char* workgroup,
                           int workgroupLength, char* user, int userLength, char* password,
                           int passwordLength);

  Account account_;
  SMBCCTX* context_ = nullptr;
  int errno_ = 0;
};

} // namespace skarvet::smb
