// The manual page and the bash completion name every option that --help
// lists (both are generated from no table, so they can fall behind), and the
// manual page every exit status. Every example of --help, the manual page and
// the documents runs, pasted into a POSIX shell as it stands.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/program/options.h"

namespace dudUdudADOD::cli {
namespace {

std::string ReadSourceFile(const std::string& path) {
  std::ifstream file(std::string(DUD_SOURCE_DIR) + "/" + path);
  EXPECT_TRUE(file) << path;
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The manual page as it reads: "\-" is a minus, font changes are dropped.
std::string ManPageText() {
  std::string text = ReadSourceFile("share/ravoduze.1.in");
  text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
  return std::regex_replace(text, std::regex(R"(\\-)"), "-");
}

// Every option and flag-word member name that --help lists.
std::set<std::string> HelpWords() {
  const std::string help = UsageText();
  std::set<std::string> words;
  const std::regex word(R"((^|[ ,])(--?[a-z][a-z-]*|va[rt][A-Z][A-Za-z_]*))");
  const size_t start = help.find("Options:");
  const std::string options = help.substr(start, help.find("\n\n", start) - start);
  for (auto it = std::sregex_iterator(options.begin(), options.end(), word);
       it != std::sregex_iterator(); ++it) {
    words.insert((*it)[2]);
  }
  return words;
}

TEST(Docs, HelpListsTheOptions) {
  const std::set<std::string> words = HelpWords();
  for (const char* expected :
       {"--var-flags", "-i", "--interactive", "--version", "varSA_Bounds", "vatALLINFO"}) {
    EXPECT_EQ(words.count(expected), 1u) << expected;
  }
}

TEST(Docs, ManPageNamesEveryOptionAndExitStatus) {
  const std::string man = ManPageText();
  for (const std::string& word : HelpWords()) {
    EXPECT_TRUE(std::regex_search(man, std::regex("(^|[^a-zA-Z-])" + word + "([^a-zA-Z-]|$)")))
        << word << " is missing from share/ravoduze.1.in";
  }
  const size_t status = man.find(".SH EXIT STATUS");
  ASSERT_NE(status, std::string::npos);
  for (const char* code : {".B 0\n", ".B 1\n", ".B 2\n", ".B 3\n"}) {
    EXPECT_NE(man.find(code, status), std::string::npos) << code;
  }
}

TEST(Docs, BashCompletionOffersEveryOption) {
  const std::string completion = ReadSourceFile("share/ravoduze.bash-completion");
  for (const std::string& word : HelpWords()) {
    EXPECT_TRUE(std::regex_search(completion, std::regex("(^|[ \"|])" + word + "([ \"\n)]|$)")))
        << word << " is missing from share/ravoduze.bash-completion";
  }
}

// A command as a document shows it, with the output shown after it.
struct Example {
  std::string where;
  std::string command;
  std::string shown;
};

// "$ " lines in the documents' text blocks, each with the lines up to the
// next command or the block's end.
std::vector<Example> DocumentExamples(const std::string& path) {
  std::vector<Example> examples;
  std::istringstream text(ReadSourceFile(path));
  bool in_block = false;
  int number = 0;
  for (std::string line; std::getline(text, line);) {
    ++number;
    if (line.starts_with("```")) {
      in_block = !in_block && line == "```text";
    } else if (in_block && line.starts_with("$ ")) {
      examples.push_back({path + ":" + std::to_string(number), line.substr(2), ""});
    } else if (in_block && !examples.empty()) {
      examples.back().shown += line + "\n";
    }
  }
  return examples;
}

std::vector<Example> HelpAndManPageExamples() {
  std::vector<Example> examples;
  const std::string help = UsageText();
  std::istringstream usage(help.substr(help.find("\nExamples:\n") + 11));
  for (std::string line; std::getline(usage, line) && !line.empty();) {
    examples.push_back({"--help", line.substr(2), ""});
  }
  std::string man = ReadSourceFile("share/ravoduze.1.in");
  man = man.substr(man.find(".SH EXAMPLES"));
  man = man.substr(man.find(".nf\n") + 4);
  man = man.substr(0, man.find(".fi\n"));
  man = std::regex_replace(man, std::regex(R"(\\\(aq)"), "'");
  man = std::regex_replace(man, std::regex(R"(\\-)"), "-");
  man = std::regex_replace(man, std::regex(R"(\\\\)"), "\\");
  std::istringstream lines(man);
  for (std::string line; std::getline(lines, line);) examples.push_back({"man page", line, ""});
  return examples;
}

struct Ran {
  int status;
  std::string output;
};

// Runs `command` with sh -c in `directory`, ravoduze on the PATH, the file
// `input` (or nothing) on standard input.
Ran RunShell(const std::string& command, const std::filesystem::path& directory,
             const std::string& input = "/dev/null") {
  const std::string program = std::filesystem::path(DUD_RAVODUZE_PATH).parent_path().string();
  const std::string quoted = std::regex_replace(command, std::regex("'"), "'\\''");
  const std::string line = "cd '" + directory.string() + "' && PATH='" + program +
                           "':\"$PATH\" sh -c '" + quoted + "' <'" + input + "' 2>&1";
  FILE* pipe = popen(line.c_str(), "r");
  if (pipe == nullptr) return {-1, ""};
  std::string output;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// The first error line an example shows, if it shows one.
std::string ShownError(const std::string& shown) {
  static const std::regex error(R"((^|\n)(([^\n]*: error: |Run-time error |ravoduze: )[^\n]*))");
  std::smatch match;
  return std::regex_search(shown, match, error) ? match[2].str() : "";
}

TEST(Docs, EveryExampleRunsInAShell) {
  const std::filesystem::path directory =
      std::filesystem::temp_directory_path() / ("ravoduze_docs_" + std::to_string(getpid()));
  std::filesystem::create_directories(directory / "build");
  std::filesystem::create_symlink(DUD_RAVODUZE_PATH, directory / "build" / "ravoduze");
  std::vector<Example> examples = HelpAndManPageExamples();
  for (const char* document : {"README.md", "docs/script-language.md", "docs/reading-a-report.md",
                               "docs/structured-report.md"}) {
    const std::vector<Example> more = DocumentExamples(document);
    examples.insert(examples.end(), more.begin(), more.end());
  }
  EXPECT_GT(examples.size(), 90u);
  for (const Example& example : examples) {
    // A file the document shows with cat is made from what it shows.
    if (example.command.starts_with("cat ")) {
      std::ofstream(directory / example.command.substr(4), std::ios::binary) << example.shown;
    }
    // A session typed at a terminal is fed the lines typed after its prompts.
    std::string typed;
    if (example.command.find(" -i") != std::string::npos &&
        example.command.find('|') == std::string::npos) {
      std::istringstream shown(example.shown);
      for (std::string line; std::getline(shown, line);) {
        if (line.starts_with("> ")) typed += line.substr(2) + "\n";
      }
    }
    std::ofstream(directory / "typed", std::ios::binary) << typed;
    const Ran ran = RunShell(example.command, directory, (directory / "typed").string());
    const std::string error = ShownError(example.shown);
    if (error.empty()) {
      EXPECT_EQ(ran.status, 0) << example.where << ": " << example.command << "\n" << ran.output;
    } else {
      EXPECT_NE(ran.output.find(error), std::string::npos)
          << example.where << ": " << example.command << "\nshown: " << error
          << "\ngot: " << ran.output;
    }
  }
  std::filesystem::remove_all(directory);
}

// Completion matches names in any case, as the program reads them.
TEST(Docs, BashCompletionMatchesNamesInAnyCase) {
  const std::string script = std::string(DUD_SOURCE_DIR) + "/share/ravoduze.bash-completion";
  const struct {
    std::string words;
    std::string offered;
  } cases[] = {
      {"ravoduze --vat-flags vatind", "vatIndexed"},
      {"ravoduze --var-flags VARARG+varv", "VARARG+varValues"},
      {"ravoduze --var-flags = VARS", "varSA_Stru varSA_Bounds"},  // bash splits at "="
      {"ravoduze --qu", "--quiet"},
  };
  for (const auto& c : cases) {
    const std::string command = "bash -c 'source " + script + "; COMP_WORDS=(" + c.words +
                                "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _ravoduze; echo " +
                                "\"${COMPREPLY[*]}\"'";
    const Ran ran = RunShell(command, std::filesystem::temp_directory_path());
    EXPECT_EQ(ran.output, c.offered + "\n") << c.words;
  }
}

}  // namespace
}  // namespace dudUdudADOD::cli
