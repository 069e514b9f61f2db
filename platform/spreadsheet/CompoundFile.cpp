#include "platform/spreadsheet/CompoundFile.h"

#include "platform/spreadsheet/ByteReader.h"
#include "platform/spreadsheet/ByteWriter.h"
#include "platform/spreadsheet/XlsWorkbook.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

constexpr char kSignature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};

// Special FAT entries.
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kSectorSize = 512; // version 3
constexpr std::size_t kMiniSectorSize = 64;
constexpr std::size_t kMiniStreamCutoff = 4096;
constexpr std::size_t kDirEntrySize = 128;
constexpr std::size_t kHeaderDifatEntries = 109;

enum EEntryType : std::uint8_t { kUnused = 0, kStorage = 1, kStreamEntry = 2, kRoot = 5 };

std::size_t DivRoundUp(std::size_t n, std::size_t d) {
    return (n + d - 1) / d;
}

char16_t UpperAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
}

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return UpperAscii(x) == UpperAscii(y); });
}

// Directory siblings form a red-black tree ordered by name length, then by the
// upper-cased names.
bool NameLess(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) {
            return UpperAscii(a[i]) < UpperAscii(b[i]);
        }
    }
    return false;
}

struct CDirEntry {
    std::u16string m_strName;
    std::uint8_t m_type = kUnused;
    std::uint8_t m_color = 1; // black
    std::uint32_t m_left = kNoStream;
    std::uint32_t m_right = kNoStream;
    std::uint32_t m_child = kNoStream;
    std::uint32_t m_start = kEndOfChain;
    std::uint64_t m_size = 0;
};

void WriteDirEntry(CByteWriter& out, const CDirEntry& e) {
    for (char16_t c : e.m_strName) {
        out.U16(c);
    }
    out.Zeros(64 - 2 * e.m_strName.size());
    out.U16(e.m_type == kUnused ? 0 : static_cast<std::uint16_t>(2 * (e.m_strName.size() + 1)));
    out.U8(e.m_type);
    out.U8(e.m_type == kUnused ? 0 : e.m_color);
    out.U32(e.m_left);
    out.U32(e.m_right);
    out.U32(e.m_child);
    out.Zeros(16 + 4 + 8 + 8); // class id, state bits, creation and modification times
    out.U32(e.m_type == kUnused ? 0 : e.m_start);
    out.U64(e.m_size);
}

// Links the sorted entries [first, last) into a balanced tree; nodes on an incomplete
// deepest level are red so that every path has the same number of black nodes.
std::uint32_t BuildTree(std::vector<CDirEntry>& entries, const std::vector<std::uint32_t>& sorted,
                        std::size_t first, std::size_t last, int nDepth, int nRedDepth) {
    if (first >= last) {
        return kNoStream;
    }
    const std::size_t mid = first + (last - first) / 2;
    const std::uint32_t id = sorted[mid];
    entries[id].m_color = nDepth == nRedDepth ? 0 : 1;
    entries[id].m_left = BuildTree(entries, sorted, first, mid, nDepth + 1, nRedDepth);
    entries[id].m_right = BuildTree(entries, sorted, mid + 1, last, nDepth + 1, nRedDepth);
    return id;
}

int TreeDepth(std::size_t n) { // levels of a tree built by halving n nodes
    int nDepth = 0;
    while (n > 0) {
        ++nDepth;
        n /= 2;
    }
    return nDepth;
}

} // namespace

bool CCompoundFile::HasSignature(std::string_view file) {
    return file.size() >= sizeof kSignature &&
           std::memcmp(file.data(), kSignature, sizeof kSignature) == 0;
}

namespace {

// Writes the container of the streams (names and sizes in vecSizes; the bytes of the
// small ones in streams); bHeadOnly stops before the data of the first regular stream.
std::string WriteContainer(const std::vector<CCompoundFile::CStream>& streams,
                           const std::vector<std::size_t>& vecSizes, bool bHeadOnly) {
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (streams[i].m_strName.empty() || streams[i].m_strName.size() > 31) {
            throw CXlsError("compound file stream name must have 1 to 31 characters");
        }
        if (vecSizes[i] > 0xFFFFFFFFu) {
            throw CXlsError("stream too large for a compound file");
        }
    }
    const std::size_t nStreams = streams.size();

