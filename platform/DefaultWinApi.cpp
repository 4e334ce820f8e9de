// The one place that picks the platform's implementation of the seam.
//
// On Windows it is the system itself. Elsewhere the simulated network is the
// default, so that trying the program never restarts a real computer by
// accident; SKARVET_NETWORK=real chooses the real network (Samba's client
// library), with SKARVET_SMB_CONF naming an smb.conf for it if wanted.
#include "platform/WinApi.h"

#include <cstdlib>
#include <stdexcept>

#ifdef _WIN32
#include "platform/native/NativeWinApi.h"
#else
#include "platform/sim/SimulatedWinApi.h"
#ifdef SKARVET_HAVE_SMB
#include "platform/smb/SmbWinApi.h"
#endif
#endif

namespace skarvet {
namespace {

#ifndef _WIN32
enum class Network { Simulated, Real, Unknown };

Network ChosenNetwork() {
  const char* choice = std::getenv("SKARVET_NETWORK");
  if (!choice || !*choice || std::string(choice) == "simulated") return Network::Simulated;
  if (std::string(choice) == "real") return Network::Real;
  return Network::Unknown;
}
#endif

} // namespace

std::string DefaultWinApiError() {
#ifdef _WIN32
  return {};
#else
  switch (ChosenNetwork()) {
  case Network::Simulated:
    return {};
  case Network::Real:
#ifdef SKARVET_HAVE_SMB
    return {};
#else
    return "SKARVET_NETWORK=real: this build has no real network (it was built without "
           "libsmbclient).";
#endif
  case Network::Unknown:
    break;
  }
  return "SKARVET_NETWORK=" + std::string(std::getenv("SKARVET_NETWORK")) +
         " is not a network this program knows: use \"simulated\" (the default) or \"real\".";
#endif
}

std::unique_ptr<WinApi> CreateDefaultWinApi() {
#ifdef _WIN32
  return std::make_unique<NativeWinApi>();
#else
  const std::string error = DefaultWinApiError();
  if (!error.empty()) throw std::runtime_error(error);
#ifdef SKARVET_HAVE_SMB
  if (ChosenNetwork() == Network::Real) {
    const char* config = std::getenv("SKARVET_SMB_CONF");
    return std::make_unique<SmbWinApi>(config ? config : "");
  }
#endif
  return std::make_unique<SimulatedWinApi>();
#endif
}

} // namespace skarvet
