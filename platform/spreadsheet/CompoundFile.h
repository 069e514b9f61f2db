// The OLE2 compound file container ("structured storage") that holds a workbook's
// "Workbook" stream: a FAT of 512-byte sectors (4096 in version 4 files), a directory of
// named entries, and small streams kept in 64-byte mini sectors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CCompoundFile {
public:
    struct CStream {
        std::u16string m_strName; // at most 31 characters
        std::string m_bytes;
    };

    // A version 3 file with the streams as children of the root entry ("Root Entry"), in
    // this sector order: FAT, DIFAT (beyond 109 FAT sectors), directory, mini FAT, mini
    // stream, streams. Streams below 4096 bytes go into the mini stream, as the format
    // requires (the workbook writer pads its stream, so its files have no mini FAT).
    // Throws CXlsError for a name that does not fit.
    [[nodiscard]] static std::string Write(const std::vector<CStream>& streams);
    // The bytes Write puts before the data of a file holding one stream of nSize bytes
    // (at least the mini stream cutoff): the stream's bytes follow, then zeros up to
    // PaddingAfter(nSize). The same file as Write, made without the stream in memory.
    [[nodiscard]] static std::string WriteHead(std::u16string_view name, std::size_t nSize);
    [[nodiscard]] static std::size_t PaddingAfter(std::size_t nSize);

    // True when the bytes start with the compound file signature.
    [[nodiscard]] static bool HasSignature(std::string_view file);

    // The stream of that name (compared without regard to letter case) among the
    // children of the root entry, whatever the root is called; false when there is none.
    // Reads version 3 and 4 files, regular and mini streams. Throws
    // CXlsError("damaged workbook (...)") for anything inconsistent: sectors outside the
    // file, chains that loop or end early, sizes beyond the file, a malformed directory.
    [[nodiscard]] static bool ReadStream(std::string_view file, std::u16string_view name,
                                         std::string& bytes);
    // The same, without a copy when the stream's sectors follow each other in the file (as
    // this engine writes them): bytes views file then, else storage, which holds a copy.
    [[nodiscard]] static bool ReadStream(std::string_view file, std::u16string_view name,
                                         std::string& storage, std::string_view& bytes);
};
