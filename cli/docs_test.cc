// The manual page and the bash completion name every option that --help
// lists (both are generated from no table, so they can fall behind), and the
// manual page every exit status.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli/options.h"

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

}  // namespace
}  // namespace dudUdudADOD::cli
