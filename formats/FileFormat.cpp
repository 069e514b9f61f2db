#include "formats/FileFormat.h"

CFileFormat::~CFileFormat() = default;

EStatus CFileFormat::ReadLong(std::int32_t& nOut) {
    std::int32_t n = nOut;
    const EStatus status = ReadInt(n);
    nOut = n;
    return status;
}

std::int32_t CFileFormat::GetRowNumber() const {
    return m_nRowNumber;
}

std::int32_t CFileFormat::GetLineNumber() const {
    return 0;
}

bool CFileFormat::PeekRowCells(std::vector<std::string>&) {
    return false;
}

bool CFileFormat::GetInvalidTextCell(std::string&) const {
    return false;
}