    // Mini stream: small streams in 64-byte sectors, chained through the mini FAT.
    std::vector<bool> vecInMini(nStreams, false);
    std::vector<std::uint32_t> vecMiniFat;
    std::string miniStream;
    std::vector<std::uint32_t> vecStart(nStreams, kEndOfChain);
    for (std::size_t i = 0; i < nStreams; ++i) {
        const std::size_t size = vecSizes[i];
        if (size == 0 || size >= kMiniStreamCutoff) {
            continue;
        }
        vecInMini[i] = true;
        const std::size_t nSectors = DivRoundUp(size, kMiniSectorSize);
        const auto first = static_cast<std::uint32_t>(vecMiniFat.size());
        vecStart[i] = first;
        for (std::size_t k = 0; k < nSectors; ++k) {
            vecMiniFat.push_back(k + 1 < nSectors ? first + static_cast<std::uint32_t>(k) + 1
                                                  : kEndOfChain);
        }
        miniStream.append(streams[i].m_bytes);
        miniStream.append(nSectors * kMiniSectorSize - size, '\0');
    }

    const std::size_t nDirSectors = DivRoundUp((1 + nStreams) * kDirEntrySize, kSectorSize);
    const std::size_t nMiniFatSectors = DivRoundUp(vecMiniFat.size() * 4, kSectorSize);
    const std::size_t nMiniStreamSectors = DivRoundUp(miniStream.size(), kSectorSize);
    std::size_t nDataSectors = 0;
    for (std::size_t i = 0; i < nStreams; ++i) {
        if (!vecInMini[i]) {
            nDataSectors += DivRoundUp(vecSizes[i], kSectorSize);
        }
    }
    const std::size_t nOther = nDirSectors + nMiniFatSectors + nMiniStreamSectors + nDataSectors;

    // FAT and DIFAT sectors also take FAT entries: grow until the counts hold still.
    constexpr std::size_t kPerSector = kSectorSize / 4;
    std::size_t nFat = 1;
    std::size_t nDifat = 0;
    for (;;) {
        const std::size_t nNeedFat = DivRoundUp(nOther + nFat + nDifat, kPerSector);
        const std::size_t nNeedDifat =
            nNeedFat > kHeaderDifatEntries
                ? DivRoundUp(nNeedFat - kHeaderDifatEntries, kPerSector - 1)
                : 0;
        if (nNeedFat == nFat && nNeedDifat == nDifat) {
            break;
        }
        nFat = std::max(nFat, nNeedFat);
        nDifat = std::max(nDifat, nNeedDifat);
    }

    std::vector<std::uint32_t> fat(nFat * kPerSector, kFreeSect);
    std::uint32_t next = 0;
    for (std::size_t i = 0; i < nFat; ++i) {
        fat[next++] = kFatSect;
    }
    const std::uint32_t firstDifat = nDifat ? next : kEndOfChain;
    for (std::size_t i = 0; i < nDifat; ++i) {
        fat[next++] = kDifSect;
    }
    const auto chain = [&](std::size_t nSectors) {
        if (nSectors == 0) {
            return kEndOfChain;
        }
        const std::uint32_t first = next;
        for (std::size_t k = 0; k < nSectors; ++k, ++next) {
            fat[next] = k + 1 < nSectors ? next + 1 : kEndOfChain;
        }
        return first;
    };
    const std::uint32_t firstDir = chain(nDirSectors);
    const std::uint32_t firstMiniFat = chain(nMiniFatSectors);
    const std::uint32_t firstMiniStream = chain(nMiniStreamSectors);
    for (std::size_t i = 0; i < nStreams; ++i) {
        if (!vecInMini[i]) {
            vecStart[i] = chain(DivRoundUp(vecSizes[i], kSectorSize));
        }
    }

