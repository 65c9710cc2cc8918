#include "SnapPassword.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include <termios.h>
#include <unistd.h>

namespace zarn::snap {

namespace {

termios gSavedTerminal {};

// Ctrl-C while echo is off must not leave the user's terminal silent.
void RestoreTerminalAndExit(int signal)
{
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
    ::_exit(128 + signal);
}

void StripLineEnding(std::string& line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
}

} // namespace

std::optional<std::string> ReadPasswordFile(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot read the password file " + path;
        return std::nullopt;
    }
    std::string line;
    std::getline(in, line);
    StripLineEnding(line);
    return line;
}

std::optional<std::string> PasswordFromEnvironment()
{
    if (const char* value = std::getenv(kPasswordVariable))
        return std::string(value);
    return std::nullopt;
}

bool CanPrompt()
{
    return ::isatty(STDIN_FILENO) == 1;
}

std::string PromptPassword(const std::string& prompt)
{
    std::cerr << prompt << std::flush;
    const bool terminal = ::tcgetattr(STDIN_FILENO, &gSavedTerminal) == 0;
    struct sigaction restore {
    }, previous {};
    if (terminal) {
        restore.sa_handler = RestoreTerminalAndExit;
        ::sigaction(SIGINT, &restore, &previous);
        termios silent = gSavedTerminal;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
        ::sigaction(SIGINT, &previous, nullptr);
    }
    std::cerr << '\n';
    StripLineEnding(line);
    return line;
}

std::string ToLatin1(const std::string& text)
{
    std::string latin1;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            latin1 += char(c);
            continue;
        }
        // Two-byte sequences C2 80 .. C3 BF are exactly U+0080 .. U+00FF.
        const bool fits = (c == 0xC2 || c == 0xC3) && i + 1 < text.size()
            && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80;
        if (!fits)
            return text;
        latin1 += char(((c & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
        ++i;
    }
    return latin1;
}

} // namespace zarn::snap
