// Skarvet: restart, shut down or log off a computer on the network.
#include "app/Application.h"
#include "platform/WinApi.h"

#include <cstdio>

int main(int argc, char** argv) {
  // A network the environment asks for and this build cannot give is an
  // error, never a quiet fall back to another network.
  const std::string networkError = skarvet::DefaultWinApiError();
  if (!networkError.empty()) {
    std::fprintf(stderr, "skarvet: %s\n", networkError.c_str());
    return 2;
  }
  return skarvet::RunApplication(argc, argv);
}
