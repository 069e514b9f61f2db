#include "formats/ExampleFormat.h"

#include "model/Appointment.h"
#include "res/StringTable.h"
#include "settings/Options.h"

#include <charconv>

namespace {

constexpr double kHoursPerSecond = 0.0002777777777777778;

} // namespace

CExampleFormat::CExampleFormat(const COptions& options)
    : m_strSeparator(options.m_strSeparator), m_strQuote(options.m_strQuote),
      m_bDateWithTime(options.m_bDateWithTime != 0) {}

CExampleFormat::~CExampleFormat() = default;

EStatus CExampleFormat::Open(const std::string&) {
    return STATUS_OK;
}

EStatus CExampleFormat::OpenWrite(const std::string& strFileName) {
    return Open(strFileName);
}

EStatus CExampleFormat::OpenRead(const std::string& strFileName) {
    return Open(strFileName);
}

EStatus CExampleFormat::CloseWrite() {
    return STATUS_OK;
}

EStatus CExampleFormat::CloseRead() {
    return STATUS_OK;
}

EStatus CExampleFormat::EndRow() {
    m_strText += "\r\n";
    m_bRowStart = true;
    ++m_nRowNumber;
    return STATUS_OK;
}

EStatus CExampleFormat::NextRow() {
    return STATUS_OK;
}

EStatus CExampleFormat::WriteText(const std::string& strText) {
    if (!m_bRowStart)
        m_strText += m_strSeparator;
    m_strText += m_strQuote;
    m_strText += strText;
    m_strText += m_strQuote;
    m_bRowStart = false;
    return STATUS_OK;
}

EStatus CExampleFormat::WriteDate(TimeValue t) {
    return WriteText(FormatDate(t));
}

EStatus CExampleFormat::WriteTime(TimeValue t) {
    return WriteText(m_bDateWithTime ? FormatDate(t) + " " + FormatTime(t) : FormatTime(t));
}

EStatus CExampleFormat::WriteSpan(TimeSpan ts) {
    // Fixed notation with a point whatever the process locale.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, ts * kHoursPerSecond,
                                      std::chars_format::fixed, 6);
    return WriteText(std::string(buffer, result.ptr));
}

EStatus CExampleFormat::WriteInt(std::int32_t n) {
    return WriteText(std::to_string(n));
}

EStatus CExampleFormat::ReadText(std::string&) {
    return STATUS_OK;
}

EStatus CExampleFormat::ReadDate(TimeValue&) {
    return STATUS_OK;
}

EStatus CExampleFormat::ReadTime(TimeValue&) {
    return STATUS_OK;
}

EStatus CExampleFormat::ReadSpan(TimeSpan&) {
    return STATUS_OK;
}

EStatus CExampleFormat::ReadInt(std::int32_t&) {
    return STATUS_OK;
}

std::string BuildExampleText(COptions& options, TimeValue tNow) {
    CAppointment sample(&options);
    sample.SetDate(tNow);
    sample.m_strCategory = LoadResourceString(IDS_SAMPLE_CATEGORY);
    sample.m_strText = LoadResourceString(IDS_SAMPLE_TEXT);
    sample.m_strNote = LoadResourceString(IDS_SAMPLE_NOTE);
    sample.m_strLocation = LoadResourceString(IDS_SAMPLE_LOCATION);
    CExampleFormat format(options);
    // The example format never fails a write; the statuses carry nothing.
    if (options.m_bFullFormat) {
        sample.m_bRepeat = true;
        sample.m_repeat.m_nType = REPEAT_DAILY;
        sample.m_repeat.m_nInterval = 1;
        sample.m_repeat.m_tEnd = tNow + 86400;
        (void)options.m_layout.WriteFullHeader(format);
        (void)options.m_layout.WriteFullRow(format, sample);
    } else {
        (void)options.m_layout.WriteSimpleHeader(format);
        (void)options.m_layout.WriteSimpleRow(format, sample);
    }
    return format.GetText();
}
