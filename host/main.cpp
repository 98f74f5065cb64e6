#include <unistd.h>

#include <iostream>

#include "host/Command.h"

int main(int argc, char** argv) {
  return corvane::host::RunCommand(argc, argv, std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0);
}
