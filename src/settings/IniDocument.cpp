#include "settings/IniDocument.h"

namespace zarn {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text)
{
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string FoldAscii(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::string ParseSectionName(std::string_view trimmedHeader)
{
    std::string_view name = trimmedHeader.substr(1);
    name = name.substr(0, name.find(']'));
    return std::string(Trim(name));
}

} // namespace

TIniDocument::TIniDocument(std::string_view content)
{
    FSections.emplace_back();
    SplitLines(content);
    for (const Section& s : FSections) {
        if (!s.lines.empty() && !s.lines.front().eol.empty()) {
            FNewline = s.lines.front().eol;
            break;
        }
    }
}

const std::string* TIniDocument::Find(std::string_view section, std::string_view key) const
{
    const auto found = FSectionIndex.find(FoldAscii(section));
    if (found == FSectionIndex.end())
        return nullptr;
    const Section& s = FSections[found->second];
    const auto slot = s.keys.find(FoldAscii(key));
    if (slot == s.keys.end())
        return nullptr;
    return &s.LineAt(slot->second).value;
}

void TIniDocument::Set(std::string_view section, std::string_view key, std::string_view value)
{
    Section& s = SectionForWriting(section);
    const std::string foldedKey = FoldAscii(key);
    if (const auto slot = s.keys.find(foldedKey); slot != s.keys.end()) {
        Line& line = s.LineAt(slot->second);
        line.value = value;
        line.text = line.keyName + "=" + line.value;
        return;
    }
    s.added.push_back(
        Line { std::string(key) + "=" + std::string(value), FNewline, std::string(key), std::string(value) });
    s.keys.emplace(foldedKey, Slot { true, s.added.size() - 1 });
}

std::string TIniDocument::Serialize() const
{
    std::vector<const Line*> order;
    for (const Section& s : FSections) {
        for (size_t i = 0; i < s.insertAt; ++i)
            order.push_back(&s.lines[i]);
        for (const Line& line : s.added)
            order.push_back(&line);
        for (size_t i = s.insertAt; i < s.lines.size(); ++i)
            order.push_back(&s.lines[i]);
    }
    std::string out;
    for (size_t i = 0; i < order.size(); ++i) {
        out += order[i]->text;
        // A last line without a line ending gets one once something follows it.
        const bool last = i + 1 == order.size();
        out += (order[i]->eol.empty() && !last) ? FNewline : order[i]->eol;
    }
    return out;
}

void TIniDocument::SplitLines(std::string_view content)
{
    while (!content.empty()) {
        const size_t end = content.find('\n');
        Line line;
        line.text = content.substr(0, end);
        if (end == std::string_view::npos) {
            content = {};
        } else {
            line.eol = "\n";
            content.remove_prefix(end + 1);
            if (line.text.ends_with('\r')) {
                line.text.pop_back();
                line.eol = "\r\n";
            }
        }
        AddLine(std::move(line));
    }
}

void TIniDocument::AddLine(Line line)
{
    const std::string_view trimmed = Trim(line.text);
    if (trimmed.starts_with('[')) {
        OpenSection(ParseSectionName(trimmed), std::move(line));
        return;
    }
    Section& s = FSections.back();
    const bool comment = trimmed.starts_with(';') || trimmed.starts_with('#');
    if (!trimmed.empty() && !comment) {
        // A line without "=" is a key with an empty value, as the profile functions have it.
        const size_t equals = trimmed.find('=');
        line.keyName = Trim(trimmed.substr(0, equals));
        if (equals != std::string_view::npos)
            line.value = Trim(trimmed.substr(equals + 1));
        // Lines before the first header belong to no section and are never looked up.
        if (FSections.size() > 1)
            s.keys.try_emplace(FoldAscii(line.keyName), Slot { false, s.lines.size() });
        s.insertAt = s.lines.size() + 1;
    }
    s.lines.push_back(std::move(line));
}

void TIniDocument::OpenSection(std::string_view name, Line header)
{
    Section& s = FSections.emplace_back();
    s.lines.push_back(std::move(header));
    s.insertAt = 1;
    FSectionIndex.try_emplace(FoldAscii(name), FSections.size() - 1);
}

TIniDocument::Section& TIniDocument::SectionForWriting(std::string_view name)
{
    if (const auto found = FSectionIndex.find(FoldAscii(name)); found != FSectionIndex.end())
        return FSections[found->second];
    SeparateFromPreviousSection();
    OpenSection(name, Line { "[" + std::string(name) + "]", FNewline, {}, {} });
    return FSections.back();
}

// A new section at the end of a file that has content starts after a blank line.
void TIniDocument::SeparateFromPreviousSection()
{
    Section& last = FSections.back();
    const bool addedLast = last.insertAt == last.lines.size() && !last.added.empty();
    const Line* lastLine
        = addedLast ? &last.added.back() : (last.lines.empty() ? nullptr : &last.lines.back());
    if (lastLine && !Trim(lastLine->text).empty())
        last.lines.push_back(Line { "", FNewline, {}, {} });
}

} // namespace zarn