    // Directory: the root, then one entry per stream.
    std::vector<CDirEntry> entries(1 + nStreams);
    entries[0].m_strName = u"Root Entry";
    entries[0].m_type = kRoot;
    entries[0].m_start = miniStream.empty() ? kEndOfChain : firstMiniStream;
    entries[0].m_size = miniStream.size();
    std::vector<std::uint32_t> sorted;
    for (std::size_t i = 0; i < nStreams; ++i) {
        CDirEntry& e = entries[i + 1];
        e.m_strName = streams[i].m_strName;
        e.m_type = kStreamEntry;
        e.m_start = vecStart[i];
        e.m_size = vecSizes[i];
        sorted.push_back(static_cast<std::uint32_t>(i + 1));
    }
    std::sort(sorted.begin(), sorted.end(), [&](std::uint32_t a, std::uint32_t b) {
        return NameLess(entries[a].m_strName, entries[b].m_strName);
    });
    const int nDepth = TreeDepth(nStreams);
    const bool bFull = nStreams + 1 == (std::size_t{1} << nDepth);
    entries[0].m_child = BuildTree(entries, sorted, 0, nStreams, 1, bFull ? -1 : nDepth);

    CByteWriter out;
    out.Reserve(kHeaderSize +
                (nFat + nDifat + nOther - (bHeadOnly ? nDataSectors : 0)) * kSectorSize);
    out.Raw(std::string_view(kSignature, sizeof kSignature));
    out.Zeros(16);   // class id
    out.U16(0x003E); // minor version
    out.U16(0x0003); // major version
    out.U16(0xFFFE); // little-endian byte order mark
    out.U16(9);      // sector size 2^9
    out.U16(6);      // mini sector size 2^6
    out.Zeros(6);    // reserved
    out.U32(0);      // directory sector count (version 4 only)
    out.U32(static_cast<std::uint32_t>(nFat));
    out.U32(firstDir);
    out.U32(0); // transaction signature
    out.U32(kMiniStreamCutoff);
    out.U32(nMiniFatSectors ? firstMiniFat : kEndOfChain);
    out.U32(static_cast<std::uint32_t>(nMiniFatSectors));
    out.U32(firstDifat);
    out.U32(static_cast<std::uint32_t>(nDifat));
    for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
        out.U32(i < nFat ? static_cast<std::uint32_t>(i) : kFreeSect);
    }

    for (std::uint32_t v : fat) {
        out.U32(v);
    }
    // DIFAT sectors: 127 FAT sector numbers each, then the next DIFAT sector.
    std::size_t nListed = kHeaderDifatEntries;
    for (std::size_t d = 0; d < nDifat; ++d) {
        for (std::size_t k = 0; k + 1 < kPerSector; ++k, ++nListed) {
            out.U32(nListed < nFat ? static_cast<std::uint32_t>(nListed) : kFreeSect);
        }
        out.U32(d + 1 < nDifat ? firstDifat + static_cast<std::uint32_t>(d) + 1 : kEndOfChain);
    }
    const auto pad = [&out] {
        out.Zeros((kSectorSize - (out.Size() - kHeaderSize) % kSectorSize) % kSectorSize);
    };
    for (const CDirEntry& e : entries) {
        WriteDirEntry(out, e);
    }
    while ((out.Size() - kHeaderSize) % kSectorSize != 0) {
        WriteDirEntry(out, CDirEntry{});
    }
    for (std::uint32_t v : vecMiniFat) {
        out.U32(v);
    }
    while ((out.Size() - kHeaderSize) % kSectorSize != 0) {
        out.U32(kFreeSect);
    }
    out.Raw(miniStream);
    pad();
    for (std::size_t i = 0; i < nStreams; ++i) {
        if (!vecInMini[i]) {
            if (bHeadOnly) {
                break;
            }
            out.Raw(streams[i].m_bytes);
            pad();
        }
    }
    return out.Take();
}

} // namespace

std::string CCompoundFile::Write(const std::vector<CStream>& streams) {
    std::vector<std::size_t> vecSizes;
    vecSizes.reserve(streams.size());
    for (const CStream& s : streams) {
        vecSizes.push_back(s.m_bytes.size());
    }
    return WriteContainer(streams, vecSizes, false);
}

