#pragma once
// The game's settings store: an INI-style text file held in memory as raw
// lines per section. Files whose name does not end in ".INI" are enciphered
// line by line (every byte of a non-empty line complemented).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnok {

// Abstract INI interface: the string read is the primitive, the typed reads
// are built on it.
class TCustomIniFile {
public:
    virtual ~TCustomIniFile() = default;
    virtual std::string GetString(const std::string& section, const std::string& key,
                                  const std::string& def) const = 0;
    // A value longer than 2 characters starting with "0x"/"0X" is hexadecimal;
    // otherwise the strict integer conversion applies. Empty or unconvertible
    // values give the default.
    int32_t GetInteger(const std::string& section, const std::string& key, int32_t def) const;
    // An integer value; non-zero is true.
    bool GetBool(const std::string& section, const std::string& key, bool def) const;
};

// One section: its name without brackets and its lines exactly as read.
struct TIniSection {
    std::string Name;
    std::vector<std::string> Lines;
};

class TMemIniFileCrypted : public TCustomIniFile {
public:
    // Stores the name, decides the cipher from its extension and loads the file.
    explicit TMemIniFileCrypted(const std::string& fileName);
    // A store over fileName that could not be saved there: image holds the
    // bytes the file would hold, and stands in for the file (also when the
    // store is loaded again) as long as no such file exists.
    TMemIniFileCrypted(const std::string& fileName, std::string image);

    // Lookups compare section and key names without regard to letter case;
    // where a name occurs twice the first occurrence is used.
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& def) const override;
    // The first section of that name exists and holds at least one line.
    bool HasSection(const std::string& section) const;
    void GetSectionNames(std::vector<std::string>& list) const;
    void GetSectionLines(const std::string& section, std::vector<std::string>& list) const;
    // For each line, the text before its first "=" (empty without "=").
    void GetSectionKeys(const std::string& section, std::vector<std::string>& list) const;

    // Changes in memory only; Save writes them.
    void SetString(const std::string& section, const std::string& key, const std::string& value);
    void RemoveSection(const std::string& section);
    void RemoveKey(const std::string& section, const std::string& key);

    // Replaces the contents with the file's; a missing file gives an empty
    // store, a file that cannot be read raises EFileError (contents kept).
    void LoadFile();
    // LoadFile again: changes since the last Save are lost.
    void Reload();
    // Writes the store to its file, replacing the old file only once the new
    // contents are completely on disk. A line the file could not give back
    // as it is (a byte that would end the line or the text once written) is
    // refused before anything is written, naming file, section and key; a
    // read-only file is never replaced. Raises EFileError.
    void Save();
    // Replaces the contents with the sections of a plain INI text; the file is
    // not touched.
    void SetText(const std::string& text);
    // A store whose contents are not the file's (a map played as the game's
    // only level) refuses to be saved over the file, with this reason.
    void RefuseSaving(const std::string& reason) { saveRefusal_ = reason; }

    // Saves with the cipher flipped under a new name and loads from there.
    void SaveConverted(const std::string& newFileName);
    // The store as a file's bytes: every line of CollectLines, enciphered or
    // not, each ended by CR LF (Save writes ToBytes(Enciphered())).
    std::string ToBytes(bool enciphered) const;

    const std::string& FileName() const { return fileName_; }
    bool Enciphered() const { return enciphered_; }
    const std::vector<TIniSection>& Sections() const { return sections_; }

    // The file's lines: "[name]", the section's lines, one empty line, per section.
    std::vector<std::string> CollectLines() const;
    // Complements every byte of every line; empty lines stay empty. Its own inverse.
    static void InvertLines(std::vector<std::string>& lines);
    // Splits text into lines: CR, LF or CR LF end a line, a zero byte ends the text.
    static std::vector<std::string> SplitLines(const std::string& text);
    // Builds sections from lines, dropping empty lines, comments and lines
    // before the first header.
    static std::vector<TIniSection> ParseLines(const std::vector<std::string>& lines);
    // True unless the file name's extension is ".INI" in any letter case.
    static bool EncipheredFileName(const std::string& fileName);

private:
    // Raises EFileError when a section name or line holds a byte that the
    // file in its cipher cannot hold.
    void CheckWritable() const;
    TIniSection* FindSection(const std::string& section);
    const TIniSection* FindSection(const std::string& section) const;

    std::string fileName_;
    bool enciphered_;
    std::vector<TIniSection> sections_;
    std::string saveRefusal_;
    std::optional<std::string> image_; // the file's bytes while there is no file
};

} // namespace varnok
