#pragma once
// TRecentHosts: the servers the user has connected to, most recent first, kept in section
// "RecentHosts" of ZarnVNC.ini as Count, then Port<i> and Host<i> for each entry i.
// Used from the GUI thread only.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RfbConstants.h"

namespace zarn {

inline constexpr char kRecentHostsSection[] = "RecentHosts";

struct THostItem {
    std::string Host; // as the user typed it, letter case kept
    int32_t Port = 0;
};

class TRecentHosts {
public:
    // A "Count" in the file above this is read as this many entries; a negative one as none.
    static constexpr int32_t kMaxLoadedHosts = 10000;
    static constexpr int32_t kDefaultPort = kDefaultRfbPort;

    // Empty; kept in the ZarnVNC.ini DefaultIniPath() chooses.
    TRecentHosts() = default;
    // Kept in the given file instead (tests, or a window that knows its own folder).
    explicit TRecentHosts(std::filesystem::path iniPath);

    int Count() const { return static_cast<int>(FItems.size()); }
    // Copies entry index into item when it exists; otherwise leaves item unchanged.
    void GetItem(int index, THostItem& item) const;
    // The first entry whose host equals host with only A-Z folded to a-z and whose port equals
    // port; -1 when there is none.
    int IndexOf(std::string_view host, int32_t port) const;
    // Inserts at index 0; does not look for duplicates.
    void Add(std::string_view host, int32_t port);
    // Removes entry index when it exists.
    void Delete(int index);
    // Takes the entry at from out and puts it at to, when both exist and differ; the entries
    // in between close the gap (either direction).
    void Move(int from, int to);

    // Replaces the list with the file's: "Count" entries (default 0, negative as 0, at most
    // kMaxLoadedHosts), a missing Port<i> as 5900, a missing Host<i> as empty text.
    void LoadFromIni();
    // Writes Count, then Port<i> and Host<i> of every entry in list order. Keys of entries
    // beyond the new count stay in the file untouched. Throws EIniWriteError when the system
    // refuses; the file is then unchanged.
    void SaveToIni() const;

    std::filesystem::path IniPath() const;

private:
    std::filesystem::path FIniPath; // empty: DefaultIniPath(), chosen at each load and save
    std::vector<THostItem> FItems;
};

} // namespace zarn
