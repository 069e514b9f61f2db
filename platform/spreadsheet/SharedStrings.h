// The workbook's shared string table (SST record, its CONTINUE records and the EXTSST
// index), and reading strings that run on from a record into its CONTINUE records.
#pragma once

#include "platform/spreadsheet/BiffRecords.h"
#include "platform/spreadsheet/ByteWriter.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CSharedStrings {
public:
    // The index of the text in the table, adding it on first use. Never pass an empty
    // text: an empty text is an empty cell.
    std::uint32_t Add(const std::u16string& strText);
    // Appends a text the caller knows is not in the table yet, and counts one reference
    // to it; the text must outlive the table. Not to be mixed with Add.
    std::uint32_t AddDistinct(std::u16string_view text);
    // Counts one more cell referring to a text added before.
    void AddReference() { ++m_nReferences; }
    [[nodiscard]] std::size_t Count() const { return m_vecOrder.size(); }

    // Bytes Write appends at most (texts taken as UTF-16), for room reserved beforehand:
    // what is reserved and not written is never touched.
    [[nodiscard]] std::size_t MaxBytes() const;
    // Appends the SST record with its CONTINUE records, then EXTSST. The writer's size
    // must be the stream offset of the SST record (EXTSST holds absolute offsets).
    void Write(CByteWriter& out) const;

    // Parses an SST record's body followed by the bodies of its CONTINUE records.
    // Throws CXlsError("damaged workbook (...)") for strings running past the data.
    [[nodiscard]] static std::vector<std::u16string>
    Parse(const std::vector<std::string_view>& segments);
    // The same, each text handed to add as it is read (the view lasts for the call).
    static void Parse(const std::vector<std::string_view>& segments,
                      const std::function<void(std::u16string_view)>& add);

private:
    std::unordered_map<std::u16string, std::uint32_t> m_mapIndex;
    std::vector<std::u16string_view> m_vecOrder;
    std::uint32_t m_nReferences = 0;
};

// Reads a record's body and its CONTINUE records as one sequence of bytes. Scalars run
// on across a record end; a character array that crosses into the next record restarts
// there with a flags byte telling whether the rest is compressed or UTF-16.
class CContinuedReader {
public:
    explicit CContinuedReader(const std::vector<std::string_view>& segments);

    [[nodiscard]] bool AtEnd();
    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U32();
    void Skip(std::size_t n);
    // nChars characters, compressed (high bytes dropped) unless bHighByte.
    std::u16string Chars(std::size_t nChars, bool bHighByte);
    // The same, appended to out.
    void AppendChars(std::size_t nChars, bool bHighByte, std::u16string& out);
    // An XLUnicodeString: 16-bit length, flags, characters.
    std::u16string UnicodeString();
    // An XLUnicodeRichExtendedString: length, flags, optional run count and phonetic
    // size, characters, then the runs and phonetic data, skipped.
    std::u16string RichExtendedString();
    // The same, into out (its room kept).
    void RichExtendedString(std::u16string& out);

private:
    // Moves to the next record when the current one is used up; false at the end.
    bool Settle();

    const std::vector<std::string_view>& m_vecSegments;
    std::size_t m_nSegment = 0;
    std::size_t m_nPos = 0;
    std::size_t m_nRemaining = 0; // bytes left in this and the following segments
};
