// The one place that picks the platform's implementation of the seam; the
// program installs what it builds at start-up.
//
// On Windows it is the system itself. Elsewhere the simulated network is the
// default, so that trying the program never restarts a real computer by
// accident; SKARVET_NETWORK=real chooses the real network (Samba's client
// library), with SKARVET_SMB_CONF naming an smb.conf for it if wanted. The
// real network is a module of its own (skarvet-smb.so), loaded only then: the
// program does not carry Samba's libraries otherwise.
#include "platform/WinApi.h"

#include <cstdlib>
#include <stdexcept>

#ifdef _WIN32
#include "platform/native/NativeWinApi.h"
#else
#include "platform/sim/SimulatedWinApi.h"
#ifdef SKARVET_HAVE_SMB
#include "platform/smb/SmbModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>
#endif
#endif

namespace skarvet {
namespace {

#ifndef _WIN32
enum class Network { Simulated, Real, Unknown };

Network ChosenNetwork(std::string& choice) {
  const char* value = std::getenv("SKARVET_NETWORK");
  choice = value ? value : "";
  if (choice.empty() || choice == "simulated") return Network::Simulated;
  if (choice == "real") return Network::Real;
  return Network::Unknown;
}

#ifdef SKARVET_HAVE_SMB
constexpr const char* kModuleFile = "skarvet-smb.so";

// The folder of the running program, with a final '/'; empty when unknown.
std::string ProgramFolder() {
  std::vector<char> path(4096);
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return {};
  const std::string program(path.data(), static_cast<std::size_t>(length));
  return program.substr(0, program.rfind('/') + 1);
}

// Loads the real network's module: beside the program (the build folder),
// else in the installed tree's library folder (SKARVET_SMB_MODULE_DIR,
// relative to the program's folder). The entry point, or null with the
// reason: each file tried and what the loader said of it.
CreateSmbWinApiFunction LoadSmbModule(std::string& error) {
  const std::string folder = ProgramFolder();
  const std::string candidates[] = {folder + kModuleFile,
                                    folder + SKARVET_SMB_MODULE_DIR + "/" + kModuleFile};
  error = "SKARVET_NETWORK=real: the real network's module could not be loaded:";
  for (const std::string& file : candidates) {
    // Kept loaded for the rest of the run: the implementation lives in it.
    void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      const char* reason = dlerror();
      error += std::string(" ") + (reason ? reason : file + ": not loaded") + ";";
      continue;
    }
    constexpr const char* entry = SKARVET_SMB_ENTRY_TEXT(SKARVET_SEAM_HASH);
    if (void* symbol = dlsym(module, entry)) {
      error.clear();
      return reinterpret_cast<CreateSmbWinApiFunction>(symbol);
    }
    error += " " + file + ": built for another version of this program (no " + entry + ");";
    dlclose(module);
  }
  error.back() = '.';
  return nullptr;
}
#endif
#endif

} // namespace

std::string DefaultWinApiError() {
#ifdef _WIN32
  return {};
#else
  std::string choice;
  switch (ChosenNetwork(choice)) {
  case Network::Simulated:
    return {};
  case Network::Real: {
#ifdef SKARVET_HAVE_SMB
    std::string error;
    LoadSmbModule(error);
    return error;
#else
    return "SKARVET_NETWORK=real: this build has no real network (it was built without "
           "libsmbclient).";
#endif
  }
  case Network::Unknown:
    break;
  }
  return "SKARVET_NETWORK=" + choice +
         " is not a network this program knows: use \"simulated\" (the default) or \"real\".";
#endif
}

std::unique_ptr<WinApi> CreateDefaultWinApi() {
#ifdef _WIN32
  return std::make_unique<NativeWinApi>();
#else
  std::string choice;
  const Network network = ChosenNetwork(choice);
  if (network == Network::Simulated) return std::make_unique<SimulatedWinApi>();
#ifdef SKARVET_HAVE_SMB
  if (network == Network::Real) {
    std::string error;
    const CreateSmbWinApiFunction create = LoadSmbModule(error);
    if (!create) throw std::runtime_error(error);
    const char* config = std::getenv("SKARVET_SMB_CONF");
    std::unique_ptr<WinApi> api(create(config ? config : ""));
    if (!api) throw std::bad_alloc();
    return api;
  }
#endif
  throw std::runtime_error(DefaultWinApiError());
#endif
}

} // namespace skarvet
