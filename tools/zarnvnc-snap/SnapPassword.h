#pragma once
// Where zarnvnc-snap finds a password: a file named on the command line, the environment
// variable ZARNVNC_PASSWORD, or a prompt without echo on the terminal.

#include <optional>
#include <string>

namespace zarn::snap {

inline constexpr const char* kPasswordVariable = "ZARNVNC_PASSWORD";

// The first line of the file, without its line ending; nothing (reason in `error`) when the
// file cannot be read.
std::optional<std::string> ReadPasswordFile(const std::string& path, std::string* error);
// The environment variable's value, if set.
std::optional<std::string> PasswordFromEnvironment();
// True when stdin is a terminal we can prompt on.
bool CanPrompt();
// Asks on the terminal with echo off; empty when the user gives nothing.
std::string PromptPassword(const std::string& prompt);
// RFB text is Latin-1: valid UTF-8 whose characters all fit becomes Latin-1, anything else
// is kept byte for byte.
std::string ToLatin1(const std::string& text);

} // namespace zarn::snap
