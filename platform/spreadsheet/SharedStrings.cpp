#include "platform/spreadsheet/SharedStrings.h"

#include "platform/spreadsheet/ByteReader.h"

#include <algorithm>

namespace {

bool NeedsHighBytes(std::u16string_view s) {
    return std::any_of(s.begin(), s.end(), [](char16_t c) { return c > 0xFF; });
}

// The SST record (or the CONTINUE record it runs on in) being filled.
class CSstRecordWriter {
public:
    explicit CSstRecordWriter(CByteWriter& out) : m_out(out) {}

    void Begin(std::uint16_t id) {
        m_nStart = m_out.Size();
        m_out.U16(id);
        m_out.U16(0); // length, patched in End
        m_nRoom = biff::kMaxRecordData;
    }
    void End() {
        m_out.PatchU16(m_nStart + 2, static_cast<std::uint16_t>(m_out.Size() - m_nStart - 4));
    }
    void Continue() {
        End();
        Begin(biff::kContinue);
    }
    [[nodiscard]] std::size_t Room() const { return m_nRoom; }
    [[nodiscard]] std::size_t RecordStart() const { return m_nStart; }
    void Used(std::size_t n) { m_nRoom -= n; }

private:
    CByteWriter& m_out;
    std::size_t m_nStart = 0;
    std::size_t m_nRoom = 0;
};

} // namespace

std::uint32_t CSharedStrings::Add(const std::u16string& strText) {
    ++m_nReferences;
    const auto [it, bNew] =
        m_mapIndex.try_emplace(strText, static_cast<std::uint32_t>(m_vecOrder.size()));
    if (bNew) {
        m_vecOrder.emplace_back(it->first);
    }
    return it->second;
}

std::uint32_t CSharedStrings::AddDistinct(std::u16string_view text) {
    ++m_nReferences;
    m_vecOrder.push_back(text);
    return static_cast<std::uint32_t>(m_vecOrder.size() - 1);
}

std::size_t CSharedStrings::MaxBytes() const {
    // The counts, then each text's header and characters.
    std::size_t nData = 8;
    for (const std::u16string_view s : m_vecOrder) {
        nData += 3 + 2 * s.size();
    }
    // Each record adds its 4-byte header, at most 4 bytes left unused at its end (a text's
    // header that does not fit) and a flags byte where a text runs on into it.
    const std::size_t nRecords = nData / (biff::kMaxRecordData - 9) + 1;
    // EXTSST: its header, the bucket size and at most 128 buckets of 8 bytes.
    return nData + 9 * nRecords + 6 + 8 * 128;
}

void CSharedStrings::Write(CByteWriter& out) const {
    // EXTSST: one bucket per dsst strings, at most 128 buckets, dsst at least 8.
    const std::size_t nStrings = m_vecOrder.size();
    const std::size_t nPerBucket = std::max<std::size_t>(8, (nStrings + 127) / 128);
    struct CBucket {
        std::uint32_t m_nStreamOffset;
        std::uint16_t m_nRecordOffset;
    };
    std::vector<CBucket> vecBuckets;

    CSstRecordWriter rec(out);
    rec.Begin(biff::kSst);
    out.U32(m_nReferences);
    out.U32(static_cast<std::uint32_t>(nStrings));
    rec.Used(8);
    for (std::size_t i = 0; i < nStrings; ++i) {
        const std::u16string_view s = m_vecOrder[i];
        const bool bHigh = NeedsHighBytes(s);
        const std::size_t nCharSize = bHigh ? 2 : 1;
        // A string's 3-byte header and its first character share a record.
        if (rec.Room() < 3 + nCharSize) {
            rec.Continue();
        }
        if (i % nPerBucket == 0) {
            vecBuckets.push_back({static_cast<std::uint32_t>(out.Size()),
                                  static_cast<std::uint16_t>(out.Size() - rec.RecordStart())});
        }
        out.U16(static_cast<std::uint16_t>(s.size()));
        out.U8(bHigh ? 1 : 0);
        rec.Used(3);
        std::size_t nDone = 0;
        for (;;) {
            const std::size_t n = std::min(s.size() - nDone, rec.Room() / nCharSize);
            out.Chars(s.substr(nDone, n), bHigh);
            rec.Used(n * nCharSize);
            nDone += n;
            if (nDone == s.size()) {
                break;
            }
            // The rest goes on in a CONTINUE record that restarts with the flags byte.
            rec.Continue();
            out.U8(bHigh ? 1 : 0);
            rec.Used(1);
        }
    }
    rec.End();

    out.U16(biff::kExtSst);
    out.U16(static_cast<std::uint16_t>(2 + 8 * vecBuckets.size()));
    out.U16(static_cast<std::uint16_t>(nPerBucket));
    for (const CBucket& b : vecBuckets) {
        out.U32(b.m_nStreamOffset);
        out.U16(b.m_nRecordOffset);
        out.U16(0);
    }
}

