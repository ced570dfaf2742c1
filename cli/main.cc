// ravoduze: declares variables the way a BASIC-family program does, passes
// one to the inspector and prints its report. Everything is in RunRavoduze;
// main only tells it whether standard input is a terminal (for -i's prompt).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli/run.h"

static bool StandardInputIsATerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdin)) != 0;
#else
  return isatty(STDIN_FILENO) != 0;
#endif
}

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return dudUdudADOD::cli::RunRavoduze(args, std::cin, std::cout, std::cerr,
                                       StandardInputIsATerminal());
}
