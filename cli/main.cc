// ravoduze: declares variables the way a BASIC-family program does, passes
// one to the inspector and prints its report. Everything is in RunRavoduze.
#include <iostream>
#include <string>
#include <vector>

#include "cli/run.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return dudUdudADOD::cli::RunRavoduze(args, std::cin, std::cout, std::cerr);
}
