// The CSV reader on any file: rows and cells taken as an import takes them (texts,
// dates, times, durations, numbers), then every row read is written back and read
// again, which must give the same cells.
//
// Input: one option byte, one byte choosing the cell readers, then the file.
//   options bit 0-1  separator , ; tab |
//           bit 2-3  quote " ' none "
//           bit 4    system code page 65001 (else 1252)
//           bit 5-7  cells per row - 1 (1..8)
#include "formats/CsvFormat.h"
#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Rows read per input; more only repeats what the first ones did.
constexpr std::size_t kMaxRows = 2000;
// Inputs up to this size cannot give a row whose written form (quotes doubled) passes the
// longest row of 39,999 bytes, which would read back as two rows.
constexpr std::size_t kMaxRoundTrip = 16000;

void Fail(const char* pszWhat) {
    std::fprintf(stderr, "%s\n", pszWhat);
    std::abort();
}

// One cell through the reader the pattern picks; the cell's text afterwards.
std::string ReadCell(CCsvFormat& csv, unsigned nReader) {
    TimeValue t = 0;
    TimeSpan ts = 0;
    std::int32_t n = 0;
    std::string text;
    switch (nReader % 6) {
    case 0:
        (void)csv.ReadText(text);
        return text;
    case 1:
        (void)csv.ReadDate(t);
        break;
    case 2:
        (void)csv.ReadTime(t);
        break;
    case 3:
        (void)csv.ReadSpan(ts);
        break;
    case 4:
        (void)csv.ReadInt(n);
        break;
    default:
        (void)csv.ReadLong(n);
        break;
    }
    return csv.GetLastCell();
}

std::string WithoutCr(std::string text) {
    std::erase(text, '\r');
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PinFuzzEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
    static const std::string s_strInput = ScratchPath("input.csv");
    static const std::string s_strOutput = ScratchPath("output.csv");
    static const char* const kSeparators[] = {",", ";", "\t", "|"};
    static const char* const kQuotes[] = {"\"", "'", "", "\""};

    CFuzzInput input(pData, nSize);
    const std::uint8_t byOptions = input.TakeByte();
    const std::uint8_t byReaders = input.TakeByte();
    const std::string strSeparator = kSeparators[byOptions & 3];
    const std::string strQuote = kQuotes[(byOptions >> 2) & 3];
    UseCodePage(byOptions & 0x10 ? 65001 : 1252);
    const unsigned nCells = ((byOptions >> 5) & 7) + 1;
    ReplaceFile(s_strInput, input.Rest());

    std::vector<std::vector<std::string>> rows;
    try {
        CCsvFormat csv;
        csv.SetSeparator(strSeparator);
        csv.SetQuote(strQuote);
        if (csv.OpenRead(s_strInput) != STATUS_OK)
            Fail("the input file could not be opened");
        (void)csv.GetSize();
        while (rows.size() < kMaxRows && csv.NextRow() == STATUS_OK) {
            std::vector<std::string>& cells = rows.emplace_back();
            for (unsigned i = 0; i < nCells; ++i)
                cells.push_back(ReadCell(csv, byReaders + i * 7));
            (void)csv.GetPosition();
        }
        (void)csv.CloseRead();
    } catch (const CFormatException&) {
        // A file refused as damaged, with its message.
        return 0;
    }

    // Written with double quotes, every text reads back as it was, less its CRs.
    if (strQuote != "\"" || input.Rest().size() > kMaxRoundTrip)
        return 0;
    ::unlink(s_strOutput.c_str());
    {
        CCsvFormat csv;
        csv.SetSeparator(strSeparator);
        csv.SetQuote(strQuote);
        if (csv.OpenWrite(s_strOutput) != STATUS_OK)
            Fail("the output file could not be opened");
        for (const std::vector<std::string>& cells : rows) {
            for (const std::string& cell : cells)
                (void)csv.WriteText(cell);
            (void)csv.EndRow();
        }
        (void)csv.CloseWrite();
    }
    CCsvFormat csv;
    csv.SetSeparator(strSeparator);
    csv.SetQuote(strQuote);
    if (csv.OpenRead(s_strOutput) != STATUS_OK)
        Fail("the written file could not be opened");
    for (const std::vector<std::string>& cells : rows) {
        if (csv.NextRow() != STATUS_OK)
            Fail("a written row is missing");
        for (const std::string& cell : cells) {
            std::string text;
            (void)csv.ReadText(text);
            if (text != WithoutCr(cell))
                Fail("a written cell reads back otherwise");
        }
    }
    if (csv.NextRow() == STATUS_OK)
        Fail("the written file has a row too many");
    return 0;
}
