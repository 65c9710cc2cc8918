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
    FTargetFPS = std::clamp(
        ini.ReadInteger(kVNCClientSection, "TargetFPS", kDefaultTargetFPS), kMinTargetFPS, kMaxTargetFPS);
    FCursor
        = std::clamp(ini.ReadInteger(kVNCClientSection, "Cursor", kDefaultCursor), kMinCursor, kMaxCursor);
    FEncCopyRect = ini.ReadBool(kVNCClientSection, "EncCopyRect", true);
    FEncRRE = ini.ReadBool(kVNCClientSection, "EncRRE", true);
    FEncHextile = ini.ReadBool(kVNCClientSection, "EncHextile", true);
    FTrueColor = ini.ReadBool(kVNCClientSection, "TrueColor", true);
    FSharedClipboard = ini.ReadBool(kVNCClientSection, "SharedClipboard", true);
    FEncryption = std::clamp(
        ini.ReadInteger(kVNCClientSection, "Encryption", kDefaultEncryption), kMinEncryption, kMaxEncryption);
    FScaleToWindow = ini.ReadBool(kVNCClientSection, "ScaleToWindow", false);
    FEncZRLE = ini.ReadBool(kVNCClientSection, "EncZRLE", true);
    FEncTight = ini.ReadBool(kVNCClientSection, "EncTight", true);
    FAutoQuality = ini.ReadBool(kVNCClientSection, "AutoQuality", true);
    FJPEGQuality = std::clamp(ini.ReadInteger(kVNCClientSection, "JPEGQuality", kDefaultJPEGQuality), kNeverLossy,
        kMaxJPEGQuality);
    FCompressLevel = std::clamp(ini.ReadInteger(kVNCClientSection, "CompressLevel", kDefaultCompressLevel),
        kMinCompressLevel, kMaxCompressLevel);
    FDesktopResize = ini.ReadBool(kVNCClientSection, "DesktopResize", true);
    FRemoteResize = ini.ReadBool(kVNCClientSection, "RemoteResize", false);
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
    FTargetFPS = std::clamp(FTargetFPS, kMinTargetFPS, kMaxTargetFPS);
    ini.WriteInteger(kVNCClientSection, "TargetFPS", FTargetFPS);
    ini.WriteInteger(kVNCClientSection, "Cursor", FCursor);
    ini.WriteBool(kVNCClientSection, "EncCopyRect", FEncCopyRect);
    ini.WriteBool(kVNCClientSection, "EncRRE", FEncRRE);
    ini.WriteBool(kVNCClientSection, "EncHextile", FEncHextile);
    ini.WriteBool(kVNCClientSection, "TrueColor", FTrueColor);
    ini.WriteBool(kVNCClientSection, "SharedClipboard", FSharedClipboard);
    // An extension's key is written only once it has left its default or is already in the
    // file, so a file that only ever held the classic seven keeps exactly those.
    WriteExtension(ini, "Encryption", FEncryption, kDefaultEncryption);
    WriteExtension(ini, "ScaleToWindow", FScaleToWindow, false);
    WriteExtension(ini, "EncZRLE", FEncZRLE, true);
    WriteExtension(ini, "EncTight", FEncTight, true);
    WriteExtension(ini, "AutoQuality", FAutoQuality, true);
    WriteExtension(ini, "JPEGQuality", FJPEGQuality, kDefaultJPEGQuality);
    WriteExtension(ini, "CompressLevel", FCompressLevel, kDefaultCompressLevel);
    WriteExtension(ini, "DesktopResize", FDesktopResize, true);
    WriteExtension(ini, "RemoteResize", FRemoteResize, false);
    ini.Flush();
    FModified = false;
}

void TVNCRegSettings::SetTargetFPS(int32_t value)
{
    if (value < kMinTargetFPS || value > kMaxTargetFPS)
        return;
    FTargetFPS = value;
    FModified = true;
}

void TVNCRegSettings::SetCursor(int32_t value)
{
    if (value < kMinCursor || value > kMaxCursor)
        return;
    FCursor = value;
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
    SetInRange(FJPEGQuality, value, kNeverLossy, kMaxJPEGQuality);
}

void TVNCRegSettings::SetCompressLevel(int32_t value)
{
    SetInRange(FCompressLevel, value, kMinCompressLevel, kMaxCompressLevel);
}

void TVNCRegSettings::SetEncryption(int32_t value)
{
    SetInRange(FEncryption, value, kMinEncryption, kMaxEncryption);
}

void TVNCRegSettings::SetBool(bool& field, bool value)
{
    field = value;
    FModified = true;
}

void TVNCRegSettings::SetEncCopyRect(bool value)
{
    SetBool(FEncCopyRect, value);
}
void TVNCRegSettings::SetEncRRE(bool value)
{
    SetBool(FEncRRE, value);
}
void TVNCRegSettings::SetEncHextile(bool value)
{
    SetBool(FEncHextile, value);
}
void TVNCRegSettings::SetTrueColor(bool value)
{
    SetBool(FTrueColor, value);
}
void TVNCRegSettings::SetSharedClipboard(bool value)
{
    SetBool(FSharedClipboard, value);
}
void TVNCRegSettings::SetEncZRLE(bool value)
{
    SetBool(FEncZRLE, value);
}
void TVNCRegSettings::SetEncTight(bool value)
{
    SetBool(FEncTight, value);
}
void TVNCRegSettings::SetAutoQuality(bool value)
{
    SetBool(FAutoQuality, value);
}

void TVNCRegSettings::SetScaleToWindow(bool value)
{
    SetBool(FScaleToWindow, value);
}
void TVNCRegSettings::SetDesktopResize(bool value)
{
    SetBool(FDesktopResize, value);
}
void TVNCRegSettings::SetRemoteResize(bool value)
{
    SetBool(FRemoteResize, value);
}

TVNCRegSettings::TSnapshot TVNCRegSettings::Snapshot() const
{
    return { FTargetFPS, FCursor, FEncCopyRect, FEncRRE, FEncHextile, FTrueColor, FSharedClipboard, FModified,
        FEncryption, FScaleToWindow, FEncZRLE, FEncTight, FAutoQuality, FJPEGQuality, FCompressLevel,
        FDesktopResize, FRemoteResize };
}

void TVNCRegSettings::Restore(const TSnapshot& snapshot)
{
    FTargetFPS = snapshot.TargetFPS;
    FCursor = snapshot.Cursor;
    FEncCopyRect = snapshot.EncCopyRect;
    FEncRRE = snapshot.EncRRE;
    FEncHextile = snapshot.EncHextile;
    FTrueColor = snapshot.TrueColor;
    FSharedClipboard = snapshot.SharedClipboard;
    FModified = snapshot.Modified;
    FEncryption = snapshot.Encryption;
    FScaleToWindow = snapshot.ScaleToWindow;
    FEncZRLE = snapshot.EncZRLE;
    FEncTight = snapshot.EncTight;
    FAutoQuality = snapshot.AutoQuality;
    FJPEGQuality = snapshot.JPEGQuality;
    FCompressLevel = snapshot.CompressLevel;
    FDesktopResize = snapshot.DesktopResize;
    FRemoteResize = snapshot.RemoteResize;
}

} // namespace zarn
