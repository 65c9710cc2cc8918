#pragma once
// TVNCRegSettings: the viewer's user settings, kept in section "VNCClient" of ZarnVNC.ini: the
// seven classic ones and those of the protocol extensions (ZRLE, Tight, picture quality). Each
// value is named as its ini key. Used from the GUI thread only.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace zarn {

inline constexpr char kVNCClientSection[] = "VNCClient";

class TVNCRegSettings {
public:
    static constexpr int32_t kMinTargetFPS = 1;
    static constexpr int32_t kMaxTargetFPS = 50;
    static constexpr int32_t kDefaultTargetFPS = 20;
    // 0 arrow, 1 "Dot", 2 "Crosshair", 3 hidden, 4 "Fugly" (reachable only through the file).
    static constexpr int32_t kMinCursor = 0;
    static constexpr int32_t kMaxCursor = 4;
    static constexpr int32_t kDefaultCursor = 0;
    // JPEG quality of Tight, 0 (smallest) .. 9 (best); -1 never sends a lossy picture.
    static constexpr int32_t kNeverLossy = -1;
    static constexpr int32_t kMinJPEGQuality = 0;
    static constexpr int32_t kMaxJPEGQuality = 9;
    static constexpr int32_t kDefaultJPEGQuality = 8;
    // zlib level the server is asked to use for Tight, 0..9.
    static constexpr int32_t kMinCompressLevel = 0;
    static constexpr int32_t kMaxCompressLevel = 9;
    static constexpr int32_t kDefaultCompressLevel = 2;

    // Kept in ZarnVNC.ini beside the executable. Until Load the integers are 0 and the
    // booleans false.
    TVNCRegSettings();
    // Kept in the given file instead (tests, or a window that knows its own folder).
    explicit TVNCRegSettings(std::filesystem::path iniPath);
    // Saves first when Modified. A destructor must not throw, so a final save that fails is
    // handed to OnFinalSaveError (when set) instead of being raised.
    ~TVNCRegSettings();
    TVNCRegSettings(const TVNCRegSettings&) = delete;
    TVNCRegSettings& operator=(const TVNCRegSettings&) = delete;

    // Fills every value from the file, clamping TargetFPS to 1..50, Cursor to 0..4,
    // JPEGQuality to -1..9 and CompressLevel to 0..9;
    // a missing file, section or key, or a value that does not convert, gives the default.
    // Never creates the file. Clears Modified.
    void Load();
    // Writes every value, creating the file and the section when needed, and clears
    // Modified. Throws EIniWriteError ("Unable to write to <path>") when the system refuses;
    // the file is then unchanged and Modified stays set.
    void Save();

    int32_t TargetFPS() const { return FTargetFPS; }
    int32_t Cursor() const { return FCursor; }
    bool EncCopyRect() const { return FEncCopyRect; }
    bool EncRRE() const { return FEncRRE; }
    bool EncHextile() const { return FEncHextile; }
    bool TrueColor() const { return FTrueColor; }
    bool SharedClipboard() const { return FSharedClipboard; }
    bool EncZRLE() const { return FEncZRLE; }
    bool EncTight() const { return FEncTight; }
    bool AutoQuality() const { return FAutoQuality; }
    int32_t JPEGQuality() const { return FJPEGQuality; }
    int32_t CompressLevel() const { return FCompressLevel; }
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

    // The file in use; the default location is computed afresh on every call.
    std::filesystem::path IniPath() const;

    // Receives the message of a final save that failed in the destructor.
    std::function<void(const std::string& message)> OnFinalSaveError;

private:
    void SetBool(bool& field, bool value);
    void SetInRange(int32_t& field, int32_t value, int32_t low, int32_t high);

    std::filesystem::path FIniPath; // empty: ZarnVNC.ini beside the executable
    int32_t FTargetFPS = 0;
    int32_t FCursor = 0;
    bool FEncCopyRect = false;
    bool FEncRRE = false;
    bool FEncHextile = false;
    bool FTrueColor = false;
    bool FSharedClipboard = false;
    bool FEncZRLE = false;
    bool FEncTight = false;
    bool FAutoQuality = false;
    int32_t FJPEGQuality = 0;
    int32_t FCompressLevel = 0;
    bool FModified = false;
};

} // namespace zarn
