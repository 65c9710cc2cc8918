#include "settings/IniFile.h"

#include "settings/FileAccess.h"
#include "settings/IniDocument.h"
#include "settings/TextToInt.h"

namespace zarn {

namespace fs = std::filesystem;

EIniWriteError::EIniWriteError(const fs::path& path, std::error_code cause)
    : std::runtime_error("Unable to write to " + path.string())
    , FCause(cause)
{
}

namespace {

std::string_view StripMatchingQuotes(std::string_view value)
{
    if (value.size() >= 2 && value.front() == value.back() && (value.front() == '"' || value.front() == '\''))
        return value.substr(1, value.size() - 2);
    return value;
}

bool HasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// Such names or values would make the file say something else than what was written.
void RequireWritable(std::string_view section, std::string_view key, std::string_view value)
{
    if (section.empty() || HasLineBreak(section) || section.find(']') != std::string_view::npos)
        throw std::invalid_argument("Invalid ini section name: " + std::string(section));
    if (key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos || key.front() == '['
        || key.front() == ';')
        throw std::invalid_argument("Invalid ini key name: " + std::string(key));
    if (HasLineBreak(value))
        throw std::invalid_argument("Line break in the value of ini key " + std::string(key));
}

} // namespace

TIniFile::TIniFile(fs::path path)
    : FPath(std::move(path))
{
}

TIniFile::~TIniFile() = default;

TIniDocument& TIniFile::Loaded()
{
    if (FDocument)
        return *FDocument;
    try {
        FDocument = std::make_unique<TIniDocument>(ReadRegularFile(FPath).value_or(""));
    } catch (const std::system_error& error) {
        // Reads fall back to their defaults; writes are refused (see WriteString).
        FDocument = std::make_unique<TIniDocument>();
        FUnreadable = true;
        FLoadError = error.code();
    }
    return *FDocument;
}

std::string TIniFile::ReadString(
    std::string_view section, std::string_view key, std::string_view defaultValue)
{
    const std::string* value = Loaded().Find(section, key);
    if (!value)
        return std::string(defaultValue);
    return std::string(StripMatchingQuotes(*value).substr(0, kIniValueBufferSize - 1));
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue)
{
    return TextToIntDef(ReadString(section, key, ""), defaultValue);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue)
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    RequireWritable(section, key, value);
    TIniDocument& document = Loaded();
    if (FUnreadable)
        throw EIniWriteError(FPath, FLoadError);
    document.Set(section, key, value);
    FPending = true;
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::Flush()
{
    if (!FPending)
        return;
    try {
        ReplaceFileAtomically(FPath, FDocument->Serialize());
    } catch (const std::system_error& error) {
        throw EIniWriteError(FPath, error.code());
    }
    FPending = false;
}

} // namespace zarn
