#include "settings/RecentHosts.h"

#include <algorithm>
#include <iterator>

#include "settings/IniFile.h"
#include "settings/IniLocation.h"

namespace zarn {

namespace {

char FoldAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameHost(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) { return FoldAsciiLetter(x) == FoldAsciiLetter(y); });
}

std::string PortKey(int index)
{
    return "Port" + std::to_string(index);
}
std::string HostKey(int index)
{
    return "Host" + std::to_string(index);
}

} // namespace

TRecentHosts::TRecentHosts(std::filesystem::path iniPath)
    : FIniPath(std::move(iniPath))
{
}

std::filesystem::path TRecentHosts::IniPath() const
{
    return FIniPath.empty() ? DefaultIniPath() : FIniPath;
}

void TRecentHosts::GetItem(int index, THostItem& item) const
{
    if (index >= 0 && index < Count())
        item = FItems[static_cast<size_t>(index)];
}

int TRecentHosts::IndexOf(std::string_view host, int32_t port) const
{
    const auto found = std::ranges::find_if(
        FItems, [&](const THostItem& item) { return item.Port == port && SameHost(item.Host, host); });
    return found == FItems.end() ? -1 : static_cast<int>(std::distance(FItems.begin(), found));
}

void TRecentHosts::Add(std::string_view host, int32_t port)
{
    FItems.insert(FItems.begin(), THostItem { std::string(host), port });
}

void TRecentHosts::Delete(int index)
{
    if (index >= 0 && index < Count())
        FItems.erase(FItems.begin() + index);
}

void TRecentHosts::Move(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= Count() || to >= Count())
        return;
    const auto first = FItems.begin();
    // Rotating the span between the two places shifts the others by one towards the gap.
    if (from > to)
        std::rotate(first + to, first + from, first + from + 1);
    else
        std::rotate(first + from, first + from + 1, first + to + 1);
}

void TRecentHosts::LoadFromIni()
{
    TIniFile ini(IniPath());
    const int32_t count = std::clamp(ini.ReadInteger(kRecentHostsSection, "Count", 0), 0, kMaxLoadedHosts);
    std::vector<THostItem> items(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        items[static_cast<size_t>(i)].Port = ini.ReadInteger(kRecentHostsSection, PortKey(i), kDefaultPort);
        items[static_cast<size_t>(i)].Host = ini.ReadString(kRecentHostsSection, HostKey(i), "");
    }
    FItems = std::move(items);
}

void TRecentHosts::SaveToIni() const
{
    TIniFile ini(FIniPath.empty() ? DefaultIniPathForSaving() : FIniPath);
    ini.WriteInteger(kRecentHostsSection, "Count", Count());
    for (int i = 0; i < Count(); ++i) {
        ini.WriteInteger(kRecentHostsSection, PortKey(i), FItems[static_cast<size_t>(i)].Port);
        ini.WriteString(kRecentHostsSection, HostKey(i), FItems[static_cast<size_t>(i)].Host);
    }
    ini.Flush();
}

} // namespace zarn
