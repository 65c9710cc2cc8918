#include "settings/RegSettings.h"

#include <algorithm>
#include <exception>

#include "settings/IniFile.h"
#include "settings/IniLocation.h"

namespace zarn {

TVNCRegSettings::TVNCRegSettings() = default;

TVNCRegSettings::TVNCRegSettings(std::filesystem::path iniPath)
    : FIniPath(std::move(iniPath))
{
}

TVNCRegSettings::~TVNCRegSettings()
{
    if (!FModified)
        return;
    try {
        Save();
    } catch (const std::exception& error) {
        if (OnFinalSaveError)
            OnFinalSaveError(error.what());
    }
}

std::filesystem::path TVNCRegSettings::IniPath() const
{
    return FIniPath.empty() ? DefaultIniPath() : FIniPath;
}

void TVNCRegSettings::Load()
{
    TIniFile ini(IniPath());
    FValues.TargetFPS = std::clamp(
        ini.ReadInteger(kVNCClientSection, "TargetFPS", kDefaultTargetFPS), kMinTargetFPS, kMaxTargetFPS);
    FValues.Cursor
        = std::clamp(ini.ReadInteger(kVNCClientSection, "Cursor", kDefaultCursor), kMinCursor, kMaxCursor);
    FValues.EncCopyRect = ini.ReadBool(kVNCClientSection, "EncCopyRect", true);
    FValues.EncRRE = ini.ReadBool(kVNCClientSection, "EncRRE", true);
    FValues.EncHextile = ini.ReadBool(kVNCClientSection, "EncHextile", true);
    FValues.TrueColor = ini.ReadBool(kVNCClientSection, "TrueColor", true);
    FValues.SharedClipboard = ini.ReadBool(kVNCClientSection, "SharedClipboard", true);
    FValues.Encryption = std::clamp(
        ini.ReadInteger(kVNCClientSection, "Encryption", kDefaultEncryption), kMinEncryption, kMaxEncryption);
    FValues.ScaleToWindow = ini.ReadBool(kVNCClientSection, "ScaleToWindow", false);
    FValues.EncZRLE = ini.ReadBool(kVNCClientSection, "EncZRLE", true);
    FValues.EncTight = ini.ReadBool(kVNCClientSection, "EncTight", true);
    FValues.AutoQuality = ini.ReadBool(kVNCClientSection, "AutoQuality", true);
    FValues.JPEGQuality = std::clamp(ini.ReadInteger(kVNCClientSection, "JPEGQuality", kDefaultJPEGQuality), kNeverLossy,
        kMaxJPEGQuality);
    FValues.CompressLevel = std::clamp(ini.ReadInteger(kVNCClientSection, "CompressLevel", kDefaultCompressLevel),
        kMinCompressLevel, kMaxCompressLevel);
    FValues.DesktopResize = ini.ReadBool(kVNCClientSection, "DesktopResize", true);
    FValues.RemoteResize = ini.ReadBool(kVNCClientSection, "RemoteResize", false);
    FModified = false;
}

namespace {

bool KeyInFile(TIniFile& ini, const char* key)
{
    return ini.ReadString(kVNCClientSection, key, "\n") != "\n";
}

void WriteExtension(TIniFile& ini, const char* key, int32_t value, int32_t defaultValue)
{
    if (value != defaultValue || KeyInFile(ini, key))
        ini.WriteInteger(kVNCClientSection, key, value);
}

void WriteExtension(TIniFile& ini, const char* key, bool value, bool defaultValue)
{
    if (value != defaultValue || KeyInFile(ini, key))
        ini.WriteBool(kVNCClientSection, key, value);
}

} // namespace

void TVNCRegSettings::Save()
{
    TIniFile ini(FIniPath.empty() ? DefaultIniPathForSaving() : FIniPath);
    // Only a store saved before Load can hold a TargetFPS outside the range.
    FValues.TargetFPS = std::clamp(FValues.TargetFPS, kMinTargetFPS, kMaxTargetFPS);
    ini.WriteInteger(kVNCClientSection, "TargetFPS", FValues.TargetFPS);
    ini.WriteInteger(kVNCClientSection, "Cursor", FValues.Cursor);
    ini.WriteBool(kVNCClientSection, "EncCopyRect", FValues.EncCopyRect);
    ini.WriteBool(kVNCClientSection, "EncRRE", FValues.EncRRE);
    ini.WriteBool(kVNCClientSection, "EncHextile", FValues.EncHextile);
    ini.WriteBool(kVNCClientSection, "TrueColor", FValues.TrueColor);
    ini.WriteBool(kVNCClientSection, "SharedClipboard", FValues.SharedClipboard);
    // An extension's key is written only once it has left its default or is already in the
    // file, so a file that only ever held the classic seven keeps exactly those.
    WriteExtension(ini, "Encryption", FValues.Encryption, kDefaultEncryption);
    WriteExtension(ini, "ScaleToWindow", FValues.ScaleToWindow, false);
    WriteExtension(ini, "EncZRLE", FValues.EncZRLE, true);
    WriteExtension(ini, "EncTight", FValues.EncTight, true);
    WriteExtension(ini, "AutoQuality", FValues.AutoQuality, true);
    WriteExtension(ini, "JPEGQuality", FValues.JPEGQuality, kDefaultJPEGQuality);
    WriteExtension(ini, "CompressLevel", FValues.CompressLevel, kDefaultCompressLevel);
    WriteExtension(ini, "DesktopResize", FValues.DesktopResize, true);
    WriteExtension(ini, "RemoteResize", FValues.RemoteResize, false);
    ini.Flush();
    FModified = false;
}

void TVNCRegSettings::SetTargetFPS(int32_t value)
{
    if (value < kMinTargetFPS || value > kMaxTargetFPS)
        return;
    FValues.TargetFPS = value;
    FModified = true;
}

void TVNCRegSettings::SetCursor(int32_t value)
{
    if (value < kMinCursor || value > kMaxCursor)
        return;
    FValues.Cursor = value;
    FModified = true;
}

void TVNCRegSettings::SetInRange(int32_t& field, int32_t value, int32_t low, int32_t high)
{
    if (value < low || value > high)
        return;
    field = value;
    FModified = true;
}

void TVNCRegSettings::SetJPEGQuality(int32_t value)
{
    SetInRange(FValues.JPEGQuality, value, kNeverLossy, kMaxJPEGQuality);
}

void TVNCRegSettings::SetCompressLevel(int32_t value)
{
    SetInRange(FValues.CompressLevel, value, kMinCompressLevel, kMaxCompressLevel);
}

void TVNCRegSettings::SetEncryption(int32_t value)
{
    SetInRange(FValues.Encryption, value, kMinEncryption, kMaxEncryption);
}

void TVNCRegSettings::SetBool(bool& field, bool value)
{
    field = value;
    FModified = true;
}

void TVNCRegSettings::SetEncCopyRect(bool value)
{
    SetBool(FValues.EncCopyRect, value);
}
void TVNCRegSettings::SetEncRRE(bool value)
{
    SetBool(FValues.EncRRE, value);
}
void TVNCRegSettings::SetEncHextile(bool value)
{
    SetBool(FValues.EncHextile, value);
}
void TVNCRegSettings::SetTrueColor(bool value)
{
    SetBool(FValues.TrueColor, value);
}
void TVNCRegSettings::SetSharedClipboard(bool value)
{
    SetBool(FValues.SharedClipboard, value);
}
void TVNCRegSettings::SetEncZRLE(bool value)
{
    SetBool(FValues.EncZRLE, value);
}
void TVNCRegSettings::SetEncTight(bool value)
{
    SetBool(FValues.EncTight, value);
}
void TVNCRegSettings::SetAutoQuality(bool value)
{
    SetBool(FValues.AutoQuality, value);
}

void TVNCRegSettings::SetScaleToWindow(bool value)
{
    SetBool(FValues.ScaleToWindow, value);
}
void TVNCRegSettings::SetDesktopResize(bool value)
{
    SetBool(FValues.DesktopResize, value);
}
void TVNCRegSettings::SetRemoteResize(bool value)
{
    SetBool(FValues.RemoteResize, value);
}

TVNCRegSettings::TSnapshot TVNCRegSettings::Snapshot() const
{
    return { FValues, FModified };
}

void TVNCRegSettings::Restore(const TSnapshot& snapshot)
{
    FValues = snapshot.Values;
    FModified = snapshot.Modified;
}

} // namespace zarn
