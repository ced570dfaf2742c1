// ravoduze: declares variables the way a BASIC-family program does, passes
// one to the inspector and prints its report. Everything is in RunRavoduze;
// main only tells it which standard streams are terminals (for -i's prompt,
// reading a piped script and ending a report's line at a terminal).
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

#include "cli/program/line_editor.h"
#include "cli/program/run.h"

static bool IsATerminal(FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

int main(int argc, char** argv) {
#ifndef _WIN32
  // A reader that goes away (ravoduze ... | head) makes a write fail with
  // EPIPE, which ends the run with exit 3 and, as other tools of the shell,
  // no message; the signal would kill the process before a temporary file
  // is cleared. The library leaves the host's signals alone; only the
  // program changes this one.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  const std::vector<std::string> args(argv + 1, argv + argc);
  return dudUdudADOD::cli::RunRavoduze(
      args, std::cin, std::cout, std::cerr,
      {IsATerminal(stdin), IsATerminal(stdout), &dudUdudADOD::cli::MakeTerminalEditor});
}