std::string CCompoundFile::WriteHead(std::u16string_view name, std::size_t nSize) {
    if (nSize < kMiniStreamCutoff) {
        throw CXlsError("internal error: a stream below the mini stream cutoff written apart");
    }
    std::vector<CStream> streams(1);
    streams[0].m_strName = std::u16string(name);
    return WriteContainer(streams, {nSize}, true);
}

std::size_t CCompoundFile::PaddingAfter(std::size_t nSize) {
    return (kSectorSize - nSize % kSectorSize) % kSectorSize;
}

namespace {

// Reading side: every sector number, chain and size is checked against the file.
class CCompoundReader {
public:
    explicit CCompoundReader(std::string_view file) : m_file(file) {
        if (file.size() < kHeaderSize) {
            ThrowDamaged("truncated file header");
        }
        const std::uint16_t major = LoadU16(file, 26);
        const std::uint16_t shift = LoadU16(file, 30);
        if (LoadU16(file, 28) != 0xFFFE ||
            !((major == 3 && shift == 9) || (major == 4 && shift == 12))) {
            ThrowDamaged("unsupported container version");
        }
        if (LoadU16(file, 32) != 6) {
            ThrowDamaged("unsupported mini sector size");
        }
        m_nSectorSize = std::size_t{1} << shift;
        m_bVersion4 = major == 4;
        m_nSectors = file.size() > m_nSectorSize
                         ? DivRoundUp(file.size() - m_nSectorSize, m_nSectorSize)
                         : 0;
        m_nCutoff = LoadU32(file, 56);
        ReadFat();
        ReadDirectory();
    }

    bool FindTopLevel(std::u16string_view name, std::uint32_t& id) const {
        std::vector<bool> vecSeen(m_vecEntries.size(), false);
        std::vector<std::uint32_t> stack{m_vecEntries[0].m_child};
        bool bFound = false;
        while (!stack.empty()) {
            const std::uint32_t cur = stack.back();
            stack.pop_back();
            if (cur == kNoStream) {
                continue;
            }
            if (cur >= m_vecEntries.size() || vecSeen[cur]) {
                ThrowDamaged("directory tree is broken");
            }
            vecSeen[cur] = true;
            const CDirEntry& e = m_vecEntries[cur];
            if (!bFound && e.m_type == kStreamEntry && NamesEqual(e.m_strName, name)) {
                id = cur;
                bFound = true;
            }
            stack.push_back(e.m_left);
            stack.push_back(e.m_right);
        }
        return bFound;
    }

    std::string ReadStream(std::uint32_t id) const {
        const CDirEntry& e = m_vecEntries[id];
        if (e.m_size < m_nCutoff) {
            const CDirEntry& root = m_vecEntries[0];
            const std::string mini =
                ReadChain(root.m_start, root.m_size, m_fat, m_nSectorSize,
                          [this](std::uint32_t s, std::size_t n) { return SectorBytes(s, n); });
            std::string_view miniView(mini);
            return ReadChain(e.m_start, e.m_size, MiniFat(), kMiniSectorSize,
                             [miniView](std::uint32_t s, std::size_t n) {
                                 const std::size_t at = std::size_t{s} * kMiniSectorSize;
                                 if (at + n > miniView.size()) {
                                     ThrowDamaged("mini sector outside the mini stream");
                                 }
                                 return miniView.substr(at, n);
                             });
        }
        return ReadChain(e.m_start, e.m_size, m_fat, m_nSectorSize,
                         [this](std::uint32_t s, std::size_t n) { return SectorBytes(s, n); });
    }

