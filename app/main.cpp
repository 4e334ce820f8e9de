// Skarvet: restart, shut down or log off a computer on the network.
#include "app/Application.h"

int main(int argc, char** argv) {
  return skarvet::RunApplication(argc, argv);
}
