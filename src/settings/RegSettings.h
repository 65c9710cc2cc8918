#pragma once
// TVNCRegSettings: the viewer's seven user settings, kept in section "VNCClient" of ZarnVNC.ini,
// and the settings of the extensions beside them (ZRLE, Tight, picture quality, encryption,
// scaling). Each value is named as its ini key. Used from the GUI thread only.
//
// An extension's key is written only once it has left its default or is already in the file, so
// the ini of a user who never touches the extensions keeps exactly the seven classic keys.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/RfbConstants.h"

namespace zarn {

inline constexpr char kVNCClientSection[] = "VNCClient";

class TVNCRegSettings {
public:
    static constexpr int32_t kMinTargetFPS = kMinTargetFps;
    static constexpr int32_t kMaxTargetFPS = kMaxTargetFps;
    static constexpr int32_t kDefaultTargetFPS = 20;
    // 0 arrow, 1 "Dot", 2 "Crosshair", 3 hidden, 4 "Fugly" (reachable only through the file).
    static constexpr int32_t kMinCursor = 0;
    static constexpr int32_t kMaxCursor = 4;
    static constexpr int32_t kDefaultCursor = 0;
    // 0 the classic security types only, 1 VeNCrypt when the server offers it, 2 VeNCrypt only.
    static constexpr int32_t kMinEncryption = 0;
    static constexpr int32_t kMaxEncryption = 2;
    static constexpr int32_t kDefaultEncryption = 1;
    // JPEG quality of Tight, 0 (smallest) .. 9 (best); -1 never sends a lossy picture.
    static constexpr int32_t kNeverLossy = -1;
    static constexpr int32_t kMinJPEGQuality = 0;
    static constexpr int32_t kMaxJPEGQuality = 9;
    static constexpr int32_t kDefaultJPEGQuality = 8;
    // zlib level the server is asked to use for Tight, 0..9.
    static constexpr int32_t kMinCompressLevel = 0;
    static constexpr int32_t kMaxCompressLevel = 9;
    static constexpr int32_t kDefaultCompressLevel = 2;

    // Kept in the ZarnVNC.ini DefaultIniPath() chooses. Until Load the integers are 0 and the
    // booleans false.
    TVNCRegSettings();
    // Kept in the given file instead (tests, or a window that knows its own folder).
    explicit TVNCRegSettings(std::filesystem::path iniPath);
    // Saves first when Modified. A destructor must not throw, so a final save that fails is
    // handed to OnFinalSaveError (when set) instead of being raised.
    ~TVNCRegSettings();
    TVNCRegSettings(const TVNCRegSettings&) = delete;
    TVNCRegSettings& operator=(const TVNCRegSettings&) = delete;

    // Fills all values from the file, clamping TargetFPS to 1..50, Cursor to 0..4, JPEGQuality
    // to -1..9, CompressLevel to 0..9 and Encryption to 0..2; a missing file, section or key, or
    // a value that does not convert, gives the default. Never creates the file. Clears Modified.
    void Load();
    // Writes the seven values and the extensions' as said above, creating the file and the
    // section when needed, and clears Modified. Throws EIniWriteError ("Unable to write to <path>") when the system refuses;
    // the file is then unchanged and Modified stays set.
    void Save();

    int32_t TargetFPS() const { return FValues.TargetFPS; }
    int32_t Cursor() const { return FValues.Cursor; }
    bool EncCopyRect() const { return FValues.EncCopyRect; }
    bool EncRRE() const { return FValues.EncRRE; }
    bool EncHextile() const { return FValues.EncHextile; }
    bool TrueColor() const { return FValues.TrueColor; }
    bool SharedClipboard() const { return FValues.SharedClipboard; }
    int32_t Encryption() const { return FValues.Encryption; }
    // Extension, default off: the remote picture scaled to the window, keeping its aspect ratio.
    bool ScaleToWindow() const { return FValues.ScaleToWindow; }
    bool EncZRLE() const { return FValues.EncZRLE; }
    bool EncTight() const { return FValues.EncTight; }
    bool AutoQuality() const { return FValues.AutoQuality; }
    int32_t JPEGQuality() const { return FValues.JPEGQuality; }
    int32_t CompressLevel() const { return FValues.CompressLevel; }
    // Beyond the classic seven: follow the server's size changes (default on; off announces
    // exactly the classic encodings), and ask the server to take the window's size (default off).
    bool DesktopResize() const { return FValues.DesktopResize; }
    bool RemoteResize() const { return FValues.RemoteResize; }
    bool Modified() const { return FModified; }

    // Values outside the range are ignored (value and Modified unchanged). An accepted value
    // sets Modified, also when it equals the old one.
    void SetTargetFPS(int32_t value);
    void SetCursor(int32_t value);
    void SetEncCopyRect(bool value);
    void SetEncRRE(bool value);
    void SetEncHextile(bool value);
    void SetTrueColor(bool value);
    void SetSharedClipboard(bool value);
    void SetEncZRLE(bool value);
    void SetEncTight(bool value);
    void SetAutoQuality(bool value);
    void SetJPEGQuality(int32_t value);   // -1..9
    void SetCompressLevel(int32_t value); // 0..9
    void SetScaleToWindow(bool value);
    void SetEncryption(int32_t value);
    void SetDesktopResize(bool value);
    void SetRemoteResize(bool value);

    // Every stored value in one place, so that a snapshot can never miss one (until Load the
    // integers are 0 and the booleans false).
    struct TValues {
        int32_t TargetFPS = 0;
        int32_t Cursor = 0;
        bool EncCopyRect = false;
        bool EncRRE = false;
        bool EncHextile = false;
        bool TrueColor = false;
        bool SharedClipboard = false;
        int32_t Encryption = kDefaultEncryption;
        bool ScaleToWindow = false;
        bool EncZRLE = false;
        bool EncTight = false;
        bool AutoQuality = false;
        int32_t JPEGQuality = 0;
        int32_t CompressLevel = 0;
        bool DesktopResize = false;
        bool RemoteResize = false;
    };

    // Every value and Modified as they stand, and putting them back exactly: what a
    // dialog whose changes reached the store (a save that failed) restores when cancelled.
    struct TSnapshot {
        TValues Values;
        bool Modified = false;
    };
    TSnapshot Snapshot() const;
    void Restore(const TSnapshot& snapshot);

    // The file in use; the default location is computed afresh on every call.
    std::filesystem::path IniPath() const;

    // Receives the message of a final save that failed in the destructor.
    std::function<void(const std::string& message)> OnFinalSaveError;

private:
    void SetBool(bool& field, bool value);
    void SetInRange(int32_t& field, int32_t value, int32_t low, int32_t high);

    std::filesystem::path FIniPath; // empty: DefaultIniPath(), chosen at each load and save
    TValues FValues;
    bool FModified = false;
};

} // namespace zarn
