// The script language's words: its type names, its conversion functions,
// its keywords and the words that start a statement, each compared without
// regard to case, as the language compares them. The parser reads them; the
// interpreter and the program take the lists for "did you mean".
#ifndef DUD_CLI_SCRIPT_WORDS_H_
#define DUD_CLI_SCRIPT_WORDS_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dudUdudADOD::cli {

// LongPtr's code is the platform's: Long on 32-bit, LongLong on 64-bit. The
// word tables give this stand-in, which the parser resolves.
inline constexpr uint16_t kLongPtr = 0xFFFF;

// The types a declaration may name, as a message lists them.
inline constexpr std::string_view kTypeList =
    "Integer, Long, LongLong, LongPtr, Single, Double, Currency, Date, String, Boolean, Byte, "
    "Variant or Object";

// The type code of a type name ("Long") or of a conversion ("CLng"), or
// nothing for another word.
std::optional<uint16_t> TypeNamed(std::string_view word);
std::optional<uint16_t> ConversionNamed(std::string_view word);

// The type names, and the words that start a statement.
std::span<const std::string_view> TypeNames();
std::span<const std::string_view> StatementWords();

// The functions a value may call, for "did you mean" when a call names
// something that is neither a function nor an array.
std::span<const std::string_view> FunctionNames();

// True for the words that cannot name a variable (keywords, type and
// function names, and the statement words and operators of the language
// scripts come from that a script does not have), compared without regard
// to case.
bool IsReservedWord(std::string_view word);

// For a word of the language scripts come from that a script does not have
// (For, If, Sub, Const, MsgBox, And, Len, ...), the message that says so
// and what to write instead; nullopt for any other word. Only the statement
// words and operators are reserved: a function's name (MsgBox, Len) may
// still name a variable.
std::optional<std::string> NotSupported(std::string_view word);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_WORDS_H_