std::vector<std::u16string> CSharedStrings::Parse(const std::vector<std::string_view>& segments) {
    std::size_t nBytes = 0;
    for (std::string_view s : segments) {
        nBytes += s.size();
    }
    std::vector<std::u16string> strings;
    strings.reserve(nBytes / 3); // 3 bytes at least each
    Parse(segments, [&strings](std::u16string_view text) { strings.emplace_back(text); });
    return strings;
}

void CSharedStrings::Parse(const std::vector<std::string_view>& segments,
                           const std::function<void(std::u16string_view)>& add) {
    CContinuedReader reader(segments);
    reader.U32(); // references
    const std::uint32_t nUnique = reader.U32();
    // A count larger than the strings present is tolerated: a cell that refers to a
    // missing string is reported when it is read.
    std::u16string text;
    for (std::uint32_t i = 0; i < nUnique && !reader.AtEnd(); ++i) {
        reader.RichExtendedString(text);
        add(text);
    }
}

CContinuedReader::CContinuedReader(const std::vector<std::string_view>& segments)
    : m_vecSegments(segments) {
    for (std::string_view s : segments) {
        m_nRemaining += s.size();
    }
}

bool CContinuedReader::Settle() {
    while (m_nSegment < m_vecSegments.size() && m_nPos == m_vecSegments[m_nSegment].size()) {
        ++m_nSegment;
        m_nPos = 0;
    }
    return m_nSegment < m_vecSegments.size();
}

bool CContinuedReader::AtEnd() {
    return !Settle();
}

std::uint8_t CContinuedReader::U8() {
    if (!Settle()) {
        ThrowDamaged("truncated text");
    }
    --m_nRemaining;
    return static_cast<std::uint8_t>(m_vecSegments[m_nSegment][m_nPos++]);
}

std::uint16_t CContinuedReader::U16() {
    const std::uint16_t lo = U8();
    return static_cast<std::uint16_t>(lo | U8() << 8);
}

std::uint32_t CContinuedReader::U32() {
    const std::uint32_t lo = U16();
    return lo | static_cast<std::uint32_t>(U16()) << 16;
}

void CContinuedReader::Skip(std::size_t n) {
    if (n > m_nRemaining) {
        ThrowDamaged("truncated text");
    }
    while (n > 0) {
        Settle();
        const std::size_t k = std::min(n, m_vecSegments[m_nSegment].size() - m_nPos);
        m_nPos += k;
        m_nRemaining -= k;
        n -= k;
    }
}

std::u16string CContinuedReader::Chars(std::size_t nChars, bool bHighByte) {
    std::u16string out;
    AppendChars(nChars, bHighByte, out);
    return out;
}

void CContinuedReader::AppendChars(std::size_t nChars, bool bHighByte, std::u16string& out) {
    const std::size_t nStart = out.size();
    out.reserve(nStart + std::min(nChars, m_nRemaining));
    while (out.size() - nStart < nChars) {
        if (m_nSegment < m_vecSegments.size() && m_nPos == m_vecSegments[m_nSegment].size()) {
            // The characters run on in the next record, which starts with a flags byte.
            if (!Settle()) {
                ThrowDamaged("truncated text");
            }
            bHighByte = (U8() & 0x01) != 0;
            continue;
        }
        if (m_nSegment >= m_vecSegments.size()) {
            ThrowDamaged("truncated text");
        }
        const std::string_view seg = m_vecSegments[m_nSegment];
        const std::size_t nCharSize = bHighByte ? 2 : 1;
        const std::size_t nFit = (seg.size() - m_nPos) / nCharSize;
        if (nFit == 0) {
            ThrowDamaged("character split across records");
        }
        const std::size_t n = std::min(nChars - (out.size() - nStart), nFit);
        const std::size_t nAt = out.size();
        out.resize(nAt + n);
        char16_t* pOut = out.data() + nAt;
        const char* pIn = seg.data() + m_nPos;
        if (bHighByte) {
            for (std::size_t k = 0; k < n; ++k) {
                pOut[k] = static_cast<char16_t>(static_cast<unsigned char>(pIn[2 * k]) |
                                                static_cast<unsigned char>(pIn[2 * k + 1]) << 8);
            }
        } else {
            for (std::size_t k = 0; k < n; ++k) {
                pOut[k] = static_cast<char16_t>(static_cast<unsigned char>(pIn[k]));
            }
        }
        m_nPos += n * nCharSize;
        m_nRemaining -= n * nCharSize;
    }
}

std::u16string CContinuedReader::UnicodeString() {
    const std::uint16_t nChars = U16();
    const std::uint8_t flags = U8();
    return Chars(nChars, (flags & 0x01) != 0);
}

std::u16string CContinuedReader::RichExtendedString() {
    std::u16string text;
    RichExtendedString(text);
    return text;
}

void CContinuedReader::RichExtendedString(std::u16string& out) {
    out.clear();
    const std::uint16_t nChars = U16();
    const std::uint8_t flags = U8();
    const std::uint16_t nRuns = (flags & 0x08) ? U16() : 0;
    const std::uint32_t nPhonetic = (flags & 0x04) ? U32() : 0;
    AppendChars(nChars, (flags & 0x01) != 0, out);
    Skip(4 * std::size_t{nRuns}); // formatting runs: character position and font
    Skip(nPhonetic);
}
