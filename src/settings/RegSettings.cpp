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
    FDesktopResize = ini.ReadBool(kVNCClientSection, "DesktopResize", true);
    FRemoteResize = ini.ReadBool(kVNCClientSection, "RemoteResize", false);
    FModified = false;
}

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
    // A file that only ever held the classic seven keeps exactly those while the default holds.
    if (FEncryption != kDefaultEncryption || !ini.ReadString(kVNCClientSection, "Encryption", "").empty())
        ini.WriteInteger(kVNCClientSection, "Encryption", FEncryption);
    // Turned back off, a key already in the file must say so; never set, it stays out.
    if (FScaleToWindow || ini.ReadString(kVNCClientSection, "ScaleToWindow", "\n") != "\n")
        ini.WriteBool(kVNCClientSection, "ScaleToWindow", FScaleToWindow);
    if (!FDesktopResize || (ini.ReadString(kVNCClientSection, "DesktopResize", "\n") != "\n"))
        ini.WriteBool(kVNCClientSection, "DesktopResize", FDesktopResize);
    if (FRemoteResize || ini.ReadString(kVNCClientSection, "RemoteResize", "\n") != "\n")
        ini.WriteBool(kVNCClientSection, "RemoteResize", FRemoteResize);
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

void TVNCRegSettings::SetEncryption(int32_t value)
{
    if (value < kMinEncryption || value > kMaxEncryption)
        return;
    FEncryption = value;
    FModified = true;
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
        FEncryption, FScaleToWindow,
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
    FDesktopResize = snapshot.DesktopResize;
    FRemoteResize = snapshot.RemoteResize;
}

} // namespace zarn
