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

#include <csignal>
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
#ifndef _WIN32
  // A reader that goes away (ravoduze ... | head) makes a write fail with
  // EPIPE, which ends the run like a full disk: exit 3 and a message. The
  // signal would kill the process silently instead. The library leaves the
  // host's signals alone; only the program changes this one.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  const std::vector<std::string> args(argv + 1, argv + argc);
  return dudUdudADOD::cli::RunRavoduze(args, std::cin, std::cout, std::cerr,
                                       StandardInputIsATerminal());
}