    // The stream's bytes in the file when it is a regular stream whose sectors follow each
    // other; empty otherwise (and for anything ReadStream would refuse).
    [[nodiscard]] std::optional<std::string_view> ContiguousStream(std::uint32_t id) const {
        const CDirEntry& e = m_vecEntries[id];
        if (e.m_size < m_nCutoff || e.m_size > m_file.size()) {
            return std::nullopt;
        }
        const auto nSize = static_cast<std::size_t>(e.m_size);
        const std::size_t nSectors = DivRoundUp(nSize, m_nSectorSize);
        std::uint32_t sector = e.m_start;
        for (std::size_t k = 0; k < nSectors; ++k, sector = m_fat[sector]) {
            // Each sector the one after the last, inside the FAT: no loop can form.
            if (sector >= m_fat.size() || sector >= m_nSectors || sector != e.m_start + k) {
                return std::nullopt;
            }
        }
        const std::size_t at = (std::size_t{e.m_start} + 1) * m_nSectorSize;
        if (at > m_file.size() || nSize > m_file.size() - at) {
            return std::nullopt;
        }
        return m_file.substr(at, nSize);
    }

private:
    // The first n bytes of a sector; they must lie inside the file.
    std::string_view SectorBytes(std::uint32_t sector, std::size_t n) const {
        if (sector >= m_nSectors) {
            ThrowDamaged("sector outside the file");
        }
        const std::size_t at = (std::size_t{sector} + 1) * m_nSectorSize;
        if (at + n > m_file.size()) {
            ThrowDamaged("truncated file");
        }
        return m_file.substr(at, n);
    }

    // Follows a chain for exactly the sectors that size bytes need.
    template <class FSector>
    std::string ReadChain(std::uint32_t start, std::uint64_t size,
                          const std::vector<std::uint32_t>& fat, std::size_t nSectorSize,
                          FSector sectorBytes) const {
        if (size > m_file.size()) {
            ThrowDamaged("stream larger than the file");
        }
        std::string out;
        out.reserve(static_cast<std::size_t>(size));
        std::vector<bool> vecSeen(fat.size(), false);
        std::uint32_t sector = start;
        while (out.size() < size) {
            if (sector >= fat.size()) {
                ThrowDamaged(sector == kEndOfChain ? "stream shorter than its size"
                                                   : "sector outside the file");
            }
            if (vecSeen[sector]) {
                ThrowDamaged("sector chain loops");
            }
            vecSeen[sector] = true;
            const std::size_t n =
                std::min<std::size_t>(nSectorSize, static_cast<std::size_t>(size) - out.size());
            out.append(sectorBytes(sector, n));
            sector = fat[sector];
        }
        return out;
    }

    // A chain of whole sectors of unknown length (directory, mini FAT); at most nLimit.
    std::vector<std::uint32_t> SectorChain(std::uint32_t start, std::size_t nLimit) const {
        std::vector<std::uint32_t> chain;
        std::vector<bool> vecSeen(m_fat.size(), false);
        for (std::uint32_t s = start; s != kEndOfChain; s = m_fat[s]) {
            if (s >= m_fat.size() || s >= m_nSectors) {
                ThrowDamaged("sector outside the file");
            }
            if (vecSeen[s] || chain.size() >= nLimit) {
                ThrowDamaged("sector chain loops");
            }
            vecSeen[s] = true;
            chain.push_back(s);
        }
        return chain;
    }

    void ReadFat() {
        const std::uint32_t nFat = LoadU32(m_file, 44);
        if (nFat == 0 || nFat > m_nSectors) {
            ThrowDamaged("bad FAT size");
        }
        std::vector<std::uint32_t> fatSectors;
        fatSectors.reserve(nFat);
        for (std::size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < nFat; ++i) {
            fatSectors.push_back(LoadU32(m_file, 76 + 4 * i));
        }
        // DIFAT sectors: each lists FAT sectors and ends with the next DIFAT sector.
        std::vector<bool> vecSeen(m_nSectors, false);
        std::uint32_t difat = LoadU32(m_file, 68);
        const std::size_t nPer = m_nSectorSize / 4;
        while (fatSectors.size() < nFat) {
            if (difat >= m_nSectors) {
                ThrowDamaged("DIFAT sector outside the file");
            }
            if (vecSeen[difat]) {
                ThrowDamaged("DIFAT chain loops");
            }
            vecSeen[difat] = true;
            const std::string_view data = SectorBytes(difat, m_nSectorSize);
            for (std::size_t k = 0; k + 1 < nPer && fatSectors.size() < nFat; ++k) {
                fatSectors.push_back(LoadU32(data, 4 * k));
            }
            difat = LoadU32(data, m_nSectorSize - 4);
        }
        m_fat.reserve(std::size_t{nFat} * nPer);
        for (std::uint32_t s : fatSectors) {
            const std::string_view data = SectorBytes(s, m_nSectorSize);
            for (std::size_t k = 0; k < nPer; ++k) {
                m_fat.push_back(LoadU32(data, 4 * k));
            }
        }
    }

