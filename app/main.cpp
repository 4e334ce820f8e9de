// Skarvet: restart, shut down or log off a computer on the network.
#include "app/Application.h"
#include "platform/WinApi.h"

#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv) {
  // A network the environment asks for and this build cannot give is an
  // error, never a quiet fall back to another network.
  try {
    skarvet::InstallWinApi(skarvet::CreateDefaultWinApi());
  } catch (const std::runtime_error& error) {
    std::fprintf(stderr, "skarvet: %s\n", error.what());
    return 2;
  }
  return skarvet::RunApplication(argc, argv);
}
