#pragma once
// The text of a profile file held as lines, grouped by section, with an index of the keys.
// Setting a key rewrites only that key's line, or adds one; every other line keeps its text,
// its order and its line ending, so a hand-edited file survives a write byte for byte.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zarn {

class TIniDocument {
public:
    explicit TIniDocument(std::string_view content = {});

    // The trimmed value of the first key of that name in the first section of that name
    // (ASCII letter case ignored in both); nullptr when there is none.
    const std::string* Find(std::string_view section, std::string_view key) const;
    // Rewrites the key's line as "<key as spelled in the file>=<value>", or adds "key=value"
    // after the section's last key line, or adds the section at the end of the file.
    // Names and value must not contain line breaks (the caller checks).
    void Set(std::string_view section, std::string_view key, std::string_view value);
    std::string Serialize() const;

private:
    struct Line {
        std::string text; // as in the file, without the line ending
        std::string eol; // "\n", "\r\n", or "" for a last line without one
        std::string keyName; // the key as spelled in the file; empty when not a key line
        std::string value; // trimmed, for key lines
    };
    struct Slot {
        bool added;
        size_t index;
    };
    struct Section {
        std::vector<Line> lines; // header line first, except for the lines before any section
        size_t insertAt = 0; // new keys go before this line: after the last key line
        std::vector<Line> added; // kept apart so that the indices in keys stay valid
        std::unordered_map<std::string, Slot> keys; // folded name -> first line with it

        Line& LineAt(Slot slot) { return slot.added ? added[slot.index] : lines[slot.index]; }
        const Line& LineAt(Slot slot) const { return slot.added ? added[slot.index] : lines[slot.index]; }
    };

    void SplitLines(std::string_view content);
    void AddLine(Line line);
    void OpenSection(std::string_view name, Line header);
    Section& SectionForWriting(std::string_view name);
    void SeparateFromPreviousSection();

    std::vector<Section> FSections; // the first holds the lines before any section header
    std::unordered_map<std::string, size_t> FSectionIndex; // folded name -> first section with it
    std::string FNewline = "\n"; // the file's own line ending, for lines we add
};

} // namespace zarn