    void ReadDirectory() {
        const std::vector<std::uint32_t> chain = SectorChain(LoadU32(m_file, 48), m_nSectors);
        const std::size_t nPer = m_nSectorSize / kDirEntrySize;
        m_vecEntries.reserve(chain.size() * nPer);
        for (std::uint32_t s : chain) {
            const std::string_view data = SectorBytes(s, m_nSectorSize);
            for (std::size_t k = 0; k < nPer; ++k) {
                m_vecEntries.push_back(ParseEntry(data.substr(k * kDirEntrySize, kDirEntrySize)));
            }
        }
        if (m_vecEntries.empty() || m_vecEntries[0].m_type != kRoot) {
            ThrowDamaged("no root directory entry");
        }
    }

    CDirEntry ParseEntry(std::string_view data) const {
        CDirEntry e;
        e.m_type = static_cast<std::uint8_t>(data[66]);
        if (e.m_type == kUnused) {
            return e;
        }
        const std::uint16_t nNameBytes = LoadU16(data, 64);
        if (nNameBytes > 64 || nNameBytes % 2 != 0) {
            ThrowDamaged("bad directory entry name");
        }
        for (std::size_t i = 0; i + 1 < nNameBytes / 2u; ++i) {
            e.m_strName.push_back(static_cast<char16_t>(LoadU16(data, 2 * i)));
        }
        e.m_left = LoadU32(data, 68);
        e.m_right = LoadU32(data, 72);
        e.m_child = LoadU32(data, 76);
        e.m_start = LoadU32(data, 116);
        e.m_size = LoadU32(data, 120);
        if (m_bVersion4) { // version 3 writers may leave garbage in the high half
            e.m_size |= std::uint64_t{LoadU32(data, 124)} << 32;
        }
        return e;
    }

    const std::vector<std::uint32_t>& MiniFat() const {
        if (!m_bMiniFatRead) {
            const std::vector<std::uint32_t> chain = SectorChain(LoadU32(m_file, 60), m_nSectors);
            const std::size_t nPer = m_nSectorSize / 4;
            m_miniFat.reserve(chain.size() * nPer);
            for (std::uint32_t s : chain) {
                const std::string_view data = SectorBytes(s, m_nSectorSize);
                for (std::size_t k = 0; k < nPer; ++k) {
                    m_miniFat.push_back(LoadU32(data, 4 * k));
                }
            }
            m_bMiniFatRead = true;
        }
        return m_miniFat;
    }

    std::string_view m_file;
    std::size_t m_nSectorSize = kSectorSize;
    std::size_t m_nSectors = 0;
    std::uint64_t m_nCutoff = kMiniStreamCutoff;
    bool m_bVersion4 = false;
    std::vector<std::uint32_t> m_fat;
    std::vector<CDirEntry> m_vecEntries;
    mutable std::vector<std::uint32_t> m_miniFat;
    mutable bool m_bMiniFatRead = false;
};

} // namespace

bool CCompoundFile::ReadStream(std::string_view file, std::u16string_view name,
                               std::string& storage, std::string_view& bytes) {
    const CCompoundReader reader(file);
    std::uint32_t id = 0;
    if (!reader.FindTopLevel(name, id)) {
        return false;
    }
    if (const std::optional<std::string_view> view = reader.ContiguousStream(id)) {
        bytes = *view;
        return true;
    }
    storage = reader.ReadStream(id);
    bytes = storage;
    return true;
}

bool CCompoundFile::ReadStream(std::string_view file, std::u16string_view name,
                               std::string& bytes) {
    const CCompoundReader reader(file);
    std::uint32_t id = 0;
    if (!reader.FindTopLevel(name, id)) {
        return false;
    }
    bytes = reader.ReadStream(id);
    return true;
}
